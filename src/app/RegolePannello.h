#pragma once

#include "operations/SecureEraseManager.h"

#include <optional>
#include <QRect>
#include <QString>

class CentroOperazioni;
class DiagnosticaManager;

// The long work the tray icon tells about, the most important first: a secure
// erase (never to be cut short), then the operation on the panel's card
// (copy, import, sync, quick format), then a diagnostic check.
struct LavoroInCorso {
    QString descrizione;
    std::optional<double> percentuale; // 0...100; none until known
};
std::optional<LavoroInCorso> lavoroInCorso(const SecureEraseManager &erase, const CentroOperazioni &centro,
                                           const DiagnosticaManager &diag);

// What the tray icon shows beside the drive symbol: nothing while no work
// runs, "…" until a percentage is known, then "{n}%" with n truncated.
QString testoIconaVassoio(const std::optional<LavoroInCorso> &lavoro);

// Where the drop-down goes in the screen's usable `area`: under its tray
// icon, or above it when there is more room there (a panel at the bottom),
// never over the icon and never past the area, as tall as `desiderata` up to
// the room there is. Without the icon's place, the pointer that clicked it
// stands for it.
QRect posizionePannello(const QRect &area, const QRect &icona, const QPoint &puntatore,
                        const QSize &desiderata);

// Quitting is refused while a secure erase runs, so it is never cut short.
struct RegolaUscita {
    bool abilitata;
    QString tooltip;
};
RegolaUscita regolaUscita(SecureEraseManager::Fase fase);

// Identifiers of the three single-instance windows, and their titles.
namespace Finestre {
inline const QString settings = QStringLiteral("settings");
inline const QString diagnostica = QStringLiteral("diagnostica");
inline const QString aiuto = QStringLiteral("aiuto");
QString titolo(const QString &identificatore);
} // namespace Finestre
