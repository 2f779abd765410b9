#include "ChiavettaGuasta.h"
#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "support/TestEnv.h"
#include "transfer/ComandiTrasferimento.h"
#include "transfer/Digest.h"
#include "transfer/Manifesto.h"
#include "transfer/VerificaArchivio.h"

#include <fcntl.h>
#include <future>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using Albero = QMap<QByteArray, QByteArray>; // name (bytes) → contents

const QDateTime marzo(QDate(2024, 3, 7), QTime(9, 5, 31));
const QDateTime aprile(QDate(2024, 4, 2), QTime(11, 0, 0));

using TestSupport::sha256Hex;

void scrivi(const QString &cartella, const QByteArray &nome, const QByteArray &dati)
{
    QVERIFY(TestSupport::writeFileBytes(cartella, nome, dati));
}

// The files, and the manifest a copy from `chiavetta` at `quando` leaves.
void archivia(const QString &archivio, const QString &chiavetta, const QDateTime &quando, const Albero &file)
{
    QList<VoceManifesto> voci;
    for (auto it = file.cbegin(); it != file.cend(); ++it) {
        scrivi(archivio, it.key(), it.value());
        voci.append({decodificaNome(it.key()), QString::fromLatin1(sha256Hex(it.value()))});
    }
    Orologio::imposta([quando] { return quando; });
    QCOMPARE(scriviManifesto(archivio, chiavetta, voci).errore, QString());
    Orologio::imposta({});
}

void cambiaUnByte(const QString &file)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR);
    QVERIFY(fd >= 0 && ::pwrite(fd, "#", 1, 1) == 1 && ::close(fd) == 0);
}

// Every entry below the folder, hidden ones too, with what a write would change.
QStringList stato(const QString &cartella)
{
    QStringList r;
    QDirIterator it(cartella, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        struct stat s {};
        ::lstat(QFile::encodeName(p).constData(), &s);
        r << QStringLiteral("%1 %2 %3.%4 %5.%6")
                 .arg(p)
                 .arg(s.st_size)
                 .arg(s.st_mtim.tv_sec)
                 .arg(s.st_mtim.tv_nsec)
                 .arg(s.st_ctim.tv_sec)
                 .arg(s.st_ctim.tv_nsec);
    }
    r.sort();
    return r;
}

QString riassunto(const EsitoVerificaArchivio &e)
{
    const auto nomi = [](const QList<FileDaRecuperare> &l, const char *separatore) {
        QStringList n;
        for (const FileDaRecuperare &f : l)
            n << (f.motivo.isEmpty() ? f.nome : f.nome + separatore + f.motivo);
        return n.join(',');
    };
    QStringList r{QStringLiteral("%1 manifesti, %2 identici").arg(e.manifesti).arg(e.identici)};
    if (e.annullato)
        r << "annullata";
    if (!e.cambiati.isEmpty())
        r << "cambiati " + nomi(e.cambiati, "");
    if (!e.mancanti.isEmpty())
        r << "mancanti " + nomi(e.mancanti, "");
    if (!e.nonLeggibili.isEmpty())
        r << "non leggibili " + nomi(e.nonLeggibili, ": ");
    if (!e.altrove.isEmpty())
        r << "altrove " + nomi(e.altrove, "=");
    if (!e.nonCoperti.isEmpty())
        r << "non coperti " + e.nonCoperti.join(',');
    return r.join("; ");
}
} // namespace

