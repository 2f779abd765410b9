#pragma once

#include "comune/USBDrive.h"

#include <optional>
#include <QString>

class PresentatoreAvvisi;
struct EsitoControllo;
struct EsitoControlloArchivio;

// What the archive check says at the top of a wipe's dialog, and whether the
// dialog then offers "Copia prima" as its default button.
struct PremessaArchivio {
    QString testo; // empty: no check was made
    bool copiaPrima = false;
};
PremessaArchivio premessaArchivio(const EsitoControlloArchivio &esito, const QString &cartella);

// The user's answer to a wipe's dialog.
enum class Scelta { procedi, copiaPrima, annulla };

// The FAT32 label made from any text: upper case, only A-Z and 0-9, at most 11
// characters, "USB" when nothing is left.
QString nomeVolumeValido(const QString &nome);

// Asks for the new volume name before a quick format; `nome` is set when the
// answer is to go ahead.
struct SceltaNome {
    Scelta scelta = Scelta::annulla;
    QString nome;
};
SceltaNome chiediNuovoNome(PresentatoreAvvisi &avvisi, const USBDrive &drive,
                           const PremessaArchivio &premessa = {});

// Asks the user to type the volume's name before a secure erase; goes ahead
// only for an exact match. A wrong name is told and counts as cancelled.
Scelta confermaCancellazione(PresentatoreAvvisi &avvisi, const USBDrive &drive,
                             const PremessaArchivio &premessa = {});

// The critical alert for a disk the safety check refused, with the reason it
// found; `cartella` is the archive folder's name.
void avvisaDiscoRifiutato(PresentatoreAvvisi &avvisi, const USBDrive &drive, const EsitoControllo &controllo,
                          const QString &cartella);
