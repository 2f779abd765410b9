#include "transfer/CloneUSBService.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "operations/PresentatoreAvvisi.h"
#include "platform/OperazioniFile.h"
#include "transfer/Digest.h"
#include "transfer/FileSystemChiavetta.h"

#include <algorithm>
#include <array>
#include <QHash>
#include <QRegularExpression>
#include <thread>
#include <vector>

using namespace CloneUSBService;

namespace {
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
// in order, until `stop`. `fatto` runs after each.
std::vector<Digest> digestInFila(const QString &radice, qsizetype quanti,
                                 const std::function<QByteArrayView(qsizetype)> &relativo,
                                 const std::function<void(qsizetype)> &fatto, const std::stop_token &stop)
{
    std::vector<Digest> digest(static_cast<size_t>(quanti));
    DigestInFila lettore(radice);
    for (qsizetype i = 0; i < quanti && !stop.stop_requested(); ++i) {
        const QByteArrayView prossimo = i + 1 < quanti ? relativo(i + 1) : QByteArrayView();
        if (const std::optional<DigestInFila::Valore> d = lettore.digest(relativo(i), prossimo, stop)) {
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
void contaGiaRicevute(PianoSincronizzazione &piano, const QString &radiceA, const QString &radiceB,
                      const std::stop_token &stop)
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
            trovato =
                digest.insert(chiave, hashSHA256InCache(radici[lato] + elenchi[lato]->relativo(i), stop));
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
} // namespace

bool CloneUSBService::stessoContenuto(const QString &a, const QString &b)
{
    const auto da = dimensione(a);
    const auto db = dimensione(b);
    if (!da || !db || *da != *db)
        return false;
    return stessoDigest(hashSHA256(a), hashSHA256(b));
}

PianoSincronizzazione CloneUSBService::pianifica(const QString &radiceA, const QString &radiceB,
                                                 const Riferisci &riferisci, std::stop_token stop)
{
    PianoSincronizzazione piano;
    const auto fermato = [&] { return piano.annullato = stop.stop_requested(); };
    piano.dispositivoA = dispositivoDi(radiceA);
    piano.dispositivoB = dispositivoDi(radiceB);
    // A name that differs only in case cannot stand twice on a stick that
    // ignores case: copied across, it would come back under a timestamped
    // name at every sync.
    const bool senzaMaiuscole = !distingueMaiuscole(radiceA) || !distingueMaiuscole(radiceB);
    piano.elencoA = elenca(radiceA, &piano.nonSincronizzati, senzaMaiuscole);
    piano.elencoB = elenca(radiceB, &piano.nonSincronizzati, senzaMaiuscole);
    if (fermato())
        return piano;
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
        digestB = digestInFila(
            radiceB, daLeggere.size(), [&](qsizetype i) { return elencoB.byteNome(daLeggere.at(i).b); }, {},
            stop);
    });
    const std::vector<Digest> digestA = digestInFila(
        radiceA, daLeggere.size(), [&](qsizetype i) { return elencoA.byteNome(daLeggere.at(i).a); },
        [&](qsizetype i) { confrontato(daLeggere.at(i).a); }, stop);
    lettoreB.join();
    // A digest the stop cut short is no digest: the pairs not read would
    // all count as identical, and nothing would be copied for them.
    if (fermato())
        return piano;

    for (qsizetype i = 0; i < daLeggere.size(); ++i) {
        if (digestA[size_t(i)] == digestB[size_t(i)])
            ++piano.identical;
        else
            piano.conflicts.append(daLeggere.at(i));
    }
    contaGiaRicevute(piano, radiceA, radiceB, stop);
    if (fermato())
        return piano;
    escludiNonScrivibili(piano, radiceA, radiceB);
    return piano;
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

bool CloneUSBService::conferma(PresentatoreAvvisi &avvisi, const QString &titolo, const QString &messaggio)
{
    const RispostaAvviso risposta =
        avvisi.presenta(RichiestaAvviso{titolo,
                                        messaggio,
                                        StileAvviso::avvertenza,
                                        {QStringLiteral("Procedi"), QStringLiteral("Annulla")},
                                        std::nullopt});
    return risposta.pulsante == 0;
}

std::optional<qint64> CloneUSBService::spazioLibero(const QString &radice, qint64 *unita)
{
    const std::optional<SpazioFileSystem> spazio = spazioVolume(radice);
    if (!spazio || spazio->totale == 0)
        return std::nullopt;
    *unita = spazio->unita;
    return spazio->libero;
}

qint64 CloneUSBService::occupati(qint64 dimensione, qint64 unita)
{
    return (dimensione + unita - 1) / unita * unita;
}
