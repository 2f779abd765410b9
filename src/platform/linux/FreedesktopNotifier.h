#pragma once

#include "operations/Notifier.h"

#include <chrono>
#include <QDBusConnection>

class AlertPresenter;

// Notifications through the desktop's notification server
// (org.freedesktop.Notifications). Posting counts as allowed only when a
// server answers; otherwise the same title and text appear as a modal alert.
class FreedesktopNotifier : public Notifier {
public:
    FreedesktopNotifier(QDBusConnection bus, AlertPresenter &fallback,
                        std::chrono::milliseconds attesaServer = std::chrono::milliseconds(2500));

    QCoro::Task<> notifica(QString titolo, QString corpo) override;
    QCoro::Task<> richiediPermessoNotifiche() override;

private:
    QCoro::Task<bool> serverPresente();
    QCoro::Task<bool> corpoConMarkup();

    QDBusConnection m_bus;
    AlertPresenter &m_fallback;
    std::chrono::milliseconds m_attesaServer;
};
