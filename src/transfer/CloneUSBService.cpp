#include "transfer/CloneUSBService.h"

#include "comune/Colori.h"
#include "operations/AlertPresenter.h"
#include "operations/CentroOperazioni.h"
#include "operations/Impegni.h"
#include "operations/Orologio.h"
#include "operations/Registro.h"
#include "transfer/LottoCopie.h"
#include "transfer/OperazioniFile.h"

#include <algorithm>
#include <array>
#include <QCoro/QCoroFuture>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

namespace {
const QString iconaSync = QStringLiteral("arrow.triangle.2.circlepath");

QString conBarra(const QString &radice)
{
    return radice.endsWith(QLatin1Char('/')) ? radice : radice + QLatin1Char('/');
}

QString dettaglio(qint64 k, qint64 n, const QString &voce)
{
    return QStringLiteral("%1 di %2 \u2014 %3").arg(k).arg(n).arg(nomeLeggibile(voce));
}

std::optional<dev_t> dispositivoDi(const QString &percorso)
{
    struct stat st {};
    if (::stat(codificaNome(percorso).constData(), &st) != 0)
        return std::nullopt;
    return st.st_dev;
}

// A stick's root, pinned to the file system that was mounted there when the
// plan was made. Once the stick is unmounted its mount point is a bare folder
// on the system disk (or gone): copies must fail rather than land there.
// The copies it receives wait in a batch of its own until completa().
class Radice {
public:
    Radice(QString percorso, std::optional<dev_t> dispositivo)
        : m_percorso(std::move(percorso)), m_dispositivo(dispositivo)
    {
    }
    bool ancoraMontata() const { return m_dispositivo && dispositivoDi(m_percorso) == m_dispositivo; }
    // False when the copy could not even start; `voce` is handed back by completa().
    bool aggiungi(const QString &sorgente, const QString &relativo, qsizetype voce)
    {
        if (!ancoraMontata() || !m_lotto.aggiungi(sorgente, conBarra(m_percorso) + relativo).ok)
            return false;
        m_voci.append(voce);
        return true;
    }
    bool pieno() const { return m_lotto.pieno(); }
    // `fatta(voce, ok)` for each waiting copy, and for those handed over
    // before. A stick gone in the meantime keeps none of the waiting ones: a
    // copy not yet flushed is not on it.
    void completa(const std::function<void(qsizetype, bool)> &fatta)
    {
        raccogli(fatta);
        if (m_voci.isEmpty())
            return;
        QList<EsitoCopiaFile> risultati;
        if (ancoraMontata())
            risultati = m_lotto.completa();
        else
            m_lotto.abbandona();
        for (qsizetype k = 0; k < m_voci.size(); ++k)
            fatta(m_voci.at(k), k < risultati.size() && risultati.at(k).ok);
        m_voci.clear();
    }
    // The same, with the waiting copies flushed behind the caller: their
    // `fatta` comes with the next call, while the stick takes new copies.
    void completaDietro(const std::function<void(qsizetype, bool)> &fatta)
    {
        raccogli(fatta);
        if (!ancoraMontata()) {
            completa(fatta);
            return;
        }
        m_lotto.completaDietro();
        m_dietro = std::exchange(m_voci, {});
    }

private:
    void raccogli(const std::function<void(qsizetype, bool)> &fatta)
    {
        const QList<EsitoCopiaFile> risultati = m_lotto.risultatiDietro();
        for (qsizetype k = 0; k < m_dietro.size(); ++k)
            fatta(m_dietro.at(k), k < risultati.size() && risultati.at(k).ok);
        m_dietro.clear();
    }

