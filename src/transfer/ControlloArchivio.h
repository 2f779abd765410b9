#pragma once

#include "operations/Avanzamento.h"
#include "operations/Servizi.h"

#include <functional>
#include <optional>
#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>
#include <stop_token>

// One volume of the disk about to be wiped.
struct VolumeDaControllare {
    QString puntoMontaggio; // empty: not mounted, so nothing on it can be looked at
    QString nome;           // as the user knows it: its label, or its device
};

// Whether every file of a stick is already in the archive folder, compared by
// SHA-256: the same contents anywhere in the archive count, whatever the name.
// Asked before a stick is wiped, for every volume of its disk. A file counts as
// safe only when a readable archive file with the same digest exists; anything
// that could not be read, or a volume that could not be looked at, never counts.
struct EsitoControlloArchivio {
    bool annullato = false;
    // Why the archive folder as a whole cannot vouch for anything (missing,
    // unreadable, or on the stick itself); empty when it could be read.
    QString archivioInutilizzabile;
    bool archivioSullaChiavetta = false; // copying the stick into it would copy it onto itself
    qint64 file = 0;                     // files on the stick, as the copy sees them (hidden ones aside)
    qint64 nascosti = 0;                 // hidden entries, which the copy does not archive
    QStringList mancanti;                // stick files, relative paths, whose contents are not in the archive
    QStringList nonLetti;                // stick files and folders that could not be read: "“x”: reason"
    QStringList volumiNonControllati;    // volumes of the disk that could not be looked at: "“x”: reason"
    qint64 cartelleArchivioNonLette = 0; // archive folders whose files could not count
    qint64 fileArchivioLetti = 0;        // archive files read, that is not found in the index
    // The stick files, whole paths (decodificaNome), that are missing or could
    // not be read: what copying first has to copy, no more.
    QStringList daCopiare;

    bool alSicuro() const
    {
        return !annullato && archivioInutilizzabile.isEmpty() && mancanti.isEmpty() && nonLetti.isEmpty() &&
               volumiNonControllati.isEmpty();
    }
};

// Any thread but the main one. `indice` is the digest index's file (empty:
// none); it is read first and rewritten only after a check that ran to its
// end. A stop request ends the reading within a fraction of a second, even on
// a slow stick, and leaves everything as it was. With more than one volume,
// each file is named after its volume ("DATI/DCIM/b.jpg"). Progress is the
// share of the bytes to read, and the file being read.
EsitoControlloArchivio controllaArchivio(const QList<VolumeDaControllare> &volumi, const QString &archivio,
                                         const QString &indice, std::stop_token stop = {},
                                         const Riferisci &avanzamento = {});
// One mounted volume.
EsitoControlloArchivio controllaArchivio(const QString &chiavetta, const QString &archivio,
                                         const QString &indice, std::stop_token stop = {},
                                         const Riferisci &avanzamento = {});

// Main thread. Runs the check on the thread pool under a card of its own with
// an "Annulla" button, released before it returns; none when the user cancelled.
// The caller has tested the busy flags.
QCoro::Task<std::optional<EsitoControlloArchivio>>
controllaArchivioConScheda(QString nomeChiavetta, QList<VolumeDaControllare> volumi, QString archivio,
                           Servizi servizi);
