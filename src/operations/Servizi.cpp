#include "operations/Servizi.h"

#include "comune/ElencoChiavette.h"
#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/SecureEraseManager.h"

StatoImpegni statoImpegni(const Servizi &servizi)
{
    return {servizi.cancellazione && servizi.cancellazione->inCorso(),
            servizi.diagnostica && servizi.diagnostica->inCorso(),
            servizi.centro && servizi.centro->occupato()};
}

std::optional<USBDrive> ultimaChiavettaOAvviso(const ElencoChiavette *chiavette, const Servizi &servizi)
{
    std::optional<USBDrive> drive = chiavette ? chiavette->lastDrive() : std::nullopt;
    if (!drive)
        servizi.avvisi->mostraAvviso(QStringLiteral("Nessuna USB"),
                                     QStringLiteral("Non ci sono USB inserite."), StileAvviso::informativo);
    return drive;
}
