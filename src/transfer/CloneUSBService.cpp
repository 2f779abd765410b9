#include "transfer/CloneUSBService.h"

#include "comune/Colori.h"
#include "comune/NomiFile.h"
#include "operations/AlertPresenter.h"
#include "operations/Avanzamento.h"
#include "operations/CentroOperazioni.h"
#include "operations/Impegni.h"
#include "operations/Orologio.h"
#include "operations/PrioritaLavoro.h"
#include "operations/Registro.h"
#include "platform/OperazioniFile.h"
#include "transfer/Digest.h"
#include "transfer/ElencoFalliti.h"
#include "transfer/FileSystemChiavetta.h"
#include "transfer/LottoCopie.h"
#include "transfer/VisitaCartelle.h"

#include <algorithm>
#include <array>
#include <QCoro/QCoroFuture>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

namespace {
const QString iconaSync = QStringLiteral("arrow.triangle.2.circlepath");

// Free bytes on the file system of `radice`, and its allocation unit; none
// when it does not say (fusefat reports a size of 0).
std::optional<qint64> spazioLibero(const QString &radice, qint64 *unita)
{
    const std::optional<SpazioVolume> spazio = spazioVolume(radice);
    if (!spazio || spazio->totale == 0)
        return std::nullopt;
    *unita = spazio->unita;
    return spazio->libero;
}

qint64 occupati(qint64 dimensione, qint64 unita)
{
    return (dimensione + unita - 1) / unita * unita;
}

const QString staccata = QStringLiteral("la chiavetta non è più collegata");

// A stick's root, pinned to the file system that was mounted there when the
// plan was made. Once the stick is unmounted its mount point is a bare folder
// on the system disk (or gone): copies must fail rather than land there.
// The copies it receives wait in a batch of its own until completa(). A copy
// that would not fit in the space left is not started: the user chose to go
// on with what fits.
class Radice {
public:
    // `fatta(voce, motivo)`: the copy for `voce` is done, or failed (`motivo` not empty).
    using Fatta = std::function<void(qsizetype voce, const QString &motivo)>;

    Radice(QString percorso, std::optional<dev_t> dispositivo)
        : m_percorso(std::move(percorso)), m_dispositivo(dispositivo),
          m_liberi(spazioLibero(m_percorso, &m_unita))
    {
    }
    bool ancoraMontata() const { return m_dispositivo && dispositivoDi(m_percorso) == m_dispositivo; }
    // Why the copy could not even start, or empty; `voce` is handed back by completa().
    QString aggiungi(const QString &sorgente, const QString &relativo, qint64 dimensione, qsizetype voce)
    {
        if (!ancoraMontata())
            return staccata;
        const qint64 serve = occupati(dimensione, m_unita);
        if (m_liberi && serve > *m_liberi)
            return QStringLiteral("spazio insufficiente sulla chiavetta");
        const EsitoCopiaFile r = m_lotto.aggiungi(sorgente, conBarra(m_percorso) + relativo);
        if (!r.ok)
            return r.motivo;
        if (m_liberi)
            *m_liberi -= serve;
        m_voci.append(voce);
        return {};
    }
    bool pieno() const { return m_lotto.pieno(); }
    // `fatta` for each waiting copy, and for those handed over before. A stick
    // gone in the meantime keeps none of the waiting ones: a copy not yet
    // flushed is not on it.
    void completa(const Fatta &fatta)
    {
        raccogli(fatta);
        if (m_voci.isEmpty())
            return;
        const bool montata = ancoraMontata();
        QList<EsitoCopiaFile> risultati;
        if (montata)
            risultati = m_lotto.completa();
        else
            m_lotto.abbandona();
        for (qsizetype k = 0; k < m_voci.size(); ++k)
            fatta(m_voci.at(k), motivo(risultati, k, montata));
        m_voci.clear();
    }
    // The same, with the waiting copies flushed behind the caller: their
    // `fatta` comes with the next call, while the stick takes new copies.
    void completaDietro(const Fatta &fatta)
    {
        raccogli(fatta);
        if (!ancoraMontata()) {
            completa(fatta);
            return;
        }
        m_dietro = std::exchange(m_voci, {});
        m_lotto.completaDietro(
            [this](QList<EsitoCopiaFile> risultati) { m_risultatiDietro = std::move(risultati); });
    }

private:
    static QString motivo(const QList<EsitoCopiaFile> &risultati, qsizetype k, bool montata)
    {
        if (!montata)
            return staccata;
        if (k >= risultati.size())
            return QStringLiteral("copia non riuscita");
        return risultati.at(k).ok ? QString() : risultati.at(k).motivo;
    }
    void raccogli(const Fatta &fatta)
    {
        m_lotto.attendiDietro();
        const QList<EsitoCopiaFile> risultati = std::exchange(m_risultatiDietro, {});
        for (qsizetype k = 0; k < m_dietro.size(); ++k)
            fatta(m_dietro.at(k), motivo(risultati, k, true));
        m_dietro.clear();
    }

