#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <QCoro/QCoroTask>
#include <QString>

class ElencoChiavette;

// One-click actions on the stick inserted last. Each one reports a problem
// with an alert and shows nothing on success. The list is read only when the
// action starts.

QCoro::Task<> apriUltimaUSB(const ElencoChiavette *chiavette, Servizi servizi);
QCoro::Task<> apriUltimaUSBConNota(const ElencoChiavette *chiavette, Servizi servizi);
QCoro::Task<> salvaNotaTestoEdEspelli(const ElencoChiavette *chiavette, Servizi servizi);
QCoro::Task<> salvaNotaFormattataEdEspelli(const ElencoChiavette *chiavette, Servizi servizi);

// Ejects `drive` after the note `nomeFile` was saved on it; a refusal is told
// with both names, since the note is there and the stick is not free yet.
QCoro::Task<> espelliDopoNota(Servizi servizi, USBDrive drive, QString nomeFile);
