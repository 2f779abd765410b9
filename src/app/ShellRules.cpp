#include "app/ShellRules.h"

#include "operations/Impegni.h"

#include <cmath>

QString testoIconaVassoio(SecureEraseManager::Fase fase, std::optional<double> percentuale)
{
    if (fase == SecureEraseManager::Fase::inattivo)
        return QString();
    if (!percentuale)
        return QStringLiteral("…");
    return QStringLiteral("%1%").arg(qint64(std::trunc(*percentuale)));
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
