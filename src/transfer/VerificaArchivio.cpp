#include "transfer/VerificaArchivio.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"
#include "transfer/Digest.h"
#include "transfer/ManifestiArchivio.h"
#include "transfer/VisitaCartelle.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <QHash>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Small reads: a stop request is heard after the one in progress, and on a
// slow disk a read of a megabyte can take seconds. The kernel's read-ahead
// keeps a fast disk streaming all the same.
constexpr size_t dimensioneBlocco = size_t(64) << 10;
// What is asked of the disk ahead of the file being hashed: a quarter of a
// second's worth at the speed seen so far, within these bounds. More would
// keep a slow disk or share busy (and the reads queued behind it) well after
// "Annulla"; less would leave a fast disk idle between small files.
constexpr double secondiAnticipo = 0.25;
constexpr qint64 anticipoMinimo = qint64(1) << 20;
constexpr qint64 anticipoMassimo = qint64(64) << 20;
constexpr size_t fileAnticipatiMassimo = 64; // open descriptors ahead

// A listed file, as the newest manifest listing it has it.
struct DaVerificare {
    QByteArray nome;
    QByteArray sha256;
    qsizetype manifesto = 0;
    qint64 dimensione = 0; // as the walk found it; 0 when it did not
    quint64 inode = 0;
};

// Share of the bytes done, speed and time left, told a few times a second.
class Letture {
public:
    Letture(const Riferisci &riferisci, qint64 totale, qsizetype file)
        : m_riferisci(riferisci), m_totale(totale), m_file(file), m_inizio(Orologio::secondiMonotoni())
    {
    }
    void nuovoFile(qsizetype indice, qint64 dimensionePrevista, const QByteArray &nome)
    {
        m_fatti += m_previstoCorrente;
        m_previstoCorrente = dimensionePrevista;
        m_nelFile = 0;
        m_indice = indice;
        m_nome = nome;
        riferisci();
    }
    void letti(qint64 byte)
    {
        m_nelFile += byte;
        m_letti += byte;
        riferisci();
    }
    qint64 letti() const { return m_letti; }
    double trascorsi() const { return Orologio::secondiMonotoni() - m_inizio; }
    // Bytes a second, once there is enough to judge by; else 0.
    double velocita(double dopoSecondi) const
    {
        const double t = trascorsi();
        return t >= dopoSecondi ? double(m_letti) / t : 0.0;
    }

private:
    void riferisci()
    {
        const double ora = Orologio::secondiMonotoni();
        if (!m_riferisci || ora - m_ultimo < 0.25)
            return;
        m_ultimo = ora;
        const qint64 fatti = m_fatti + qMin(m_nelFile, m_previstoCorrente);
        const double frazione = m_totale > 0 ? double(fatti) / double(m_totale)
                                             : double(m_indice) / double(qMax<qsizetype>(m_file, 1));
        // The card reckons the speed and the time left from the bytes.
        m_riferisci({.frazione = frazione,
                     .dettaglio = dettaglioAvanzamento(m_indice + 1, m_file, decodificaNome(m_nome)),
                     .byteFatti = fatti,
                     .byteTotali = m_totale});
    }

    const Riferisci &m_riferisci;
    qint64 m_totale, m_fatti = 0, m_previstoCorrente = 0, m_nelFile = 0, m_letti = 0;
    qsizetype m_file, m_indice = 0;
    QByteArray m_nome;
    double m_inizio, m_ultimo = 0;
};

enum class Stato { identico, cambiato, mancante, nonLeggibile, fermato };

struct Lettura {
    Stato stato = Stato::identico;
    QString motivo;
};

// A listed file opened ahead of its turn, its cached pages dropped and its
// start asked of the disk.
struct Aperto {
    int fd = -1;
    Lettura errore; // when fd < 0
    qint64 richiesti = 0;
};

