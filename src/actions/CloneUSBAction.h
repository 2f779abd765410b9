#pragma once

#include "comune/USBDrive.h"
#include "operations/QuickAction.h"
#include "operations/Servizi.h"

#include <optional>
#include <QPointer>

class ElencoChiavette;

// "Clona USB": syncs two sticks. Missing drives are taken from the list of
// inserted sticks when the action runs (the first two inserted).
class CloneUSBAction : public QuickAction {
public:
    CloneUSBAction(Servizi servizi, ElencoChiavette *chiavette, std::optional<USBDrive> driveA = std::nullopt,
                   std::optional<USBDrive> driveB = std::nullopt);

    QCoro::Task<> perform() override;

    QPointer<ElencoChiavette> chiavette;
    std::optional<USBDrive> driveA;
    std::optional<USBDrive> driveB;

private:
    Servizi m_servizi;
};
