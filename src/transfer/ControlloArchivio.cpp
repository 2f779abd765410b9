#include "transfer/ControlloArchivio.h"

#include "comune/Colori.h"
#include "operations/CentroOperazioni.h"
#include "settings/AppSettings.h"
#include "transfer/FileCopyService.h"
#include "transfer/IndiceArchivio.h"
#include "transfer/OperazioniFile.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <QCoro/QCoroFuture>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QtConcurrent/qtconcurrenttask.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t dimensioneBlocco = size_t(1) << 20;
constexpr qint64 byteTraDueAvanzamenti = qint64(16) << 20;
// A file changed this shortly before the check is not put in the index: a
// second change within the same tick of a coarse clock (FAT keeps times to
// 2 s) could leave its key as it was.
constexpr qint64 recenteNs = qint64(3) * 1000000000;

// Share of the bytes and the file being read, told to the caller now and then.
class Progresso {
public:
    Progresso(std::stop_token stop, const AvanzamentoControllo &riferisci)
        : m_stop(std::move(stop)), m_riferisci(riferisci)
    {
    }
    void prevedi(qint64 byte, qsizetype file)
    {
        m_totale += byte;
        m_file += file;
    }
    void nuovoFile(const QString &nome)
    {
        ++m_corrente;
        m_nome = nome;
        riferisci();
    }
    void letti(qint64 byte)
    {
        m_letti += byte;
        if (m_letti - m_ultimo >= byteTraDueAvanzamenti)
            riferisci();
    }
    // A file that turned out not to be needed.
    void salta(qint64 byte)
    {
        m_totale -= byte;
        --m_file;
    }
    bool fermato() const { return m_stop.stop_requested(); }

private:
    void riferisci()
    {
        m_ultimo = m_letti;
        if (m_riferisci)
            m_riferisci(
                m_totale > 0 ? double(m_letti) / double(m_totale) : 0.0,
                QStringLiteral("%1 di %2 — %3")
                    .arg(QString::number(m_corrente), QString::number(m_file), nomeLeggibile(m_nome)));
    }
    std::stop_token m_stop;
    const AvanzamentoControllo &m_riferisci;
    qint64 m_totale = 0, m_letti = 0, m_ultimo = 0;
    qsizetype m_file = 0, m_corrente = 0;
    QString m_nome;
};

struct Lettura {
    std::optional<QByteArray> digest; // none: unreadable, changed while read, or stopped
    QString motivo;                   // why it could not be read
    ChiaveFile chiave;                // as it was when opened
};

