#include "transfer/ControlloArchivio.h"

#include "comune/Colori.h"
#include "comune/NomiFile.h"
#include "operations/Avanzamento.h"
#include "operations/CentroOperazioni.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/PrioritaLavoro.h"
#include "platform/InfoVolume.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"
#include "settings/AppSettings.h"
#include "transfer/Digest.h"
#include "transfer/FileCopyService.h"
#include "transfer/IndiceArchivio.h"
#include "transfer/VisitaCartelle.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <QCoro/QCoroFuture>
#include <QDir>
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

constexpr qint64 byteTraDueAvanzamenti = qint64(16) << 20;
// A file changed this shortly before the check is not put in the index: a
// second change within the same tick of a coarse clock (FAT keeps times to
// 2 s) could leave its key as it was.
constexpr qint64 recenteS = 3;

// Share of the bytes and the file being read, told to the caller now and then.
class Conteggio {
public:
    Conteggio(std::stop_token stop, const Riferisci &riferisci)
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
    const std::stop_token &stop() const { return m_stop; }

private:
    void riferisci()
    {
        m_ultimo = m_letti;
        if (m_riferisci)
            m_riferisci({.frazione = m_totale > 0 ? double(m_letti) / double(m_totale) : 0.0,
                         .dettaglio = dettaglioAvanzamento(m_corrente, m_file, m_nome),
                         .byteFatti = m_letti,
                         .byteTotali = m_totale});
    }
    std::stop_token m_stop;
    const Riferisci &m_riferisci;
    qint64 m_totale = 0, m_letti = 0, m_ultimo = 0;
    qsizetype m_file = 0, m_corrente = 0;
    QString m_nome;
};

// One file of the stick or of the archive, its blocks counted as they are read.
LetturaFermabile leggi(const QByteArray &percorso, Conteggio &avanzamento)
{
    return leggiFermabile(percorso, avanzamento.stop(), [&](qint64 n) { avanzamento.letti(n); });
}

// A volume of the stick that can be looked at.
struct Radice {
    QString percorso;
    QByteArray byte; // with a final "/"
    QString nome;
    dev_t dispositivo = 0;
    bool montaggio = false; // the root of a mount, as every stick's volume is
};

// With a final "/", so that "/media/STUDIO2" is not taken for inside "/media/STUDIO".
QString canonico(const QString &percorso)
{
    const QString c = QFileInfo(percorso).canonicalFilePath();
    return c.isEmpty() ? c : conBarra(c);
}

