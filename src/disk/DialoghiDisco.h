#pragma once

#include "comune/USBDrive.h"

#include <optional>
#include <QString>

class AlertPresenter;

// The FAT32 label made from any text: upper case, only A-Z and 0-9, at most 11
// characters, "USB" when nothing is left.
QString nomeVolumeValido(const QString &nome);

// Asks for the new volume name before a quick format; none when cancelled.
std::optional<QString> chiediNuovoNome(AlertPresenter &avvisi, const USBDrive &drive);

// Asks the user to type the volume's name before a secure erase; true only for
// an exact match. A wrong name is told and counts as cancelled.
bool confermaCancellazione(AlertPresenter &avvisi, const USBDrive &drive);

// The critical alert for a disk the safety check refused.
void avvisaDiscoRifiutato(AlertPresenter &avvisi, const USBDrive &drive);