// SHA-256 of a regular file through the page cache (a comparison, not the
// proof of a copy), in blocks, so that a stop request is heard within one.
Lettura leggi(const QByteArray &percorso, Progresso &avanzamento)
{
    Lettura r;
    const auto fallisci = [&](int errore) {
        r.motivo = descrizioneErrore(errore);
        return r;
    };
    int fd;
    do {
        fd =
            apriPercorso(decodificaNome(percorso), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
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
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_NOREUSE);

    Sha256 sha;
    if (!sha.ricomincia()) {
        ::close(fd);
        return fallisci(ENOMEM);
    }
    std::vector<unsigned char> blocco(dimensioneBlocco);
    int errore = 0;
    while (!avanzamento.fermato()) {
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
        avanzamento.letti(n);
    }
    struct stat dopo;
    const bool uguale = ::fstat(fd, &dopo) == 0 && ChiaveFile::da(dopo) == r.chiave;
    ::close(fd);
    if (errore != 0)
        return fallisci(errore);
    if (avanzamento.fermato())
        return r;
    if (!uguale) {
        r.motivo = QStringLiteral("il file è cambiato durante la lettura");
        return r;
    }
    if (const std::optional<Sha256::Valore> valore = sha.fine())
        r.digest = QByteArray(reinterpret_cast<const char *>(valore->data()), int(valore->size())).toHex();
    return r;
}

// With a final "/", so that "/media/STUDIO2" is not taken for inside "/media/STUDIO".
QString canonico(const QString &percorso)
{
    const QString c = QFileInfo(percorso).canonicalFilePath();
    return c.isEmpty() || c.endsWith(QLatin1Char('/')) ? c : c + QLatin1Char('/');
}

// Why the archive folder cannot vouch for any file; empty when it can. An
// archive on the stick, or a stick inside the archive, would find every file
// "in the archive" and go with the stick.
QString archivioInutilizzabile(const QString &chiavetta, const QString &archivio)
{
    if (archivio.isEmpty())
        return QStringLiteral("nessuna cartella indicata");
    const int fd = apriPercorso(archivio, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return descrizioneErrore(errno);
    ::close(fd);
    const QString a = canonico(archivio), c = canonico(chiavetta);
    if (!a.isEmpty() && !c.isEmpty() && (a.startsWith(c) || c.startsWith(a)))
        return QStringLiteral("si trova sulla chiavetta stessa");
    return {};
}

QByteArray conBarra(const QString &cartella)
{
    const QByteArray b = codificaNome(cartella);
    return b.endsWith('/') ? b : b + '/';
}

} // namespace

EsitoControlloArchivio controllaArchivio(const QString &chiavetta, const QString &archivio,
                                         const QString &fileIndice, std::stop_token stop,
                                         const AvanzamentoControllo &riferisci)
{
    EsitoControlloArchivio esito;
    Progresso avanzamento(stop, riferisci);
    struct timespec adesso;
    ::clock_gettime(CLOCK_REALTIME, &adesso);
    const qint64 inizioNs = qint64(adesso.tv_sec) * 1000000000 + adesso.tv_nsec;
    const auto annullato = [&] {
        EsitoControlloArchivio a;
        a.annullato = true;
        return a;
    };

    struct Voce {
        QByteArray percorso;
        qint64 dimensione = 0;
    };
    std::vector<Voce> suChiavetta;
    QList<CartellaNonLetta> nonLette;
    percorriFile(
        chiavetta,
        [&](const QByteArray &p, qint64 d) {
            suChiavetta.push_back({p, d});
        },
        &nonLette);
    esito.file = qint64(suChiavetta.size());
    // Named as the user sees the stick: from its top.
    const QString prefisso = decodificaNome(conBarra(chiavetta));
    for (CartellaNonLetta &c : nonLette) {
        if (c.percorso.startsWith(prefisso))
            c.percorso = c.percorso.mid(prefisso.size());
    }
    esito.nonLetti = descriviNonLette(nonLette);
    if (avanzamento.fermato())
        return annullato();
    if (suChiavetta.empty())
        return esito;
    esito.archivioInutilizzabile = archivioInutilizzabile(chiavetta, archivio);
    if (!esito.archivioInutilizzabile.isEmpty())
        return esito;

    // Only an archive file of the same size as some file of the stick can
    // hold the same contents: the others are never read.
    QSet<qint64> dimensioni;
    qint64 byteChiavetta = 0;
    for (const Voce &v : suChiavetta) {
        dimensioni.insert(v.dimensione);
        byteChiavetta += v.dimensione;
    }
    const QByteArray radice = conBarra(archivio);
    QSet<QByteArray> presenti; // relative paths of every archive file
    std::vector<Voce> candidati;
    QList<CartellaNonLetta> nonLetteArchivio;
    percorriFile(
        archivio,
        [&](const QByteArray &p, qint64 d) {
            presenti.insert(p.mid(radice.size()));
            if (dimensioni.contains(d))
                candidati.push_back({p, d});
        },
        &nonLetteArchivio);
    esito.cartelleArchivioNonLette = nonLetteArchivio.size();

    IndiceArchivio indice = IndiceArchivio::leggi(fileIndice, archivio);
    QSet<QByteArray> inArchivio; // digests of readable archive files
    struct DaLeggere {
        Voce voce;
        ChiaveFile chiave;
    };
    std::vector<DaLeggere> daLeggere;
    qint64 byteArchivio = 0;
    for (const Voce &v : candidati) {
        struct stat info;
        if (::lstat(v.percorso.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const ChiaveFile chiave = ChiaveFile::da(info);
        if (const std::optional<QByteArray> d = indice.digest(v.percorso.mid(radice.size()), chiave)) {
            inArchivio.insert(*d);
            continue;
        }
        daLeggere.push_back({{v.percorso, chiave.dimensione}, chiave});
        byteArchivio += chiave.dimensione;
    }
    avanzamento.prevedi(byteChiavetta + byteArchivio, qsizetype(suChiavetta.size() + daLeggere.size()));

    // The stick, every file. Digests still looked for, with how many of each size.
    const QByteArray radiceChiavetta = conBarra(chiavetta);
    QHash<QByteArray, qint64> cercati;
    QHash<qint64, qsizetype> cercatiPerDimensione;
    std::vector<std::pair<QString, QByteArray>> letti; // relative path, digest
    for (const Voce &v : suChiavetta) {
        const QString relativo = decodificaNome(v.percorso.mid(radiceChiavetta.size()));
        avanzamento.nuovoFile(relativo);
        const Lettura l = leggi(v.percorso, avanzamento);
        if (avanzamento.fermato())
            return annullato();
        if (!l.digest) {
            esito.nonLetti.append(nomeLeggibile(QStringLiteral("“%1”: %2").arg(relativo, l.motivo)));
            continue;
        }
        letti.emplace_back(relativo, *l.digest);
        if (!inArchivio.contains(*l.digest) && !cercati.contains(*l.digest)) {
            cercati.insert(*l.digest, l.chiave.dimensione);
            ++cercatiPerDimensione[l.chiave.dimensione];
        }
    }

    // The archive files not in the index, while some content of their size is still missing.
    for (const DaLeggere &f : daLeggere) {
        const QByteArray relativo = f.voce.percorso.mid(radice.size());
        if (cercatiPerDimensione.value(f.voce.dimensione) == 0) {
            avanzamento.salta(f.voce.dimensione);
            continue;
        }
        avanzamento.nuovoFile(decodificaNome(relativo));
        const Lettura l = leggi(f.voce.percorso, avanzamento);
        if (avanzamento.fermato())
            return annullato();
        ++esito.fileArchivioLetti;
        if (!l.digest)
            continue; // cannot vouch for anything
        if (l.chiave.cambioNs < inizioNs - recenteNs && l.chiave.modificaNs < inizioNs - recenteNs)
            indice.imposta(relativo, l.chiave, *l.digest);
        inArchivio.insert(*l.digest);
        const auto trovato = cercati.constFind(*l.digest);
        if (trovato != cercati.cend()) {
            --cercatiPerDimensione[*trovato];
            cercati.erase(trovato);
        }
    }

    for (const auto &[relativo, digest] : letti) {
        if (!inArchivio.contains(digest))
            esito.mancanti.append(nomeLeggibile(relativo));
    }
    if (avanzamento.fermato())
        return annullato();
    indice.tieniSolo(presenti);
    if (indice.modificato())
        indice.scrivi(fileIndice); // best effort: a missing index only costs time
    return esito;
}

QCoro::Task<std::optional<EsitoControlloArchivio>>
controllaArchivioConScheda(QString nomeChiavetta, QString chiavetta, QString archivio, Servizi servizi)
{
    std::stop_source stop;
    CentroOperazioni::Operazione scheda{
        QStringLiteral("Controllo di \"%1\" in %2…").arg(nomeChiavetta, AppSettings::folderName(archivio)),
        std::nullopt, 0.0, QStringLiteral("magnifyingglass"), Colori::coloreMarchio()};
    scheda.annulla = std::make_shared<const std::function<void()>>([stop]() mutable { stop.request_stop(); });
    SchedaTenuta tenuta(servizi.centro, scheda);

    QPointer<CentroOperazioni> centro(servizi.centro);
    AvanzamentoControllo avanzamento = [centro](double frazione, const QString &dettaglio) {
        if (CentroOperazioni *c = centro.data())
            c->aggiornaDaLavoroFrequente(frazione, dettaglio, std::nullopt);
    };
    const QString indice = IndiceArchivio::percorsoPredefinito();
    const std::stop_token token = stop.get_token();
    QFuture<EsitoControlloArchivio> lavoro =
        QtConcurrent::task([chiavetta, archivio, indice, token, avanzamento] {
            const PrioritaLavoro sottofondo;
            return controllaArchivio(chiavetta, archivio, indice, token, avanzamento);
        })
            .withPriority(FileCopyService::prioritaCopia)
            .spawn();
    const EsitoControlloArchivio esito = co_await lavoro;
    tenuta.rilascia();
    if (esito.annullato || stop.stop_requested())
        co_return std::nullopt;
    co_return esito;
}