// Why the archive folder cannot vouch for any file; empty when it can.
// `sullaChiavetta` tells an archive that lies on a volume of the stick, and
// would find every file "in the archive" and go with it. For a volume that is
// a mount, as sticks are, its device decides, whatever path or bind mount
// leads to the archive; a plain folder is compared by path.
QString archivioInutilizzabile(const QString &archivio, const std::vector<Radice> &radici,
                               bool *sullaChiavetta)
{
    if (archivio.isEmpty())
        return QStringLiteral("nessuna cartella indicata");
    const int fd = apriPercorso(archivio, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return descrizioneErrore(errno);
    struct stat info;
    const bool letto = ::fstat(fd, &info) == 0;
    const int errore = errno;
    ::close(fd);
    if (!letto)
        return descrizioneErrore(errore);
    const QString a = canonico(archivio);
    for (const Radice &r : radici) {
        const QString c = r.montaggio ? QString() : canonico(r.percorso);
        *sullaChiavetta = r.montaggio ? info.st_dev == r.dispositivo : !c.isEmpty() && a.startsWith(c);
        if (*sullaChiavetta)
            return QStringLiteral("si trova sulla chiavetta stessa");
        if (!c.isEmpty() && c.startsWith(a))
            return QStringLiteral("contiene la chiavetta stessa");
    }
    return {};
}

struct VoceChiavetta {
    QByteArray percorso;
    qint64 dimensione = 0;
    const Radice *radice = nullptr;
};

struct VoceArchivio {
    QByteArray percorso;
    ChiaveFile chiave;
};

Istante adesso()
{
    struct timespec t;
    ::clock_gettime(CLOCK_REALTIME, &t);
    return {qint64(t.tv_sec), qint64(t.tv_nsec)};
}

// One check, phase by phase; each returns false when the check is to end
// there, told or stopped.
class Controllo {
public:
    Controllo(const QString &archivio, const QString &fileIndice, std::stop_token stop,
              const Riferisci &riferisci)
        : m_archivio(archivio), m_fileIndice(fileIndice), m_radiceArchivio(codificaNome(conBarra(archivio))),
          m_avanzamento(std::move(stop), riferisci), m_inizio(adesso())
    {
    }

    EsitoControlloArchivio esegui(const QList<VolumeDaControllare> &volumi)
    {
        scegliRadici(volumi);
        if (!elencaChiavetta() || !elencaArchivio() || !leggiChiavetta() || !leggiArchivio())
            return std::move(m_esito);
        concludi();
        return std::move(m_esito);
    }

private:
    QString descrivi(const QString &nome, const QString &motivo) const
    {
        return nomeLeggibile(QStringLiteral("“%1”: %2").arg(nome, motivo));
    }
    // Named as the user sees the stick: from its top, after the volume's name
    // when there are several.
    QString nomeVisto(const Radice &r, const QByteArray &percorso) const
    {
        if (!percorso.startsWith(r.byte))
            return r.nome;
        const QString relativo = decodificaNome(percorso.mid(r.byte.size()));
        return m_radici.size() > 1 ? r.nome + QLatin1Char('/') + relativo : relativo;
    }
    bool annullato()
    {
        m_esito = EsitoControlloArchivio();
        m_esito.annullato = true;
        return false;
    }
    void scegliRadici(const QList<VolumeDaControllare> &volumi);
    bool elencaChiavetta();
    bool elencaArchivio();
    bool leggiChiavetta();
    bool leggiArchivio();
    void concludi();

    QString m_archivio, m_fileIndice;
    QByteArray m_radiceArchivio; // with a final "/"
    Conteggio m_avanzamento;
    Istante m_inizio;
    EsitoControlloArchivio m_esito;
    std::vector<Radice> m_radici;
    QSet<dev_t> m_dispositivi; // of the volumes that are mounts
    std::vector<VoceChiavetta> m_suChiavetta;
    QSet<QByteArray> m_presenti; // relative paths of every archive file
    IndiceArchivio m_indice;
    QSet<QByteArray> m_inArchivio;     // digests of readable archive files
    QSet<qint64> m_dimensioniArchivio; // sizes some archive file has
    std::vector<VoceArchivio> m_daLeggere;
    std::vector<std::optional<QByteArray>> m_digest; // of each stick file read
    // Digests still looked for, with how many of each size.
    QHash<QByteArray, qint64> m_cercati;
    QHash<qint64, qsizetype> m_cercatiPerDimensione;
};

// Each volume once: one mounted twice (a bind mount) has one device.
void Controllo::scegliRadici(const QList<VolumeDaControllare> &volumi)
{
    for (const VolumeDaControllare &v : volumi) {
        if (v.puntoMontaggio.isEmpty()) {
            m_esito.volumiNonControllati.append(
                descrivi(v.nome, QStringLiteral("non è montato, quindi non si può controllare")));
            continue;
        }
        const std::optional<RadiceVolume> info = radiceVolume(v.puntoMontaggio);
        if (!info) {
            m_esito.volumiNonControllati.append(descrivi(v.nome, descrizioneErrore(errno)));
            continue;
        }
        if (info->puntoDiMontaggio && m_dispositivi.contains(info->dispositivo))
            continue;
        m_radici.push_back({v.puntoMontaggio, codificaNome(conBarra(v.puntoMontaggio)), v.nome,
                            info->dispositivo, info->puntoDiMontaggio});
        if (info->puntoDiMontaggio)
            m_dispositivi.insert(info->dispositivo);
    }
}

bool Controllo::elencaChiavetta()
{
    for (const Radice &r : m_radici) {
        QList<CartellaNonLetta> nonLette;
        percorriFile(
            r.percorso,
            [&](const QByteArray &p, const struct stat &info) {
                m_suChiavetta.push_back({p, qint64(info.st_size), &r});
            },
            &nonLette, &m_esito.nascosti);
        for (const CartellaNonLetta &c : std::as_const(nonLette))
            m_esito.nonLetti.append(descrivi(nomeVisto(r, codificaNome(c.percorso)), c.motivo));
        if (m_avanzamento.fermato())
            return annullato();
    }
    m_esito.file = qint64(m_suChiavetta.size());
    if (m_suChiavetta.empty())
        return false;
    m_esito.archivioInutilizzabile =
        archivioInutilizzabile(m_archivio, m_radici, &m_esito.archivioSullaChiavetta);
    if (m_esito.archivioInutilizzabile.isEmpty())
        return true;
    // Nothing is known to be safe, so everything is to copy, unless the copy
    // would land on the stick itself.
    for (const VoceChiavetta &v : m_suChiavetta) {
        if (!m_esito.archivioSullaChiavetta)
            m_esito.daCopiare.append(decodificaNome(v.percorso));
    }
    return false;
}

// Only an archive file of the same size as some file of the stick can hold
// the same contents: the others are never read. Files on the stick itself
// (the stick mounted inside the archive folder) go with it.
bool Controllo::elencaArchivio()
{
    QSet<qint64> dimensioni;
    for (const VoceChiavetta &v : m_suChiavetta)
        dimensioni.insert(v.dimensione);
    std::vector<VoceArchivio> candidati;
    QList<CartellaNonLetta> nonLette;
    percorriFile(
        m_archivio,
        [&](const QByteArray &p, const struct stat &info) {
            if (m_dispositivi.contains(info.st_dev))
                return;
            m_presenti.insert(p.mid(m_radiceArchivio.size()));
            if (dimensioni.contains(qint64(info.st_size)))
                candidati.push_back({p, ChiaveFile::da(info)});
        },
        &nonLette);
    m_esito.cartelleArchivioNonLette = nonLette.size();

    m_indice = IndiceArchivio::leggi(m_fileIndice, m_archivio);
    qint64 byteArchivio = 0;
    for (const VoceArchivio &v : candidati) {
        m_dimensioniArchivio.insert(v.chiave.dimensione);
        const QByteArray relativo = v.percorso.mid(m_radiceArchivio.size());
        if (const std::optional<QByteArray> d = m_indice.digest(relativo, v.chiave)) {
            m_inArchivio.insert(*d);
            continue;
        }
        m_daLeggere.push_back(v);
        byteArchivio += v.chiave.dimensione;
    }
    // A stick file whose size no archive file has is missing without reading it.
    qint64 byteChiavetta = 0;
    qsizetype fileChiavetta = 0;
    for (const VoceChiavetta &v : m_suChiavetta) {
        if (m_dimensioniArchivio.contains(v.dimensione)) {
            byteChiavetta += v.dimensione;
            ++fileChiavetta;
        }
    }
    m_avanzamento.prevedi(byteChiavetta + byteArchivio, fileChiavetta + qsizetype(m_daLeggere.size()));
    return true;
}

// The stick's files that may be in the archive.
bool Controllo::leggiChiavetta()
{
    m_digest.resize(m_suChiavetta.size());
    for (size_t i = 0; i < m_suChiavetta.size(); ++i) {
        const VoceChiavetta &v = m_suChiavetta[i];
        if (!m_dimensioniArchivio.contains(v.dimensione))
            continue;
        const QString nome = nomeVisto(*v.radice, v.percorso);
        m_avanzamento.nuovoFile(nome);
        const LetturaFermabile l = leggi(v.percorso, m_avanzamento);
        if (m_avanzamento.fermato())
            return annullato();
        if (!l.digest) {
            m_esito.nonLetti.append(descrivi(nome, l.motivo));
            m_esito.daCopiare.append(decodificaNome(v.percorso));
            continue;
        }
        m_digest[i] = l.digest;
        if (!m_inArchivio.contains(*l.digest) && !m_cercati.contains(*l.digest)) {
            m_cercati.insert(*l.digest, l.chiave.dimensione);
            ++m_cercatiPerDimensione[l.chiave.dimensione];
        }
    }
    return true;
}

// The archive files not in the index, while some content of their size is still missing.
bool Controllo::leggiArchivio()
{
    const Istante limiteRecenti{m_inizio.secondi - recenteS, m_inizio.nanosecondi};
    for (const VoceArchivio &f : m_daLeggere) {
        const QByteArray relativo = f.percorso.mid(m_radiceArchivio.size());
        if (m_cercatiPerDimensione.value(f.chiave.dimensione) == 0) {
            m_avanzamento.salta(f.chiave.dimensione);
            continue;
        }
        m_avanzamento.nuovoFile(decodificaNome(relativo));
        const LetturaFermabile l = leggi(f.percorso, m_avanzamento);
        if (m_avanzamento.fermato())
            return annullato();
        ++m_esito.fileArchivioLetti;
        if (!l.digest)
            continue; // cannot vouch for anything
        if (l.chiave.cambio < limiteRecenti && l.chiave.modifica < limiteRecenti)
            m_indice.imposta(relativo, l.chiave, *l.digest);
        m_inArchivio.insert(*l.digest);
        const auto trovato = m_cercati.constFind(*l.digest);
        if (trovato != m_cercati.cend()) {
            --m_cercatiPerDimensione[*trovato];
            m_cercati.erase(trovato);
        }
    }
    return true;
}

void Controllo::concludi()
{
    for (size_t i = 0; i < m_suChiavetta.size(); ++i) {
        const VoceChiavetta &v = m_suChiavetta[i];
        const bool letto = m_dimensioniArchivio.contains(v.dimensione);
        if (letto && (!m_digest[i] || m_inArchivio.contains(*m_digest[i])))
            continue; // unreadable, told above, or safe
        m_esito.mancanti.append(nomeLeggibile(nomeVisto(*v.radice, v.percorso)));
        m_esito.daCopiare.append(decodificaNome(v.percorso));
    }
    if (m_avanzamento.fermato()) {
        annullato();
        return;
    }
    m_indice.tieniSolo(m_presenti);
    if (m_indice.modificato())
        m_indice.scrivi(m_fileIndice); // best effort: a missing index only costs time
}

} // namespace