    QString m_percorso;
    std::optional<dev_t> m_dispositivo;
    LottoCopie m_lotto;
    QList<qsizetype> m_voci;
    QList<qsizetype> m_dietro; // handed over to the batch's thread
};

std::optional<qint64> dimensione(const QString &file)
{
    struct stat st {};
    if (::stat(codificaNome(file).constData(), &st) != 0)
        return std::nullopt;
    return qint64(st.st_size);
}

// Two same-sized files neither of which can be read cannot be told apart, and
// count as equal; one readable side is a conflict.
bool stessoDigest(const std::optional<QString> &a, const std::optional<QString> &b)
{
    if (!a && !b)
        return true;
    return a && b && *a == *b;
}

// A digest kept as its 32 bytes rather than as 64 hex characters: tens of
// thousands of them wait for the other stick's.
struct Digest {
    bool letto = false;
    std::array<char, 32> valore{};
    friend bool operator==(const Digest &, const Digest &) = default;
};

// The digests of the `quanti` files below `radice` that `relativo(i)` names,
// in order. `fatto` runs after each.
std::vector<Digest> digestInFila(const QString &radice, qsizetype quanti,
                                 const std::function<QByteArrayView(qsizetype)> &relativo,
                                 const std::function<void(qsizetype)> &fatto)
{
    std::vector<Digest> digest(static_cast<size_t>(quanti));
    DigestInFila lettore(radice);
    for (qsizetype i = 0; i < quanti; ++i) {
        const QByteArrayView prossimo = i + 1 < quanti ? relativo(i + 1) : QByteArrayView();
        if (const std::optional<DigestInFila::Valore> d = lettore.digest(relativo(i), prossimo)) {
            digest[size_t(i)].letto = true;
            std::copy(d->begin(), d->end(), digest[size_t(i)].valore.begin());
        }
        if (fatto)
            fatto(i);
    }
    return digest;
}

// The first lines of a list for an alert; the log has them all.
QString elenco(const QStringList &righe)
{
    constexpr qsizetype mostrate = 8;
    QString testo = righe.first(qMin(mostrate, righe.size())).join(QLatin1Char('\n'));
    if (righe.size() > mostrate)
        testo += QStringLiteral("\ne altri %1...").arg(righe.size() - mostrate);
    return testo;
}
} // namespace

QString ElencoFile::relativo(qsizetype i) const
{
    return decodificaNome(byteNome(i).toByteArray());
}

QString ElencoFile::chiave(qsizetype i) const
{
    return decodificaNome(byteChiave(i).toByteArray());
}

QByteArrayView ElencoFile::byteNome(qsizetype i) const
{
    const Voce &v = m_voci.at(i);
    return QByteArrayView(m_byte).sliced(v.nome, v.lunghezzaNome);
}

QByteArrayView ElencoFile::byteChiave(qsizetype i) const
{
    const Voce &v = m_voci.at(i);
    return QByteArrayView(m_byte).sliced(v.chiave, v.lunghezzaChiave);
}

ElencoFile CloneUSBService::elenca(const QString &radice, QStringList *esclusi)
{
    ElencoFile elenco;
    QList<CartellaNonLetta> nonLette;
    const qsizetype prefisso = codificaNome(conBarra(radice)).size();
    percorriFile(
        radice,
        [&](const QByteArray &percorso, qint64 dimensione) {
            const QByteArrayView nome = QByteArrayView(percorso).sliced(prefisso);
            ElencoFile::Voce v;
            v.nome = quint32(elenco.m_byte.size());
            v.lunghezzaNome = quint32(nome.size());
            v.chiave = v.nome;
            v.lunghezzaChiave = v.lunghezzaNome;
            v.dimensione = dimensione;
            elenco.m_byte.append(nome);
            // Sticks written on a Mac hold decomposed names (NFD), elsewhere
            // precomposed ones: both spell the same name. Plain ASCII is both.
            const bool ascii = std::all_of(nome.begin(), nome.end(), [](char c) { return uchar(c) < 0x80; });
            if (!ascii) {
                const QByteArray chiave =
                    codificaNome(decodificaNome(nome.toByteArray()).normalized(QString::NormalizationForm_C));
                if (QByteArrayView(chiave) != nome) {
                    v.chiave = quint32(elenco.m_byte.size());
                    v.lunghezzaChiave = quint32(chiave.size());
                    elenco.m_byte.append(chiave);
                }
            }
            elenco.m_voci.append(v);
        },
        &nonLette);
    if (esclusi)
        *esclusi += descriviNonLette(nonLette);
    elenco.m_byte.squeeze();

    // By key, and in the listing's order among equal keys (their names lie in
    // that order in the block).
    auto &voci = elenco.m_voci;
    const QByteArrayView byte(elenco.m_byte);
    const auto chiaveDi = [&](const ElencoFile::Voce &v) { return byte.sliced(v.chiave, v.lunghezzaChiave); };
    std::sort(voci.begin(), voci.end(), [&](const ElencoFile::Voce &x, const ElencoFile::Voce &y) {
        const int c = chiaveDi(x).compare(chiaveDi(y));
        return c != 0 ? c < 0 : x.nome < y.nome;
    });
    // When one stick holds both spellings, the second cannot be told apart on
    // the other stick: it is left out and said so, never silently shadowed.
    qsizetype tenute = 0;
    for (qsizetype i = 0; i < voci.size(); ++i) {
        if (tenute > 0 && chiaveDi(voci.at(i)) == chiaveDi(voci.at(tenute - 1))) {
            if (esclusi) {
                const auto assoluto = [&](const ElencoFile::Voce &v) {
                    return conBarra(radice) +
                           decodificaNome(byte.sliced(v.nome, v.lunghezzaNome).toByteArray());
                };
                esclusi->append(nomeLeggibile(
                    QStringLiteral("“%1”: c'è già un file con lo stesso nome scritto in un'altra forma "
                                   "(“%2”), questo non è stato sincronizzato")
                        .arg(assoluto(voci.at(i)), assoluto(voci.at(tenute - 1)))));
            }
            continue;
        }
        voci[tenute++] = voci.at(i);
    }
    voci.resize(tenute);
    voci.squeeze();
    return elenco;
}

