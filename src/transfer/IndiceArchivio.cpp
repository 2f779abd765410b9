#include "transfer/IndiceArchivio.h"

#include "operations/Registro.h"
#include "transfer/OperazioniFile.h"

#include <cerrno>
#include <fcntl.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray intestazione = QByteArrayLiteral("tessera-indice-archivio\t1\t");

// The first 16 hex digits of the SHA-256 of the line, bound to the archive
// folder: a line copied from another archive's index does not pass either.
QByteArray controllo(const QByteArray &archivio, const QByteArray &riga)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(archivio);
    h.addData(QByteArrayView("\t"));
    h.addData(riga);
    return h.result().toHex().left(16);
}

bool numero(const QByteArray &testo, qint64 *valore)
{
    bool ok = false;
    *valore = testo.toLongLong(&ok);
    return ok;
}

bool esadecimale(const QByteArray &testo)
{
    if (testo.size() != 64)
        return false;
    for (const char c : testo) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool scriviTutto(int fd, const QByteArray &dati)
{
    qsizetype fatto = 0;
    while (fatto < dati.size()) {
        const ssize_t n = ::write(fd, dati.constData() + fatto, size_t(dati.size() - fatto));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        fatto += n;
    }
    return true;
}

} // namespace

ChiaveFile ChiaveFile::da(const struct stat &info)
{
    return {qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            quint64(info.st_ino), qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

QString IndiceArchivio::percorsoPredefinito()
{
    return QDir(cartellaDatiProgramma()).filePath(QStringLiteral("indice_archivio.tsv"));
}

IndiceArchivio IndiceArchivio::leggi(const QString &file, const QString &archivio)
{
    IndiceArchivio indice;
    indice.m_archivio = archivio;
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly))
        return indice;
    const QByteArray cartella = codificaNome(archivio).toPercentEncoding("/");
    const QList<QByteArray> righe = f.readAll().split('\n');
    if (righe.isEmpty() || righe.first() != intestazione + cartella)
        return indice;
    for (qsizetype i = 1; i < righe.size(); ++i) {
        const QByteArray &riga = righe.at(i);
        const qsizetype tab = riga.lastIndexOf('\t');
        if (tab < 0 || controllo(cartella, riga.left(tab)) != riga.mid(tab + 1))
            continue;
        const QList<QByteArray> campi = riga.left(tab).split('\t');
        Voce v;
        qint64 inode = 0;
        if (campi.size() != 6 || !numero(campi[1], &v.chiave.dimensione) ||
            !numero(campi[2], &v.chiave.modificaNs) || !numero(campi[3], &inode) ||
            !numero(campi[4], &v.chiave.cambioNs) || !esadecimale(campi[5]))
            continue;
        v.chiave.inode = quint64(inode);
        v.digest = campi[5];
        indice.m_voci.insert(QByteArray::fromPercentEncoding(campi[0]), v);
    }
    return indice;
}

std::optional<QByteArray> IndiceArchivio::digest(const QByteArray &relativo, const ChiaveFile &chiave) const
{
    const auto it = m_voci.constFind(relativo);
    if (it == m_voci.cend() || !(it->chiave == chiave))
        return std::nullopt;
    return it->digest;
}

void IndiceArchivio::imposta(const QByteArray &relativo, const ChiaveFile &chiave, const QByteArray &digest)
{
    const auto it = m_voci.constFind(relativo);
    if (it != m_voci.cend() && it->chiave == chiave && it->digest == digest)
        return;
    m_voci.insert(relativo, {chiave, digest});
    m_modificato = true;
}

void IndiceArchivio::tieniSolo(const QSet<QByteArray> &presenti)
{
    if (m_voci.removeIf([&](QHash<QByteArray, Voce>::iterator it) { return !presenti.contains(it.key()); }) >
        0)
        m_modificato = true;
}

bool IndiceArchivio::scrivi(const QString &file) const
{
    if (file.isEmpty() || !QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    const QByteArray cartella = codificaNome(m_archivio).toPercentEncoding("/");
    QByteArray dati = intestazione + cartella + '\n';
    for (auto it = m_voci.cbegin(); it != m_voci.cend(); ++it) {
        const ChiaveFile &k = it->chiave;
        const QByteArray riga = it.key().toPercentEncoding("/") + '\t' + QByteArray::number(k.dimensione) +
                                '\t' + QByteArray::number(k.modificaNs) + '\t' +
                                QByteArray::number(qint64(k.inode)) + '\t' + QByteArray::number(k.cambioNs) +
                                '\t' + it->digest;
        dati += riga + '\t' + controllo(cartella, riga) + '\n';
    }
    const QByteArray finale = codificaNome(file);
    const QByteArray temporaneo = finale + ".tmp-" + QByteArray::number(::getpid());
    const int fd =
        ::open(temporaneo.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool scritto = scriviTutto(fd, dati) && ::fdatasync(fd) == 0;
    if (::close(fd) != 0 || !scritto || ::rename(temporaneo.constData(), finale.constData()) != 0) {
        ::unlink(temporaneo.constData());
        return false;
    }
    return true;
}
