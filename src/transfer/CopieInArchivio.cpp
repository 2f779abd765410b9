#include "transfer/CopieInArchivio.h"

#include "comune/NomiFile.h"
#include "platform/OperazioniFile.h"
#include "transfer/Digest.h"

#include <QFileInfo>
#include <unistd.h>
#include <utility>

namespace {
// Read-ahead of the verification: how many pairs, and how many bytes in all,
// may be on their way from the disk while one pair is hashed.
constexpr qsizetype coppieAnticipate = 16;
constexpr qint64 byteAnticipoMassimo = qint64(96) << 20;
} // namespace

CopieInArchivio::CopieInArchivio(const Collocazione &collocazione, Esito esito, std::stop_token stop)
    : m_collocazione(collocazione), m_esito(std::move(esito)), m_stop(std::move(stop)),
      m_archiviati(collocazione)
{
    m_lotto.creaCartelle(false);
}

CopieInArchivio::~CopieInArchivio()
{
    // The batch behind writes into members that go before the batch itself.
    m_lotto.attendiDietro();
}

// The folders between the archive folder and `destinazione`, made once;
// empty, or why they could not be.
QString CopieInArchivio::preparaCartella(const QString &destinazione)
{
    const QString radice = conBarra(m_collocazione.archivio());
    const QString cartella = QFileInfo(destinazione).path();
    if (!destinazione.startsWith(radice) || conBarra(cartella) == radice ||
        m_cartellePronte.contains(cartella))
        return {};
    QString errore;
    if (!creaSotto(m_collocazione.archivio(), cartella.mid(radice.size()), &errore))
        return QStringLiteral("cartella di destinazione non creata: ") + errore;
    m_cartellePronte.insert(cartella);
    return {};
}

void CopieInArchivio::aggiungi(const QString &file, qint64 dimensione, const LottoCopie::Passo &passo)
{
    const QString piano = m_collocazione.destinazione(file);
    // A file of the same name still on its way must be in place before this
    // one can be found already archived.
    if (m_nomiInAttesa.contains(piano) || m_nomiDietro.contains(piano)) {
        consegna();
        raccogli();
    }
    const std::optional<QString> archiviato = m_archiviati.trova(file, dimensione, m_stop);
    if (!archiviato) {
        // Stopped while comparing it with an archived file: not known to be there, and not copied.
        m_esito({FileArchiviato::Esito::interrotto, file});
        return;
    }
    if (!archiviato->isEmpty()) {
        m_esito({FileArchiviato::Esito::giaPresente, file});
        return;
    }
    if (const QString motivo = preparaCartella(piano); !motivo.isEmpty()) {
        m_esito({FileArchiviato::Esito::nonCopiato, file, {}, motivo});
        return;
    }
    const EsitoCopiaFile r = m_lotto.aggiungi(file, piano, passo);
    if (!r.ok) {
        using enum FileArchiviato::Esito;
        m_esito({r.interrotta ? interrotto : nonCopiato, file, {}, r.motivo, false, {}, r.illeggibile});
        return;
    }
    m_inAttesa.append({file, piano, dimensione});
    m_nomiInAttesa.insert(piano);
    if (m_lotto.pieno())
        consegna();
}

// The batch goes behind: flushed and proven by a thread of its own while
// the next one is written, so the disk reads one back while it writes the
// other. One batch at a time is behind: the memory and the open files stay
// those of two batches.
void CopieInArchivio::consegna()
{
    raccogli();
    m_nomiDietro = std::exchange(m_nomiInAttesa, {});
    m_lotto.completaDietro([this, inAttesa = std::exchange(m_inAttesa, {})](QList<EsitoCopiaFile> risultati) {
        const QList<Coppia> coppie = collocate(inAttesa, risultati, &m_esitiDietro);
        verifica(
            coppie, 0, [this](const FileArchiviato &f) { m_esitiDietro.append(f); }, {}, m_stop);
        m_verificateDietro += coppie.size();
    });
}

// What the batch behind found, told on this thread once it is done.
void CopieInArchivio::raccogli()
{
    m_lotto.attendiDietro();
    for (const FileArchiviato &f : std::exchange(m_esitiDietro, {})) {
        if (f.esito == FileArchiviato::Esito::collocato)
            m_archiviati.aggiungi(f.destinazione);
        m_esito(f);
    }
    m_nomiDietro.clear();
}

