#include "diagnostics/VerificaCapacita.h"

#include "comune/Dimensioni.h"
#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "operations/StimaTempo.h"
#include "platform/InfoVolume.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <QDir>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <sys/stat.h>
#include <unistd.h>

namespace StrumentiDiagnostica {

namespace {
using Fine = EsitoCapacita::Fine;

const QRegularExpression nomeFileProva(QStringLiteral("^prova_\\d{5}\\.bin$"));

QString nomeFile(int indice)
{
    return QStringLiteral("prova_%1.bin").arg(indice, 5, 10, QLatin1Char('0'));
}

// Every sector names its place in the fill and this run's seed, and the rest
// is a stream drawn from both: a sector that comes back from another place,
// from an earlier run, or as zeros never matches.
void riempiSettore(quint64 *p, quint64 posizione, quint64 seme)
{
    p[0] = posizione;
    p[1] = seme;
    quint64 x = (seme ^ (posizione * 0x9E3779B97F4A7C15ULL)) | 1;
    for (size_t i = 2; i < settoreCapacita / sizeof(quint64); ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        p[i] = x;
    }
}

void riempi(char *buffer, qint64 lunghezza, qint64 posizione, quint64 seme)
{
    for (qint64 s = 0; s < lunghezza; s += settoreCapacita)
        riempiSettore(reinterpret_cast<quint64 *>(buffer + s), quint64(posizione + s), seme);
}

// The stick is still where it was: the folder is still its mount, and the
// device behind it still exists (a pulled stick's mount can linger a while,
// answering every read with an error that must not count as lost data).
bool ancoraPresente(const QString &volume, dev_t dispositivo)
{
    return dispositivoDi(volume) == dispositivo && dispositivoPresente(dispositivo);
}

int apriFileProva(int cartella, const QString &nome, int flag, bool diretto)
{
    return apriIn(cartella, codificaNome(nome), flag | O_NOFOLLOW, 0600, diretto);
}

struct FileProva {
    QString nome;
    qint64 inizio = 0; // its first byte's place in the fill
    qint64 lunghezza = 0;
};

// The running check: its folder, its files and what it has counted so far.
class Verifica {
public:
    Verifica(const QString &volume, std::stop_token stop, const Riferisci &avanzamento,
             const ParametriCapacita &parametri)
        : m_volume(volume), m_stop(std::move(stop)), m_avanzamento(avanzamento), m_parametri(parametri),
          m_diretto(parametri.ioDiretto), m_seme(QRandomGenerator::system()->generate64())
    {
    }
    ~Verifica()
    {
        if (m_cartella >= 0)
            ::close(m_cartella);
    }

    EsitoCapacita esegui();

private:
    bool prepara();
    void scrivi();
    void rileggi();
    bool fermati(); // true when the check must stop, with the reason set
    void interrompi(int codice);
    void riferisci(bool rilettura, qint64 fatti, double inizio);
    int apriPerLeggere(const QString &nome);

