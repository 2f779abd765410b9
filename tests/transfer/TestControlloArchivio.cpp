#include "ChiavettaGuasta.h"
#include "comune/NomiFile.h"
#include "MontaggioTmpfs.h"
#include "support/TestEnv.h"
#include "transfer/ControlloArchivio.h"
#include "transfer/Digest.h"
#include "transfer/IndiceArchivio.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using TestSupport::sha256Hex;

// "s/..." is the stick, "a/..." the archive folder.
using Albero = QMap<QString, QByteArray>;

// Names are written byte for byte, as codificaNome gives them.
void pianta(const QString &dir, const Albero &albero, const QStringList &chiusi = {})
{
    ::chmod(QFile::encodeName(dir), 0755); // "nobody" may pass
    QDir(dir).mkpath(QStringLiteral("s"));
    for (auto it = albero.cbegin(); it != albero.cend(); ++it)
        QVERIFY(TestSupport::writeFileBytes(dir, codificaNome(it.key()), it.value()));
    for (const QString &c : chiusi)
        ::chmod(QFile::encodeName(dir + '/' + c), 0);
}

QString riassunto(const EsitoControlloArchivio &e, const QString &dir)
{
    QStringList r{QString::number(e.file) + " file"};
    if (e.nascosti > 0)
        r << QString::number(e.nascosti) + " nascosti";
    if (!e.archivioInutilizzabile.isEmpty())
        r << "archivio " + e.archivioInutilizzabile;
    if (!e.mancanti.isEmpty())
        r << "mancano " + e.mancanti.join(',');
    if (!e.nonLetti.isEmpty())
        r << "non letti " + e.nonLetti.join(',').remove(dir + '/');
    if (e.annullato)
        r << "annullato";
    if (e.alSicuro())
        r << "al sicuro";
    return r.join("; ");
}

Albero con(Albero a, const Albero &b)
{
    a.insert(b);
    return a;
}

} // namespace

