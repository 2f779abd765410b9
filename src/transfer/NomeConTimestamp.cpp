#include "transfer/NomeConTimestamp.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"

#include <sys/stat.h>

namespace {
bool esiste(const QString &percorso)
{
    struct stat st;
    // A dangling link still occupies the name. A name that cannot be looked at
    // counts as free: the rename that places a copy refuses to replace anyway.
    return ::lstat(codificaNome(percorso).constData(), &st) == 0;
}

// Names are limited to 255 bytes on the file systems a stick or an archive
// lives on; a long name gets its base shortened rather than a copy that fails.
constexpr int lunghezzaMassimaNome = 255;

QString accorcia(const QString &base, int byteDisponibili)
{
    QString r = base;
    while (!r.isEmpty() && codificaNome(r).size() > byteDisponibili) {
        r.chop(1);
        if (!r.isEmpty() && r.back().isHighSurrogate())
            r.chop(1);
    }
    return r;
}
} // namespace

QString urlConTimestamp(const QString &file, const QString &cartella)
{
    const QString stamp = Orologio::timestamp();
    const QString nome = nomeDi(file);
    const qsizetype punto = nome.lastIndexOf(QLatin1Char('.'));
    const bool conEstensione = punto > 0 && punto < nome.size() - 1;
    const QString base = conEstensione ? nome.left(punto) : nome;
    const QString ext = conEstensione ? nome.mid(punto + 1) : QString();
    const QString prefisso = conBarra(cartella);

    for (qint64 k = 0;; ++k) {
        QString coda = QLatin1Char('_') + stamp;
        if (k > 0)
            coda += QLatin1Char('_') + QString::number(k);
        if (conEstensione)
            coda += QLatin1Char('.') + ext;
        const QString candidato = accorcia(base, lunghezzaMassimaNome - int(coda.toUtf8().size())) + coda;
        if (!esiste(prefisso + candidato))
            return prefisso + candidato;
    }
}
