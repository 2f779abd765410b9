#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <QCoro/QCoroTask>

// The commands that wipe a stick, started through avviaFlusso(). Both refuse
// any disk the safety rule refuses, first check whether the stick's files are
// already in the archive (PrimaDiCancellare.h), then ask. Main thread; each
// ends after its last alert or notification.

// Empties a stick in seconds: a new MBR and an empty FAT32 volume under a name
// the user chooses. The data is not overwritten. Shows its progress on the card.
QCoro::Task<> formattaRapida(Servizi servizi, USBDrive drive);

// Overwrites the whole stick with zeros, then gives it a fresh FAT32 volume
// under its old name. Takes many minutes and cannot be cancelled; its state is
// the erase manager's.
QCoro::Task<> cancellaSicura(Servizi servizi, USBDrive drive);
