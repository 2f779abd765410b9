#pragma once

class AlertPresenter;
class AppSettings;
class CentroOperazioni;
class DesktopOpener;
class Notifier;
class SecureEraseManager;

// What a flow needs from the outside world. The application hands in the real
// services; tests hand in fakes, so every flow runs without a screen.
struct Servizi {
    AlertPresenter *avvisi = nullptr;
    Notifier *notifiche = nullptr;
    DesktopOpener *apritore = nullptr;
    CentroOperazioni *centro = nullptr;
    SecureEraseManager *erase = nullptr;
    AppSettings *settings = nullptr;
};
