#include "transfer/OperazioniFile.h"

#include "operations/Orologio.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <openssl/evp.h>
#include <QFile>
#include <QFileInfo>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int apri(const QString &percorso, int flag)
{
    int fd;
    do {
        fd = apriPercorso(percorso, flag | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

struct Voce {
    QByteArray nome;
    struct stat info;
};

// Depth first, each folder's entries in byte order of their names so that two
// runs over the same stick meet the files in the same order. Each folder is
// opened relative to its parent's descriptor, so depth is not limited by the
// length of a path; the folders on the way down stay open, one per level.
// Takes `fd` over.
void elenca(int fd, const QByteArray &cartella,
            const std::function<void(const QByteArray &, const struct stat &)> &file,
            QList<CartellaNonLetta> *nonLette, qint64 *nascosti)
{
    const auto nonLetta = [&](int errore) {
        if (nonLette)
            nonLette->append({decodificaNome(cartella), descrizioneErrore(errore)});
    };
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        nonLetta(errno);
        ::close(fd);
        return;
    }
    std::vector<Voce> voci;
    int errore = 0;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(dir);
        if (!e) {
            // NULL is also the end of the folder; only errno tells a failing
            // stick from a folder read to its end.
            if (errno != 0 && errore == 0)
                errore = errno;
            break;
        }
        if (e->d_name[0] == '.') { // hidden, and "." and ".."
            const bool punti = e->d_name[1] == '\0' || (e->d_name[1] == '.' && e->d_name[2] == '\0');
            if (nascosti && !punti)
                ++*nascosti;
            continue;
        }
        Voce v;
        v.nome = QByteArray(e->d_name);
        // lstat semantics: a link is looked at, never through. An entry gone
        // since the listing was deleted meanwhile: nothing is lost with it.
        if (::fstatat(::dirfd(dir), e->d_name, &v.info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT && errore == 0)
                errore = errno;
            continue;
        }
        if (S_ISREG(v.info.st_mode) || S_ISDIR(v.info.st_mode))
            voci.push_back(std::move(v));
    }
    if (errore != 0)
        nonLetta(errore);

    std::sort(voci.begin(), voci.end(), [](const Voce &a, const Voce &b) { return a.nome < b.nome; });
    const QByteArray prefisso = cartella.endsWith('/') ? cartella : cartella + '/';
    for (const Voce &v : voci) {
        const QByteArray percorso = prefisso + v.nome;
        if (S_ISREG(v.info.st_mode)) {
            file(percorso, v.info);
            continue;
        }
        // A folder swapped for a link since it was looked at is refused by
        // O_NOFOLLOW, and one swapped for another folder by the device and
        // inode check.
        int figlio;
        do {
            figlio =
                ::openat(::dirfd(dir), v.nome.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        } while (figlio < 0 && errno == EINTR);
        if (figlio < 0) {
            if (errno != ENOENT && nonLette) // one deleted meanwhile held nothing to lose
                nonLette->append({decodificaNome(percorso), descrizioneErrore(errno)});
            continue;
        }
        struct stat ora;
        if (::fstat(figlio, &ora) != 0 || ora.st_dev != v.info.st_dev || ora.st_ino != v.info.st_ino) {
            if (nonLette)
                nonLette->append(
                    {decodificaNome(percorso), QStringLiteral("la cartella è cambiata durante la lettura")});
            ::close(figlio);
            continue;
        }
        elenca(figlio, percorso, file, nonLette, nascosti);
    }
    ::closedir(dir);
}

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

QStringList descriviNonLette(const QList<CartellaNonLetta> &nonLette)
{
    QStringList righe;
    for (const CartellaNonLetta &c : nonLette)
        righe.append(nomeLeggibile(QStringLiteral("“%1”: %2").arg(c.percorso, c.motivo)));
    return righe;
}

QStringList elencaFile(const QString &cartella, QList<CartellaNonLetta> *nonLette)
{
    QStringList risultato;
    percorriFile(
        cartella, [&](const QByteArray &percorso, qint64) { risultato.append(decodificaNome(percorso)); },
        nonLette);
    return risultato;
}

void percorriFile(const QString &cartella, const std::function<void(const QByteArray &, qint64)> &file,
                  QList<CartellaNonLetta> *nonLette)
{
    percorriFile(
        cartella, [&](const QByteArray &percorso, const struct stat &info) { file(percorso, info.st_size); },
        nonLette);
}

void percorriFile(const QString &cartella,
                  const std::function<void(const QByteArray &, const struct stat &)> &file,
                  QList<CartellaNonLetta> *nonLette, qint64 *nascosti)
{
    if (cartella.isEmpty())
        return;
    const int fd = apri(cartella, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        if (nonLette)
            nonLette->append({cartella, descrizioneErrore(errno)});
        return;
    }
    elenca(fd, codificaNome(cartella), file, nonLette, nascosti);
}

int apriPercorso(const QString &percorso, int flag)
{
    const QByteArray byte = codificaNome(percorso);
    if (byte.size() < PATH_MAX)
        return ::open(byte.constData(), flag, 0666);
    // Too long for one call: one folder at a time, each relative to the last.
    const QList<QByteArray> parti = byte.split('/');
    int cartella = byte.startsWith('/') ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
    qsizetype ultima = parti.size() - 1;
    while (ultima > 0 && parti.at(ultima).isEmpty())
        --ultima;
    for (qsizetype i = 0; i < ultima && (cartella >= 0 || cartella == AT_FDCWD); ++i) {
        if (parti.at(i).isEmpty())
            continue;
        const int prossima =
            ::openat(cartella, parti.at(i).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int e = errno;
        if (cartella >= 0)
            ::close(cartella);
        cartella = prossima;
        errno = e;
    }
    if (cartella < 0 && cartella != AT_FDCWD)
        return -1;
    const int fd = ::openat(cartella, parti.at(ultima).constData(), flag, 0666);
    const int e = errno;
    if (cartella >= 0)
        ::close(cartella);
    errno = e;
    return fd;
}

QString urlConTimestamp(const QString &file, const QString &cartella)
{
    const QString stamp = Orologio::adesso().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString nome = QFileInfo(file).fileName();
    const qsizetype punto = nome.lastIndexOf(QLatin1Char('.'));
    const bool conEstensione = punto > 0 && punto < nome.size() - 1;
    const QString base = conEstensione ? nome.left(punto) : nome;
    const QString ext = conEstensione ? nome.mid(punto + 1) : QString();
    const QString prefisso = cartella.endsWith(QLatin1Char('/')) ? cartella : cartella + QLatin1Char('/');

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

namespace {

// `fd` when it is a regular file, else -1 with `fd` closed (and -1 for -1).
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

// O_NONBLOCK: a FIFO put where a file was must not hang the caller; it is
// refused like every other non-regular file. -1 when not a readable regular file.
int apriFileRegolare(const QString &file, struct stat *info)
{
    return soloFileRegolare(apri(file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY), info);
}

// Makes the next reads of the file go to the device rather than to cached
// pages: write back whatever is still dirty, then drop the file's pages.
// sync_file_range rather than fdatasync: it makes the pages clean without a
// device cache flush per file (durability is the copy's job, which flushed
// already); O_DIRECT would serialise 64 KiB reads and lose the kernel's
// read-ahead.
void dimenticaCache(int fd)
{
    ::sync_file_range(fd, 0, 0,
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

// Only the start: the kernel's own read-ahead carries on from there once the
// digest reads sequentially, and a huge file must not flood the cache.
void chiediInAnticipo(int fd, const struct stat &info)
{
    ::posix_fadvise(fd, 0, std::min<off_t>(info.st_size, off_t(32) << 20), POSIX_FADV_WILLNEED);
}

enum class Lettura {
    dalSupporto,   // drop the cached pages first, read, drop them again
    giaAnticipata, // anticipaLettura() dropped them already
    dallaCache,    // leave the cache alone
};

// Fetched once: looking the algorithm up for every file takes a lock that
// the two threads of a sync plan, hashing small files, would contend for.
const EVP_MD *sha256()
{
    static EVP_MD *const trovato = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return trovato ? trovato : EVP_sha256();
}

// Hashes what `fd` holds from its current offset to its end, through `buffer`.
// False when a read fails.
bool hashFinoAllaFine(int fd, Sha256 &sha, std::vector<unsigned char> &buffer)
{
    for (;;) {
        const ssize_t letti = ::read(fd, buffer.data(), buffer.size());
        if (letti < 0 && errno == EINTR)
            continue;
        if (letti <= 0)
            return letti == 0;
        if (!sha.aggiungi(buffer.data(), size_t(letti)))
            return false;
    }
}

// From this size on a file is read by a second thread while this one hashes:
// copying the data out of memory, or waiting for the disk, overlaps the
// hashing instead of adding to it. Smaller files are not worth a thread.
constexpr off_t grandeDaLeggereInParallelo = off_t(8) << 20;

// Hashes all that `fd` holds from its current offset; a thread beside this one
// reads the next pieces into a small ring. False when a read fails.
bool hashConLettoreAccanto(int fd, Sha256 &sha)
{
    constexpr size_t pezzo = 256 * 1024, pezzi = 4;
    std::vector<unsigned char> anello(pezzo * pezzi);
    std::array<size_t, pezzi> lunghezze{};
    std::mutex m;
    std::condition_variable cambiato;
    size_t letti = 0, consumati = 0; // pieces so far
    bool finito = false, errore = false, basta = false;

    std::thread lettore([&] {
        for (;;) {
            size_t posto;
            {
                std::unique_lock<std::mutex> l(m);
                cambiato.wait(l, [&] { return letti - consumati < pezzi || basta; });
                if (basta)
                    return;
                posto = letti % pezzi;
            }
            ssize_t n;
            do {
                n = ::read(fd, anello.data() + posto * pezzo, pezzo);
            } while (n < 0 && errno == EINTR);
            {
                const std::lock_guard<std::mutex> l(m);
                if (n < 0) {
                    errore = true;
                } else if (n == 0) {
                    finito = true;
                } else {
                    lunghezze[posto] = size_t(n);
                    ++letti;
                }
            }
            cambiato.notify_all();
            if (n <= 0)
                return;
        }
    });

    bool ok = true;
    for (;;) {
        size_t posto;
        {
            std::unique_lock<std::mutex> l(m);
            cambiato.wait(l, [&] { return consumati < letti || finito || errore; });
            if (consumati == letti) {
                ok = !errore;
                break;
            }
            posto = consumati % pezzi;
        }
        if (!sha.aggiungi(anello.data() + posto * pezzo, lunghezze[posto])) {
            ok = false;
            break;
        }
        {
            const std::lock_guard<std::mutex> l(m);
            ++consumati;
        }
        cambiato.notify_all();
    }
    {
        const std::lock_guard<std::mutex> l(m);
        basta = true;
    }
    cambiato.notify_all();
    lettore.join();
    return ok;
}

std::optional<QString> digest(const QString &file, Lettura lettura)
{
    struct stat info;
    const int fd = apriFileRegolare(file, &info);
    if (fd < 0)
        return std::nullopt;
    if (lettura == Lettura::dalSupporto)
        dimenticaCache(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    // Read once: the kernel keeps these pages behind the ones programs use again.
    if (lettura == Lettura::dallaCache)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_NOREUSE);

    Sha256 sha;
    bool ok = sha.ricomincia();
    if (ok && info.st_size >= grandeDaLeggereInParallelo) {
        ok = hashConLettoreAccanto(fd, sha);
    } else if (ok) {
        std::vector<unsigned char> buffer(65536);
        ok = hashFinoAllaFine(fd, sha, buffer);
    }
    // A verification leaves no pages behind: it should not push the user's
    // working set out of memory.
    if (lettura != Lettura::dallaCache)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    if (!ok)
        return std::nullopt;

    const std::optional<Sha256::Valore> valore = sha.fine();
    if (!valore)
        return std::nullopt;
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(valore->data()), int(valore->size())).toHex());
}

} // namespace

Sha256::Sha256() : m_contesto(EVP_MD_CTX_new()) {}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX *>(m_contesto));
}

bool Sha256::ricomincia()
{
    return m_contesto && EVP_DigestInit_ex(static_cast<EVP_MD_CTX *>(m_contesto), sha256(), nullptr) == 1;
}

bool Sha256::aggiungi(const void *dati, size_t byte)
{
    return EVP_DigestUpdate(static_cast<EVP_MD_CTX *>(m_contesto), dati, byte) == 1;
}

std::optional<Sha256::Valore> Sha256::fine()
{
    Valore valore{};
    unsigned int lunghezza = 0;
    if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX *>(m_contesto), valore.data(), &lunghezza) != 1 ||
        lunghezza != valore.size())
        return std::nullopt;
    return valore;
}

