#pragma once

#include "comune/USBDrive.h"
#include "operations/QuickAction.h"
#include "operations/Servizi.h"

// Overwrites the whole stick with zeros, then gives it a fresh FAT32 volume
// under its old name. Takes many minutes and cannot be cancelled; its state is
// the erase manager's.
class SecureEraseUSBAction : public QuickAction {
public:
    SecureEraseUSBAction(USBDrive drive, const Servizi &servizi)
        : m_drive(std::move(drive)), m_servizi(servizi)
    {
    }

    QCoro::Task<> perform() override;

private:
    USBDrive m_drive;
    Servizi m_servizi;
};