// Reads the listed files in order, each from the disk rather than from pages
// some earlier read left in memory, as the copy's own verification does: the
// point is to learn what the disk holds now. The next files are opened and
// their reading started while one is hashed, within a budget that follows the
// disk's speed.
class Lettore {
public:
    Lettore(int radice, const std::vector<DaVerificare> &lista, std::stop_token stop, Letture &progresso)
        : m_radice(radice), m_lista(lista), m_stop(std::move(stop)), m_progresso(progresso),
          m_blocco(dimensioneBlocco)
    {
    }
    ~Lettore()
    {
        std::vector<int> aperti;
        for (const Aperto &a : m_avanti)
            if (a.fd >= 0)
                aperti.push_back(a.fd);
        // On a slow disk a close can wait for what was asked ahead: whoever
        // pressed "Annulla" does not wait with it.
        if (aperti.empty())
            return;
        std::thread([aperti] {
            for (int fd : aperti)
                ::close(fd);
        }).detach();
    }
    Lettore(const Lettore &) = delete;
    Lettore &operator=(const Lettore &) = delete;

    Lettura leggi(size_t indice);

private:
    qint64 budget() const
    {
        const double v = m_progresso.velocita(0.2);
        return v > 0 ? std::clamp(qint64(v * secondiAnticipo), anticipoMinimo, anticipoMassimo)
                     : anticipoMinimo;
    }
    Aperto apri(size_t indice, qint64 anticipo) const;
    void anticipa();
    Lettura hash(int fd, const QByteArray &atteso);

    int m_radice;
    const std::vector<DaVerificare> &m_lista;
    std::stop_token m_stop;
    Letture &m_progresso;
    std::deque<Aperto> m_avanti; // the files from m_prossimo - size() on
    size_t m_prossimo = 0;
    qint64 m_richiesti = 0; // bytes asked for by the files ahead
    std::vector<unsigned char> m_blocco;
    Sha256 m_sha;
};

Aperto Lettore::apri(size_t indice, qint64 anticipo) const
{
    Aperto a;
    const int fd = apriSotto(m_radice, m_lista[indice].nome, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const bool via = errno == ENOENT || errno == ENOTDIR;
        a.errore = {via ? Stato::mancante : Stato::nonLeggibile, descrizioneErrore(errno)};
        return a;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        a.errore = {Stato::nonLeggibile, S_ISDIR(info.st_mode)
                                             ? QStringLiteral("al suo posto c'è una cartella")
                                             : QStringLiteral("non è più un file normale")};
        ::close(fd);
        return a;
    }
    // Pages still dirty cannot be dropped: they are written out first.
    attendiScrittura(fd);
    togliDallaCache(fd);
    a.richiesti = qMin(qint64(info.st_size), anticipo);
    if (a.richiesti > 0)
        chiediInAnticipo(fd, a.richiesti);
    a.fd = fd;
    return a;
}

void Lettore::anticipa()
{
    const qint64 limite = budget();
    while (m_prossimo < m_lista.size() && m_avanti.size() < fileAnticipatiMassimo && m_richiesti < limite &&
           !m_stop.stop_requested()) {
        m_avanti.push_back(apri(m_prossimo++, limite - m_richiesti));
        m_richiesti += m_avanti.back().richiesti;
    }
}

Lettura Lettore::leggi(size_t indice)
{
    if (m_avanti.empty() && m_prossimo == indice)
        m_avanti.push_back(apri(m_prossimo++, budget()));
    const Aperto a = m_avanti.front();
    m_avanti.pop_front();
    m_richiesti -= a.richiesti;
    anticipa();
    if (a.fd < 0)
        return a.errore;
    const Lettura l = hash(a.fd, m_lista[indice].sha256);
    if (l.stato == Stato::fermato) {
        std::thread([fd = a.fd] { ::close(fd); }).detach();
        return l;
    }
    // A verification leaves no pages behind: it must not push the practice's
    // working set out of memory.
    togliDallaCache(a.fd);
    ::close(a.fd);
    return l;
}

