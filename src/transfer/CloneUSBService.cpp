#include "transfer/CloneUSBService.h"

#include "comune/Colori.h"
#include "operations/AlertPresenter.h"
#include "operations/CentroOperazioni.h"
#include "operations/Impegni.h"
#include "operations/Orologio.h"
#include "operations/Registro.h"
#include "transfer/OperazioniFile.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {
const QString iconaSync = QStringLiteral("arrow.triangle.2.circlepath");

QString conBarra(const QString &radice)
{
    return radice.endsWith(QLatin1Char('/')) ? radice : radice + QLatin1Char('/');
}

// The path below `radice` as written on the medium; a file outside it keeps just its name.
QString relativo(const QString &radice, const QString &file)
{
    const QString prefisso = conBarra(radice);
    return file.startsWith(prefisso) ? file.mid(prefisso.size()) : QFileInfo(file).fileName();
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
class Radice {
public:
    Radice(QString percorso, std::optional<dev_t> dispositivo)
        : m_percorso(std::move(percorso)), m_dispositivo(dispositivo)
    {
    }
    const QString &percorso() const { return m_percorso; }
    bool ancoraMontata() const { return m_dispositivo && dispositivoDi(m_percorso) == m_dispositivo; }
    bool copia(const QString &sorgente, const QString &relativo) const
    {
        if (!ancoraMontata())
            return false;
        return copiaSenzaSovrascrivere(sorgente, conBarra(m_percorso) + relativo).ok;
    }

private:
    QString m_percorso;
    std::optional<dev_t> m_dispositivo;
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

// The digests of `file`, in order. The next file is already being fetched
// from the medium while the current one is hashed. `fatto` runs after each.
std::vector<std::optional<QString>> digestInFila(const QStringList &file,
                                                 const std::function<void(qsizetype)> &fatto)
{
    std::vector<std::optional<QString>> digest;
    digest.reserve(size_t(file.size()));
    for (qsizetype i = 0; i < file.size(); ++i) {
        digest.push_back(hashSHA256InCache(file.at(i), file.value(i + 1)));
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

QHash<QString, QString> CloneUSBService::mappaFile(const QString &radice, QStringList *esclusi)
{
    QHash<QString, QString> mappa;
    QList<CartellaNonLetta> nonLette;
    const QStringList file = elencaFile(radice, &nonLette);
    if (esclusi)
        *esclusi += descriviNonLette(nonLette);
    for (const QString &f : file) {
        // Sticks written on a Mac hold decomposed names (NFD), elsewhere
        // precomposed ones: both spell the same name. When one stick holds
        // both spellings, the second cannot be told apart on the other stick:
        // it is left out and said so, never silently shadowed.
        const QString chiave = relativo(radice, f).normalized(QString::NormalizationForm_C);
        const auto gia = mappa.constFind(chiave);
        if (gia == mappa.cend()) {
            mappa.insert(chiave, f);
        } else if (esclusi) {
            esclusi->append(nomeLeggibile(
                QStringLiteral("“%1”: c'è già un file con lo stesso nome scritto in un'altra forma "
                               "(“%2”), questo non è stato sincronizzato")
                    .arg(f, *gia)));
        }
    }
    return mappa;
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
    const QHash<QString, QString> mappaA = mappaFile(radiceA, &piano.nonSincronizzati);
    const QHash<QString, QString> mappaB = mappaFile(radiceB, &piano.nonSincronizzati);
    const qint64 n = mappaA.size();
    qint64 k = 0;
    const auto confrontato = [&](const QString &relativo) {
        ++k;
        if (progresso)
            progresso(
                double(k) / double(std::max<qint64>(n, 1)),
                QStringLiteral("Confronto %1 di %2 \u2014 %3").arg(k).arg(n).arg(nomeLeggibile(relativo)));
    };

    // The same decisions as stessoContenuto, in two steps: the sizes settle
    // most pairs at once, then the pairs left are digested.
    QList<PianoSincronizzazione::Conflitto> daLeggere;
    for (auto it = mappaA.cbegin(); it != mappaA.cend(); ++it) {
        const auto inB = mappaB.constFind(it.key());
        if (inB == mappaB.cend()) {
            piano.copyAtoB.append(it.value());
            confrontato(it.key());
            continue;
        }
        const auto da = dimensione(it.value());
        const auto db = dimensione(inB.value());
        if (!da || !db || *da != *db) {
            piano.conflicts.append({it.key(), it.value(), inB.value()});
            confrontato(it.key());
            continue;
        }
        daLeggere.append({it.key(), it.value(), inB.value()});
    }

    // Each stick is read by a thread of its own: two sticks deliver about
    // twice what one does, and each is still read one file after another.
    QStringList fileB;
    fileB.reserve(daLeggere.size());
    for (const auto &c : std::as_const(daLeggere))
        fileB.append(c.fileB);
    std::vector<std::optional<QString>> digestB;
    std::thread lettoreB([&] { digestB = digestInFila(fileB, {}); });
    QStringList fileA;
    fileA.reserve(daLeggere.size());
    for (const auto &c : std::as_const(daLeggere))
        fileA.append(c.fileA);
    const std::vector<std::optional<QString>> digestA =
        digestInFila(fileA, [&](qsizetype i) { confrontato(daLeggere.at(i).relativePath); });
    lettoreB.join();

    for (qsizetype i = 0; i < daLeggere.size(); ++i) {
        if (stessoDigest(digestA[size_t(i)], digestB[size_t(i)]))
            ++piano.identical;
        else
            piano.conflicts.append(daLeggere.at(i));
    }
    for (auto it = mappaB.cbegin(); it != mappaB.cend(); ++it) {
        if (!mappaA.contains(it.key()))
            piano.copyBtoA.append(it.value());
    }
    return piano;
}

EsitoSincronizzazione CloneUSBService::eseguiPiano(const PianoSincronizzazione &piano, const QString &radiceA,
                                                   const QString &radiceB, const QString &nomeA,
                                                   const QString &nomeB, const Progresso &progresso)
{
    const Radice a(radiceA, piano.dispositivoA);
    const Radice b(radiceB, piano.dispositivoB);
    EsitoSincronizzazione esito;
    esito.errors = piano.nonSincronizzati.size();
    const qint64 totale = piano.copyAtoB.size() + piano.copyBtoA.size() + piano.conflicts.size();
    qint64 fatti = 0;
    const auto avanza = [&](const QString &voce) {
        ++fatti;
        if (progresso)
            progresso(double(fatti) / double(std::max<qint64>(totale, 1)), dettaglio(fatti, totale, voce));
    };

    for (const QString &file : piano.copyAtoB) {
        ++(b.copia(file, relativo(radiceA, file)) ? esito.copiedAtoB : esito.errors);
        avanza(QFileInfo(file).fileName());
    }
    for (const QString &file : piano.copyBtoA) {
        ++(a.copia(file, relativo(radiceB, file)) ? esito.copiedBtoA : esito.errors);
        avanza(QFileInfo(file).fileName());
    }

    const QString stamp = Orologio::adesso().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString suffissoA = QStringLiteral("_da_%1_%2").arg(nomeA, stamp);
    const QString suffissoB = QStringLiteral("_da_%1_%2").arg(nomeB, stamp);
    for (const PianoSincronizzazione::Conflitto &c : piano.conflicts) {
        // Each received copy goes next to the receiving stick's own version,
        // spelled as that stick spells its folders.
        const bool versioneAsuB = b.copia(c.fileA, nomeConSuffisso(relativo(radiceB, c.fileB), suffissoA));
        const bool versioneBsuA = a.copia(c.fileB, nomeConSuffisso(relativo(radiceA, c.fileA), suffissoB));
        ++(versioneAsuB && versioneBsuA ? esito.conflictsResolved : esito.errors);
        avanza(c.relativePath);
    }
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
            guardia->aggiornaDaLavoro(frazione, testo);
    };

    SchedaTenuta schedaAnalisi(&centro, {QStringLiteral("Analisi di %1 e %2\u2026").arg(nomeA, nomeB),
                                         std::nullopt, std::nullopt, iconaSync, Colori::indigo()});
    // Awaits take named values only: GCC 12 can destroy the temporaries of a
    // co_await expression twice.
    const auto analizza = [=] { return pianifica(radiceA, radiceB, progresso); };
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
    const auto esegui = [=] { return eseguiPiano(piano, radiceA, radiceB, nomeA, nomeB, progresso); };
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
