#include "app/ShellRules.h"

#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/Impegni.h"

#include <algorithm>
#include <cmath>

std::optional<LavoroInCorso> lavoroInCorso(const SecureEraseManager &erase, const CentroOperazioni &centro,
                                           const DiagnosticaManager &diag)
{
    if (erase.inCorso())
        return LavoroInCorso{erase.descrizione(), erase.percentuale()};
    if (const auto &op = centro.attuale()) {
        std::optional<double> percentuale;
        if (op->frazione)
            percentuale = std::clamp(*op->frazione, 0.0, 1.0) * 100.0;
        return LavoroInCorso{op->titolo, percentuale};
    }
    if (diag.inCorso())
        return LavoroInCorso{diag.descrizione(), diag.percentuale()};
    return std::nullopt;
}

QString testoIconaVassoio(const std::optional<LavoroInCorso> &lavoro)
{
    if (!lavoro)
        return QString();
    if (!lavoro->percentuale)
        return QStringLiteral("…");
    // The allowance keeps 29 % from reading 28 when it comes as 0.29 × 100.
    return QStringLiteral("%1%").arg(qint64(std::trunc(*lavoro->percentuale + 1e-9)));
}

RegolaUscita regolaUscita(SecureEraseManager::Fase fase)
{
    if (!impegnoBloccante(Avvio::uscita, {.cancellazione = fase != SecureEraseManager::Fase::inattivo}))
        return {true, QStringLiteral("Esci da Orvala – Tessera")};
    return {false, QStringLiteral("Non puoi uscire durante la cancellazione sicura")};
}

QString Finestre::titolo(const QString &identificatore)
{
    if (identificatore == settings)
        return QStringLiteral("Impostazioni");
    if (identificatore == diagnostica)
        return QStringLiteral("Diagnostica USB");
    if (identificatore == aiuto)
        return QStringLiteral("Aiuto");
    return QString();
}
