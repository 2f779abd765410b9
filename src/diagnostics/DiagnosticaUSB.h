#pragma once

#include "comune/USBDrive.h"
#include "operations/QuickAction.h"
#include "operations/Servizi.h"

// The checks the diagnostics window starts on one stick. Each claims the
// diagnostics manager (a refused claim is silent), writes its header and
// findings to the report and always releases the manager. They use the
// manager and the disk runner of the Servizi they are given; the speed test,
// verify, repair and capacity check add their outcome to the stick's history.
class AzioneDiagnostica : public QuickAction {
public:
    AzioneDiagnostica(USBDrive drive, const Servizi &servizi) : m_drive(std::move(drive)), m_servizi(servizi)
    {
    }

protected:
    USBDrive m_drive;
    Servizi m_servizi;
};

class InfoUSBDiagAction : public AzioneDiagnostica {
public:
    using AzioneDiagnostica::AzioneDiagnostica;
    QCoro::Task<> perform() override;
};

class VerifyUSBAction : public AzioneDiagnostica {
public:
    using AzioneDiagnostica::AzioneDiagnostica;
    QCoro::Task<> perform() override;
};

class RepairUSBAction : public AzioneDiagnostica {
public:
    using AzioneDiagnostica::AzioneDiagnostica;
    QCoro::Task<> perform() override;
};

class SpeedTestUSBAction : public AzioneDiagnostica {
public:
    using AzioneDiagnostica::AzioneDiagnostica;
    QCoro::Task<> perform() override;
};

// Fills the free space with self-checking files and reads them back, after
// telling how long it will take and that the stick must stay in; "Annulla"
// on the card stops it. Its outcome also goes to the operations log.
class VerificaCapacitaUSBAction : public AzioneDiagnostica {
public:
    using AzioneDiagnostica::AzioneDiagnostica;
    QCoro::Task<> perform() override;
};
