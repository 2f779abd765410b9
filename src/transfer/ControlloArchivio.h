#pragma once

#include "operations/Servizi.h"

#include <functional>
#include <optional>
#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>
#include <stop_token>

// Whether every file of a stick is already in the archive folder, compared by
// SHA-256: the same contents anywhere in the archive count, whatever the name.
// Asked before a stick is wiped. A file counts as safe only when a readable
// archive file with the same digest exists; anything that could not be read
// never counts.
struct EsitoControlloArchivio {
    bool annullato = false;
    // Why the archive folder as a whole cannot vouch for anything (missing,
    // unreadable, or on the stick itself); empty when it could be read.
    QString archivioInutilizzabile;
    qint64 file = 0;                     // files on the stick, as the copy sees them (hidden ones aside)
    QStringList mancanti;                // stick files, relative paths, whose contents are not in the archive
    QStringList nonLetti;                // stick files and folders that could not be read: "“x”: reason"
    qint64 cartelleArchivioNonLette = 0; // archive folders whose files could not count
    qint64 fileArchivioLetti = 0;        // archive files read, that is not found in the index

    bool alSicuro() const
    {
        return !annullato && archivioInutilizzabile.isEmpty() && mancanti.isEmpty() && nonLetti.isEmpty();
    }
};

// Progress from the worker thread: share of the bytes to read, and "{k} di {n} — {nome}".
using AvanzamentoControllo = std::function<void(double, const QString &)>;

// Any thread but the main one. `indice` is the digest index's file (empty:
// none); it is read first and rewritten only after a check that ran to its
// end. A stop request ends the reading soon and leaves everything as it was.
EsitoControlloArchivio controllaArchivio(const QString &chiavetta, const QString &archivio,
                                         const QString &indice, std::stop_token stop = {},
                                         const AvanzamentoControllo &avanzamento = {});

// Main thread. Runs the check on the thread pool under a card of its own with
// an "Annulla" button, released before it returns; none when the user cancelled.
// The caller has tested the busy flags.
QCoro::Task<std::optional<EsitoControlloArchivio>>
controllaArchivioConScheda(QString nomeChiavetta, QString chiavetta, QString archivio, Servizi servizi);
