#pragma once

#include "operations/SecureEraseManager.h"

#include <optional>
#include <QString>

// What the tray icon shows beside the drive symbol: nothing while no erase
// runs, "…" until a percentage is known, then "{n}%" with n truncated.
QString testoIconaVassoio(SecureEraseManager::Fase fase, std::optional<double> percentuale);

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
