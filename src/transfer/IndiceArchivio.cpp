#include "transfer/IndiceArchivio.h"

#include "comune/NomiFile.h"
#include "operations/Registro.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"

#include <cerrno>
#include <fcntl.h>
#include <QDir>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray intestazione = QByteArrayLiteral("tessera-indice-archivio\t2\t");
constexpr qsizetype lunghezzaSegreto = 32;

// The MAC of the line, bound to the archive folder: a line copied from another
// archive's index does not pass either, nor one written without the secret.
QByteArray controllo(const QByteArray &segreto, const QByteArray &archivio, const QByteArray &riga)
{
    return QMessageAuthenticationCode::hash(archivio + '\t' + riga, segreto, QCryptographicHash::Sha256)
        .toHex()
        .left(32);
}

bool numero(const QByteArray &testo, qint64 *valore)
{
    bool ok = false;
    *valore = testo.toLongLong(&ok);
    return ok;
}

bool istante(const QByteArray &secondi, const QByteArray &nanosecondi, Istante *valore)
{
    return numero(secondi, &valore->secondi) && numero(nanosecondi, &valore->nanosecondi) &&
           valore->nanosecondi >= 0 && valore->nanosecondi < 1000000000;
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

// Renames whatever is at `percorso` out of the way, so a new file can take
// its name; it is kept, not deleted: it may be someone else's.
void mettiDaParte(const QByteArray &percorso)
{
    const QByteArray altrove =
        percorso + ".scartato-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    ::rename(percorso.constData(), altrove.constData());
}

// The contents of `percorso` when it is a regular file owned by this user (and,
// with `privato`, readable by no one else); none when it is missing. Anything
// else under that name is set aside. Never follows a link, never waits on a FIFO.
std::optional<QByteArray> leggiNostro(const QByteArray &percorso, bool privato)
{
    const int fd = apriIn(AT_FDCWD, percorso, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno != ENOENT)
            mettiDaParte(percorso);
        return std::nullopt;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        (privato && (info.st_mode & 077) != 0)) {
        ::close(fd);
        mettiDaParte(percorso);
        return std::nullopt;
    }
    const std::optional<QByteArray> dati = leggiTutto(fd);
    ::close(fd);
    return dati;
}

// `dati` in place of `finale` at once, readable by this user only: a new
// temporary file (exclusive, so nothing planted under its name is written
// through), flushed, then renamed over the old one.
bool sostituisci(const QByteArray &finale, const QByteArray &dati)
{
    QByteArray temporaneo;
    int fd = -1;
    for (int tentativo = 0; tentativo < 10 && fd < 0; ++tentativo) {
        temporaneo = finale + ".tmp-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        fd = apriIn(AT_FDCWD, temporaneo, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    const bool scritto = scriviTutto(fd, dati) == 0 && ::fdatasync(fd) == 0;
    if (::close(fd) != 0 || !scritto || ::rename(temporaneo.constData(), finale.constData()) != 0) {
        ::unlink(temporaneo.constData());
        return false;
    }
    return true;
}

// The secret beside the index: "indice_archivio.chiave" for "indice_archivio.tsv".
QByteArray fileSegreto(const QString &indice)
{
    const QFileInfo f(indice);
    return codificaNome(f.dir().filePath(f.completeBaseName() + QStringLiteral(".chiave")));
}

// The user's secret; with `crea`, a new one is made when there is none to trust.
std::optional<QByteArray> segreto(const QString &indice, bool crea)
{
    const QByteArray percorso = fileSegreto(indice);
    if (const std::optional<QByteArray> letto = leggiNostro(percorso, true);
        letto && letto->size() == lunghezzaSegreto)
        return letto;
    if (!crea)
        return std::nullopt;
    QByteArray nuovo(lunghezzaSegreto, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(nuovo.data()),
                                         reinterpret_cast<quint32 *>(nuovo.data() + nuovo.size()));
    if (!sostituisci(percorso, nuovo))
        return std::nullopt;
    return nuovo;
}

} // namespace

QString IndiceArchivio::percorsoPredefinito()
{
    return QDir(cartellaDatiProgramma()).filePath(QStringLiteral("indice_archivio.tsv"));
}

IndiceArchivio IndiceArchivio::leggi(const QString &file, const QString &archivio)
{
    IndiceArchivio indice;
    indice.m_archivio = archivio;
    if (file.isEmpty())
        return indice;
    const std::optional<QByteArray> testo = leggiNostro(codificaNome(file), false);
    const std::optional<QByteArray> chiave = testo ? segreto(file, false) : std::nullopt;
    if (!chiave)
        return indice;
    const QByteArray cartella = codificaNome(archivio).toPercentEncoding("/");
    const QList<QByteArray> righe = testo->split('\n');
    if (righe.isEmpty() || righe.first() != intestazione + cartella)
        return indice;
    for (qsizetype i = 1; i < righe.size(); ++i) {
        const QByteArray &riga = righe.at(i);
        const qsizetype tab = riga.lastIndexOf('\t');
        if (tab < 0 || controllo(*chiave, cartella, riga.left(tab)) != riga.mid(tab + 1))
            continue;
        const QList<QByteArray> campi = riga.left(tab).split('\t');
        Voce v;
        qint64 inode = 0;
        if (campi.size() != 8 || !numero(campi[1], &v.chiave.dimensione) ||
            !istante(campi[2], campi[3], &v.chiave.modifica) || !numero(campi[4], &inode) ||
            !istante(campi[5], campi[6], &v.chiave.cambio) || !esadecimale(campi[7]))
            continue;
        v.chiave.inode = quint64(inode);
        v.digest = campi[7];
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
    const std::optional<QByteArray> chiave = segreto(file, true);
    if (!chiave)
        return false;
    const QByteArray cartella = codificaNome(m_archivio).toPercentEncoding("/");
    QByteArray dati = intestazione + cartella + '\n';
    const auto campo = [](qint64 n) { return '\t' + QByteArray::number(n); };
    for (auto it = m_voci.cbegin(); it != m_voci.cend(); ++it) {
        const ChiaveFile &k = it->chiave;
        const QByteArray riga = it.key().toPercentEncoding("/") + campo(k.dimensione) +
                                campo(k.modifica.secondi) + campo(k.modifica.nanosecondi) +
                                campo(qint64(k.inode)) + campo(k.cambio.secondi) +
                                campo(k.cambio.nanosecondi) + '\t' + it->digest;
        dati += riga + '\t' + controllo(*chiave, cartella, riga) + '\n';
    }
    return sostituisci(codificaNome(file), dati);
}
