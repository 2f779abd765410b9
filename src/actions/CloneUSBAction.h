#pragma once

#include "actions/QuickAction.h"
#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <optional>
#include <QPointer>

class USBMonitor;

// "Clona USB": syncs two sticks. Missing drives are taken from the monitor's
// list when the action runs (the first two inserted).
class CloneUSBAction : public QuickAction {
public:
    CloneUSBAction(Servizi servizi, USBMonitor *monitor, std::optional<USBDrive> driveA = std::nullopt,
                   std::optional<USBDrive> driveB = std::nullopt);

    QCoro::Task<> perform() override;

    QPointer<USBMonitor> monitor;
    std::optional<USBDrive> driveA;
    std::optional<USBDrive> driveB;

private:
    Servizi m_servizi;
};