    QString m_percorso;
    std::optional<dev_t> m_dispositivo;
    qint64 m_unita = 1;
    std::optional<qint64> m_liberi;
    LottoCopie m_lotto;
    QList<qsizetype> m_voci;
    QList<qsizetype> m_dietro;               // handed over to the batch's thread
    QList<EsitoCopiaFile> m_risultatiDietro; // written by that thread until it is done
};

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

// The index of the file whose key is `chiave`, or -1.
qsizetype cerca(const ElencoFile &elenco, QByteArrayView chiave)
{
    qsizetype da = 0, a = elenco.size();
    while (da < a) {
        const qsizetype mezzo = da + (a - da) / 2;
        if (elenco.byteChiave(mezzo).compare(chiave) < 0)
            da = mezzo + 1;
        else
            a = mezzo;
    }
    return da < elenco.size() && elenco.byteChiave(da) == chiave ? da : -1;
}

// "DCIM/img_da_studio_2024-05-02_10-20-30.jpg" -> "DCIM/img.jpg": the key of
// the file a received conflict copy stands beside; empty for any other name.
QString chiaveDellOriginale(const QString &chiave)
{
    static const QRegularExpression ricevuta(
        QStringLiteral("^(.*/)?([^/]+)_da_[^/]+_%1(?:_\\d+)?(\\.[^./]*)?$")
            .arg(QLatin1String(Orologio::schemaTimestamp)));
    const QRegularExpressionMatch m = ricevuta.match(chiave);
    return m.hasMatch() ? m.captured(1) + m.captured(2) + m.captured(3) : QString();
}

using Conflitto = PianoSincronizzazione::Conflitto;

// A conflict settles once each stick holds the other's version as a copy it
// received ("{base}_da_{stick}_{stamp}.{ext}" beside the file): the next sync
// finds nothing to do, instead of two more copies per conflict every time. A
// received copy on one stick only whose bytes the other stick already holds
// (as the file itself, or as a copy it received) is in sync too.
void contaGiaRicevute(PianoSincronizzazione &piano, const QString &radiceA, const QString &radiceB)
{
    const ElencoFile *elenchi[2] = {&piano.elencoA, &piano.elencoB};
    const QString radici[2] = {conBarra(radiceA), conBarra(radiceB)};
    QHash<QString, QList<quint32>> ricevute[2]; // the original's key -> received copies beside it
    for (int lato = 0; lato < 2; ++lato) {
        for (qsizetype i = 0; i < elenchi[lato]->size(); ++i) {
            if (!elenchi[lato]->byteChiave(i).contains("_da_"))
                continue;
            const QString originale = chiaveDellOriginale(elenchi[lato]->chiave(i));
            if (!originale.isEmpty())
                ricevute[lato][originale].append(quint32(i));
        }
    }
    if (ricevute[0].isEmpty() && ricevute[1].isEmpty())
        return;

    QHash<quint64, std::optional<QString>> digest;
    const auto digestDi = [&](int lato, quint32 i) {
        const quint64 chiave = (quint64(lato) << 32) | i;
        auto trovato = digest.find(chiave);
        if (trovato == digest.end())
            trovato = digest.insert(chiave, hashSHA256InCache(radici[lato] + elenchi[lato]->relativo(i)));
        return *trovato;
    };
    // Whether stick `lato` holds the bytes of file `i` of the other stick
    // among the copies it received of `originale`, or (`anche`) as it.
    const auto tiene = [&](int lato, const QString &originale, quint32 i, bool anche) {
        QList<quint32> candidati = ricevute[lato].value(originale);
        const qsizetype stesso = anche ? cerca(*elenchi[lato], codificaNome(originale)) : -1;
        if (stesso >= 0)
            candidati.append(quint32(stesso));
        for (const quint32 c : std::as_const(candidati)) {
            if (elenchi[lato]->dimensione(c) != elenchi[1 - lato]->dimensione(i))
                continue;
            const std::optional<QString> atteso = digestDi(1 - lato, i);
            if (atteso && digestDi(lato, c) == atteso)
                return true;
        }
        return false;
    };

    QList<Conflitto> aperti;
    for (Conflitto c : std::as_const(piano.conflicts)) {
        const QString originale = piano.elencoA.chiave(c.a);
        c.versoA = !tiene(0, originale, c.b, false);
        c.versoB = !tiene(1, originale, c.a, false);
        if (c.versoA || c.versoB)
            aperti.append(c);
        else
            ++piano.conflittiGiaRisolti;
    }
    piano.conflicts = aperti;
    const auto togli = [&](QList<quint32> &soloQui, int lato) {
        soloQui.removeIf([&](quint32 i) {
            const QString originale = chiaveDellOriginale(elenchi[lato]->chiave(i));
            const bool inSincronia = !originale.isEmpty() && tiene(1 - lato, originale, i, true);
            piano.identical += inSincronia;
            return inSincronia;
        });
    };
    togli(piano.copyAtoB, 0);
    togli(piano.copyBtoA, 1);
}

// What the receiving stick would refuse is left out before anything is
// written, and said in the confirmation: a video of 4.5 GiB used to fill a
// FAT32 stick before failing, and a name with ":" failed only once its whole
// file was written. Then the bytes each stick is to receive, against its
// free space.
void escludiNonScrivibili(PianoSincronizzazione &piano, const QString &radiceA, const QString &radiceB)
{
    const ElencoFile *elenchi[2] = {&piano.elencoA, &piano.elencoB};
    const QString radici[2] = {conBarra(radiceA), conBarra(radiceB)};
    const FileSystemChiavetta fs[2] = {fileSystemDi(radiceA), fileSystemDi(radiceB)};
    // Why file `i` of stick `da` cannot go to the other one, or empty.
    // `conNome`: its name is new there, and must be one the stick takes.
    const auto rifiuto = [&](int da, quint32 i, bool conNome) {
        const FileSystemChiavetta verso = fs[1 - da];
        if (verso == FileSystemChiavetta::altro)
            return QString();
        if (verso == FileSystemChiavetta::fat32 && elenchi[da]->dimensione(i) > dimensioneMassimaFat32)
            return QStringLiteral("file di 4 GiB o più: l'altra chiavetta (FAT32) non può contenerlo");
        const QString nome = conNome ? nomeNonAmmesso(elenchi[da]->relativo(i)) : QString();
        if (nome.isEmpty())
            return QString();
        return QStringLiteral("l'altra chiavetta (%1) non ammette questo nome: %2")
            .arg(nomeFileSystem(verso), nome);
    };
    // True when it was left out.
    const auto escluso = [&](int da, quint32 i, bool conNome) {
        const QString perche = rifiuto(da, i, conNome);
        if (!perche.isEmpty())
            piano.nonSincronizzati.append(
                nomeLeggibile(QStringLiteral("“%1”: %2").arg(radici[da] + elenchi[da]->relativo(i), perche)));
        return !perche.isEmpty();
    };
    piano.copyAtoB.removeIf([&](quint32 i) { return escluso(0, i, true); });
    piano.copyBtoA.removeIf([&](quint32 i) { return escluso(1, i, true); });
    QList<Conflitto> restano;
    for (Conflitto c : std::as_const(piano.conflicts)) {
        // The receiving stick holds the name already: only the size can be refused.
        c.versoB = c.versoB && !escluso(0, c.a, false);
        c.versoA = c.versoA && !escluso(1, c.b, false);
        if (c.versoA || c.versoB)
            restano.append(c);
    }
    piano.conflicts = restano;

    qint64 unitaA = 1, unitaB = 1;
    piano.liberiA = spazioLibero(radiceA, &unitaA);
    piano.liberiB = spazioLibero(radiceB, &unitaB);
    for (const quint32 i : std::as_const(piano.copyAtoB))
        piano.byteVersoB += occupati(piano.elencoA.dimensione(i), unitaB);
    for (const quint32 i : std::as_const(piano.copyBtoA))
        piano.byteVersoA += occupati(piano.elencoB.dimensione(i), unitaA);
    for (const Conflitto &c : std::as_const(piano.conflicts)) {
        piano.byteVersoB += c.versoB ? occupati(piano.elencoA.dimensione(c.a), unitaB) : 0;
        piano.byteVersoA += c.versoA ? occupati(piano.elencoB.dimensione(c.b), unitaA) : 0;
    }
}
// The bytes the plan will write, on both sticks.
qint64 byteDaCopiare(const PianoSincronizzazione &piano)
{
    qint64 byte = 0;
    for (const quint32 i : piano.copyAtoB)
        byte += piano.elencoA.dimensione(i);
    for (const quint32 i : piano.copyBtoA)
        byte += piano.elencoB.dimensione(i);
    for (const Conflitto &c : piano.conflicts)
        byte +=
            (c.versoB ? piano.elencoA.dimensione(c.a) : 0) + (c.versoA ? piano.elencoB.dimensione(c.b) : 0);
    return byte;
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

ElencoFile CloneUSBService::elenca(const QString &radice, QStringList *esclusi, bool senzaMaiuscole)
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
            // Where case is ignored, "DCIM/IMG.JPG" and "Dcim/img.jpg" are
            // one name too.
            const bool ascii = std::all_of(nome.begin(), nome.end(), [](char c) { return uchar(c) < 0x80; });
            const bool maiuscole = senzaMaiuscole && std::any_of(nome.begin(), nome.end(),
                                                                 [](char c) { return c >= 'A' && c <= 'Z'; });
            if (!ascii || maiuscole) {
                QString testo = decodificaNome(nome.toByteArray()).normalized(QString::NormalizationForm_C);
                if (senzaMaiuscole)
                    testo = testo.toCaseFolded().normalized(QString::NormalizationForm_C);
                const QByteArray chiave = codificaNome(testo);
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
                                                 const Riferisci &riferisci)
{
    PianoSincronizzazione piano;
    piano.dispositivoA = dispositivoDi(radiceA);
    piano.dispositivoB = dispositivoDi(radiceB);
    // A name that differs only in case cannot stand twice on a stick that
    // ignores case: copied across, it would come back under a timestamped
    // name at every sync.
    const bool senzaMaiuscole = !distingueMaiuscole(radiceA) || !distingueMaiuscole(radiceB);
    piano.elencoA = elenca(radiceA, &piano.nonSincronizzati, senzaMaiuscole);
    piano.elencoB = elenca(radiceB, &piano.nonSincronizzati, senzaMaiuscole);
    const ElencoFile &elencoA = piano.elencoA;
    const ElencoFile &elencoB = piano.elencoB;
    const qint64 n = elencoA.size();
    qint64 k = 0;
    const auto confrontato = [&](qsizetype a) {
        ++k;
        if (riferisci)
            riferisci(
                {.frazione = double(k) / double(std::max<qint64>(n, 1)),
                 .dettaglio = QStringLiteral("Confronto ") + dettaglioAvanzamento(k, n, elencoA.chiave(a))});
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
    contaGiaRicevute(piano, radiceA, radiceB);
    escludiNonScrivibili(piano, radiceA, radiceB);
    return piano;
}

EsitoSincronizzazione CloneUSBService::eseguiPiano(const PianoSincronizzazione &piano, const QString &radiceA,
                                                   const QString &radiceB, const QString &nomeA,
                                                   const QString &nomeB, const Riferisci &riferisci)
{
    Radice a(radiceA, piano.dispositivoA);
    Radice b(radiceB, piano.dispositivoB);
    const ElencoFile &elencoA = piano.elencoA;
    const ElencoFile &elencoB = piano.elencoB;
    EsitoSincronizzazione esito;
    esito.errors = piano.nonSincronizzati.size();
    const qint64 totale = piano.copyAtoB.size() + piano.copyBtoA.size() + piano.conflicts.size();
    qint64 fatti = 0, byteFatti = 0;
    const qint64 byteTotali = byteDaCopiare(piano);
    const auto avanza = [&](const QString &voce, qint64 byte) {
        ++fatti;
        byteFatti += byte;
        if (riferisci)
            riferisci({.frazione = double(fatti) / double(std::max<qint64>(totale, 1)),
                       .dettaglio = dettaglioAvanzamento(fatti, totale, voce),
                       .byteFatti = byteFatti,
                       .byteTotali = byteTotali});
    };

    // The copies wait in each receiving stick's batch; an item counts once
    // all of its copies are flushed, or one of them has failed.
    enum class Tipo : char { versoB, versoA, conflitto };
    struct Stato {
        Tipo tipo;
        char mancanti;
        quint32 indice; // in copyAtoB's list (elencoA), copyBtoA's (elencoB), or conflicts
        bool fallita = false;
    };
    std::vector<Stato> stati;
    stati.reserve(size_t(totale));
    // Each failed copy is named, with the stick it was going to and why.
    const auto chiusa = [&](qsizetype voce, const QString &motivo, const QString &verso) {
        Stato &s = stati[size_t(voce)];
        if (!motivo.isEmpty()) {
            s.fallita = true;
            const QString file = s.tipo == Tipo::versoA ? elencoB.relativo(s.indice)
                                 : s.tipo == Tipo::conflitto
                                     ? elencoA.relativo(piano.conflicts.at(s.indice).a)
                                     : elencoA.relativo(s.indice);
            esito.falliti.append(nomeLeggibile(QStringLiteral("“%1” verso %2: %3").arg(file, verso, motivo)));
        }
        if (--s.mancanti > 0)
            return;
        if (s.fallita)
            ++esito.errors;
        else
            ++(s.tipo == Tipo::conflitto ? esito.conflictsResolved
               : s.tipo == Tipo::versoB  ? esito.copiedAtoB
                                         : esito.copiedBtoA);
    };
    const Radice::Fatta fattaA = [&](qsizetype voce, const QString &motivo) { chiusa(voce, motivo, nomeA); };
    const Radice::Fatta fattaB = [&](qsizetype voce, const QString &motivo) { chiusa(voce, motivo, nomeB); };
    const auto copia = [&](Radice &verso, const QString &sorgente, const QString &relativo,
                           qint64 dimensione) {
        const qsizetype voce = qsizetype(stati.size()) - 1;
        const QString perche = verso.aggiungi(sorgente, relativo, dimensione, voce);
        if (!perche.isEmpty())
            (&verso == &a ? fattaA : fattaB)(voce, perche);
    };
    const auto svuotaSePieno = [&](bool sempre) {
        if (sempre) {
            a.completa(fattaA);
            b.completa(fattaB);
            return;
        }
        if (a.pieno())
            a.completaDietro(fattaA);
        if (b.pieno())
            b.completaDietro(fattaB);
    };

    const QString prefissoA = conBarra(radiceA), prefissoB = conBarra(radiceB);
    for (const quint32 i : piano.copyAtoB) {
        const QString file = elencoA.relativo(i);
        stati.push_back({Tipo::versoB, 1, i});
        copia(b, prefissoA + file, file, elencoA.dimensione(i));
        avanza(nomeDi(file), elencoA.dimensione(i));
        svuotaSePieno(false);
    }
    for (const quint32 i : piano.copyBtoA) {
        const QString file = elencoB.relativo(i);
        stati.push_back({Tipo::versoA, 1, i});
        copia(a, prefissoB + file, file, elencoB.dimensione(i));
        avanza(nomeDi(file), elencoB.dimensione(i));
        svuotaSePieno(false);
    }

    const QString stamp = Orologio::timestamp();
    const QString suffissoA = QStringLiteral("_da_%1_%2").arg(nomeA, stamp);
    const QString suffissoB = QStringLiteral("_da_%1_%2").arg(nomeB, stamp);
    for (qsizetype k = 0; k < piano.conflicts.size(); ++k) {
        // Each received copy goes next to the receiving stick's own version,
        // spelled as that stick spells its folders; a stick that received
        // the other's version in an earlier sync needs none.
        const Conflitto &c = piano.conflicts.at(k);
        const QString fileA = elencoA.relativo(c.a), fileB = elencoB.relativo(c.b);
        stati.push_back({Tipo::conflitto, char(c.versoA + c.versoB), quint32(k)});
        if (c.versoB)
            copia(b, prefissoA + fileA, nomeConSuffisso(fileB, suffissoA), elencoA.dimensione(c.a));
        if (c.versoA)
            copia(a, prefissoB + fileB, nomeConSuffisso(fileA, suffissoB), elencoB.dimensione(c.b));
        avanza(elencoA.chiave(c.a),
               (c.versoB ? elencoA.dimensione(c.a) : 0) + (c.versoA ? elencoB.dimensione(c.b) : 0));
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
    const Riferisci progresso = versoCentro(&centro);

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

    // What will be left out, and a stick too small for what it is to receive
    // (the user may still go on with what fits).
    QString avvertenze;
    if (!piano.nonSincronizzati.isEmpty())
        avvertenze +=
            QStringLiteral("\n\u26A0\uFE0F %1 elementi non potranno essere sincronizzati e saranno "
                           "contati come errori:\n%2\n")
                .arg(QString::number(piano.nonSincronizzati.size()), primeRighe(piano.nonSincronizzati));
    const auto spazio = [&](const QString &nome, qint64 servono, const std::optional<qint64> &liberi) {
        if (!liberi || servono <= *liberi)
            return;
        const QLocale locale;
        const auto byte = [&](qint64 n) { return locale.formattedDataSize(n, 1, QLocale::DataSizeSIFormat); };
        avvertenze +=
            QStringLiteral("\n\u26A0\uFE0F Su %1 mancano %2: servono %3, liberi %4. Se procedi, verrà "
                           "copiato solo ciò che ci sta.\n")
                .arg(nome, byte(servono - *liberi), byte(servono), byte(*liberi));
    };
    spazio(nomeB, piano.byteVersoB, piano.liberiB);
    spazio(nomeA, piano.byteVersoA, piano.liberiA);
    const QString messaggio =
        QStringLiteral(
            "Sincronizzazione bidirezionale tra:\n\u2022 %1\n\u2022 %2\n\nOperazioni previste:\n"
            "\u2022 %3 file da copiare verso %2\n\u2022 %4 file da copiare verso %1\n"
            "\u2022 %5 conflitti (file con stesso nome ma contenuto diverso)\n"
            "\u2022 %6 file già identici (saranno saltati)\n%7\n"
            "I conflitti verranno risolti mantenendo entrambe le versioni: la copia ricevuta avrà un "
            "timestamp aggiunto al nome.\n%8%9Procedere?")
            .arg(nomeA, nomeB, QString::number(piano.copyAtoB.size()), QString::number(piano.copyBtoA.size()),
                 QString::number(piano.conflicts.size()), QString::number(piano.identical),
                 piano.conflittiGiaRisolti == 0
                     ? QString()
                     : QStringLiteral("\u2022 %1 conflitti già risolti in una sincronizzazione precedente "
                                      "(saranno saltati)\n")
                           .arg(piano.conflittiGiaRisolti),
                 avvertenze, avvertenze.isEmpty() ? QString() : QStringLiteral("\n"));
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
        righeInRegistro(esito.falliti, QStringLiteral("non riusciti")) +
        righeInRegistro(piano.nonSincronizzati, QStringLiteral("non sincronizzati")));

    // "Completata" only when nothing failed; "non riuscita" when nothing is in
    // sync either.
    const bool fallita = esito.errors > 0;
    const bool nulla = esito.copiedAtoB + esito.copiedBtoA + esito.conflictsResolved + piano.identical +
                           piano.conflittiGiaRisolti ==
                       0;
    QString testo =
        QStringLiteral("%1\n\n\u2022 %2 file copiati in %3\n\u2022 %4 file copiati in %5\n"
                       "\u2022 %6 conflitti risolti (entrambe le versioni mantenute con timestamp)\n"
                       "\u2022 %7 file erano già identici\n")
            .arg(!fallita ? QStringLiteral("Sincronizzazione completata.")
                 : nulla  ? QStringLiteral("Sincronizzazione non riuscita.")
                          : QStringLiteral("Sincronizzazione completata con errori."),
                 QString::number(esito.copiedAtoB), nomeB, QString::number(esito.copiedBtoA), nomeA,
                 QString::number(esito.conflictsResolved), QString::number(piano.identical));
    if (esito.errors >= 1)
        testo += QStringLiteral("\n\u26A0\uFE0F Errori durante la copia: %1").arg(esito.errors);
    if (!esito.falliti.isEmpty())
        testo += QLatin1Char('\n') + primeRighe(esito.falliti);
    if (!piano.nonSincronizzati.isEmpty())
        testo += QStringLiteral("\nNon sincronizzati:\n") + primeRighe(piano.nonSincronizzati);
    avvisi.mostraAvviso(QStringLiteral("Sincronizzazione USB"), testo,
                        !fallita ? StileAvviso::informativo
                        : nulla  ? StileAvviso::critico
                                 : StileAvviso::avvertenza);
}
