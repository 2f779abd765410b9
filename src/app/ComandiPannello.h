#pragma once

#include "comune/USBDrive.h"
#include "transfer/CategoriaFile.h"

#include <functional>

enum class SezioneAiuto;

// What the panel's entries do. The application fills these in with the real
// operations; each starts its work as a main-thread task and returns at once.
// Tests record the calls instead.
struct ComandiPannello {
    std::function<void()> apriUltimaUSB;
    std::function<void()> apriUltimaUSBConNota;
    std::function<void()> salvaNotaTestoEdEspelli;
    std::function<void()> salvaNotaFormattataEdEspelli;
    std::function<void()> copiaTutto;
    std::function<void(CategoriaFile)> copiaFiltrato;
    std::function<void(const USBDrive &a, const USBDrive &b)> sincronizza;
    std::function<void(const USBDrive &)> formattaRapida;
    std::function<void(const USBDrive &)> cancellaSicura;
    std::function<void(const USBDrive &)> espelli;
    std::function<void(const USBDrive &)> apriChiavetta; // a click on a drive row
    std::function<void(const QString &identificatore)> apriFinestra;
    std::function<void(SezioneAiuto)> apriAiuto;
    std::function<void()> verificaArchivio; // the reminder's "Verifica ora"
    std::function<void()> esci;
};