    QString m_volume;
    std::stop_token m_stop;
    const Riferisci &m_avanzamento;
    ParametriCapacita m_parametri;
    bool m_diretto;
    quint64 m_seme;
    dev_t m_dispositivo = 0;
    int m_cartella = -1;
    BufferAllineato m_buffer;
    BufferAllineato m_atteso;
    qint64 m_piano = 0; // bytes the fill aims at
    QList<FileProva> m_file;
    double m_ultimoRapporto = 0;
    EsitoCapacita m_esito;
    bool m_fermo = false;
};

bool Verifica::fermati()
{
    if (m_fermo)
        return true;
    if (m_stop.stop_requested()) {
        m_esito.fine = Fine::annullata;
        m_fermo = true;
    } else if (!ancoraPresente(m_volume, m_dispositivo)) {
        interrompi(ENODEV);
    }
    return m_fermo;
}

void Verifica::interrompi(int codice)
{
    m_esito.fine = Fine::interrotta;
    m_esito.errore = descrizioneErrore(codice, Supporto::chiavetta);
    m_fermo = true;
}

void Verifica::riferisci(bool rilettura, qint64 fatti, double inizio)
{
    const double adesso = Orologio::secondiMonotoni();
    if (!m_avanzamento || adesso - m_ultimoRapporto < 0.25)
        return;
    m_ultimoRapporto = adesso;
    const double mbs = fatti / byteInUnMB / std::max(adesso - inizio, durataMinimaTest);
    // The time left: what remains of this pass at its own speed, then the
    // read-back at the speed the sample measured (or this one's).
    double resto = (m_piano - fatti) / byteInUnMB / std::max(mbs, 0.1);
    if (!rilettura) {
        const double lettura = m_parametri.velocitaStimate ? m_parametri.velocitaStimate->lettura : mbs;
        resto += m_piano / byteInUnMB / std::max(lettura, 0.1);
    }
    const QLocale locale;
    const QString dettaglio = QStringLiteral("%1 %2 di %3 · %4 MB/s · %5")
                                  .arg(rilettura ? QStringLiteral("Rilettura") : QStringLiteral("Scrittura"),
                                       formattaByte(fatti, locale), formattaByte(m_piano, locale),
                                       locale.toString(mbs, 'f', 1), testoTempoRimanente(resto));
    const qint64 fattiInTutto = fatti + (rilettura ? m_piano : 0);
    m_avanzamento({.frazione = double(fattiInTutto) / double(2 * std::max<qint64>(m_piano, 1)),
                   .dettaglio = dettaglio,
                   .byteFatti = fattiInTutto,
                   .byteTotali = 2 * m_piano});
}

bool Verifica::prepara()
{
    const std::optional<dev_t> dispositivo = dispositivoDi(m_volume);
    const std::optional<SpazioFileSystem> spazio = dispositivo ? spazioVolume(m_volume) : std::nullopt;
    if (!spazio) {
        interrompi(errno);
        return false;
    }
    m_dispositivo = *dispositivo;
    m_esito.dichiarati = spazio->totale;
    m_esito.libero = spazio->libero;
    if (m_esito.libero < spazioMinimoCapacita) {
        m_esito.fine = Fine::pocoSpazio;
        return false;
    }
    m_piano = m_esito.libero / bloccoCapacita * bloccoCapacita;
    const QByteArray cartella = codificaNome(dentro(m_volume, cartellaVerificaCapacita));
    if (::mkdir(cartella.constData(), 0700) != 0 && errno != EEXIST) {
        interrompi(errno);
        return false;
    }
    m_cartella = apriIn(AT_FDCWD, cartella, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    m_buffer = bufferAllineato(bloccoCapacita);
    m_atteso = bufferAllineato(bloccoCapacita);
    if (m_cartella < 0 || !m_buffer || !m_atteso) {
        interrompi(m_cartella < 0 ? errno : ENOMEM);
        return false;
    }
    return true;
}

// Writes whole blocks until the plan is met or the file system is full. A
// full file system is the normal end: the free space it reported is an
// estimate. What could not be synced is not counted as written.
void Verifica::scrivi()
{
    const double inizio = Orologio::secondiMonotoni();
    qint64 posizione = 0;
    bool pieno = false;
    for (int indice = 0; posizione < m_piano && !pieno && !fermati(); ++indice) {
        FileProva file{nomeFile(indice), posizione, 0};
        int fd = apriFileProva(m_cartella, file.nome, O_WRONLY | O_CREAT | O_TRUNC, m_diretto);
        if (fd < 0 && errno == EINVAL && m_diretto) {
            m_diretto = false;
            fd = apriFileProva(m_cartella, file.nome, O_WRONLY | O_CREAT | O_TRUNC, false);
        }
        if (fd < 0) {
            if (errno == ENOSPC)
                break;
            interrompi(errno);
            break;
        }
        m_file.append(file);
        while (file.lunghezza < m_parametri.dimensioneFile && posizione < m_piano && !fermati()) {
            const qint64 quanti =
                std::min({bloccoCapacita, m_piano - posizione, m_parametri.dimensioneFile - file.lunghezza});
            riempi(m_buffer.get(), quanti, posizione, m_seme);
            const ssize_t n = ::pwrite(fd, m_buffer.get(), size_t(quanti), file.lunghezza);
            if (n < 0 && errno == EINTR)
                continue;
            // A file system that refuses direct writes says so at the first one.
            if (n < 0 && errno == EINVAL && m_diretto && file.lunghezza == 0) {
                m_diretto = false;
                ::close(fd);
                fd = apriFileProva(m_cartella, file.nome, O_WRONLY | O_TRUNC, false);
                if (fd < 0) {
                    interrompi(errno);
                    break;
                }
                continue;
            }
            if (n < 0 && errno != ENOSPC && errno != EDQUOT) {
                interrompi(errno);
                break;
            }
            // Only whole sectors count: a torn one is never checked.
            const qint64 scritti = n > 0 ? qint64(n) / settoreCapacita * settoreCapacita : 0;
            file.lunghezza += scritti;
            posizione += scritti;
            if (scritti < quanti) {
                pieno = true;
                break;
            }
            riferisci(false, posizione, inizio);
        }
        // Synced before it counts; dropped from the cache so that the
        // read-back comes from the stick.
        bool sincronizzato = fd >= 0 && ::fdatasync(fd) == 0;
        if (!sincronizzato && fd >= 0 && errno != ENOSPC && errno != EDQUOT && !m_fermo)
            interrompi(errno);
        if (sincronizzato && !m_diretto)
            togliDallaCache(fd);
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
            sincronizzato = false;
        if (!sincronizzato) {
            posizione -= file.lunghezza;
            file.lunghezza = 0;
            pieno = true;
        }
        m_file.last() = file;
    }
    m_esito.scritti = posizione;
    m_esito.scrittura =
        posizione / byteInUnMB / std::max(Orologio::secondiMonotoni() - inizio, durataMinimaTest);
}

// Direct when the file system allows it; else through the cache, emptied of
// the file first.
int Verifica::apriPerLeggere(const QString &nome)
{
    int fd = apriFileProva(m_cartella, nome, O_RDONLY, m_diretto);
    if (fd < 0 && errno == EINVAL && m_diretto) {
        m_diretto = false;
        fd = apriFileProva(m_cartella, nome, O_RDONLY, false);
    }
    if (fd >= 0 && !m_diretto)
        togliDallaCache(fd);
    return fd;
}

// Reads every file back whole and compares each sector with what was written
// there. A sector that cannot be read counts as lost, unless the stick is gone.
void Verifica::rileggi()
{
    const double inizio = Orologio::secondiMonotoni();
    qint64 letti = 0;
    for (const FileProva &file : std::as_const(m_file)) {
        if (file.lunghezza == 0 || fermati())
            continue;
        int fd = apriPerLeggere(file.nome);
        if (fd < 0) {
            letti += file.lunghezza; // a file the file system lost: none of it is intact
            continue;
        }
        for (qint64 dentro = 0; dentro < file.lunghezza && !fermati();) {
            const qint64 quanti = std::min(bloccoCapacita, file.lunghezza - dentro);
            const ssize_t n = ::pread(fd, m_buffer.get(), size_t(quanti), dentro);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EINVAL && m_diretto) {
                ::close(fd);
                m_diretto = false;
                if ((fd = apriPerLeggere(file.nome)) < 0)
                    break;
                continue;
            }
            if (n < 0 && errno != EIO && errno != EBADMSG) {
                if (!fermati())
                    interrompi(errno);
                break;
            }
            if (n < 0 && fermati())
                break;
            const qint64 arrivati = std::max<qint64>(n, 0);
            riempi(m_atteso.get(), quanti, file.inizio + dentro, m_seme);
            // What a short read left out (the file came back shorter) is lost.
            for (qint64 s = 0; s + settoreCapacita <= arrivati; s += settoreCapacita) {
                if (std::memcmp(m_buffer.get() + s, m_atteso.get() + s, settoreCapacita) == 0)
                    m_esito.intatti += settoreCapacita;
            }
            dentro += quanti;
            letti += quanti;
            riferisci(true, letti, inizio);
        }
        if (fd >= 0)
            ::close(fd);
    }
    m_esito.lettura = letti / byteInUnMB / std::max(Orologio::secondiMonotoni() - inizio, durataMinimaTest);
}

EsitoCapacita Verifica::esegui()
{
    if (prepara()) {
        scrivi();
        if (!m_fermo)
            rileggi();
    }
    // Whatever happened, nothing of the check may stay behind.
    if (m_cartella >= 0) {
        ::close(m_cartella);
        m_cartella = -1;
    }
    m_esito.pulita = rimuoviFileCapacita(m_volume);
    return m_esito;
}

} // namespace

bool rimuoviFileCapacita(const QString &volume)
{
    const QByteArray percorso = codificaNome(dentro(volume, cartellaVerificaCapacita));
    const int cartella = apriIn(AT_FDCWD, percorso, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (cartella < 0)
        return errno == ENOENT;
    DIR *d = ::fdopendir(cartella);
    if (!d) {
        ::close(cartella);
        return false;
    }
    QList<QByteArray> nomi;
    while (const dirent *e = ::readdir(d))
        nomi.append(e->d_name);
    bool tutti = true;
    for (const QByteArray &nome : std::as_const(nomi)) {
        if (nome == "." || nome == "..")
            continue;
        // Only what the check itself names: anything else put there stays.
        if (!nomeFileProva.match(QString::fromUtf8(nome)).hasMatch() ||
            ::unlinkat(::dirfd(d), nome.constData(), 0) != 0)
            tutti = false;
    }
    ::closedir(d);
    return ::rmdir(percorso.constData()) == 0 || (tutti && errno == ENOENT);
}

PreparazioneCapacita preparaVerificaCapacita(const QString &volume)
{
    PreparazioneCapacita p;
    rimuoviFileCapacita(volume);
    const std::optional<SpazioFileSystem> spazio = spazioVolume(volume);
    if (!spazio) {
        p.errore = QStringLiteral("Impossibile leggere lo spazio libero della chiavetta: %1.")
                       .arg(descrizioneErrore(errno, Supporto::chiavetta));
        return p;
    }
    p.totale = spazio->totale;
    p.libero = spazio->libero;
    p.contieneFile = !QDir(volume).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
    // A stick that fails the sample (write-protected, failing) would fail the
    // check too: say why now rather than estimate a time for it.
    if (p.libero >= spazioMinimoTest) {
        const EsitoMisura campione = misuraVelocita(volume);
        p.velocita = campione.velocita;
        p.errore = campione.errore;
    }
    return p;
}

EsitoCapacita verificaCapacita(const QString &volume, std::stop_token stop, const Riferisci &avanzamento,
                               const ParametriCapacita &parametri)
{
    return Verifica(volume, std::move(stop), avanzamento, parametri).esegui();
}

} // namespace StrumentiDiagnostica
