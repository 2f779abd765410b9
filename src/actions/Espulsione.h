#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"
#include "platform/Espulsore.h"

#include <QCoro/QCoroTask>

// Ejects `drive`. Once it may be pulled out, says so where the user looks
// (the notification "Puoi rimuovere «ECO 1»") and in the log; a refusal is
// handed back for the caller to explain.
QCoro::Task<EsitoEspulsione> espelliEAnnuncia(Servizi servizi, USBDrive drive);