std::optional<QString> hashSHA256(const QString &file)
{
    return digest(file, Lettura::dalSupporto);
}

std::optional<QString> hashSHA256Anticipato(const QString &file)
{
    return digest(file, Lettura::giaAnticipata);
}

void anticipaLettura(const QString &file)
{
    struct stat info;
    const int fd = apriFileRegolare(file, &info);
    if (fd < 0)
        return;
    dimenticaCache(fd);
    chiediInAnticipo(fd, info);
    ::close(fd);
}

std::optional<QString> hashSHA256InCache(const QString &file)
{
    return digest(file, Lettura::dallaCache);
}

DigestInFila::DigestInFila(const QString &radice)
    : m_prefisso(codificaNome(radice.endsWith(QLatin1Char('/')) ? radice : radice + QLatin1Char('/'))),
      m_buffer(65536, 0)
{
    m_radice = apri(radice, O_RDONLY | O_DIRECTORY);
}

DigestInFila::~DigestInFila()
{
    chiudiProssimo();
    if (m_radice >= 0)
        ::close(m_radice);
}

void DigestInFila::chiudiProssimo()
{
    if (m_prossimoFd >= 0)
        ::close(m_prossimoFd);
    m_prossimoFd = -1;
    m_prossimo.clear();
}

// A regular file below the folder, or -1. Relative to the folder's descriptor:
// the kernel walks only the part below it. A path too long for one call goes
// the long way. O_NONBLOCK: a FIFO put where a file was must not hang us.
int DigestInFila::apriFile(QByteArrayView relativo, struct stat *info) const
{
    const int flag = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const QByteArray nome = relativo.toByteArray();
    int fd = -1;
    do {
        fd = m_radice >= 0 && nome.size() < PATH_MAX ? ::openat(m_radice, nome.constData(), flag)
                                                     : apriPercorso(decodificaNome(m_prefisso + nome), flag);
    } while (fd < 0 && errno == EINTR);
    return soloFileRegolare(fd, info);
}