EsitoControlloArchivio controllaArchivio(const QString &chiavetta, const QString &archivio,
                                         const QString &fileIndice, std::stop_token stop,
                                         const Riferisci &riferisci)
{
    return controllaArchivio({VolumeDaControllare{chiavetta, nomeDi(QDir::cleanPath(chiavetta))}}, archivio,
                             fileIndice, std::move(stop), riferisci);
}

EsitoControlloArchivio controllaArchivio(const QList<VolumeDaControllare> &volumi, const QString &archivio,
                                         const QString &fileIndice, std::stop_token stop,
                                         const Riferisci &riferisci)
{
    return Controllo(archivio, fileIndice, std::move(stop), riferisci).esegui(volumi);
}

QCoro::Task<std::optional<EsitoControlloArchivio>>
controllaArchivioConScheda(QString nomeChiavetta, QList<VolumeDaControllare> volumi, QString archivio,
                           Servizi servizi)
{
    std::stop_source stop;
    CentroOperazioni::Operazione scheda{
        QStringLiteral("Controllo di \"%1\" in %2…").arg(nomeChiavetta, AppSettings::folderName(archivio)),
        std::nullopt, 0.0, QStringLiteral("magnifyingglass"), Colori::coloreMarchio()};
    scheda.annulla = annullaCon(stop);
    ImpegnoTenuto tenuta(servizi.centro, scheda);

    const Riferisci avanzamento = versoCentro(servizi.centro);
    const QString indice = IndiceArchivio::percorsoPredefinito();
    const std::stop_token token = stop.get_token();
    QFuture<EsitoControlloArchivio> lavoro =
        QtConcurrent::task([volumi, archivio, indice, token, avanzamento] {
            const PrioritaLavoro sottofondo;
            return controllaArchivio(volumi, archivio, indice, token, avanzamento);
        })
            .withPriority(FileCopyService::prioritaCopia)
            .spawn();
    const EsitoControlloArchivio esito = co_await lavoro;
    tenuta.rilascia();
    if (esito.annullato || stop.stop_requested())
        co_return std::nullopt;
    co_return esito;
}
