#include "operations/Servizi.h"

#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/SecureEraseManager.h"

StatoImpegni statoImpegni(const Servizi &servizi)
{
    return {servizi.erase && servizi.erase->inCorso(), servizi.diag && servizi.diag->inCorso(),
            servizi.centro && servizi.centro->occupato()};
}
