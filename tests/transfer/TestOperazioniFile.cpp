#include "operations/Orologio.h"
#include "support/TestEnv.h"
#include "transfer/LottoCopie.h"
#include "transfer/OperazioniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/vfs.h>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
const QDateTime istante(QDate(2024, 3, 7), QTime(9, 5, 31));
const QString stamp = QStringLiteral("2024-03-07_09-05-31");

QStringList tuttoIn(const QString &cartella) // hidden entries included
{
    QStringList r = QDir(cartella).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    r.sort();
    return r;
}

bool creaSocket(const QString &percorso)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(percorso);
    if (fd < 0 || size_t(p.size()) >= sizeof(a.sun_path))
        return false;
    memcpy(a.sun_path, p.constData(), size_t(p.size()));
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) == 0;
    ::close(fd);
    return ok;
}

QString nomeLungo(int byte, const QString &ext) // "è" is two bytes: cuts must not split it
{
    QString base;
    while ((base + QStringLiteral("è") + QLatin1Char('.') + ext).toUtf8().size() <= byte)
        base += QStringLiteral("è");
    while ((base + QLatin1Char('.') + ext).toUtf8().size() < byte)
        base += QLatin1Char('a');
    return base + QLatin1Char('.') + ext;
}

struct MontaggioTmpfs {
    QTemporaryDir punto;
    bool montato = false;
    explicit MontaggioTmpfs(const QString &dimensione)
    {
        montato = QProcess::execute("mount",
                                    {"-t", "tmpfs", "-o", "size=" + dimensione, "tmpfs", punto.path()}) == 0;
    }
    ~MontaggioTmpfs()
    {
        if (montato)
            QProcess::execute("umount", {"-l", punto.path()});
    }
};
} // namespace

class TestOperazioniFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Orologio::imposta([] { return istante; });
    }
    void cleanup()
    {
        Orologio::imposta({});
        LottoCopie::simulaFileSystem(LottoCopie::FileSystemSimulato::normale);
    }

    void listingSkipsHiddenLinksAndSpecialFiles()
    {
        QTemporaryDir d;
        const QString r = d.path();
        QVERIFY(writeFile(r + "/b.jpg", "b"));
        QVERIFY(writeFile(r + "/a/z.txt", "z"));
        QVERIFY(writeFile(r + "/a/deep/x.pdf", "x"));
        QVERIFY(writeFile(r + "/a/m.mov", "m"));
        QVERIFY(writeFile(r + "/._b.jpg", "apple double"));
        QVERIFY(writeFile(r + "/.Trashes/501/old.jpg", "trash"));
        QVERIFY(writeFile(r + "/a/.hidden/inside.jpg", "hidden"));
        QVERIFY(writeFile(r + "/huge.bin", QByteArray(1024, 'h')));
        QVERIFY(writeFile(r + "/fuori/lontano.jpg", "outside"));
        QCOMPARE(::mkfifo(QFile::encodeName(r + "/pipe.jpg"), 0644), 0);
        QVERIFY(creaSocket(r + "/sock.jpg"));
        QVERIFY(QFile::link(r + "/huge.bin", r + "/link-to-file.jpg"));
        QVERIFY(QFile::link(r + "/fuori", r + "/link-to-dir"));
        QVERIFY(QFile::link(r + "/loop1", r + "/loop2"));
        QVERIFY(QFile::link(r + "/loop2", r + "/loop1"));
        QVERIFY(QFile::link(r + "/a", r + "/a/self"));
        QVERIFY(QFile::link(r + "/nowhere", r + "/dangling.jpg"));

        // Depth first, each folder in name order.
        const QStringList atteso{r + "/a/deep/x.pdf", r + "/a/m.mov",           r + "/a/z.txt",
                                 r + "/b.jpg",        r + "/fuori/lontano.jpg", r + "/huge.bin"};
        QCOMPARE(elencaFile(r), atteso);
        QCOMPARE(elencaFile(r + "/"), atteso);

        QVERIFY(elencaFile(r + "/missing").isEmpty());
        QVERIFY(elencaFile(r + "/b.jpg").isEmpty());
        QVERIFY(elencaFile(QString()).isEmpty());
    }

    void timestampedNames_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("presenti");
        QTest::addColumn<QString>("atteso");

        QTest::newRow("first") << "foto.jpg" << QStringList{} << "foto_" + stamp + ".jpg";
        QTest::newRow("second in the same second")
            << "foto.jpg" << QStringList{"foto_" + stamp + ".jpg"} << "foto_" + stamp + "_1.jpg";
        QTest::newRow("third") << "foto.jpg"
                               << QStringList{"foto_" + stamp + ".jpg", "foto_" + stamp + "_1.jpg"}
                               << "foto_" + stamp + "_2.jpg";
        QTest::newRow("no extension, no trailing dot") << "README" << QStringList{} << "README_" + stamp;
        QTest::newRow("no extension, taken")
            << "README" << QStringList{"README_" + stamp} << "README_" + stamp + "_1";
        QTest::newRow("last extension only") << "dati.tar.gz" << QStringList{} << "dati.tar_" + stamp + ".gz";
        QTest::newRow("trailing dot kept in base") << "nota." << QStringList{} << "nota._" + stamp;
        QTest::newRow("case kept") << "IMG_0001.JPG" << QStringList{} << "IMG_0001_" + stamp + ".JPG";
        QTest::newRow("percent, quotes, line feed")
            << "50% \"vero\" 'x'\nb.png" << QStringList{} << "50% \"vero\" 'x'\nb_" + stamp + ".png";
    }

    void timestampedNames()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, presenti);
        QFETCH(QString, atteso);
        QTemporaryDir d;
        for (const QString &p : presenti)
            QVERIFY(writeFile(d.filePath(p), "x"));
        QCOMPARE(urlConTimestamp("/media/stick/sub/" + file, d.path()), d.filePath(atteso));
    }

    void timestampedNameTakenByDanglingLinkIsSkipped()
    {
        QTemporaryDir d;
        QVERIFY(QFile::link("/nowhere", d.filePath("a_" + stamp + ".jpg")));
        QCOMPARE(urlConTimestamp("a.jpg", d.path()), d.filePath("a_" + stamp + "_1.jpg"));
    }

    void timestampedLongNameFitsAndKeepsCharactersWhole()
    {
        QTemporaryDir d;
        const QString nome = nomeLungo(255, "jpg");
        QCOMPARE(nome.toUtf8().size(), 255);
        const QString r = QFileInfo(urlConTimestamp(nome, d.path())).fileName();
        QVERIFY(r.toUtf8().size() <= 255);
        QVERIFY(r.endsWith("_" + stamp + ".jpg"));
        QVERIFY(nome.startsWith(r.left(r.size() - QString("_" + stamp + ".jpg").size())));
        QVERIFY(r.isValidUtf16());
        QVERIFY(writeFile(d.filePath(r), "x")); // the file system accepts it
    }

    void digests_data()
    {
        QTest::addColumn<QByteArray>("contenuto");
        QTest::addColumn<QString>("atteso");
        QTest::newRow("empty") << QByteArray()
                               << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
        QTest::newRow("abc") << QByteArray("abc")
                             << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        // Spans many 64 KiB reads and ends in a partial one.
        QTest::newRow("a million a") << QByteArray(1000000, 'a')
                                     << "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
    }

    void digests()
    {
        QFETCH(QByteArray, contenuto);
        QFETCH(QString, atteso);
        QTemporaryDir d;
        QVERIFY(writeFile(d.filePath("f"), contenuto));
        QCOMPARE(hashSHA256(d.filePath("f")), std::optional<QString>(atteso));
    }

    void digestRefusesWhatIsNotARegularFile()
    {
        QTemporaryDir d;
        QVERIFY(writeFile(d.filePath("f"), "abc"));
        QCOMPARE(::mkfifo(QFile::encodeName(d.filePath("pipe")), 0644), 0);
        QVERIFY(QFile::link(d.filePath("f"), d.filePath("link")));
        QVERIFY(QFile::link("/dev/zero", d.filePath("zero")));
        QVERIFY(!hashSHA256(d.filePath("missing")));
        QVERIFY(!hashSHA256(d.path()));
        QVERIFY(!hashSHA256(d.filePath("pipe"))); // and does not hang waiting for a writer
        QVERIFY(!hashSHA256(d.filePath("link")));
        QVERIFY(!hashSHA256(d.filePath("zero")));
    }

    // A digest of pages still in memory would prove nothing about the disk:
    // hashing a freshly written file (its pages dirty in memory) must fetch
    // every byte from the storage layer.
    void digestReadsFromTheMedium()
    {
        QTemporaryDir d;
        struct statfs fs;
        QVERIFY(::statfs(QFile::encodeName(d.path()), &fs) == 0);
        if (fs.f_type == 0x01021994) // tmpfs: its pages are the file
            QSKIP("the temporary folder is on tmpfs");
        const auto lettiDalDisco = [] {
            for (const QByteArray &riga : readFile("/proc/self/io").split('\n')) {
                if (riga.startsWith("read_bytes:"))
                    return riga.mid(11).trimmed().toLongLong();
            }
            return qint64(-1);
        };
        if (lettiDalDisco() < 0)
            QSKIP("no I/O accounting in this kernel");
        const QString f = d.filePath("dirty.bin");
        const qint64 dimensione = 8 << 20;
        QVERIFY(writeFile(f, QByteArray(dimensione, 'd')));
        const qint64 prima = lettiDalDisco();
        QCOMPARE(hashSHA256(f), std::optional<QString>(hashSHA256(f)));
        QVERIFY2(lettiDalDisco() - prima >= 2 * dimensione,
                 qPrintable(QString::number(lettiDalDisco() - prima)));
    }

    void durableCopy_data()
    {
        QTest::addColumn<LottoCopie::FileSystemSimulato>("fs");
        QTest::newRow("no-replace rename") << LottoCopie::FileSystemSimulato::normale;
        QTest::newRow("hard link fallback") << LottoCopie::FileSystemSimulato::senzaRinominaEsclusiva;
        QTest::newRow("look-then-rename fallback") << LottoCopie::FileSystemSimulato::senzaCollegamenti;
    }

    // Every way of placing the copy: the plain name when free, the next
    // timestamped one when taken, the original never touched, dates kept.
    void durableCopy()
    {
        QFETCH(LottoCopie::FileSystemSimulato, fs);
        LottoCopie::simulaFileSystem(fs);
        QTemporaryDir src, dst;
        const QString a = src.filePath("a.jpg");
        QVERIFY(writeFile(a, "contenuto nuovo"));
        const QDateTime mtime(QDate(2020, 1, 2), QTime(3, 4, 5));
        {
            QFile f(a);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(mtime, QFileDevice::FileModificationTime));
        }

        const QString cartella = dst.filePath("Archivio/2024");
        EsitoCopiaFile e = copiaSenzaSovrascrivere(a, cartella + "/a.jpg");
        QVERIFY2(e.ok, qPrintable(e.errore));
        QCOMPARE(e.destinazione, cartella + "/a.jpg");
        QCOMPARE(readFile(e.destinazione), QByteArray("contenuto nuovo"));
        QCOMPARE(QFileInfo(e.destinazione).lastModified(), mtime);

        QVERIFY(writeFile(cartella + "/b.jpg", "vecchio"));
        for (const QString &atteso :
             {"b_" + stamp + ".jpg", "b_" + stamp + "_1.jpg", "b_" + stamp + "_2.jpg"}) {
            e = copiaSenzaSovrascrivere(a, cartella + "/b.jpg");
            QVERIFY2(e.ok, qPrintable(e.errore));
            QCOMPARE(e.destinazione, cartella + "/" + atteso);
        }
        QCOMPARE(readFile(cartella + "/b.jpg"), QByteArray("vecchio"));
        // A dangling link holds its name too.
        QVERIFY(QFile::link("/nowhere", cartella + "/c.jpg"));
        e = copiaSenzaSovrascrivere(a, cartella + "/c.jpg");
        QCOMPARE(e.destinazione, cartella + "/c_" + stamp + ".jpg");
        QCOMPARE(QFileInfo(cartella + "/c.jpg").symLinkTarget(), QString("/nowhere"));

        QCOMPARE(tuttoIn(cartella),
                 (QStringList{"a.jpg", "b.jpg", "b_" + stamp + ".jpg", "b_" + stamp + "_1.jpg",
                              "b_" + stamp + "_2.jpg", "c.jpg", "c_" + stamp + ".jpg"}));
    }

    void copyRefusesBadSources_data()
    {
        QTest::addColumn<QString>("nome");
        QTest::newRow("missing") << "missing.jpg";
        QTest::newRow("fifo") << "pipe.jpg";
        QTest::newRow("socket") << "sock.jpg";
        QTest::newRow("link to a file") << "link.jpg";
        QTest::newRow("link to an endless device") << "zero.jpg";
        QTest::newRow("link loop") << "loop.jpg";
        QTest::newRow("folder") << "cartella.jpg";
    }

    void copyRefusesBadSources()
    {
        QFETCH(QString, nome);
        QTemporaryDir src, dst;
        QVERIFY(writeFile(src.filePath("vero.jpg"), "x"));
        QCOMPARE(::mkfifo(QFile::encodeName(src.filePath("pipe.jpg")), 0644), 0);
        QVERIFY(creaSocket(src.filePath("sock.jpg")));
        QVERIFY(QFile::link(src.filePath("vero.jpg"), src.filePath("link.jpg")));
        QVERIFY(QFile::link("/dev/zero", src.filePath("zero.jpg")));
        QVERIFY(QFile::link(src.filePath("loop.jpg"), src.filePath("loop.jpg")));
        QVERIFY(QDir(src.path()).mkdir("cartella.jpg"));

        const EsitoCopiaFile e = copiaSenzaSovrascrivere(src.filePath(nome), dst.filePath(nome));
        QVERIFY(!e.ok);
        QVERIFY(e.errore.contains(nome));
        QVERIFY(tuttoIn(dst.path()).isEmpty()); // no temporary file left either
    }

    void copyIntoAFileFails()
    {
        QTemporaryDir src, dst;
        QVERIFY(writeFile(src.filePath("a.jpg"), "x"));
        QVERIFY(writeFile(dst.filePath("occupato"), "file"));
        const EsitoCopiaFile e =
            copiaSenzaSovrascrivere(src.filePath("a.jpg"), dst.filePath("occupato/a.jpg"));
        QVERIFY(!e.ok);
        QCOMPARE(e.errore, QString("“%1” esiste già e non è una cartella.").arg(dst.filePath("occupato")));
        QCOMPARE(readFile(dst.filePath("occupato")), QByteArray("file"));

        QString errore;
        QVERIFY(!creaCartella(dst.filePath("occupato/sotto"), &errore));
        QVERIFY(creaCartella(dst.filePath("nuova/e/profonda"), &errore));
        QVERIFY(QFileInfo(dst.filePath("nuova/e/profonda")).isDir());
        QVERIFY(creaCartella(dst.filePath("nuova/e/profonda"), &errore)); // existing is fine
    }

    void longAndAccentedNames()
    {
        QTemporaryDir src, dst;
        const QString lungo = nomeLungo(255, "jpg");
        const QString nfc = QString("caffè.jpg").normalized(QString::NormalizationForm_C);
        const QString nfd = QString("caffè.jpg").normalized(QString::NormalizationForm_D);
        QVERIFY(nfc != nfd);
        for (const QString &n : {lungo, nfc, nfd})
            QVERIFY(writeFile(src.filePath(n), n.toUtf8()));

        for (const QString &n : {lungo, nfc, nfd}) {
            const EsitoCopiaFile e = copiaSenzaSovrascrivere(src.filePath(n), dst.filePath(n));
            QVERIFY2(e.ok, qPrintable(e.errore));
            QCOMPARE(e.destinazione, dst.filePath(n)); // both forms of the accent are distinct names
            QCOMPARE(readFile(e.destinazione), n.toUtf8());
        }
        const EsitoCopiaFile ancora = copiaSenzaSovrascrivere(src.filePath(lungo), dst.filePath(lungo));
        QVERIFY2(ancora.ok, qPrintable(ancora.errore));
        QVERIFY(QFileInfo(ancora.destinazione).fileName().endsWith("_" + stamp + ".jpg"));
        QCOMPARE(tuttoIn(dst.path()).size(), 4);
    }

    void fullDiskLeavesNothingBehind()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a small tmpfs needs root");
        MontaggioTmpfs piccolo("1m");
        QVERIFY(piccolo.montato);
        QTemporaryDir src;
        QVERIFY(writeFile(src.filePath("grande.bin"), QByteArray(3 << 20, 'g')));
        QVERIFY(writeFile(src.filePath("piccolo.bin"), QByteArray(1000, 'p')));

        EsitoCopiaFile e =
            copiaSenzaSovrascrivere(src.filePath("grande.bin"), piccolo.punto.filePath("grande.bin"));
        QVERIFY(!e.ok);
        QVERIFY2(e.errore.contains("spazio esaurito"), qPrintable(e.errore));
        QVERIFY(tuttoIn(piccolo.punto.path()).isEmpty());
        // The space the failed copy took is free again.
        e = copiaSenzaSovrascrivere(src.filePath("piccolo.bin"), piccolo.punto.filePath("piccolo.bin"));
        QVERIFY2(e.ok, qPrintable(e.errore));
        QCOMPARE(tuttoIn(piccolo.punto.path()), QStringList{"piccolo.bin"});
    }

    // A batch never completed (the run was cut short) leaves no hidden file.
    void abandonedBatchLeavesNothing()
    {
        QTemporaryDir src, dst;
        QVERIFY(writeFile(src.filePath("a"), "a"));
        {
            LottoCopie lotto;
            QVERIFY(lotto.aggiungi(src.filePath("a"), dst.filePath("a")).ok);
            QCOMPARE(tuttoIn(dst.path()).size(), 1);
            QVERIFY(tuttoIn(dst.path()).first().startsWith('.'));
        }
        QVERIFY(tuttoIn(dst.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestOperazioniFile)
#include "TestOperazioniFile.moc"