bool CloneUSBService::stessoContenuto(const QString &a, const QString &b)
{
    const auto da = dimensione(a);
    const auto db = dimensione(b);
    if (!da || !db || *da != *db)
        return false;
    return stessoDigest(hashSHA256(a), hashSHA256(b));
}

PianoSincronizzazione CloneUSBService::pianifica(const QString &radiceA, const QString &radiceB,
                                                 const Progresso &progresso)
{
    PianoSincronizzazione piano;
    piano.dispositivoA = dispositivoDi(radiceA);
    piano.dispositivoB = dispositivoDi(radiceB);
    piano.elencoA = elenca(radiceA, &piano.nonSincronizzati);
    piano.elencoB = elenca(radiceB, &piano.nonSincronizzati);
    const ElencoFile &elencoA = piano.elencoA;
    const ElencoFile &elencoB = piano.elencoB;
    const qint64 n = elencoA.size();
    qint64 k = 0;
    const auto confrontato = [&](qsizetype a) {
        ++k;
        if (progresso)
            progresso(double(k) / double(std::max<qint64>(n, 1)),
                      QStringLiteral("Confronto %1 di %2 \u2014 %3")
                          .arg(k)
                          .arg(n)
                          .arg(nomeLeggibile(elencoA.chiave(a))));
    };

    // Both lists are in key order: one walk side by side pairs them. The
    // same decisions as stessoContenuto, in two steps: the sizes settle most
    // pairs at once, then the pairs left are digested.
    QList<PianoSincronizzazione::Conflitto> daLeggere;
    for (qsizetype a = 0, b = 0; a < elencoA.size() || b < elencoB.size();) {
        const int ordine = a == elencoA.size()   ? 1
                           : b == elencoB.size() ? -1
                                                 : elencoA.byteChiave(a).compare(elencoB.byteChiave(b));
        if (ordine < 0) {
            piano.copyAtoB.append(quint32(a));
            confrontato(a++);
        } else if (ordine > 0) {
            piano.copyBtoA.append(quint32(b++));
        } else if (elencoA.dimensione(a) != elencoB.dimensione(b)) {
            piano.conflicts.append({quint32(a), quint32(b++)});
            confrontato(a++);
        } else {
            daLeggere.append({quint32(a++), quint32(b++)});
        }
    }

    // Each stick is read by a thread of its own: two sticks deliver about
    // twice what one does, and each is still read one file after another.
    std::vector<Digest> digestB;
    std::thread lettoreB([&] {
        digestB = digestInFila(radiceB, daLeggere.size(),
                               [&](qsizetype i) { return elencoB.byteNome(daLeggere.at(i).b); }, {});
    });
    const std::vector<Digest> digestA = digestInFila(
        radiceA, daLeggere.size(), [&](qsizetype i) { return elencoA.byteNome(daLeggere.at(i).a); },
        [&](qsizetype i) { confrontato(daLeggere.at(i).a); });
    lettoreB.join();

    for (qsizetype i = 0; i < daLeggere.size(); ++i) {
        if (digestA[size_t(i)] == digestB[size_t(i)])
            ++piano.identical;
        else
            piano.conflicts.append(daLeggere.at(i));
    }
    return piano;
}

