#pragma once

#include "diagnostics/MisuraVelocita.h"
#include "operations/Avanzamento.h"

#include <optional>
#include <QString>
#include <stop_token>

// The check of a stick's real capacity. Counterfeit and worn sticks accept
// writes past what they can hold and hand back other data when read: images
// written last are silently lost. The check fills the free space with files
// of a pattern that names itself (every 4 KiB sector carries its offset in
// the fill and the seed of this run), reads them all back from the medium,
// counts what came back wrong or not at all, and removes every file it wrote.
namespace StrumentiDiagnostica {

inline const QString cartellaVerificaCapacita = QStringLiteral(".tessera_verifica_capacita");
inline constexpr qint64 settoreCapacita = 4096;
inline constexpr qint64 bloccoCapacita = 1 << 20; // one write or read request
// Below this there is too little free space for the check to say anything.
inline constexpr qint64 spazioMinimoCapacita = 16 << 20;

struct ParametriCapacita {
    // FAT32 holds at most 4 GiB - 1 per file; smaller files also lose less
    // when one cannot be written whole.
    qint64 dimensioneFile = 1LL << 30;
    bool ioDiretto = true; // off: synced, then dropped from the page cache
    // What the short sample before the check measured, for the time left.
    std::optional<VelocitaMisurate> velocitaStimate;
};

struct EsitoCapacita {
    enum class Fine { completata, annullata, interrotta, pocoSpazio };
    Fine fine = Fine::completata;
    qint64 dichiarati = 0; // total size the file system reports
    qint64 libero = 0;     // free before the check
    qint64 scritti = 0;    // pattern bytes written and synced
    qint64 intatti = 0;    // read back exactly as written
    double scrittura = 0;  // MB/s
    double lettura = 0;
    QString errore;     // why it stopped early
    bool pulita = true; // no file of the check is left on the stick

    qint64 persi() const { return scritti - intatti; }
    // What the stick really holds: what was in use, plus what it kept of the
    // fill. A stick that wraps keeps its real size's worth, the last written;
    // one that drops keeps the first.
    qint64 utilizzabili() const { return dichiarati - libero + intatti; }
    bool falsa() const { return fine == Fine::completata && persi() > 0; }
};

// What the question before the check tells the user.
struct PreparazioneCapacita {
    qint64 libero = 0;
    qint64 totale = 0;
    bool contieneFile = false;                // the stick holds files of its own
    std::optional<VelocitaMisurate> velocita; // none when too little space for a sample
    QString errore;                           // why the stick cannot be checked, a sentence
};

// Removes what an earlier check left behind (a crash, a pulled stick); only
// files named as the check names them. True when nothing of it is left.
bool rimuoviFileCapacita(const QString &volume);

// Clears leftovers, reads the free space and times a short sample. Blocking.
PreparazioneCapacita preparaVerificaCapacita(const QString &volume);

// The whole check; blocks until done, stopped through `stop`, or the stick
// goes away. Never leaves a file on a stick that is still there. Progress
// comes a few times a second at most: the share done, a line for the card
// (speed and time left), the bytes written and read back of all there are to.
EsitoCapacita verificaCapacita(const QString &volume, std::stop_token stop, const Riferisci &avanzamento,
                               const ParametriCapacita &parametri = {});

Righe righeCapacita(const EsitoCapacita &esito);
QString rigaRegistroCapacita(const QString &nome, const EsitoCapacita &esito);

} // namespace StrumentiDiagnostica
