#pragma once

#include "transfer/Digest.h"

#include <optional>
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

// The SHA-256 digests of the archive's files read so far, kept on disk so that
// checking a large archive a second time reads only what changed. It is a
// cache: a missing or stale entry only costs reading the file again. Each line
// carries a MAC keyed with a secret of this user's, kept beside the index, so a
// damaged or forged line is dropped rather than believed. The index and the
// secret are used only when they are regular files owned by this user; anything
// else found under their names (a link, a FIFO, another user's file) is set
// aside, renamed with ".scartato-…", and the index starts over.
class IndiceArchivio {
public:
    // "indice_archivio.tsv" beside the operations log.
    static QString percorsoPredefinito();

    // The entries `file` holds for the archive folder `archivio`; empty when
    // the file is missing, unreadable, not to be trusted or made for another folder.
    static IndiceArchivio leggi(const QString &file, const QString &archivio);

    // The digest recorded for `relativo` (bytes as on the medium) with this very key.
    std::optional<QByteArray> digest(const QByteArray &relativo, const ChiaveFile &chiave) const;
    void imposta(const QByteArray &relativo, const ChiaveFile &chiave, const QByteArray &digest);
    // Drops the entries of files that are no longer in the archive.
    void tieniSolo(const QSet<QByteArray> &presenti);
    bool modificato() const { return m_modificato; }

    // Replaces `file` at once (a temporary file renamed over it), readable by
    // its owner only: it names patients' files. False on any failure, which
    // leaves the old file as it was.
    bool scrivi(const QString &file) const;

private:
    struct Voce {
        ChiaveFile chiave;
        QByteArray digest; // 64 lower-case hex digits
    };
    QString m_archivio;
    QHash<QByteArray, Voce> m_voci;
    bool m_modificato = false;
};