EsitoSincronizzazione CloneUSBService::eseguiPiano(const PianoSincronizzazione &piano, const QString &radiceA,
                                                   const QString &radiceB, const QString &nomeA,
                                                   const QString &nomeB, const Progresso &progresso)
{
    Radice a(radiceA, piano.dispositivoA);
    Radice b(radiceB, piano.dispositivoB);
    const ElencoFile &elencoA = piano.elencoA;
    const ElencoFile &elencoB = piano.elencoB;
    EsitoSincronizzazione esito;
    esito.errors = piano.nonSincronizzati.size();
    const qint64 totale = piano.copyAtoB.size() + piano.copyBtoA.size() + piano.conflicts.size();
    qint64 fatti = 0;
    const auto avanza = [&](const QString &voce) {
        ++fatti;
        if (progresso)
            progresso(double(fatti) / double(std::max<qint64>(totale, 1)), dettaglio(fatti, totale, voce));
    };

    // The copies wait in each receiving stick's batch; an item counts once
    // all of its copies are flushed, or one of them has failed.
    enum class Tipo : char { versoB, versoA, conflitto };
    struct Stato {
        Tipo tipo;
        char mancanti;
        bool fallita = false;
    };
    std::vector<Stato> stati;
    stati.reserve(size_t(totale));
    const auto chiusa = [&](qsizetype voce, bool ok) {
        Stato &s = stati[size_t(voce)];
        s.fallita = s.fallita || !ok;
        if (--s.mancanti > 0)
            return;
        if (s.fallita)
            ++esito.errors;
        else
            ++(s.tipo == Tipo::conflitto ? esito.conflictsResolved
               : s.tipo == Tipo::versoB  ? esito.copiedAtoB
                                         : esito.copiedBtoA);
    };
    const auto copia = [&](Radice &verso, const QString &sorgente, const QString &relativo) {
        const qsizetype voce = qsizetype(stati.size()) - 1;
        if (!verso.aggiungi(sorgente, relativo, voce))
            chiusa(voce, false);
    };
    const auto svuotaSePieno = [&](bool sempre) {
        if (sempre) {
            a.completa(chiusa);
            b.completa(chiusa);
            return;
        }
        if (a.pieno())
            a.completaDietro(chiusa);
        if (b.pieno())
            b.completaDietro(chiusa);
    };

    const QString prefissoA = conBarra(radiceA), prefissoB = conBarra(radiceB);
    for (const quint32 i : piano.copyAtoB) {
        const QString file = elencoA.relativo(i);
        stati.push_back({Tipo::versoB, 1});
        copia(b, prefissoA + file, file);
        avanza(QFileInfo(file).fileName());
        svuotaSePieno(false);
    }
    for (const quint32 i : piano.copyBtoA) {
        const QString file = elencoB.relativo(i);
        stati.push_back({Tipo::versoA, 1});
        copia(a, prefissoB + file, file);
        avanza(QFileInfo(file).fileName());
        svuotaSePieno(false);
    }

    const QString stamp = Orologio::adesso().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString suffissoA = QStringLiteral("_da_%1_%2").arg(nomeA, stamp);
    const QString suffissoB = QStringLiteral("_da_%1_%2").arg(nomeB, stamp);
    for (const PianoSincronizzazione::Conflitto &c : piano.conflicts) {
        // Each received copy goes next to the receiving stick's own version,
        // spelled as that stick spells its folders.
        const QString fileA = elencoA.relativo(c.a), fileB = elencoB.relativo(c.b);
        stati.push_back({Tipo::conflitto, 2});
        copia(b, prefissoA + fileA, nomeConSuffisso(fileB, suffissoA));
        copia(a, prefissoB + fileB, nomeConSuffisso(fileA, suffissoB));
        avanza(elencoA.chiave(c.a));
        svuotaSePieno(false);
    }
    svuotaSePieno(true);
    return esito;
}

QString CloneUSBService::nomeConSuffisso(const QString &relativePath, const QString &suffisso)
{
    const qsizetype barra = relativePath.lastIndexOf(QLatin1Char('/'));
    const qsizetype punto = relativePath.lastIndexOf(QLatin1Char('.'));
    // A leading dot is part of the name, not an extension.
    if (punto <= barra + 1)
        return relativePath + suffisso;
    return relativePath.left(punto) + suffisso + relativePath.mid(punto);
}

bool CloneUSBService::conferma(AlertPresenter &avvisi, const QString &titolo, const QString &messaggio)
{
    const RispostaAvviso risposta =
        avvisi.presenta(RichiestaAvviso{titolo,
                                        messaggio,
                                        StileAvviso::avvertenza,
                                        {QStringLiteral("Procedi"), QStringLiteral("Annulla")},
                                        std::nullopt});
    return risposta.pulsante == 0;
}

