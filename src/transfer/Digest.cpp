#include "transfer/Digest.h"

#include "comune/NomiFile.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Makes the next reads of the file go to the device rather than to cached
// pages: write back whatever is still dirty, then drop the file's pages.
// Writing back without a device cache flush per file (durability is the
// copy's job, which flushed already); direct I/O would serialise 64 KiB reads
// and lose the kernel's read-ahead.
void dimenticaCache(int fd)
{
    attendiScrittura(fd);
    togliDallaCache(fd);
}

// Only the start: the kernel's own read-ahead carries on from there once the
// digest reads sequentially, and a huge file must not flood the cache.
void chiediInizio(int fd, const struct stat &info)
{
    chiediInAnticipo(fd, std::min<qint64>(info.st_size, byteAnticipati));
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
bool hashFinoAllaFine(int fd, Sha256 &sha, std::vector<unsigned char> &buffer, const std::stop_token &stop)
{
    for (;;) {
        if (stop.stop_requested())
            return false;
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
bool hashConLettoreAccanto(int fd, Sha256 &sha, const std::stop_token &stop)
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
        if (stop.stop_requested() || !sha.aggiungi(anello.data() + posto * pezzo, lunghezze[posto])) {
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

std::optional<QString> digest(const QString &file, Lettura lettura, const std::stop_token &stop = {})
{
    struct stat info;
    const int fd = apriFileRegolare(file, &info);
    if (fd < 0)
        return std::nullopt;
    if (lettura == Lettura::dalSupporto)
        dimenticaCache(fd);
    letturaSequenziale(fd);
    // Read once: the kernel keeps these pages behind the ones programs use again.
    if (lettura == Lettura::dallaCache)
        letturaUnica(fd);

    Sha256 sha;
    bool ok = sha.ricomincia();
    if (ok && info.st_size >= grandeDaLeggereInParallelo) {
        ok = hashConLettoreAccanto(fd, sha, stop);
    } else if (ok) {
        std::vector<unsigned char> buffer(65536);
        ok = hashFinoAllaFine(fd, sha, buffer, stop);
    }
    // A verification leaves no pages behind: it should not push the user's
    // working set out of memory.
    if (lettura != Lettura::dallaCache)
        togliDallaCache(fd);
    ::close(fd);
    if (!ok)
        return std::nullopt;

    const std::optional<Sha256::Valore> valore = sha.fine();
    if (!valore)
        return std::nullopt;
    return QString::fromLatin1(esadecimale(*valore));
}

} // namespace

ChiaveFile ChiaveFile::da(const struct stat &info)
{
    return {qint64(info.st_size),
            {qint64(info.st_mtim.tv_sec), qint64(info.st_mtim.tv_nsec)},
            quint64(info.st_ino),
            {qint64(info.st_ctim.tv_sec), qint64(info.st_ctim.tv_nsec)}};
}

QByteArray esadecimale(const Sha256::Valore &valore)
{
    return QByteArray(reinterpret_cast<const char *>(valore.data()), int(valore.size())).toHex();
}

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

std::optional<QString> hashSHA256Anticipato(const QString &file, std::stop_token stop)
{
    return digest(file, Lettura::giaAnticipata, stop);
}

void anticipaLettura(const QString &file)
{
    struct stat info;
    const int fd = apriFileRegolare(file, &info);
    if (fd < 0)
        return;
    dimenticaCache(fd);
    chiediInizio(fd, info);
    ::close(fd);
}

std::optional<QString> hashSHA256InCache(const QString &file, std::stop_token stop)
{
    return digest(file, Lettura::dallaCache, stop);
}

DigestInFila::DigestInFila(const QString &radice)
    : m_prefisso(codificaNome(conBarra(radice))), m_buffer(65536, 0)
{
    m_radice = apriPercorso(radice, O_RDONLY | O_DIRECTORY);
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
    const int flag = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    const QByteArray nome = relativo.toByteArray();
    const int fd = m_radice >= 0 && nome.size() < PATH_MAX
                       ? apriIn(m_radice, nome, flag)
                       : apriPercorso(decodificaNome(m_prefisso + nome), flag);
    return soloFileRegolare(fd, info);
}

std::optional<DigestInFila::Valore> DigestInFila::digest(QByteArrayView relativo, QByteArrayView prossimo,
                                                         const std::stop_token &stop)
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
            letturaUnica(m_prossimoFd);
        chiediInizio(m_prossimoFd, info);
    };
    if (m_dalDisco)
        anticipa();
    if (fd < 0)
        return std::nullopt;

    bool ok = m_sha.ricomincia();
    if (ok && !m_dalDisco) {
        // Only what is in memory: a miss says this stick is being read from
        // the medium, and from then on the reading goes ahead of the hashing.
        const ssize_t letti = leggiDallaMemoria(fd, m_buffer.data(), m_buffer.size());
        if (letti < 0) {
            m_dalDisco = true;
            letturaUnica(fd);
            anticipa();
        } else {
            ok = m_sha.aggiungi(m_buffer.data(), size_t(letti));
        }
    }
    ok = ok && hashFinoAllaFine(fd, m_sha, m_buffer, stop);
    ::close(fd);
    if (!ok)
        return std::nullopt;
    return m_sha.fine();
}

LetturaFermabile leggiFermabile(const QByteArray &percorso, std::stop_token stop,
                                const std::function<void(qint64)> &letti)
{
    // Small reads: a stop request is heard after the one in progress, and on a
    // slow stick a read of a megabyte takes seconds. The kernel's read-ahead
    // keeps a fast medium streaming all the same.
    constexpr size_t dimensioneBlocco = size_t(64) << 10;
    LetturaFermabile r;
    const auto fallisci = [&](int errore) {
        r.motivo = descrizioneErrore(errore);
        return r;
    };
    const int fd = apriPercorso(decodificaNome(percorso), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return fallisci(errno);
    struct stat prima;
    const bool aperto = ::fstat(fd, &prima) == 0;
    if (!aperto || !S_ISREG(prima.st_mode)) {
        const int errore = aperto ? EINVAL : errno;
        ::close(fd);
        return fallisci(errore);
    }
    r.chiave = ChiaveFile::da(prima);
    letturaSequenziale(fd);
    letturaUnica(fd);

    Sha256 sha;
    if (!sha.ricomincia()) {
        ::close(fd);
        return fallisci(ENOMEM);
    }
    std::vector<unsigned char> blocco(dimensioneBlocco);
    int errore = 0;
    while (!stop.stop_requested()) {
        const ssize_t n = ::read(fd, blocco.data(), blocco.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            errore = errno;
            break;
        }
        if (n == 0)
            break;
        sha.aggiungi(blocco.data(), size_t(n));
        if (letti)
            letti(n);
    }
    if (stop.stop_requested() && errore == 0) {
        // On a slow stick closing waits for what the kernel asked for ahead:
        // the user who pressed "Annulla" does not wait with it.
        std::thread([fd] { ::close(fd); }).detach();
        return r;
    }
    struct stat dopo;
    const bool uguale = ::fstat(fd, &dopo) == 0 && ChiaveFile::da(dopo) == r.chiave;
    ::close(fd);
    if (errore != 0)
        return fallisci(errore);
    if (!uguale) {
        r.motivo = QStringLiteral("il file è cambiato durante la lettura");
        return r;
    }
    if (const std::optional<Sha256::Valore> valore = sha.fine())
        r.digest = esadecimale(*valore);
    return r;
}
