#pragma once

#include "comune/USBDrive.h"
#include "operations/QuickAction.h"
#include "operations/Servizi.h"

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