Lettura Lettore::hash(int fd, const QByteArray &atteso)
{
    letturaSequenziale(fd);
    if (!m_sha.ricomincia())
        return {Stato::nonLeggibile, descrizioneErrore(ENOMEM)};
    for (;;) {
        if (m_stop.stop_requested())
            return {Stato::fermato, {}};
        const ssize_t n = ::read(fd, m_blocco.data(), m_blocco.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {Stato::nonLeggibile, descrizioneErrore(errno)};
        if (n == 0)
            break;
        m_sha.aggiungi(m_blocco.data(), size_t(n));
        m_progresso.letti(n);
    }
    const std::optional<Sha256::Valore> valore = m_sha.fine();
    if (!valore)
        return {Stato::nonLeggibile, descrizioneErrore(ENOMEM)};
    return {esadecimale(*valore) == atteso ? Stato::identico : Stato::cambiato, {}};
}

struct Elencato {
    QByteArray sha256;
    qsizetype manifesto = 0;
};

// Each listed name once, as the newest manifest listing it has it: a file
// placed again under a name that was freed keeps its new digest. A name listed
// twice with two digests by the same manifest cannot be right twice: the
// second line is not believed.
QHash<QByteArray, Elencato> elencoDaManifesti(const ManifestiArchivio &letti, QStringList *problemi)
{
    QHash<QByteArray, Elencato> elenco;
    for (qsizetype m = 0; m < letti.manifesti.size(); ++m) {
        const ManifestoLetto &manifesto = letti.manifesti.at(m);
        const QString file = manifesto.origine.file;
        for (const RigaNonValida &r : manifesto.contenuto.nonValide)
            problemi->append(
                nomeLeggibile(QStringLiteral("“%1”, riga %2: %3").arg(file).arg(r.numero).arg(r.motivo)));
        QHash<QByteArray, QByteArray> qui;
        for (const VoceLetta &v : manifesto.contenuto.voci) {
            const auto visto = qui.constFind(v.nome);
            if (visto != qui.cend()) {
                if (*visto != v.sha256)
                    problemi->append(
                        nomeLeggibile(QStringLiteral("“%1”: “%2” vi compare due volte con impronte diverse")
                                          .arg(file, decodificaNome(v.nome))));
                continue;
            }
            qui.insert(v.nome, v.sha256);
            elenco.insert(v.nome, {v.sha256, m});
        }
    }
    return elenco;
}

struct Presente {
    qint64 dimensione = 0;
    quint64 inode = 0;
};

// The archive's files as a copy sees them (hidden ones aside), by their paths
// relative to it.
QHash<QByteArray, Presente> fileInArchivio(const QString &archivio, QStringList *cartelleNonLette)
{
    QHash<QByteArray, Presente> presenti;
    const QByteArray radice = codificaNome(archivio);
    const qsizetype prefisso = radice.size() + (radice.endsWith('/') ? 0 : 1);
    QList<CartellaNonLetta> nonLette;
    percorriFile(
        archivio,
        [&](const QByteArray &p, const struct stat &info) {
            presenti.insert(p.mid(prefisso), {qint64(info.st_size), quint64(info.st_ino)});
        },
        &nonLette);
    *cartelleNonLette = descriviNonLette(nonLette);
    return presenti;
}

// A file that is not as listed goes where it belongs. Its listed bytes found,
// intact, in another archive file mean nothing is lost: a good copy fetched
// again after damage, or the same image archived twice under two names.
void classifica(const DaVerificare &f, const Lettura &l, const QHash<QByteArray, QByteArray> &integri,
                const ManifestiArchivio &letti, EsitoVerificaArchivio *esito)
{
    const OrigineManifesto &o = letti.manifesti.at(f.manifesto).origine;
    const QString motivo = l.stato == Stato::nonLeggibile ? l.motivo : QString();
    FileDaRecuperare d{nomeLeggibile(decodificaNome(f.nome)), descriviOrigine(o), motivo,
                       nomeLeggibile(o.file)};
    if (const auto copia = integri.constFind(f.sha256); copia != integri.cend()) {
        d.motivo = nomeLeggibile(decodificaNome(*copia));
        esito->altrove.append(d);
        return;
    }
    switch (l.stato) {
    case Stato::cambiato:
        esito->cambiati.append(d);
        break;
    case Stato::mancante:
        esito->mancanti.append(d);
        break;
    default:
        esito->nonLeggibili.append(d);
        break;
    }
}

} // namespace