std::optional<DigestInFila::Valore> DigestInFila::digest(QByteArrayView relativo, QByteArrayView prossimo)
{
    int fd;
    if (m_prossimoFd >= 0 && relativo == m_prossimo) {
        fd = m_prossimoFd;
        m_prossimoFd = -1;
        m_prossimo.clear();
    } else {
        chiudiProssimo();
        struct stat info;
        fd = apriFile(relativo, &info);
    }
    // Once the medium has been waited for, the files are on their way in one
    // step ahead: the next one is opened now and its start asked for.
    const auto anticipa = [&] {
        if (prossimo.isEmpty() || m_prossimoFd >= 0)
            return;
        struct stat info;
        m_prossimoFd = apriFile(prossimo, &info);
        if (m_prossimoFd < 0)
            return;
        m_prossimo = prossimo.toByteArray();
        // Read once: these pages go before the ones programs use again.
        if (info.st_size > (off_t(1) << 20))
            ::posix_fadvise(m_prossimoFd, 0, 0, POSIX_FADV_NOREUSE);
        chiediInAnticipo(m_prossimoFd, info);
    };
    if (m_dalDisco)
        anticipa();
    if (fd < 0)
        return std::nullopt;

    bool ok = m_sha.ricomincia();
    if (ok && !m_dalDisco) {
        // Only what is in memory: a miss says this stick is being read from
        // the medium, and from then on the reading goes ahead of the hashing.
        iovec v{m_buffer.data(), m_buffer.size()};
        ssize_t letti;
        do {
            letti = ::preadv2(fd, &v, 1, -1, RWF_NOWAIT);
        } while (letti < 0 && errno == EINTR);
        if (letti < 0) {
            m_dalDisco = true;
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_NOREUSE);
            anticipa();
        } else {
            ok = m_sha.aggiungi(m_buffer.data(), size_t(letti));
        }
    }
    ok = ok && hashFinoAllaFine(fd, m_sha, m_buffer);
    ::close(fd);
    if (!ok)
        return std::nullopt;
    return m_sha.fine();
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

