#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <QCoro/QCoroTask>

// The checks the diagnostics window starts on one stick, started through
// avviaFlusso(). Each claims the diagnostics manager, refused without a word
// while another check or an erase runs; writes its header and findings to the
// report; and releases the manager on every way out. They use the manager and
// the disk runner of the services they are given; the speed test, verify,
// repair and capacity check add their outcome to the stick's history.

// File system, capacity and the USB link's speed.
QCoro::Task<> diagnosticaInfo(Servizi servizi, USBDrive drive);
QCoro::Task<> diagnosticaVerifica(Servizi servizi, USBDrive drive);
QCoro::Task<> diagnosticaRiparazione(Servizi servizi, USBDrive drive);
// 32 MB written and read back.
QCoro::Task<> diagnosticaVelocita(Servizi servizi, USBDrive drive);
// Fills the free space with self-checking files and reads them back, after
// telling how long it will take and that the stick must stay in; "Annulla" on
// the card stops it. Its outcome also goes to the operations log.
QCoro::Task<> diagnosticaCapacita(Servizi servizi, USBDrive drive);
