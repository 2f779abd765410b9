#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The one rule the copy and the import share for "already archived": the
// archive holds the very same bytes under the stick file's name, or under one
// of the timestamped names a copy of it took because that name was taken
// ("{base}_{stamp}.{ext}", "{base}_{stamp}_1.{ext}", ...). Copying a stick a
// second time then adds nothing, while an image that only reuses a name (a
// machine that restarted its numbering) is still kept beside the other one.
// Blocking; one thread at a time.
class GiaInArchivio {
public:
    // Reads the names in the flat archive folder once.
    explicit GiaInArchivio(const QString &cartella);

    // The archived file with the bytes of `file` (`dimensione` long), or empty.
    QString trova(const QString &file, qint64 dimensione) const;
    // A copy placed meanwhile, under its final path.
    void aggiungi(const QString &archiviato);

private:
    QString m_cartella;
    QHash<QString, QStringList> m_conTimestamp; // plain name -> timestamped names present
};