class TestVerificaArchivio : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { Orologio::imposta({}); }

    // Each fault is told as what it is, the newest listing of a name is the
    // one that counts, and the verification itself changes nothing at all.
    void faults_data()
    {
        QTest::addColumn<QString>("guasto");
        QTest::addColumn<QString>("atteso");
        const auto riga = [](const char *nome, const char *guasto, const char *atteso) {
            QTest::newRow(nome) << QString(guasto) << QString(atteso);
        };
        riga("intact", "", "1 manifesti, 3 identici");
        riga("flipped byte", "byte", "1 manifesti, 2 identici; cambiati IMG_0001.jpg");
        riga("deleted", "cancellato", "1 manifesti, 2 identici; mancanti PAZ/IM01.dcm");
        riga("link in its place", "collegamento",
             "1 manifesti, 2 identici; non leggibili IMG_0002.jpg: è un collegamento, non un file");
        riga("file no manifest lists", "estraneo", "1 manifesti, 3 identici; non coperti PAZ/nuovo.jpg");
        riga("name freed and used again by a later import", "reimportato", "2 manifesti, 3 identici");
        riga("good copy fetched again beside the damaged one", "recuperato",
             "2 manifesti, 3 identici; altrove IMG_0001.jpg=IMG_0001_2024-04-02.jpg");
    }
    void faults()
    {
        QFETCH(QString, guasto);
        QFETCH(QString, atteso);
        QTemporaryDir dir;
        const QString a = dir.path();
        archivia(a, "ECO 1", marzo,
                 {{"IMG_0001.jpg", "uno"}, {"IMG_0002.jpg", "due"}, {"PAZ/IM01.dcm", "tre"}});
        if (guasto == "byte" || guasto == "recuperato")
            cambiaUnByte(dir.filePath("IMG_0001.jpg"));
        if (guasto == "cancellato")
            QVERIFY(QFile::remove(dir.filePath("PAZ/IM01.dcm")));
        if (guasto == "collegamento" || guasto == "reimportato")
            QVERIFY(QFile::remove(dir.filePath("IMG_0002.jpg")));
        if (guasto == "collegamento")
            QVERIFY(QFile::link("IMG_0001.jpg", dir.filePath("IMG_0002.jpg")));
        if (guasto == "estraneo")
            scrivi(a, "PAZ/nuovo.jpg", "nuovo");
        if (guasto == "reimportato")
            archivia(a, "ECO 2", aprile, {{"IMG_0002.jpg", "un'altra immagine"}});
        if (guasto == "recuperato")
            archivia(a, "ECO 1", aprile, {{"IMG_0001_2024-04-02.jpg", "uno"}});
        const QStringList prima = stato(a);
        QCOMPARE(riassunto(verificaArchivio(a)), atteso);
        QCOMPARE(stato(a), prima);
    }

    // A manifest as sha256sum itself writes it for names with a backslash, a
    // line feed, a carriage return, "-", a leading blank or stray bytes is read
    // whole; lines that are not a digest and a name, or that lead out of the
    // archive, are reported by number and never believed; a manifest that is
    // a link or a FIFO is reported, never followed or waited on.
    void oddNamesAndBadLines()
    {
        QTemporaryDir dir;
        const auto via = qScopeGuard([&] { TestSupport::esegui("rm", {"-rf", dir.path()}); });
        const QString a = dir.path();
        const QList<QByteArray> nomi{
            "a\\b.jpg", "riga\nnuova.jpg", "fine\r", "-", " spazio.jpg", "IMG\xE9.jpg", "IMG\xEF\xBB\xBF.jpg",
            "*stella",  "sotto/dentro.jpg"};
        for (const QByteArray &n : nomi)
            scrivi(a, n, n + " dati");
        QVERIFY(QDir(a).mkdir(".tessera-manifest"));
        QVERIFY(TestSupport::esegui("/bin/sh",
                                    {"-c", "cd " + a +
                                               " && find . -path ./.tessera-manifest -prune -o -type f "
                                               "-print0 | LC_ALL=C sort -z | xargs -0 sha256sum -- "
                                               "> .tessera-manifest/m.sha256"}));
        const QByteArray x = sha256Hex("x");
        const QByteArray aggiunte = "-- rotto\n" + x.left(63) + "  corto.jpg\n" + x + " unospazio.jpg\n\\" +
                                    x + "  male\\x.jpg\n" + x + "  /etc/passwd\n" + x +
                                    "  sotto/../../fuori.jpg\n" + "\n  # commento\r\n" + sha256Hex("- dati") +
                                    "  -\n" + sha256Hex(" spazio.jpg dati") + "   spazio.jpg\r\n" + x + "  a";
        QFile m(dir.filePath(".tessera-manifest/m.sha256"));
        QVERIFY(m.open(QIODevice::Append) && m.write(aggiunte) && m.write(QByteArray("\0b\n", 3)) &&
                m.flush());
        m.close();
        const QByteArray manifesti = QFile::encodeName(dir.filePath(".tessera-manifest/"));
        QVERIFY(::rename(manifesti + "m.sha256", manifesti + "2024-03-07_09-05-31_ECO\xE9.sha256") == 0);
        QVERIFY(::symlink(manifesti + "2024-03-07_09-05-31_ECO\xE9.sha256", manifesti + "link.sha256") == 0);
        QVERIFY(::mkfifo(manifesti + "fifo.sha256", 0644) == 0);

        auto lavoro = std::async(std::launch::async, [&] { return verificaArchivio(a); });
        QVERIFY2(lavoro.wait_for(std::chrono::seconds(20)) == std::future_status::ready,
                 "waiting on the FIFO");
        const EsitoVerificaArchivio e = lavoro.get();
        QCOMPARE(riassunto(e), "1 manifesti, 9 identici");
        QCOMPARE(e.elencati, nomi.size());
        QStringList righe, altri;
        static const QRegularExpression riga("^“2024-03-07_09-05-31_ECO\\\\xE9\\.sha256”, riga (\\d+): ");
        for (const QString &p : e.problemiManifesti) {
            const QRegularExpressionMatch t = riga.match(p);
            if (t.hasMatch())
                righe << t.captured(1);
            else
                altri << p.section("”", 0, 0);
        }
        // The nine lines of sha256sum, then the bad ones.
        QCOMPARE(righe, (QStringList{"10", "11", "12", "13", "14", "15", "20"}));
        altri.sort();
        QCOMPARE(altri, (QStringList{"“fifo.sha256", "“link.sha256"}));
    }

    // The alert names the changed file and the copy it came from, the log
    // names it with its manifest, and the day is remembered.
    void flowTellsWhereToFetchAGoodCopy()
    {
        TestEnv env;
        const QString a = env.path("Archivio");
        QVERIFY(QDir().mkpath(a));
        env.impostazioni->setDestinationPath(a);
        archivia(a, "ECO 1", marzo, {{"IMG_0001.jpg", "uno"}, {"IMG_0002.jpg", "due"}});
        cambiaUnByte(a + "/IMG_0001.jpg");
        const QDateTime dicembre(QDate(2024, 12, 1), QTime(8, 0));
        Orologio::imposta([&] { return dicembre; });
        QCoro::waitFor(verificaArchivioConScheda(env.servizi));
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QVERIFY2(
            env.avvisi.mostrati[0].testo.contains(
                "“IMG_0001.jpg”: cambiato — dalla chiavetta “ECO 1”, archiviato il 07/03/2024 alle 09:05"),
            qPrintable(env.avvisi.mostrati[0].testo));
        const QString riga = env.logLines().last();
        QVERIFY2(riga.contains("1 identici, 1 cambiati") &&
                     riga.contains("“IMG_0001.jpg” (manifesto 2024-03-07_09-05-31_ECO 1.sha256)"),
                 qPrintable(riga));
        QCOMPARE(env.impostazioni->ultimaVerificaArchivio(), dicembre);
        QVERIFY(!env.centro.occupato());
    }

    // Through a disk that answers EIO the file is unreadable and the rest is
    // verified. On a slow disk "Annulla" on the card ends the run within
    // about half a second: no alert, no date kept, one log line.
    void failingAndSlowDisk()
    {
        {
            ChiavettaGuasta disco({"read:/IMG_0002.jpg"});
            if (!disco.perche.isEmpty())
                QSKIP(qPrintable(disco.perche));
            archivia(disco.radice.path(), "ECO 1", marzo, {{"IMG_0001.jpg", "uno"}, {"IMG_0002.jpg", "due"}});
            QCOMPARE(riassunto(verificaArchivio(disco.punto.path())),
                     "1 manifesti, 1 identici; non leggibili IMG_0002.jpg: errore di lettura o scrittura sul "
                     "dispositivo");
        }
        TestEnv env;
        ChiavettaGuasta lento({"lento:0.2"});
        archivia(lento.radice.path(), "ECO 1", marzo, {{"grande.bin", QByteArray(8 << 20, 'g')}});
        env.impostazioni->setDestinationPath(lento.punto.path());
        QCoro::Task<> flusso = verificaArchivioConScheda(env.servizi);
        QTRY_VERIFY(env.centro.attuale() &&
                    env.centro.attuale()->dettaglio.value_or("").endsWith("grande.bin"));
        QTest::qWait(1000);
        QElapsedTimer attesa;
        attesa.start();
        (*env.centro.attuale()->annulla)();
        while (env.centro.occupato() && attesa.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QVERIFY2(attesa.elapsed() < 600, qPrintable(QString::number(attesa.elapsed())));
        QCoro::waitFor(std::move(flusso));
        QVERIFY(env.avvisi.mostrati.isEmpty());
        QVERIFY(!env.impostazioni->ultimaVerificaArchivio());
        QVERIFY(env.logLines().last().endsWith("annullata"));
    }
};

QTEST_GUILESS_MAIN(TestVerificaArchivio)
#include "TestVerificaArchivio.moc"
