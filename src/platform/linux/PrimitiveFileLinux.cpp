#include "comune/NomiFile.h"
#include "platform/PrimitiveFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <linux/openat2.h>
#include <QList>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {
int apriUnaVolta(int cartella, const char *nome, int flag, mode_t modo)
{
    int fd;
    do {
        fd = ::openat(cartella, nome, flag | O_CLOEXEC, modo);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
} // namespace

int apriPercorso(const QString &percorso, int flag, mode_t modo)
{
    const QByteArray byte = codificaNome(percorso);
    if (byte.size() < PATH_MAX)
        return apriUnaVolta(AT_FDCWD, byte.constData(), flag, modo);
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
    const int fd = apriUnaVolta(cartella, parti.at(ultima).constData(), flag, modo);
    const int e = errno;
    if (cartella >= 0)
        ::close(cartella);
    errno = e;
    return fd;
}

int apriIn(int cartella, const QByteArray &nome, int flag, mode_t modo, bool diretto)
{
    return apriUnaVolta(cartella, nome.constData(), flag | (diretto ? O_DIRECT : 0), modo);
}

int apriSotto(int cartella, const QByteArray &relativo, int flag)
{
    open_how come{};
    come.flags = quint64(flag | O_CLOEXEC);
    come.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do {
        fd = ::syscall(SYS_openat2, cartella, relativo.constData(), &come, sizeof come);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == ENOSYS) // kernels before 5.6
        return apriUnaVolta(cartella, relativo.constData(), flag, 0);
    return int(fd);
}

int rinominaSenzaSostituire(int cartella, const QByteArray &da, const QByteArray &a)
{
    return ::renameat2(cartella, da.constData(), cartella, a.constData(), RENAME_NOREPLACE) == 0 ? 0 : errno;
}

int copiaContenuto(int in, int out, const std::function<bool(qint64 copiati)> &passo, bool *lettura)
{
    if (lettura)
        *lettura = false;
    // Pieces inside the kernel grow while they take little time and shrink
    // when the source is slow, so that `passo` is heard often enough to stop
    // within a moment, without slowing a fast disk down with small calls.
    size_t pezzo = size_t(1) << 20;
    constexpr size_t pezzoMassimo = size_t(64) << 20, pezzoMinimo = size_t(256) << 10;
    bool inKernel = true;
    std::vector<char> buffer;
    qint64 copiati = 0;
    for (;;) {
        if (passo && !passo(copiati))
            return ECANCELED;
        if (inKernel) {
            const auto prima = std::chrono::steady_clock::now();
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, pezzo, 0);
            if (n > 0) {
                copiati += n;
                const auto durata = std::chrono::steady_clock::now() - prima;
                if (durata < std::chrono::milliseconds(100))
                    pezzo = std::min(pezzo * 2, pezzoMassimo);
                else if (durata > std::chrono::milliseconds(400))
                    pezzo = std::max(pezzo / 2, pezzoMinimo);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // Across file systems, or a file system that cannot; a 0 may be a
            // file whose size says nothing (pseudo-files); and an error here
            // does not say which side failed. The plain loop below goes on
            // from the same offsets, finds the real end, and meets the same
            // error on its own side.
            inKernel = false;
        }
        if (buffer.empty())
            buffer.resize(256 * 1024);
        const ssize_t letti = ::read(in, buffer.data(), buffer.size());
        if (letti < 0) {
            if (errno == EINTR)
                continue;
            if (lettura)
                *lettura = true;
            return errno;
        }
        if (letti == 0)
            return 0;
        for (ssize_t scritti = 0; scritti < letti;) {
            const ssize_t n = ::write(out, buffer.data() + scritti, size_t(letti - scritti));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            scritti += n;
        }
        copiati += letti;
    }
}

void avviaScrittura(int fd)
{
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void attendiScrittura(int fd)
{
    ::sync_file_range(fd, 0, 0,
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
}

void togliDallaCache(int fd)
{
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

void letturaSequenziale(int fd)
{
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void letturaUnica(int fd)
{
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_NOREUSE);
}

void chiediInAnticipo(int fd, qint64 byte)
{
    ::posix_fadvise(fd, 0, off_t(byte), POSIX_FADV_WILLNEED);
}

ssize_t leggiDallaMemoria(int fd, void *buffer, size_t byte)
{
    iovec v{buffer, byte};
    ssize_t letti;
    do {
        letti = ::preadv2(fd, &v, 1, -1, RWF_NOWAIT);
    } while (letti < 0 && errno == EINTR);
    return letti;
}

QString testoErroreSistema(int codice)
{
    const char *testo = ::strerrordesc_np(codice);
    return testo ? QString::fromUtf8(testo) : QStringLiteral("errore %1").arg(codice);
}
