#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <QCoro/QCoroTask>
#include <QString>

class ElencoChiavette;

// The one-click commands on a stick, started through avviaFlusso(). Each one
// reports a problem with an alert and shows nothing on success. Main thread;
// the list of sticks is read before the first wait.

// On the stick inserted last.
QCoro::Task<> apriUltimaUSB(Servizi servizi, const ElencoChiavette *chiavette);
QCoro::Task<> apriUltimaUSBConNota(Servizi servizi, const ElencoChiavette *chiavette);
QCoro::Task<> salvaNotaTestoEdEspelli(Servizi servizi, const ElencoChiavette *chiavette);
QCoro::Task<> salvaNotaFormattataEdEspelli(Servizi servizi, const ElencoChiavette *chiavette);

// The eject button of a drive row. Once the stick may be pulled out, says so
// where the user looks (the notification "Puoi rimuovere «ECO 1»") and in the
// log; a refusal is explained in an alert.
QCoro::Task<> espelli(Servizi servizi, USBDrive drive);
