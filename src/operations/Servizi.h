#pragma once

#include "comune/USBDrive.h"
#include "operations/Impegni.h"

#include <optional>

class PresentatoreAvvisi;
class Appunti;
class AppSettings;
class CentroOperazioni;
class AperturaDesktop;
class DiagnosticaManager;
class ElencoChiavette;
class EsecutoreDisco;
class Espulsore;
class Notificatore;
class SecureEraseManager;

// What a flow needs from the outside world. The application hands in the real
// services; tests hand in fakes, so every flow runs without a screen.
struct Servizi {
    PresentatoreAvvisi *avvisi = nullptr;
    Notificatore *notifiche = nullptr;
    AperturaDesktop *apritore = nullptr;
    CentroOperazioni *centro = nullptr;
    SecureEraseManager *cancellazione = nullptr; // the secure erase's state
    AppSettings *impostazioni = nullptr;
    DiagnosticaManager *diagnostica = nullptr; // the diagnostic checks' state
    EsecutoreDisco *disco = nullptr;           // runs the disk utility and other system tools
    Appunti *appunti = nullptr;                // the clipboard
    Espulsore *espulsore = nullptr;            // unmounts and powers off a stick
};

// Which busy flags are set; a missing service counts as idle.
StatoImpegni statoImpegni(const Servizi &servizi);

// The stick inserted last, which the panel's commands act on; none, with the
// alert "Nessuna USB", when no stick is inserted.
std::optional<USBDrive> ultimaChiavettaOAvviso(const ElencoChiavette *chiavette, const Servizi &servizi);
