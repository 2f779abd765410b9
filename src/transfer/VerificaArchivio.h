#pragma once

#include "operations/Avanzamento.h"

#include <functional>
#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>
#include <stop_token>

// Re-checking the archive, years after the copies, against the manifests they
// left: each listed file is read again from the disk and its SHA-256 compared
// with the one proven at the copy. Nothing in the archive is ever written,
// moved or "repaired": a file that changed is named, with the stick and the
// copy it came from, so that the practice can fetch a good copy.

// A listed file that is not as it was archived.
struct FileDaRecuperare {
    QString nome;      // relative to the archive, for the user (nomeLeggibile)
    QString origine;   // the newest manifest listing it, told (descriviOrigine)
    QString motivo;    // why it could not be read; empty for changed and missing files
    QString manifesto; // that manifest's file name
};

struct EsitoVerificaArchivio {
    bool annullato = false;
    QString archivioInutilizzabile; // why the archive folder could not be opened; empty when it could
    qint64 manifesti = 0;           // manifests read
    qint64 elencati = 0;            // files they list, each once (a later listing replaces an earlier one)
    qint64 identici = 0;
    QList<FileDaRecuperare> cambiati;     // the digest differs
    QList<FileDaRecuperare> mancanti;     // no longer in the archive
    QList<FileDaRecuperare> nonLeggibili; // there, but could not be read to the end
    // Changed, missing or unreadable, but the very bytes listed are intact in
    // another archive file, which `motivo` names: nothing is lost.
    QList<FileDaRecuperare> altrove;
    QStringList nonCoperti;        // archive files no manifest lists (nomeLeggibile), sorted
    QStringList problemiManifesti; // "“manifest”: reason" and "“manifest”, riga 3: reason"
    QStringList cartelleNonLette;  // archive folders whose files could not be looked at: "“x”: reason"
    qint64 byteLetti = 0;
    double secondi = 0;

    bool problemi() const
    {
        return !cambiati.isEmpty() || !mancanti.isEmpty() || !nonLeggibili.isEmpty() ||
               !problemiManifesti.isEmpty() || !cartelleNonLette.isEmpty();
    }
};

// Any thread but the main one. Opens nothing for writing. A stop request is
// heard within a read of 64 KiB, and never more is asked of the disk ahead
// than it reads in about a quarter of a second, so "Annulla" ends it within
// about half a second even on a slow disk or network share. Progress, a few
// times a second at most, is the share of the bytes to read and the card's
// line: "{k} di {n} — {name}", with the bytes the card reckons its speed and
// time left from. The command that runs it
// under the card is verificaArchivioConScheda (ComandiTrasferimento.h).
EsitoVerificaArchivio verificaArchivio(const QString &archivio, std::stop_token stop = {},
                                       const Riferisci &avanzamento = {});

// The outcome for the user: counts, then the first few files to recover.
QString testoEsitoVerifica(const EsitoVerificaArchivio &esito, const QString &cartella);
// The log line: counts, then every file by name (or the file beside the log
// that lists them, when they are very many).
QString rigaRegistroVerifica(const QString &cartella, const EsitoVerificaArchivio &esito);