QCoro::Task<> CloneUSBService::sincronizza(Servizi servizi, USBDrive driveA, USBDrive driveB)
{
    CentroOperazioni &centro = *servizi.centro;
    AlertPresenter &avvisi = *servizi.avvisi;
    const auto occupato = [&] {
        if (!impegnoBloccante(Avvio::sincronizzazione, statoImpegni(servizi)))
            return false;
        avvisi.mostraAvviso(
            QStringLiteral("Operazione in corso"),
            QStringLiteral("C'è già una copia o sincronizzazione in corso. Attendi che finisca."),
            StileAvviso::informativo);
        return true;
    };
    if (occupato())
        co_return;

    const QString nomeA = driveA.name;
    const QString nomeB = driveB.name;
    const QString radiceA = driveA.path();
    const QString radiceB = driveB.path();
    const QPointer<CentroOperazioni> guardia(&centro);
    const Progresso progresso = [guardia](double frazione, const QString &testo) {
        if (guardia)
            guardia->aggiornaDaLavoroFrequente(frazione, testo, std::nullopt);
    };

    SchedaTenuta schedaAnalisi(&centro, {QStringLiteral("Analisi di %1 e %2\u2026").arg(nomeA, nomeB),
                                         std::nullopt, std::nullopt, iconaSync, Colori::indigo()});
    // Awaits take named values only: GCC 12 can destroy the temporaries of a
    // co_await expression twice.
    const auto analizza = [=] {
        const PrioritaLavoro sottofondo;
        return pianifica(radiceA, radiceB, progresso);
    };
    QFuture<PianoSincronizzazione> analisi = QtConcurrent::run(analizza);
    const PianoSincronizzazione piano = co_await analisi;
    schedaAnalisi.rilascia();

    const QString messaggio =
        QStringLiteral(
            "Sincronizzazione bidirezionale tra:\n\u2022 %1\n\u2022 %2\n\nOperazioni previste:\n"
            "\u2022 %3 file da copiare verso %2\n\u2022 %4 file da copiare verso %1\n"
            "\u2022 %5 conflitti (file con stesso nome ma contenuto diverso)\n"
            "\u2022 %6 file già identici (saranno saltati)\n\n"
            "I conflitti verranno risolti mantenendo entrambe le versioni: la copia ricevuta avrà un "
            "timestamp aggiunto al nome.\n%7Procedere?")
            .arg(nomeA, nomeB, QString::number(piano.copyAtoB.size()), QString::number(piano.copyBtoA.size()),
                 QString::number(piano.conflicts.size()), QString::number(piano.identical),
                 piano.nonSincronizzati.isEmpty()
                     ? QString()
                     : QStringLiteral("\n\u26A0\uFE0F %1 elementi non potranno essere sincronizzati e "
                                      "saranno contati come errori:\n%2\n\n")
                           .arg(QString::number(piano.nonSincronizzati.size()),
                                elenco(piano.nonSincronizzati)));
    if (!conferma(avvisi, QStringLiteral("Conferma sincronizzazione"), messaggio))
        co_return;
    // No card is held while the dialog is open, so an automatic import may
    // have claimed it meanwhile; taking it over would free its busy flag early.
    if (occupato())
        co_return;

    SchedaTenuta scheda(&centro, {QStringLiteral("Sincronizzazione %1 \u2194 %2\u2026").arg(nomeA, nomeB),
                                  std::nullopt, std::nullopt, iconaSync, Colori::indigo()});
    const auto esegui = [=] {
        const PrioritaLavoro sottofondo;
        return eseguiPiano(piano, radiceA, radiceB, nomeA, nomeB, progresso);
    };
    QFuture<EsitoSincronizzazione> esecuzione = QtConcurrent::run(esegui);
    const EsitoSincronizzazione esito = co_await esecuzione;
    scheda.rilascia();

    registra(
        QStringLiteral("Sincronizzazione %1 \u2194 %2: %3+%4 file copiati, %5 conflitti risolti, %6 errori")
            .arg(nomeA, nomeB, QString::number(esito.copiedAtoB), QString::number(esito.copiedBtoA),
                 QString::number(esito.conflictsResolved), QString::number(esito.errors)) +
        (piano.nonSincronizzati.isEmpty()
             ? QString()
             : QStringLiteral("; non sincronizzati: ") + piano.nonSincronizzati.join(QStringLiteral("; "))));

    QString testo =
        QStringLiteral(
            "Sincronizzazione completata.\n\n\u2022 %1 file copiati in %2\n\u2022 %3 file copiati in %4\n"
            "\u2022 %5 conflitti risolti (entrambe le versioni mantenute con timestamp)\n"
            "\u2022 %6 file erano già identici\n")
            .arg(QString::number(esito.copiedAtoB), nomeB, QString::number(esito.copiedBtoA), nomeA,
                 QString::number(esito.conflictsResolved), QString::number(piano.identical));
    if (esito.errors >= 1)
        testo += QStringLiteral("\n\u26A0\uFE0F Errori durante la copia: %1").arg(esito.errors);
    if (!piano.nonSincronizzati.isEmpty())
        testo += QStringLiteral("\nNon sincronizzati:\n") + elenco(piano.nonSincronizzati);
    avvisi.mostraAvviso(QStringLiteral("Sincronizzazione USB"), testo, StileAvviso::informativo);
}
