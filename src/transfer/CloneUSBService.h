#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <functional>
#include <optional>
#include <QCoro/QCoroTask>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <sys/types.h>

class AlertPresenter;

// What a two-way sync of two sticks will do. File locations are absolute paths.
struct PianoSincronizzazione {
    struct Conflitto {
        QString relativePath;
        QString fileA;
        QString fileB;
    };

    QStringList copyAtoB; // on A only
    QStringList copyBtoA; // on B only
    QList<Conflitto> conflicts;
    qint64 identical = 0;
    // What will not be synced, one readable line each, each counted as an
    // error: folders that could not be read, and a name that stands on one
    // stick twice, spelled in two Unicode forms.
    QStringList nonSincronizzati;
    // Each root's device when the plan was made (absent: not readable then).
    // Nothing is written to a root that is no longer that device: a stick
    // pulled during the confirmation leaves a bare folder behind.
    std::optional<dev_t> dispositivoA, dispositivoB;
};

struct EsitoSincronizzazione {
    qint64 copiedAtoB = 0;
    qint64 copiedBtoA = 0;
    qint64 conflictsResolved = 0; // both versions now on both sticks
    qint64 errors = 0; // failed copies, conflicts with a failed side (once each), and what was not synced
};

// Makes two sticks hold the union of their files, never replacing or deleting
// one: a file that differs between them ends up on both sticks in both
// versions, the received one under a suffixed name. Stateless: plain functions.
namespace CloneUSBService {
// Called on the worker thread before each item: fraction 0...1 and the card's detail line.
using Progresso = std::function<void(double frazione, const QString &dettaglio)>;

// The whole flow on the main thread: analysis, confirmation, execution,
// log line and result alert. Ends when the result alert is dismissed.
QCoro::Task<> sincronizza(Servizi servizi, USBDrive driveA, USBDrive driveB);

// Relative path ("DCIM/IMG_0001.JPG", in NFC) -> absolute path, for every
// regular, non-hidden file below `radice`. `esclusi` receives a line for
// each folder that could not be read and each file left out because
// another one spells the same name.
QHash<QString, QString> mappaFile(const QString &radice, QStringList *esclusi = nullptr);
// Same size and same SHA-256; two same-sized files that cannot be read at all also count as equal.
bool stessoContenuto(const QString &a, const QString &b);
// Blocking: meant for a worker thread.
PianoSincronizzazione pianifica(const QString &radiceA, const QString &radiceB,
                                const Progresso &progresso = {});
EsitoSincronizzazione eseguiPiano(const PianoSincronizzazione &piano, const QString &radiceA,
                                  const QString &radiceB, const QString &nomeA, const QString &nomeB,
                                  const Progresso &progresso = {});

// "DCIM/IMG.JPG" + "_x" -> "DCIM/IMG_x.JPG"; "README" + "_x" -> "README_x".
QString nomeConSuffisso(const QString &relativePath, const QString &suffisso);
// "Procedi" / "Annulla"; true only for "Procedi".
bool conferma(AlertPresenter &avvisi, const QString &titolo, const QString &messaggio);
} // namespace CloneUSBService
