#include "diagnostics/MisuraVelocita.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <QDir>
#include <QLocale>
#include <QRandomGenerator>
#include <unistd.h>

namespace StrumentiDiagnostica {

BufferAllineato bufferAllineato(size_t dimensione)
{
    void *memoria = nullptr;
    if (::posix_memalign(&memoria, allineamentoDiretto, dimensione) != 0)
        return nullptr;
    return BufferAllineato(static_cast<char *>(memoria));
}

namespace {
QString testoErrore(const char *fase, int codice)
{
    return QStringLiteral("%1: %2.").arg(QString::fromUtf8(fase),
                                         descrizioneErrore(codice, Supporto::chiavetta));
}

int apri(const QByteArray &percorso, int flag, bool diretto)
{
    // O_NOFOLLOW: a link planted under the test file's name must not lead the
    // truncation to some other file.
    return apriIn(AT_FDCWD, percorso, flag | O_NOFOLLOW, 0644, diretto);
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
        errore = scriviTutto(fd, QByteArrayView(buffer, dimensioneBloccoTest), diretto);
    if (!errore && ::fdatasync(fd) != 0)
        errore = errno;
    // Without direct I/O the written pages sit in the cache, clean after the
    // sync; dropping them makes the read-back come from the stick.
    if (!errore && !diretto)
        togliDallaCache(fd);
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
        togliDallaCache(fd);
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
    const std::optional<SpazioFileSystem> spazio = spazioVolume(cartella);
    if (!spazio)
        return {std::nullopt, testoErrore("Impossibile leggere lo spazio libero della chiavetta", errno)};
    // Some FUSE file systems report no blocks at all: that is "not reported", not "full".
    if (spazio->totale == 0)
        return {};
    return {spazio->libero, {}};
}
} // namespace

AmbienteMisura AmbienteMisura::sistema()
{
    return {spazioLiberoDiSistema, Orologio::secondiMonotoni, true};
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

    const QByteArray percorso = codificaNome(dentro(volume, nomeFileTestVelocita));
    const BufferAllineato buffer = bufferAllineato(dimensioneBloccoTest);
    if (!buffer)
        return {std::nullopt, testoErrore("Memoria insufficiente per il test", ENOMEM)};
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
