#include "support/TestEnv.h"
#include "transfer/ControlloArchivio.h"

#include <fcntl.h>
#include <QCryptographicHash>
#include <QDir>
#include <QTest>
#include <sys/fsuid.h>
#include <sys/stat.h>

namespace {
// "s/..." is the stick, "a/..." the archive folder.
using Albero = QMap<QString, QByteArray>;

void pianta(const QTemporaryDir &dir, const Albero &albero, const QStringList &chiusi = {})
{
    ::chmod(QFile::encodeName(dir.path()), 0755); // "nobody" may pass
    QDir(dir.path()).mkpath(QStringLiteral("s"));
    for (auto it = albero.cbegin(); it != albero.cend(); ++it)
        TestSupport::writeFile(dir.filePath(it.key()), it.value());
    for (const QString &c : chiusi)
        ::chmod(QFile::encodeName(dir.filePath(c)), 0);
}

QString riassunto(const EsitoControlloArchivio &e, const QTemporaryDir &dir)
{
    QStringList r{QString::number(e.file) + " file"};
    if (!e.archivioInutilizzabile.isEmpty())
        r << "archivio " + e.archivioInutilizzabile;
    if (!e.mancanti.isEmpty())
        r << "mancano " + e.mancanti.join(',');
    if (!e.nonLetti.isEmpty())
        r << "non letti " + e.nonLetti.join(',').remove(dir.path() + '/');
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

QByteArray sha(const QByteArray &dati)
{
    return QCryptographicHash::hash(dati, QCryptographicHash::Sha256).toHex();
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
        const Albero due{{"s/a.jpg", "aaa"}, {"s/DCIM/b.jpg", "bbbb"}};
        QTest::newRow("all archived under other names")
            << con(due, {{"a/IMG_2024.jpg", "aaa"}, {"a/vecchie/x", "bbbb"}, {"a/altro", "zzzz"}})
            << QStringList{} << "a"
            << "2 file; al sicuro";
        QTest::newRow("one missing") << con(due, {{"a/a.jpg", "aaa"}, {"a/c.jpg", "cccc"}}) << QStringList{}
                                     << "a"
                                     << "2 file; mancano DCIM/b.jpg";
        QTest::newRow("same name, other bytes")
            << con(due, {{"a/a.jpg", "aaa"}, {"a/b.jpg", "BBBB"}, {"a/.tessera-manifest", "bbbb"}})
            << QStringList{} << "a"
            << "2 file; mancano DCIM/b.jpg";
        QTest::newRow("unreadable folder and file on the stick")
            << con(due, {{"s/chiusa/c.jpg", "ccc"}, {"a/x", "aaa"}, {"a/y", "bbbb"}, {"a/z", "ccc"}})
            << QStringList{"s/chiusa", "s/DCIM/b.jpg"} << "a"
            << "2 file; non letti “chiusa”: permesso negato,“DCIM/b.jpg”: permesso negato";
        QTest::newRow("only copy in an unreadable archive folder")
            << con(due, {{"a/a.jpg", "aaa"}, {"a/chiusa/b.jpg", "bbbb"}}) << QStringList{"a/chiusa"} << "a"
            << "2 file; mancano DCIM/b.jpg";
        QTest::newRow("no archive folder") << due << QStringList{} << "a"
                                           << "2 file; archivio file o cartella inesistente";
        QTest::newRow("archive folder unreadable")
            << con(due, {{"a/a.jpg", "aaa"}}) << QStringList{"a"} << "a"
            << "2 file; archivio permesso negato";
        QTest::newRow("archive on the stick")
            << con(due, {{"s/Ecografie/b.jpg", "bbbb"}, {"s/Ecografie/a.jpg", "aaa"}}) << QStringList{}
            << "s/Ecografie"
            << "4 file; archivio si trova sulla chiavetta stessa";
        QTest::newRow("empty stick, hidden files aside")
            << Albero{{"s/.Trashes/a", "aaa"}} << QStringList{} << "a"
            << "0 file; al sicuro";
    }
    void decides()
    {
        QFETCH(Albero, albero);
        QFETCH(QStringList, chiusi);
        QFETCH(QString, archivio);
        QFETCH(QString, atteso);
        QTemporaryDir dir;
        pianta(dir, albero, chiusi);
        // As root, this thread becomes "nobody" meanwhile, which the permission override does not reach.
        if (TestSupport::isRoot())
            ::setfsuid(65534);
        const EsitoControlloArchivio esito =
            controllaArchivio(dir.filePath("s"), dir.filePath(archivio), QString());
        if (TestSupport::isRoot())
            ::setfsuid(0);
        QCOMPARE(riassunto(esito, dir), atteso);
    }

    // The index spares reading unchanged archive files, but a changed file, a
    // damaged entry or a stopped check never lead to a wrong answer.
    void indexSparesReadsOnly()
    {
        QTemporaryDir dir;
        pianta(dir,
               {{"s/a.jpg", "aaa"}, {"s/b.jpg", "bbbb"}, {"a/x", "aaa"}, {"a/y", "bbbb"}, {"a/z", "cccc"}});
        QTest::qSleep(3100); // files changed in the last seconds are not indexed
        const QString indice = dir.filePath("dati/indice_archivio.tsv");
        const auto controlla = [&](std::stop_token stop = {}, const AvanzamentoControllo &avanzamento = {}) {
            const EsitoControlloArchivio e =
                controllaArchivio(dir.filePath("s"), dir.filePath("a"), indice, stop, avanzamento);
            return riassunto(e, dir) + "; letti " + QString::number(e.fileArchivioLetti);
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

        // x's line now gives the missing file's digest; lines of junk.
        QByteArray testo = TestSupport::readFile(indice);
        QVERIFY(testo.contains(sha("aaa")));
        testo.replace(sha("aaa"), sha("bbbb"));
        testo += "a/w\t4\t1\t2\t3\t" + sha("bbbb") + "\t0123456789abcdef\nrotto\n\t\t\t";
        QVERIFY(TestSupport::writeFile(indice, testo));
        QCOMPARE(controlla(), QString("2 file; mancano b.jpg; letti 2"));

        // Stopped at its first report: neither the index nor the stick change,
        // though a full run would drop z from the index.
        QVERIFY(QFile::remove(dir.filePath("a/z")));
        TestSupport::writeFile(dir.filePath("a/w"), "bbbb");
        const QByteArray indicePrima = TestSupport::readFile(indice);
        std::stop_source stop;
        QCOMPARE(controlla(stop.get_token(), [&](double, const QString &) { stop.request_stop(); }),
                 QString("0 file; annullato; letti 0"));
        QCOMPARE(TestSupport::readFile(indice), indicePrima);
        QCOMPARE(QDir(dir.filePath("s")).entryList(QDir::Files), (QStringList{"a.jpg", "b.jpg"}));
        QCOMPARE(controlla(), QString("2 file; al sicuro; letti 1"));
        QVERIFY(!TestSupport::readFile(indice).contains(sha("cccc")));
    }
};

QTEST_GUILESS_MAIN(TestControlloArchivio)
#include "TestControlloArchivio.moc"