// Per thread on Linux: a pool thread gets its old value back for the next task.
PrioritaLavoro::PrioritaLavoro()
{
    errno = 0;
    m_prima = ::getpriority(PRIO_PROCESS, 0);
    if (errno != 0)
        m_prima = 0;
    ::setpriority(PRIO_PROCESS, 0, std::max(m_prima, 5));
}

PrioritaLavoro::~PrioritaLavoro()
{
    // Raising it back may be refused to an ordinary user; the thread then
    // stays a background one, which is harmless for a pool thread.
    ::setpriority(PRIO_PROCESS, 0, m_prima);
}

QString descrizioneErrore(int codice)
{
    switch (codice) {
    case ENOENT:
        return QStringLiteral("file o cartella inesistente");
    case EACCES:
    case EPERM:
        return QStringLiteral("permesso negato");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("spazio esaurito sul disco");
    case EROFS:
        return QStringLiteral("il disco è in sola lettura");
    case EIO:
        return QStringLiteral("errore di lettura o scrittura sul dispositivo");
    case ENOTDIR:
        return QStringLiteral("una parte del percorso non è una cartella");
    case EISDIR:
        return QStringLiteral("è una cartella");
    case EEXIST:
        return QStringLiteral("esiste già");
    case ENAMETOOLONG:
        return QStringLiteral("nome troppo lungo");
    case ELOOP:
        return QStringLiteral("è un collegamento, non un file");
    case EINVAL:
        return QStringLiteral("nome o operazione non ammessi da questo disco");
    case EFBIG:
        return QStringLiteral("file troppo grande per questo disco");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("troppe cartelle annidate o troppi file aperti");
    case ENXIO:
    case ENODEV:
    case ENOTCONN:
    case ESTALE:
        return QStringLiteral("il dispositivo non è più disponibile");
    default:
        break;
    }
    const char *testo = ::strerrordesc_np(codice);
    return testo ? QString::fromUtf8(testo) : QStringLiteral("errore %1").arg(codice);
}