EsitoVerificaArchivio verificaArchivio(const QString &archivio, std::stop_token stop,
                                       const Riferisci &avanzamento)
{
    EsitoVerificaArchivio esito;
    const double inizio = Orologio::secondiMonotoni();
    const auto annullato = [] {
        EsitoVerificaArchivio a;
        a.annullato = true;
        return a;
    };
    const Descrittore radice(apriPercorso(archivio, O_RDONLY | O_DIRECTORY));
    if (!radice.aperto()) {
        esito.archivioInutilizzabile = descrizioneErrore(errno);
        return esito;
    }
    const ManifestiArchivio letti = leggiManifesti(radice.fd());
    esito.manifesti = letti.manifesti.size();
    esito.problemiManifesti = letti.nonLetti;
    const QHash<QByteArray, Elencato> elenco = elencoDaManifesti(letti, &esito.problemiManifesti);
    esito.elencati = elenco.size();
    if (stop.stop_requested())
        return annullato();

    const QHash<QByteArray, Presente> presenti = fileInArchivio(archivio, &esito.cartelleNonLette);
    for (auto it = presenti.cbegin(); it != presenti.cend(); ++it) {
        if (!elenco.contains(it.key()))
            esito.nonCoperti.append(nomeLeggibile(decodificaNome(it.key())));
    }
    esito.nonCoperti.sort();

    std::vector<DaVerificare> lista;
    qint64 totale = 0;
    for (auto it = elenco.cbegin(); it != elenco.cend(); ++it) {
        const Presente p = presenti.value(it.key());
        lista.push_back({it.key(), it->sha256, it->manifesto, p.dimensione, p.inode});
        totale += p.dimensione;
    }
    // In the order of the files on the disk, as far as inode numbers tell it:
    // a spinning disk then reads forward instead of seeking back and forth.
    std::sort(lista.begin(), lista.end(), [](const DaVerificare &a, const DaVerificare &b) {
        return a.inode != b.inode ? a.inode < b.inode : a.nome < b.nome;
    });

    Letture progresso(avanzamento, totale, qsizetype(lista.size()));
    QHash<QByteArray, QByteArray> integri; // digest → a file found holding it
    std::vector<std::pair<size_t, Lettura>> nonIntegri;
    {
        Lettore lettore(radice.fd(), lista, stop, progresso);
        for (size_t i = 0; i < lista.size(); ++i) {
            progresso.nuovoFile(qsizetype(i), lista[i].dimensione, lista[i].nome);
            const Lettura l = lettore.leggi(i);
            if (l.stato == Stato::fermato)
                return annullato();
            if (l.stato == Stato::identico) {
                ++esito.identici;
                integri.insert(lista[i].sha256, lista[i].nome);
            } else {
                nonIntegri.emplace_back(i, l);
            }
        }
    }
    for (const auto &[i, l] : nonIntegri)
        classifica(lista[i], l, integri, letti, &esito);
    if (stop.stop_requested())
        return annullato();
    const auto perNome = [](const FileDaRecuperare &a, const FileDaRecuperare &b) { return a.nome < b.nome; };
    for (QList<FileDaRecuperare> *l : {&esito.cambiati, &esito.mancanti, &esito.nonLeggibili, &esito.altrove})
        std::sort(l->begin(), l->end(), perNome);
    esito.byteLetti = progresso.letti();
    esito.secondi = Orologio::secondiMonotoni() - inizio;
    return esito;
}
