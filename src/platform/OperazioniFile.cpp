#include "platform/OperazioniFile.h"

#include "comune/NomiFile.h"
#include "platform/PrimitiveFile.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <QFileInfo>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

int Descrittore::chiudi()
{
    if (m_fd < 0)
        return 0;
    const int esito = ::close(m_fd) == 0 ? 0 : errno;
    m_fd = -1;
    return esito;
}

int scriviTutto(int fd, QByteArrayView dati, bool diretto)
{
    for (qsizetype scritti = 0; scritti < dati.size();) {
        const ssize_t n = ::write(fd, dati.data() + scritti, size_t(dati.size() - scritti));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0 || (diretto && n < dati.size() - scritti))
            return ENOSPC;
        scritti += n;
    }
    return 0;
}

std::optional<QByteArray> leggiTutto(int fd)
{
    QByteArray dati;
    char blocco[65536];
    for (;;) {
        const ssize_t n = ::read(fd, blocco, sizeof blocco);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return dati;
        dati.append(blocco, n);
    }
}

int apriFileRegolare(const QString &file, struct stat *info)
{
    return soloFileRegolare(apriPercorso(file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY), info);
}

int soloFileRegolare(int fd, struct stat *info)
{
    if (fd < 0)
        return -1;
    if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<qint64> dimensione(const QString &file)
{
    struct stat info;
    if (::lstat(codificaNome(file).constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.st_size);
}

std::optional<qint64> dimensioneFileRegolare(const QString &file)
{
    struct stat info;
    if (::lstat(codificaNome(file).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return qint64(info.st_size);
}

std::optional<QList<QByteArray>> nomiIn(const QString &cartella)
{
    const int fd = apriPercorso(cartella, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    QList<QByteArray> nomi;
    errno = 0;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray nome(e->d_name);
        if (nome != "." && nome != "..")
            nomi.append(nome);
        errno = 0;
    }
    const int errore = errno;
    ::closedir(dir);
    if (errore != 0)
        return std::nullopt;
    return nomi;
}

std::optional<dev_t> dispositivoDi(const QString &percorso)
{
    struct stat info;
    if (::stat(codificaNome(percorso).constData(), &info) != 0)
        return std::nullopt;
    return info.st_dev;
}

std::optional<SpazioFileSystem> spazioVolume(const QString &cartella)
{
    struct statvfs s;
    if (::statvfs(codificaNome(cartella).constData(), &s) != 0)
        return std::nullopt;
    const qint64 unita = qint64(s.f_frsize);
    return SpazioFileSystem{qint64(s.f_blocks) * unita, qint64(s.f_bavail) * unita, qMax<qint64>(unita, 1)};
}

bool creaCartella(const QString &cartella, QString *errore)
{
    const auto fallisci = [&](const QString &testo) {
        if (errore)
            *errore = testo;
        return false;
    };
    if (cartella.isEmpty())
        return fallisci(QStringLiteral("Nessuna cartella indicata."));

    const QString assoluta = QFileInfo(cartella).absoluteFilePath();
    // Walk down from the root so that the failing component is the one named.
    qsizetype da = 1;
    for (;;) {
        const qsizetype barra = assoluta.indexOf(QLatin1Char('/'), da);
        const QString parziale = barra < 0 ? assoluta : assoluta.left(barra);
        const QByteArray p = codificaNome(parziale);
        struct stat info;
        if (::stat(p.constData(), &info) == 0) {
            if (!S_ISDIR(info.st_mode))
                return fallisci(QStringLiteral("“%1” esiste già e non è una cartella.").arg(parziale));
        } else if (errno != ENOENT) {
            return fallisci(QStringLiteral("“%1”: %2.").arg(parziale, descrizioneErrore(errno)));
        } else if (::mkdir(p.constData(), 0777) != 0 && errno != EEXIST) {
            return fallisci(
                QStringLiteral("Impossibile creare “%1”: %2.").arg(parziale, descrizioneErrore(errno)));
        } else if (::stat(p.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return fallisci(QStringLiteral("“%1” esiste già e non è una cartella.").arg(parziale));
        }
        if (barra < 0)
            return true;
        da = barra + 1;
    }
}

bool creaSotto(const QString &cartella, const QString &relativo, QString *errore)
{
    const auto fallisci = [&](const QString &dove, int codice) {
        if (errore)
            *errore = QStringLiteral("“%1”: %2.").arg(dove, descrizioneErrore(codice));
        return false;
    };
    int fd = apriPercorso(cartella, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return fallisci(cartella, errno);
    QString fatto = cartella;
    for (const QString &parte : relativo.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        fatto = fatto + QLatin1Char('/') + parte;
        const QByteArray nome = codificaNome(parte);
        int figlio = -1;
        if (nome != "." && nome != ".." && (::mkdirat(fd, nome.constData(), 0777) == 0 || errno == EEXIST))
            figlio = apriIn(fd, nome, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        const int e = nome == "." || nome == ".." ? EINVAL : errno;
        ::close(fd);
        if (figlio < 0)
            return fallisci(fatto, e);
        fd = figlio;
    }
    ::close(fd);
    return true;
}

namespace {
// Each code in words, said of the archive's disk and, where the user can do
// something about it there (unlock it, empty it, plug it in again), of a stick.
struct TestoErrore {
    int codice;
    const char *disco;
    const char *chiavetta; // null: as for the disk
};
const TestoErrore testiErrore[] = {
    {ENOENT, "file o cartella inesistente", "la chiavetta non è più disponibile"},
    {EACCES, "permesso negato", nullptr},
    {EPERM, "permesso negato", nullptr},
    {ENOSPC, "spazio esaurito sul disco", "spazio esaurito sulla chiavetta"},
    {EDQUOT, "spazio esaurito sul disco", "spazio esaurito sulla chiavetta"},
    {EROFS, "il disco è in sola lettura", "la chiavetta è in sola lettura (protetta da scrittura)"},
    {EIO, "errore di lettura o scrittura sul dispositivo",
     "errore di lettura o scrittura del dispositivo (chiavetta rimossa o danneggiata?)"},
    {ENOTDIR, "una parte del percorso non è una cartella", nullptr},
    {EISDIR, "è una cartella", nullptr},
    {EEXIST, "esiste già", nullptr},
    {ENAMETOOLONG, "nome troppo lungo", nullptr},
    {ELOOP, "è un collegamento, non un file", nullptr},
    {EINVAL, "nome o operazione non ammessi da questo disco", nullptr},
    {EFBIG, "file troppo grande per questo disco", nullptr},
    {EMFILE, "troppe cartelle annidate o troppi file aperti", nullptr},
    {ENFILE, "troppe cartelle annidate o troppi file aperti", nullptr},
    // ENOTCONN: a FUSE file system whose program is gone.
    {ENXIO, "il dispositivo non è più disponibile", "la chiavetta non è più disponibile"},
    {ENODEV, "il dispositivo non è più disponibile", "la chiavetta non è più disponibile"},
    {ENOTCONN, "il dispositivo non è più disponibile", "la chiavetta non è più disponibile"},
    {ESTALE, "il dispositivo non è più disponibile", nullptr},
};
} // namespace

QString descrizioneErrore(int codice, Supporto supporto)
{
    for (const TestoErrore &t : testiErrore) {
        if (t.codice == codice)
            return QString::fromUtf8(supporto == Supporto::chiavetta && t.chiavetta ? t.chiavetta : t.disco);
    }
    return testoErroreSistema(codice);
}
