#include "transfer/LottoCopie.h"

#include "comune/NomiFile.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"
#include "transfer/Digest.h"
#include "transfer/NomeConTimestamp.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <stdio.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

std::atomic<LottoCopie::FileSystemSimulato> simulato{LottoCopie::FileSystemSimulato::normale};

// How many fdatasync calls are in flight at once when a batch is flushed.
constexpr size_t flussiScaricamento = 8;

// `errore` for a message of its own, `motivo` for a line in a list of files.
EsitoCopiaFile nonRiuscita(const QString &errore, const QString &motivo)
{
    EsitoCopiaFile r;
    r.errore = errore;
    r.motivo = motivo;
    return r;
}

// A copy written but not flushed to the medium.
EsitoCopiaFile scritturaNonRiuscita(const QString &destinazione, int e)
{
    EsitoCopiaFile r =
        nonRiuscita(QStringLiteral("Scrittura di “%1” sul disco non riuscita: %2.")
                        .arg(nomeDi(destinazione), descrizioneErrore(e)),
                    QStringLiteral("scrittura sul disco non riuscita: ") + descrizioneErrore(e));
    r.destinazione = destinazione;
    return r;
}

// The stick's file could not be opened: an input/output error is the stick's own fault.
EsitoCopiaFile sorgenteNonLetta(const QString &nome, int e)
{
    EsitoCopiaFile r =
        nonRiuscita(QStringLiteral("Impossibile leggere “%1”: %2.").arg(nome, descrizioneErrore(e)),
                    QStringLiteral("non leggibile: ") + descrizioneErrore(e));
    r.illeggibile = e == EIO;
    return r;
}

// The copy stopped: reading the stick, or writing the archive.
EsitoCopiaFile copiaInterrotta(const QString &nome, int e, bool inLettura)
{
    EsitoCopiaFile r =
        nonRiuscita(QStringLiteral("Copia di “%1” non riuscita: %2.").arg(nome, descrizioneErrore(e)),
                    QStringLiteral("copia interrotta: ") + descrizioneErrore(e));
    r.illeggibile = inLettura && e == EIO;
    return r;
}

