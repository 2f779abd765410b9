#pragma once

#include "comune/USBDrive.h"
#include "operations/Avanzamento.h"
#include "operations/Servizi.h"
#include "transfer/ElencoFile.h"

#include <functional>
#include <optional>
#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>
#include <stop_token>
#include <sys/types.h>

class PresentatoreAvvisi;

// What a two-way sync of two sticks will do: indices into each stick's list.
struct PianoSincronizzazione {
    // Same name on both sticks, other contents. A stick that already holds the
    // other's version as a copy received in an earlier sync needs nothing.
    struct Conflitto {
        quint32 a = 0;      // in elencoA
        quint32 b = 0;      // in elencoB
        bool versoA = true; // B's version still to go to A
        bool versoB = true; // A's version still to go to B
    };

    ElencoFile elencoA, elencoB;
    QList<quint32> copyAtoB; // on A only (elencoA)
    QList<quint32> copyBtoA; // on B only (elencoB)
    QList<Conflitto> conflicts;
    qint64 identical = 0;           // received conflict copies whose bytes the other stick holds included
    qint64 conflittiGiaRisolti = 0; // both versions already on both sticks
    // What will not be synced, one readable line each, each counted as an
    // error: folders that could not be read, a name that stands on one stick
    // twice (two Unicode forms, or two cases where case is ignored), and what
    // the receiving stick would refuse (a name, 4 GiB or more on FAT32).
    QStringList nonSincronizzati;
    // Bytes each stick is to receive (rounded up to its allocation unit), and
    // its free space when the plan was made (absent: not known).
    qint64 byteVersoA = 0, byteVersoB = 0;
    std::optional<qint64> liberiA, liberiB;
    // Each root's device when the plan was made (absent: not readable then).
    // Nothing is written to a root that is no longer that device: a stick
    // pulled during the confirmation leaves a bare folder behind.
    std::optional<dev_t> dispositivoA, dispositivoB;
    // Stopped on request ("Annulla") before it was complete: the rest of the
    // plan says nothing true, and nothing of it is to be carried out.
    bool annullato = false;
};

struct EsitoSincronizzazione {
    qint64 copiedAtoB = 0;
    qint64 copiedBtoA = 0;
    qint64 conflictsResolved = 0; // both versions now on both sticks
    qint64 errors = 0;   // failed copies, conflicts with a failed side (once each), and what was not synced
    QStringList falliti; // "“DCIM/IMG.JPG” verso STUDIO: reason", one per failed copy
    // Items not synced because the user stopped ("Annulla"): nothing of them
    // is on the receiving stick.
    qint64 interrotti = 0;
};

// Makes two sticks hold the union of their files, never replacing or deleting
// one: a file that differs between them ends up on both sticks in both
// versions, the received one under a suffixed name. Stateless: plain functions.
namespace CloneUSBService {
// The whole flow on the main thread: analysis, confirmation, execution,
// log line and result alert. Ends when the result alert is dismissed.
QCoro::Task<> sincronizza(Servizi servizi, USBDrive driveA, USBDrive driveB);

// Same size and same SHA-256; two same-sized files that cannot be read at all also count as equal.
bool stessoContenuto(const QString &a, const QString &b);
// Blocking: meant for a worker thread. Once `stop` is requested the digests
// stop within a read, also inside a large file, and the plan comes back
// annullato.
PianoSincronizzazione pianifica(const QString &radiceA, const QString &radiceB,
                                const Riferisci &riferisci = {}, std::stop_token stop = {});
// Once `stop` is requested the file being copied stops within a piece, the
// copies not yet flushed are dropped, and the items left are counted in
// interrotti; the copies already flushed stay.
EsitoSincronizzazione eseguiPiano(const PianoSincronizzazione &piano, const QString &radiceA,
                                  const QString &radiceB, const QString &nomeA, const QString &nomeB,
                                  const Riferisci &riferisci = {}, std::stop_token stop = {});

// "DCIM/IMG.JPG" + "_x" -> "DCIM/IMG_x.JPG"; "README" + "_x" -> "README_x".
QString nomeConSuffisso(const QString &relativePath, const QString &suffisso);
// "Procedi" / "Annulla"; true only for "Procedi".
bool conferma(PresentatoreAvvisi &avvisi, const QString &titolo, const QString &messaggio);

// Free bytes on the file system of `radice`, and its allocation unit; none
// when it does not say (fusefat reports a size of 0).
std::optional<qint64> spazioLibero(const QString &radice, qint64 *unita);
// What `dimensione` bytes take on a file system with that allocation unit.
qint64 occupati(qint64 dimensione, qint64 unita);
} // namespace CloneUSBService