class TestControlloArchivio : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Safe only when the same contents are in a readable archive file; what
    // could not be read, on either side, never counts.
    void decides_data()
    {
        QTest::addColumn<Albero>("albero");
        QTest::addColumn<QStringList>("chiusi"); // made unreadable (mode 000, read as "nobody")
        QTest::addColumn<QString>("archivio");
        QTest::addColumn<QString>("atteso");
        const auto riga = [](const char *nome, const Albero &albero, const QString &atteso,
                             const QStringList &chiusi = {}, const char *archivio = "a") {
            QTest::newRow(nome) << albero << chiusi << QString(archivio) << atteso;
        };
        const Albero due{{"s/a.jpg", "aaa"}, {"s/DCIM/b.jpg", "bbbb"}};
        const QString manca = "2 file; mancano DCIM/b.jpg";
        riga("all archived under other names",
             con(due, {{"a/IMG_2024.jpg", "aaa"}, {"a/vecchie/x", "bbbb"}, {"a/altro", "zzzz"}}),
             "2 file; al sicuro");
        riga("one missing", con(due, {{"a/a.jpg", "aaa"}, {"a/c.jpg", "cccc"}}), manca);
        riga("same name, other bytes",
             con(due, {{"a/a.jpg", "aaa"}, {"a/b.jpg", "BBBB"}, {"a/.tessera-manifest", "bbbb"}}), manca);
        riga("unreadable folder and file on the stick",
             con(due, {{"s/chiusa/c.jpg", "ccc"}, {"a/x", "aaa"}, {"a/y", "bbbb"}, {"a/z", "ccc"}}),
             "2 file; non letti “chiusa”: permesso negato,“DCIM/b.jpg”: permesso negato",
             {"s/chiusa", "s/DCIM/b.jpg"});
        riga("only copy in an unreadable archive folder",
             con(due, {{"a/a.jpg", "aaa"}, {"a/chiusa/b.jpg", "bbbb"}}), manca, {"a/chiusa"});
        riga("no archive folder", due, "2 file; archivio file o cartella inesistente");
        riga("archive folder unreadable", con(due, {{"a/a.jpg", "aaa"}}), "2 file; archivio permesso negato",
             {"a"});
        riga("archive on the stick", con(due, {{"s/Ecografie/b.jpg", "bbbb"}, {"s/Ecografie/a.jpg", "aaa"}}),
             "4 file; archivio si trova sulla chiavetta stessa", {}, "s/Ecografie");
        riga("empty stick, hidden files aside", {{"s/.Trashes/a", "aaa"}, {"s/._IMG.jpg", "a"}},
             "0 file; 2 nascosti; al sicuro");
        // A U+FEFF is part of a name like any other character: these are two
        // files, and only the second is archived.
        const QString e9 = QString(QChar(0xDCE9)), bom = QString(QChar(0xFEFF));
        riga("names apart only by a U+FEFF",
             {{"s/IMG" + e9 + bom + ".jpg", "nuova"}, {"s/IMG" + e9 + ".jpg", "vecchia"}, {"a/x", "vecchia"}},
             "2 file; mancano IMG\\xE9" + bom + ".jpg");
    }
    void decides()
    {
        QFETCH(Albero, albero);
        QFETCH(QStringList, chiusi);
        QFETCH(QString, archivio);
        QFETCH(QString, atteso);
        QTemporaryDir dir;
        const auto via = qScopeGuard([&] { TestSupport::esegui("rm", {"-rf", dir.path()}); });
        pianta(dir.path(), albero, chiusi);
        // As root, this thread becomes "nobody" meanwhile, which the permission override does not reach.
        if (TestSupport::isRoot())
            ::setfsuid(65534);
        const EsitoControlloArchivio esito =
            controllaArchivio(dir.filePath("s"), dir.filePath(archivio), QString());
        if (TestSupport::isRoot())
            ::setfsuid(0);
        QCOMPARE(riassunto(esito, dir.path()), atteso);
    }

    // The index spares reading unchanged archive files, but a changed file, a
    // damaged entry or a stopped check never lead to a wrong answer.
    void indexSparesReadsOnly()
    {
        QTemporaryDir dir;
        pianta(dir.path(),
               {{"s/a.jpg", "aaa"}, {"s/b.jpg", "bbbb"}, {"a/x", "aaa"}, {"a/y", "bbbb"}, {"a/z", "cccc"}});
        QTest::qSleep(3100); // files changed in the last seconds are not indexed
        const QString indice = dir.filePath("dati/indice_archivio.tsv");
        const QByteArray percorso = QFile::encodeName(indice);
        const auto controlla = [&](std::stop_token stop = {}, const Riferisci &avanzamento = {}) {
            auto lavoro = std::async(std::launch::async, [&] {
                return controllaArchivio(dir.filePath("s"), dir.filePath("a"), indice, stop, avanzamento);
            });
            if (lavoro.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
                ::close(
                    ::open(percorso.constData(), O_WRONLY | O_NONBLOCK)); // frees a reader stuck on a FIFO
                return QString("bloccato");
            }
            const EsitoControlloArchivio e = lavoro.get();
            return riassunto(e, dir.path()) + "; letti " + QString::number(e.fileArchivioLetti);
        };
        QCOMPARE(controlla(), QString("2 file; al sicuro; letti 2"));  // z is not needed once y matched
        QCOMPARE(QFileInfo(indice).permissions().toInt() & 0x0077, 0); // it names patients' files
        QCOMPARE(controlla(), QString("2 file; al sicuro; letti 0"));

        // Rewritten with the same size and its modification time put back.
        const QByteArray y = QFile::encodeName(dir.filePath("a/y"));
        struct stat prima;
        QCOMPARE(::stat(y.constData(), &prima), 0);
        TestSupport::writeFile(dir.filePath("a/y"), "BBBB");
        const struct timespec tempi[2] = {prima.st_atim, prima.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, y.constData(), tempi, 0), 0);
        QCOMPARE(controlla(), QString("2 file; mancano b.jpg; letti 2"));

        // x's line now gives the missing file's digest, its check recomputed
        // by whoever knows the format but not the user's secret; lines of junk.
        QByteArray testo = TestSupport::readFile(indice);
        QVERIFY(testo.contains(sha256Hex("aaa")));
        testo.replace(sha256Hex("aaa"), sha256Hex("bbbb"));
        QList<QByteArray> righe = testo.split('\n');
        const QByteArray cartella = QFile::encodeName(dir.filePath("a")).toPercentEncoding("/");
        for (QByteArray &riga : righe) {
            const QByteArray resto = riga.left(riga.lastIndexOf('\t'));
            if (riga.contains(sha256Hex("bbbb")))
                riga = resto + '\t' + sha256Hex(cartella + '\t' + resto).left(16);
        }
        testo =
            righe.join('\n') + "a/w\t4\t1\t2\t3\t" + sha256Hex("bbbb") + "\t0123456789abcdef\nrotto\n\t\t\t";
        QVERIFY(TestSupport::writeFile(indice, testo));
        QCOMPARE(controlla(), QString("2 file; mancano b.jpg; letti 2"));

        // Stopped at its first report: neither the index nor the stick change,
        // though a full run would drop z from the index.
        QVERIFY(QFile::remove(dir.filePath("a/z")));
        TestSupport::writeFile(dir.filePath("a/w"), "bbbb");
        const QByteArray indicePrima = TestSupport::readFile(indice);
        std::stop_source stop;
        QCOMPARE(controlla(stop.get_token(), [&](const Avanzamento &) { stop.request_stop(); }),
                 QString("0 file; annullato; letti 0"));
        QCOMPARE(TestSupport::readFile(indice), indicePrima);
        QCOMPARE(QDir(dir.filePath("s")).entryList(QDir::Files), (QStringList{"a.jpg", "b.jpg"}));
        QCOMPARE(controlla(), QString("2 file; al sicuro; letti 1"));
        QVERIFY(!TestSupport::readFile(indice).contains(sha256Hex("cccc")));

        // Believed only when it is this user's own regular file: a FIFO (never
        // waited on), a link or another user's file in its place is set aside
        // and the index built anew. Its secret is for the user's eyes only.
        struct stat segreto {};
        QVERIFY(::stat(QFile::encodeName(dir.filePath("dati/indice_archivio.chiave")), &segreto) == 0);
        QCOMPARE(segreto.st_mode & 0777, 0600u);
        QVERIFY(QFile::copy(indice, dir.filePath("copia")) && QFile::remove(indice));
        QVERIFY(::mkfifo(percorso.constData(), 0600) == 0);
        QCOMPARE(controlla(), QString("2 file; al sicuro; letti 2"));
        QVERIFY(QFile::remove(indice) && QFile::link(dir.filePath("copia"), indice));
        QCOMPARE(controlla(), QString("2 file; al sicuro; letti 2"));
        if (TestSupport::isRoot()) {
            QVERIFY(QFile::remove(indice) && QFile::copy(dir.filePath("copia"), indice));
            QVERIFY(::chown(percorso.constData(), 65534, 65534) == 0);
            QCOMPARE(controlla(), QString("2 file; al sicuro; letti 2"));
        }
        QCOMPARE(QDir(dir.filePath("dati")).entryList({"*.scartato-*"}, QDir::Files | QDir::System).size(),
                 TestSupport::isRoot() ? 3 : 2);
    }

    // Two moments 584 years apart must not give one key.
    void indexKeysDoNotWrap()
    {
        struct stat prima = {}, dopo = {};
        prima.st_mtim = {0, 290448384};
        dopo.st_mtim = {18446744074, 0}; // in the year 2554
        QVERIFY(!(ChiaveFile::da(prima) == ChiaveFile::da(dopo)));
    }

    // A copy in the archive deeper than the longest path the system takes
    // still counts: the archive is walked folder by folder.
    void deepArchiveCopyCounts()
    {
        QTemporaryDir dir;
        const auto via = qScopeGuard([&] { TestSupport::esegui("rm", {"-rf", dir.path()}); });
        pianta(dir.path(), {{"s/a.jpg", "aaa"}, {"a/.x", ""}});
        int fd = ::open(QFile::encodeName(dir.filePath("a")), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < 1500; ++i) { // 6000 bytes of path, more than PATH_MAX
            ::mkdirat(fd, "dir", 0755);
            ::close(std::exchange(fd, ::openat(fd, "dir", O_RDONLY | O_DIRECTORY)));
        }
        const int f = ::openat(fd, "x.jpg", O_WRONLY | O_CREAT, 0644);
        QVERIFY(f >= 0 && ::write(f, "aaa", 3) == 3 && ::close(f) == 0 && ::close(fd) == 0);
        QCOMPARE(riassunto(controllaArchivio(dir.filePath("s"), dir.filePath("a"), QString()), dir.path()),
                 QString("1 file; al sicuro"));
    }

    // An archive, or the stick, seen through a bind mount is still on the
    // stick: the device tells, not the path.
    void bindMountsDoNotHideTheStick_data()
    {
        QTest::addColumn<bool>("archivioDallaChiavetta");
        QTest::addColumn<QString>("atteso");
        QTest::newRow("archive bind-mounted from the stick")
            << true << "4 file; archivio si trova sulla chiavetta stessa";
        QTest::newRow("stick bind-mounted inside the archive") << false << "2 file; mancano b.jpg";
    }
    void bindMountsDoNotHideTheStick()
    {
        QFETCH(bool, archivioDallaChiavetta);
        QFETCH(QString, atteso);
        MontaggioTmpfs chiavetta("8m");
        if (!chiavetta.montato)
            QSKIP("needs root to mount");
        QTemporaryDir altro;
        const QString archivio = altro.filePath("Archivio");
        Albero albero{{"a.jpg", "aaa"}, {"b.jpg", "bbbb"}};
        if (archivioDallaChiavetta)
            albero.insert({{"Eco/a.jpg", "aaa"}, {"Eco/b.jpg", "bbbb"}});
        pianta(chiavetta.punto.path(), albero);
        pianta(altro.path(), {{"Archivio/a.jpg", "aaa"}});
        const QString da = archivioDallaChiavetta ? chiavetta.filePath("Eco") : chiavetta.punto.path();
        const QString su = archivioDallaChiavetta ? archivio : archivio + "/chiavetta";
        QVERIFY(QDir().mkpath(su));
        QVERIFY(::mount(QFile::encodeName(da), QFile::encodeName(su), nullptr, MS_BIND, nullptr) == 0);
        const auto smonta = qScopeGuard([&] { ::umount2(QFile::encodeName(su), MNT_DETACH); });
        QCOMPARE(riassunto(controllaArchivio(chiavetta.punto.path(), archivio, QString()), altro.path()),
                 atteso);
    }

    // A stick file whose size no archive file has is missing without being
    // read (here it could not be); on a slow stick a stop is heard within
    // about half a second, not after a long read.
    void failingAndSlowStick()
    {
        QTemporaryDir archivio;
        QVERIFY(TestSupport::writeFile(archivio.filePath("x"), "ffff") &&
                TestSupport::writeFile(archivio.filePath("y.bin"), QByteArray(8 << 20, 'h')));
        ChiavettaGuasta chiavetta({"read:/video.mp4", "lento:0.2"});
        if (!chiavetta.perche.isEmpty())
            QSKIP(qPrintable(chiavetta.perche));
        QVERIFY(TestSupport::writeFile(chiavetta.radice.filePath("video.mp4"), QByteArray(5000, 'v')) &&
                TestSupport::writeFile(chiavetta.radice.filePath("foto.jpg"), "ffff"));
        QCOMPARE(riassunto(controllaArchivio(chiavetta.punto.path(), archivio.path(), QString()), {}),
                 QString("2 file; mancano video.mp4"));

        QVERIFY(TestSupport::writeFile(chiavetta.radice.filePath("grande.bin"), QByteArray(8 << 20, 'g')));
        std::stop_source stop;
        std::atomic<bool> letto = false;
        auto lavoro = std::async(std::launch::async, [&] {
            return controllaArchivio(
                chiavetta.punto.path(), archivio.path(), QString(), stop.get_token(),
                [&](const Avanzamento &a) { letto = letto || a.dettaglio->endsWith("grande.bin"); });
        });
        QTRY_VERIFY(letto);
        QTest::qSleep(1000);
        QElapsedTimer attesa;
        attesa.start();
        stop.request_stop();
        QVERIFY(lavoro.get().annullato);
        QVERIFY2(attesa.elapsed() < 600, qPrintable(QString::number(attesa.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestControlloArchivio)
#include "TestControlloArchivio.moc"
