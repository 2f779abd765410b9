#pragma once

#include "comune/USBDrive.h"
#include "operations/QuickAction.h"
#include "operations/Servizi.h"

// Empties a stick in seconds: a new MBR and an empty FAT32 volume under a name
// the user chooses. The data is not overwritten. Shows its progress on the card.
class QuickFormatUSBAction : public QuickAction {
public:
    QuickFormatUSBAction(USBDrive drive, const Servizi &servizi)
        : m_drive(std::move(drive)), m_servizi(servizi)
    {
    }

    QCoro::Task<> perform() override;

private:
    USBDrive m_drive;
    Servizi m_servizi;
};
