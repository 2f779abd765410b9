#pragma once

#include "comune/USBDrive.h"
#include "operations/QuickAction.h"
#include "operations/Servizi.h"
#include "platform/Espulsore.h"

// Ejects `drive`. Once it may be pulled out, says so where the user looks
// (the notification "Puoi rimuovere «ECO 1»") and in the log; a refusal is
// handed back for the caller to explain.
QCoro::Task<EsitoEspulsione> espelliEAnnuncia(Servizi servizi, USBDrive drive);

// The eject button of a drive row.
class EjectDriveAction : public QuickAction {
public:
    EjectDriveAction(Servizi servizi, USBDrive drive) : drive(std::move(drive)), m_servizi(servizi) {}

    // The running task keeps its own copies: the action value may go away first.
    QCoro::Task<> perform() override;

    USBDrive drive;

private:
    Servizi m_servizi;
};
