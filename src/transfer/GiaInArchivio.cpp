#include "transfer/GiaInArchivio.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "transfer/Digest.h"

#include <dirent.h>
#include <optional>
#include <QRegularExpression>
#include <sys/stat.h>

namespace {
// "IMG_2024-03-07_09-05-31_2.JPG" -> "IMG.JPG"; empty for a name no copy took.
QString nomeSenzaTimestamp(const QString &nome)
{
    static const QRegularExpression schema(
        QStringLiteral("^(.+)_%1(?:_\\d+)?(\\.[^.]+)?$").arg(QLatin1String(Orologio::schemaTimestamp)));
    const QRegularExpressionMatch m = schema.match(nome);
    return m.hasMatch() ? m.captured(1) + m.captured(2) : QString();
}
} // namespace

GiaInArchivio::GiaInArchivio(const QString &cartella) : m_cartella(cartella)
{
    DIR *dir = ::opendir(codificaNome(cartella).constData());
    if (!dir)
        return;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] != '.')
            aggiungi(dentro(cartella, decodificaNome(QByteArray(e->d_name))));
    }
    ::closedir(dir);
}

void GiaInArchivio::aggiungi(const QString &archiviato)
{
    const QString nome = nomeDi(archiviato);
    const QString semplice = nomeSenzaTimestamp(nome);
    if (!semplice.isEmpty())
        m_conTimestamp[semplice].append(nome);
}

QString GiaInArchivio::trova(const QString &file, qint64 dimensione) const
{
    const QString nome = nomeDi(file);
    std::optional<std::optional<QString>> suChiavetta; // read once, only when a size matches
    for (const QString &candidato : QStringList{nome} + m_conTimestamp.value(nome)) {
        const QString percorso = dentro(m_cartella, candidato);
        struct stat info;
        if (::lstat(codificaNome(percorso).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_size != dimensione)
            continue;
        // A comparison, not the proof of a copy: cached pages will do.
        if (!suChiavetta)
            suChiavetta = hashSHA256InCache(file);
        if (!*suChiavetta)
            return {};
        if (hashSHA256InCache(percorso) == *suChiavetta)
            return percorso;
    }
    return {};
}