// Whether the file `nome` of the folder holds the bytes of `temporaneo`,
// beside it: then placing ours would only make a duplicate.
bool stessiByte(int cartella, const QString &percorsoCartella, const QByteArray &temporaneo,
                const QByteArray &nome)
{
    struct stat a, b;
    if (::fstatat(cartella, temporaneo.constData(), &a, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    // An empty file where ours is not may be another writer's claim on the
    // name (collocaSenzaSostituire) about to be replaced by its copy: worth a
    // short wait before keeping a second copy of what may be the same file.
    for (int attesa = 0;; ++attesa) {
        if (::fstatat(cartella, nome.constData(), &b, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(b.st_mode))
            return false;
        if (b.st_size != 0 || a.st_size == 0 || attesa == 200)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (a.st_size != b.st_size)
        return false;
    const QString base = conBarra(percorsoCartella);
    const std::optional<QString> nostro = hashSHA256InCache(base + decodificaNome(temporaneo));
    return nostro && hashSHA256InCache(base + decodificaNome(nome)) == nostro;
}

} // namespace

int collocaSenzaSostituire(int cartella, const QByteArray &temporaneo, const QByteArray &nome)
{
    const auto modo = simulato.load();
    int e = modo == LottoCopie::FileSystemSimulato::normale
                ? rinominaSenzaSostituire(cartella, temporaneo, nome)
                : EINVAL;
    if (e != EINVAL && e != ENOSYS && e != EOPNOTSUPP)
        return e;

    // No no-replace rename here (older kernels, some FUSE file systems): a hard
    // link refuses a taken name just the same, and the temporary name goes after.
    if (modo != LottoCopie::FileSystemSimulato::senzaCollegamenti) {
        if (::linkat(cartella, temporaneo.constData(), cartella, nome.constData(), 0) == 0) {
            ::unlinkat(cartella, temporaneo.constData(), 0);
            return 0;
        }
        e = errno;
    } else {
        e = EPERM;
    }
    if (e != EPERM && e != EOPNOTSUPP && e != ENOSYS && e != EMLINK)
        return e;

    // No hard links either: the name is claimed with an exclusive create, which
    // another program (or the other computer sharing the archive) cannot win
    // at the same time, and the rename then replaces only our own empty claim.
    const int claim = apriIn(cartella, nome, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
    if (claim < 0)
        return errno;
    struct stat nostra;
    const bool conosciuta = ::fstat(claim, &nostra) == 0;
    if (::renameat(cartella, temporaneo.constData(), cartella, nome.constData()) == 0) {
        ::close(claim);
        return 0;
    }
    e = errno;
    // The claim goes, unless someone has put a file of their own in its place.
    struct stat ora;
    if (conosciuta && ::fstatat(cartella, nome.constData(), &ora, AT_SYMLINK_NOFOLLOW) == 0 &&
        ora.st_dev == nostra.st_dev && ora.st_ino == nostra.st_ino && ora.st_size == 0)
        ::unlinkat(cartella, nome.constData(), 0);
    ::close(claim);
    return e;
}

void LottoCopie::simulaFileSystem(FileSystemSimulato modo)
{
    simulato = modo;
}

LottoCopie::~LottoCopie()
{
    attendiDietro();
    abbandona();
}

void LottoCopie::abbandona()
{
    for (Voce &v : m_attesa.voci)
        scarta(v);
    m_attesa.voci.clear();
    m_byte = 0;
    for (int fd : std::as_const(m_attesa.cartelle))
        ::close(fd);
    m_attesa.cartelle.clear();
}

void LottoCopie::completaDietro(Completati poi)
{
    attendiDietro();
    m_byte = 0;
    m_dietro = std::thread([parte = std::exchange(m_attesa, Parte()), poi = std::move(poi)]() mutable {
        QList<EsitoCopiaFile> risultati = completaParte(parte);
        if (poi)
            poi(std::move(risultati));
    });
}

void LottoCopie::attendiDietro()
{
    if (m_dietro.joinable())
        m_dietro.join();
}

int LottoCopie::apriCartella(const QString &cartella, QString *errore, QString *motivo)
{
    const auto trovata = m_attesa.cartelle.constFind(cartella);
    if (trovata != m_attesa.cartelle.constEnd())
        return *trovata;
    const int fd = apriPercorso(cartella, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        const QString perche = descrizioneErrore(errno);
        *errore = QStringLiteral("Impossibile aprire la cartella “%1”: %2.").arg(cartella, perche);
        *motivo = QStringLiteral("cartella di destinazione non raggiungibile: ") + perche;
        return -1;
    }
    m_attesa.cartelle.insert(cartella, fd);
    return fd;
}

void LottoCopie::scarta(Voce &voce)
{
    if (voce.fd >= 0)
        ::close(voce.fd);
    voce.fd = -1;
    if (!voce.temporaneo.isEmpty())
        ::unlinkat(voce.cartellaFd, voce.temporaneo.constData(), 0);
    voce.temporaneo.clear();
}

EsitoCopiaFile LottoCopie::aggiungi(const QString &sorgente, const QString &destinazione, const Passo &passo)
{
    const QFileInfo infoDestinazione(destinazione);
    const QString cartella = infoDestinazione.absolutePath();
    const QString nomeSorgente = nomeDi(sorgente);
    if (infoDestinazione.fileName().isEmpty())
        return nonRiuscita(QStringLiteral("Destinazione non valida per “%1”.").arg(nomeSorgente),
                           QStringLiteral("destinazione non valida"));

    QString errore, motivo;
    if (m_creaCartelle && !creaCartella(cartella, &errore))
        return nonRiuscita(errore, QStringLiteral("cartella di destinazione non creata: ") + errore);
    const int cartellaFd = apriCartella(cartella, &errore, &motivo);
    if (cartellaFd < 0)
        return nonRiuscita(errore, motivo);

    // O_NOFOLLOW and O_NONBLOCK: a link or a FIFO put in the file's place after
    // it was listed is refused here instead of being followed or hanging.
    const int in = apriPercorso(sorgente, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (in < 0)
        return sorgenteNonLetta(nomeSorgente, errno);
    struct stat infoSorgente;
    if (::fstat(in, &infoSorgente) != 0 || !S_ISREG(infoSorgente.st_mode)) {
        ::close(in);
        return nonRiuscita(QStringLiteral("“%1” non è un file normale.").arg(nomeSorgente),
                           QStringLiteral("non è un file normale"));
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
    letturaSequenziale(in);

    Voce voce;
    voce.cartellaFd = cartellaFd;
    voce.destinazione = destinazione;
    // Hidden, so that the listing and the sync never pick up a half-written file.
    // The process id keeps two programs writing into one folder apart even
    // when their random numbers agree (a process and its fork).
    for (int tentativo = 0; tentativo < 100 && voce.fd < 0; ++tentativo) {
        voce.temporaneo = QByteArrayLiteral(".tessera-") + QByteArray::number(::getpid()) + '-' +
                          QByteArray::number(QRandomGenerator::global()->generate64(), 16) +
                          QByteArrayLiteral(".tmp");
        voce.fd = apriIn(cartellaFd, voce.temporaneo, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
        if (voce.fd < 0 && errno != EEXIST)
            break;
    }
    if (voce.fd < 0) {
        const int e = errno;
        ::close(in);
        voce.temporaneo.clear();
        return nonRiuscita(
            QStringLiteral("Impossibile scrivere in “%1”: %2.").arg(cartella, descrizioneErrore(e)),
            QStringLiteral("impossibile scrivere nella cartella di destinazione: ") + descrizioneErrore(e));
    }

    bool inLettura = false;
    const int errCopia = copiaContenuto(in, voce.fd, passo, &inLettura);
    ::close(in);
    if (errCopia == ECANCELED) {
        scarta(voce);
        EsitoCopiaFile r = nonRiuscita(QStringLiteral("Copia di “%1” interrotta.").arg(nomeSorgente),
                                       QStringLiteral("copia interrotta"));
        r.interrotta = true;
        return r;
    }
    if (errCopia != 0) {
        scarta(voce);
        return copiaInterrotta(nomeSorgente, errCopia, inLettura);
    }

    // The copy keeps the original's dates, as a file manager's copy does.
    const timespec tempi[2] = {infoSorgente.st_atim, infoSorgente.st_mtim};
    ::futimens(voce.fd, tempi);
    // Start writing now, without waiting: completa() then has less to wait for.
    avviaScrittura(voce.fd);

    m_byte += infoSorgente.st_size;
    m_attesa.voci.push_back(std::move(voce));
    EsitoCopiaFile fatta;
    fatta.ok = true;
    fatta.destinazione = destinazione;
    return fatta;
}

QList<EsitoCopiaFile> LottoCopie::completa()
{
    attendiDietro();
    m_byte = 0;
    return completaParte(m_attesa);
}

// The data reach the medium before any of them gets a real name. All the
// writing was started in aggiungi(); once it has landed, each file is
// fdatasync'd. One after another, every fdatasync would wait for a device
// cache flush of its own (milliseconds each); issued from a few threads at
// once, the block layer merges the flushes, and a batch costs about what one
// whole-file-system flush (syncfs) would, without waiting for every other
// program's unwritten data on a disk shared with the computer.
void LottoCopie::scarica(std::vector<Voce> &voci)
{
    for (const Voce &v : voci)
        attendiScrittura(v.fd);
    std::vector<int> esiti(voci.size(), 0);
    std::atomic<size_t> prossima{0};
    const auto scarica = [&] {
        for (size_t i; (i = prossima.fetch_add(1)) < voci.size();)
            esiti[i] = ::fdatasync(voci[i].fd) == 0 ? 0 : errno;
    };
    std::vector<std::thread> aiutanti;
    for (size_t k = 1; k < std::min<size_t>(flussiScaricamento, voci.size()); ++k)
        aiutanti.emplace_back(scarica);
    scarica();
    for (std::thread &t : aiutanti)
        t.join();
    for (size_t i = 0; i < voci.size(); ++i) {
        if (esiti[i] != 0) {
            const EsitoCopiaFile r = scritturaNonRiuscita(voci[i].destinazione, esiti[i]);
            voci[i].errore = r.errore;
            voci[i].motivo = r.motivo;
        }
    }
}

// The file takes its name, never replacing one that exists, or the next
// timestamped one.
EsitoCopiaFile LottoCopie::nomina(Voce &v)
{
    ::close(v.fd);
    v.fd = -1;
    if (!v.errore.isEmpty()) {
        scarta(v);
        return nonRiuscita(v.errore, v.motivo);
    }
    const QString cartella = QFileInfo(v.destinazione).absolutePath();
    QString candidato = v.destinazione;
    int e = EEXIST;
    for (int tentativo = 0; tentativo < 1000 && e == EEXIST; ++tentativo) {
        if (tentativo > 0)
            candidato = urlConTimestamp(v.destinazione, cartella);
        const QByteArray nome = codificaNome(nomeDi(candidato));
        e = collocaSenzaSostituire(v.cartellaFd, v.temporaneo, nome);
        // Taken by the very same bytes (the other computer sharing the
        // archive copied this stick too): one copy is enough.
        if (e == EEXIST && tentativo == 0 && stessiByte(v.cartellaFd, cartella, v.temporaneo, nome)) {
            scarta(v);
            EsitoCopiaFile r;
            r.ok = r.giaPresente = true;
            r.destinazione = candidato;
            return r;
        }
    }
    if (e != 0) {
        scarta(v);
        return nonRiuscita(
            QStringLiteral("Impossibile salvare “%1”: %2.").arg(nomeDi(v.destinazione), descrizioneErrore(e)),
            QStringLiteral("impossibile salvarlo con il suo nome: ") + descrizioneErrore(e));
    }
    v.temporaneo.clear();
    EsitoCopiaFile r;
    r.ok = true;
    r.destinazione = candidato;
    return r;
}

QList<EsitoCopiaFile> LottoCopie::completaParte(Parte &parte)
{
    scarica(parte.voci);
    QList<EsitoCopiaFile> risultati;
    QList<int> cartelleNominate; // for each result, the folder its new name is in; -1 for none
    for (Voce &v : parte.voci) {
        risultati.append(nomina(v));
        cartelleNominate.append(risultati.last().ok && !risultati.last().giaPresente ? v.cartellaFd : -1);
    }

    // The new names reach the medium too; until they do, a copy could vanish
    // in a power cut while the user was told it was safe. A failure here leaves
    // the complete copy in place but does not call it done.
    for (int fd : std::as_const(parte.cartelle)) {
        if (!cartelleNominate.contains(fd) || ::fsync(fd) == 0)
            continue;
        const int e = errno;
        for (qsizetype i = 0; i < risultati.size(); ++i) {
            if (cartelleNominate.at(i) == fd)
                risultati[i] = scritturaNonRiuscita(risultati.at(i).destinazione, e);
        }
    }

    parte.voci.clear();
    for (int fd : std::as_const(parte.cartelle))
        ::close(fd);
    parte.cartelle.clear();
    return risultati;
}

EsitoCopiaFile copiaSenzaSovrascrivere(const QString &sorgente, const QString &destinazione)
{
    LottoCopie lotto;
    EsitoCopiaFile esito = lotto.aggiungi(sorgente, destinazione);
    if (!esito.ok)
        return esito;
    return lotto.completa().value(
        0, nonRiuscita(QStringLiteral("Copia non riuscita."), QStringLiteral("copia non riuscita")));
}
