#include "diagnostics/MisuraVelocita.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <sys/statvfs.h>
#include <unistd.h>

namespace StrumentiDiagnostica {

namespace {
// Direct I/O wants the buffer, the length and the offset aligned to the device's
// logical block; 4096 covers every stick and SD card.
constexpr size_t allineamento = 4096;

QString motivo(int codice)
{
    switch (codice) {
    case EROFS:
        return QStringLiteral("la chiavetta è in sola lettura (protetta da scrittura)");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("spazio esaurito sulla chiavetta");
    case EACCES:
    case EPERM:
        return QStringLiteral("permesso negato");
    case EIO:
        return QStringLiteral(
            "errore di lettura o scrittura del dispositivo (chiavetta rimossa o danneggiata?)");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("la chiavetta non è più disponibile");
    default:
        return qt_error_string(codice);
    }
}

QString testoErrore(const char *fase, int codice)
{
    return QStringLiteral("%1: %2.").arg(QString::fromUtf8(fase), motivo(codice));
}

struct LiberaBuffer {
    void operator()(char *p) const { std::free(p); }
};
using Buffer = std::unique_ptr<char, LiberaBuffer>;

int apri(const QByteArray &percorso, int flag, bool diretto)
{
    // O_NOFOLLOW: a link planted under the test file's name must not lead the
    // truncation to some other file.
    flag |= O_CLOEXEC | O_NOFOLLOW | (diretto ? O_DIRECT : 0);
    int fd;
    do
        fd = ::open(percorso.constData(), flag, 0644);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes the whole block; 0 on success, else the error number.
int scriviTutto(int fd, const char *dati, size_t quanti, bool diretto)
{
    size_t scritti = 0;
    while (scritti < quanti) {
        const ssize_t n = ::write(fd, dati + scritti, quanti - scritti);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        // A short direct write only happens when the medium is full, and the
        // rest could not be written unaligned anyway.
        if (n == 0 || (diretto && size_t(n) < quanti - scritti))
            return ENOSPC;
        scritti += size_t(n);
    }
    return 0;
}

struct Fase {
    double durata = 0;
    int errore = 0;
    const char *cosa = nullptr;
};

Fase scrivi(const QByteArray &percorso, const char *buffer, bool diretto, const AmbienteMisura &amb)
{
    const int fd = apri(percorso, O_WRONLY | O_CREAT | O_TRUNC, diretto);
    if (fd < 0)
        return {0, errno, "Impossibile creare il file di prova"};
    const double inizio = amb.secondi();
    int errore = 0;
    for (int i = 0; i < numeroBlocchiTest && !errore; ++i)
        errore = scriviTutto(fd, buffer, dimensioneBloccoTest, diretto);
    if (!errore && ::fdatasync(fd) != 0)
        errore = errno;
    // Without direct I/O the written pages sit in the cache, clean after the
    // sync; dropping them makes the read-back come from the stick.
    if (!errore && !diretto)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    if (::close(fd) != 0 && !errore && errno != EINTR)
        errore = errno;
    if (errore)
        return {0, errore, "Scrittura del file di prova non riuscita"};
    return {amb.secondi() - inizio, 0, nullptr};
}

Fase leggi(const QByteArray &percorso, char *buffer, bool diretto, const AmbienteMisura &amb)
{
    const int fd = apri(percorso, O_RDONLY, diretto);
    if (fd < 0)
        return {0, errno, "Impossibile rileggere il file di prova"};
    if (!diretto)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    const double inizio = amb.secondi();
    int errore = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, dimensioneBloccoTest);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            errore = errno;
        if (n <= 0)
            break;
    }
    ::close(fd);
    if (errore)
        return {0, errore, "Lettura del file di prova non riuscita"};
    return {amb.secondi() - inizio, 0, nullptr};
}

SpazioLibero spazioLiberoDiSistema(const QString &cartella)
{
    struct statvfs s;
    if (::statvfs(QFile::encodeName(cartella).constData(), &s) != 0)
        return {std::nullopt, testoErrore("Impossibile leggere lo spazio libero della chiavetta", errno)};
    // Some FUSE file systems report no blocks at all: that is "not reported", not "full".
    if (s.f_blocks == 0)
        return {};
    return {qint64(s.f_bavail) * qint64(s.f_frsize), {}};
}

double secondiMonotoni()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

AmbienteMisura AmbienteMisura::sistema()
{
    return {spazioLiberoDiSistema, secondiMonotoni, true};
}

EsitoMisura misuraVelocita(const QString &volume, const AmbienteMisura &amb)
{
    const SpazioLibero spazio = amb.spazioLibero(volume);
    if (!spazio.errore.isEmpty())
        return {std::nullopt, spazio.errore};
    if (spazio.byte && *spazio.byte < spazioMinimoTest)
        return {std::nullopt,
                QStringLiteral(
                    "Spazio insufficiente sulla chiavetta per il test (servono almeno 64 MB liberi).")};

    const QByteArray percorso = QFile::encodeName(QDir(volume).filePath(nomeFileTestVelocita));
    void *memoria = nullptr;
    if (::posix_memalign(&memoria, allineamento, dimensioneBloccoTest) != 0)
        return {std::nullopt, testoErrore("Memoria insufficiente per il test", ENOMEM)};
    Buffer buffer(static_cast<char *>(memoria));
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(buffer.get()),
                                          dimensioneBloccoTest / sizeof(quint32));

    // Direct I/O first. A file system that refuses it (EINVAL, at the open or
    // at the first transfer) gets the whole phase again through the cache.
    bool diretto = amb.ioDiretto;
    Fase scrittura = scrivi(percorso, buffer.get(), diretto, amb);
    if (scrittura.errore == EINVAL && diretto) {
        diretto = false;
        scrittura = scrivi(percorso, buffer.get(), diretto, amb);
    }
    Fase lettura;
    if (!scrittura.errore) {
        lettura = leggi(percorso, buffer.get(), diretto, amb);
        if (lettura.errore == EINVAL && diretto)
            lettura = leggi(percorso, buffer.get(), false, amb);
    }
    ::unlink(percorso.constData());

    for (const Fase &f : {scrittura, lettura})
        if (f.errore)
            return {std::nullopt, testoErrore(f.cosa, f.errore)};

    // Both speeds count the nominal 32 MB; the floor keeps an instant result finite.
    const double mb = numeroBlocchiTest * dimensioneBloccoTest / byteInUnMB;
    return {VelocitaMisurate{mb / std::max(scrittura.durata, durataMinimaTest),
                             mb / std::max(lettura.durata, durataMinimaTest)},
            {}};
}

Righe righeVelocita(const VelocitaMisurate &v)
{
    const QLocale locale;
    Righe righe{{RigaRapporto::Tipo::ok,
                 QStringLiteral("Scrittura: %1 MB/s · Lettura: %2 MB/s")
                     .arg(locale.toString(v.scrittura, 'f', 1), locale.toString(v.lettura, 'f', 1))}};
    if (v.scrittura < sogliaScritturaLenta)
        righe.append(
            {RigaRapporto::Tipo::avviso,
             QStringLiteral("Scrittura molto lenta: chiavetta economica, porta USB 2.0 o memoria usurata.")});
    else if (v.scrittura > sogliaScritturaBuona)
        righe.append({RigaRapporto::Tipo::info,
                      QStringLiteral("Buona velocità: connessione USB 3.x sfruttata correttamente.")});
    return righe;
}

} // namespace StrumentiDiagnostica
