#pragma once

#include "transfer/Collocazione.h"

#include <optional>
#include <QHash>
#include <QString>
#include <QStringList>
#include <stop_token>

// The one rule the copy and the import share for "already archived": the
// archive holds the very same bytes where a copy of the stick's file would
// have gone, under its name or under one of the timestamped names a copy of
// it took because that name was taken ("{base}_{stamp}.{ext}",
// "{base}_{stamp}_1.{ext}", ...). Looked for both directly in the archive
// folder and, under the stick's own folders, in each folder this stick's
// copies took on any day, whichever way the archive is laid out now: copying
// a stick a second time, the next day, or after the layout was changed, adds
// nothing, while an image that only reuses a name (a machine that restarted
// its numbering) is still kept beside the other one. Blocking; one thread at
// a time.
class GiaInArchivio {
public:
    // Reads the names in the archive folder once; its other folders when a
    // file could be in them, each once.
    explicit GiaInArchivio(const Collocazione &collocazione);

    // The archived file with the bytes of `file` (`dimensione` long), or
    // empty. None when `stop` came while the contents were being compared
    // (heard within a piece, also inside a large file): whether the archive
    // holds it is then not known.
    std::optional<QString> trova(const QString &file, qint64 dimensione,
                                 const std::stop_token &stop = {}) const;
    // A copy placed meanwhile, under its final path.
    void aggiungi(const QString &archiviato);

private:
    // A folder's names, by the name a copy would have had before it got a
    // timestamped one: "IMG.JPG" -> "IMG.JPG", "IMG_2024-03-07_09-05-31.JPG".
    using Nomi = QHash<QString, QStringList>;
    const Nomi &nomiIn(const QString &cartella) const;
    static void aggiungiNome(Nomi &nomi, const QString &nome);
    static bool contiene(const Nomi &nomi, const QString &nome);
    void candidati(const QString &cartella, const QString &relativo, QStringList &trovati) const;

    Collocazione m_collocazione;
    QString m_radice;                        // the archive folder, cleaned
    QStringList m_cartelleChiavetta;         // the stick's folders of every day
    mutable QHash<QString, Nomi> m_cartelle; // each folder read so far
};