void CopieInArchivio::completa(const Riferisci &avanzamento)
{
    raccogli();
    if (m_stop.stop_requested()) {
        // Written, but neither flushed nor named: they go with the batch.
        m_lotto.abbandona();
        for (const Coppia &c : std::exchange(m_inAttesa, {}))
            m_esito({FileArchiviato::Esito::interrotto, c.sorgente});
        m_nomiInAttesa.clear();
        return;
    }
    QList<FileArchiviato> esiti;
    const QList<Coppia> ultime = collocate(m_inAttesa, m_lotto.completa(), &esiti);
    m_inAttesa.clear();
    m_nomiInAttesa.clear();
    for (const FileArchiviato &f : std::as_const(esiti)) {
        if (f.esito == FileArchiviato::Esito::collocato)
            m_archiviati.aggiungi(f.destinazione);
        m_esito(f);
    }
    const qsizetype m = m_verificateDietro + ultime.size();
    if (m > 0 && avanzamento)
        avanzamento({.frazione = double(m_verificateDietro) / double(m),
                     .titolo = QStringLiteral("Verifica copia…")});
    verifica(ultime, m_verificateDietro, m_esito, avanzamento, m_stop);
}

QList<CopieInArchivio::Coppia> CopieInArchivio::collocate(const QList<Coppia> &inAttesa,
                                                          const QList<EsitoCopiaFile> &risultati,
                                                          QList<FileArchiviato> *esiti)
{
    using enum FileArchiviato::Esito;
    QList<Coppia> coppie;
    for (qsizetype k = 0; k < risultati.size() && k < inAttesa.size(); ++k) {
        const EsitoCopiaFile &r = risultati.at(k);
        const Coppia &c = inAttesa.at(k);
        if (!r.ok) {
            esiti->append({nonCopiato, c.sorgente, {}, r.motivo});
        } else if (r.giaPresente) {
            esiti->append({giaPresente, c.sorgente, r.destinazione});
        } else {
            esiti->append({collocato, c.sorgente, r.destinazione, {}, r.destinazione != c.destinazione});
            coppie.append({c.sorgente, r.destinazione, c.dimensione});
        }
    }
    return coppie;
}

// Proves each copy by hashing both sides as read back from the media. The
// disk fetches a few pairs ahead while one pair is hashed.
void CopieInArchivio::verifica(const QList<Coppia> &coppie, qsizetype giaVerificate,
                               const std::function<void(const FileArchiviato &)> &esito,
                               const Riferisci &avanzamento, const std::stop_token &stop)
{
    using enum FileArchiviato::Esito;
    // A copy that will not be proven leaves the archive: what stays there is
    // what the manifest lists. It is ours, placed moments ago under a name
    // that was free.
    const auto ritira = [&](const Coppia &c) {
        ::unlink(codificaNome(c.destinazione).constData());
        esito({interrotto, c.sorgente, c.destinazione});
    };
    const qsizetype m = giaVerificate + coppie.size();
    qsizetype anticipate = 0;
    qint64 inArrivo = 0;
    for (qsizetype j = 0; j < coppie.size(); ++j) {
        const Coppia &c = coppie.at(j);
        if (stop.stop_requested()) {
            ritira(c);
            continue;
        }
        while (anticipate < coppie.size() &&
               (anticipate == j || (anticipate - j < coppieAnticipate && inArrivo < byteAnticipoMassimo))) {
            const Coppia &prossima = coppie.at(anticipate++);
            anticipaLettura(prossima.sorgente);
            anticipaLettura(prossima.destinazione);
            inArrivo += qMin(prossima.dimensione, byteAnticipati) * 2;
        }
        if (avanzamento)
            avanzamento({.frazione = double(giaVerificate + j) / double(m),
                         .dettaglio = QStringLiteral("Verifica ") +
                                      dettaglioAvanzamento(giaVerificate + j + 1, m, nomeDi(c.sorgente))});
        const std::optional<QString> a = hashSHA256Anticipato(c.sorgente, stop);
        const std::optional<QString> b = a ? hashSHA256Anticipato(c.destinazione, stop) : std::nullopt;
        if (a && b && *a == *b)
            esito({verificato, c.sorgente, c.destinazione, {}, false, *a});
        else if (stop.stop_requested())
            ritira(c);
        else {
            FileArchiviato f{nonVerificato, c.sorgente, c.destinazione};
            // A source that is gone was on a stick pulled out, not on an unreadable one.
            f.illeggibile = !a && dimensioneFileRegolare(c.sorgente).has_value();
            esito(f);
        }
        inArrivo -= qMin(c.dimensione, byteAnticipati) * 2;
    }
}
