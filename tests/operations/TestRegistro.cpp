#include "operations/Orologio.h"
#include "operations/Registro.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtConcurrent>
#include <QTest>
#include <sys/stat.h>

namespace {
ino_t numeroInode(const QString &percorso)
{
    struct stat st {};
    return ::stat(QFile::encodeName(percorso).constData(), &st) == 0 ? st.st_ino : 0;
}

void fermaOrologio(const QDateTime &t)
{
    Orologio::imposta([t] { return t; });
}

// Records what the log file held at the moment it was asked to open it.
class ApritoreCheLegge : public DesktopOpener {
public:
    bool apri(const QUrl &url) override
    {
        aperti << url;
        contenutoAllApertura = TestSupport::readFile(url.toLocalFile());
        return true;
    }
    QList<QUrl> aperti;
    QByteArray contenutoAllApertura;
};
} // namespace

class TestRegistro : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { Orologio::imposta({}); }

    void firstWriteCreatesFolderAndOneLine_data()
    {
        QTest::addColumn<QDateTime>("quando");
        QTest::addColumn<QString>("testo");
        QTest::addColumn<QByteArray>("atteso");
        const QDate giorno(2025, 3, 3);
        QTest::newRow("morning, leading zeros") << QDateTime(giorno, QTime(9, 5, 7)) << "Registro creato"
                                                << QByteArray("[2025-03-03 09:05:07] Registro creato\n");
        QTest::newRow("evening, 24-hour") << QDateTime(giorno, QTime(21, 5, 7)) << "Registro creato"
                                          << QByteArray("[2025-03-03 21:05:07] Registro creato\n");
        QTest::newRow("line feed inside: continuation has no stamp")
            << QDateTime(giorno, QTime(10, 0, 0)) << "Copia completata\n3 file"
            << QByteArray("[2025-03-03 10:00:00] Copia completata\n3 file\n");
        QTest::newRow("UTF-8 text as given")
            << QDateTime(giorno, QTime(10, 0, 0)) << "Sincronizzazione ECO ↔ BACKUP — 2 conflitti"
            << QString("[2025-03-03 10:00:00] Sincronizzazione ECO ↔ BACKUP — 2 conflitti\n").toUtf8();
    }
    void firstWriteCreatesFolderAndOneLine()
    {
        QFETCH(QDateTime, quando);
        QFETCH(QString, testo);
        QFETCH(QByteArray, atteso);
        TestEnv env;
        fermaOrologio(quando);
        QVERIFY(!QFileInfo::exists(env.path("data/Orvala Tessera")));

        registra(testo);

        QVERIFY(QFileInfo(env.path("data/Orvala Tessera")).isDir());
        QCOMPARE(TestSupport::readFile(env.logFile()), atteso);
    }

    void laterWritesAppendWithoutRewriting()
    {
        TestEnv env;
        // Whatever is already there (an older version's lines, a hand-made note) stays untouched.
        const QByteArray prima("vecchia riga senza formato\n");
        QVERIFY(TestSupport::writeFile(env.logFile(), prima));
        const ino_t inode = numeroInode(env.logFile());

        fermaOrologio(QDateTime(QDate(2025, 3, 3), QTime(8, 0, 0)));
        registra("Copia di 12 file in Ecografie completata");
        fermaOrologio(QDateTime(QDate(2025, 3, 3), QTime(8, 0, 1)));
        registra("Auto-importazione da ECO saltata: altra operazione in corso");

        QCOMPARE(TestSupport::readFile(env.logFile()),
                 prima +
                     "[2025-03-03 08:00:00] Copia di 12 file in Ecografie completata\n"
                     "[2025-03-03 08:00:01] Auto-importazione da ECO saltata: altra operazione in corso\n");
        QCOMPARE(numeroInode(env.logFile()), inode); // the same file, not a rewritten copy
    }

    // One write per line: writers racing each other never split a line.
    void concurrentWritersNeverInterleaveLines()
    {
        TestEnv env;
        constexpr int scrittori = 4, righe = 300;
        QList<QFuture<void>> lavori;
        for (int s = 0; s < scrittori; ++s) {
            lavori << QtConcurrent::run([s] {
                for (int i = 0; i < righe; ++i)
                    registra(
                        QStringLiteral("scrittore %1 riga %2 %3").arg(s).arg(i).arg(QString(40, QChar('x'))));
            });
        }
        for (auto &l : lavori)
            l.waitForFinished();

        const QStringList linee = env.logLines();
        QCOMPARE(linee.size(), scrittori * righe);
        static const QRegularExpression forma(
            R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] scrittore \d riga \d+ x{40}$)");
        for (const QString &l : linee)
            QVERIFY2(forma.match(l).hasMatch(), qPrintable(l));
    }

    void folderBlockedByAFileIsQuiet()
    {
        TestEnv env;
        const QString intralcio = env.path("data/Orvala Tessera");
        QVERIFY(TestSupport::writeFile(intralcio, "non una cartella"));

        registra("Formattazione di ECO completata");

        QVERIFY(QFileInfo(intralcio).isFile());
        QCOMPARE(TestSupport::readFile(intralcio), QByteArray("non una cartella"));
        QCOMPARE(QDir(env.path("data")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"Orvala Tessera"});
    }

    void openingCreatesTheLogOnlyWhenMissing_data()
    {
        QTest::addColumn<QByteArray>("esistente"); // null = no file
        QTest::addColumn<QByteArray>("atteso");
        QTest::newRow("missing") << QByteArray() << QByteArray("[2025-03-03 21:05:07] Registro creato\n");
        QTest::newRow("present") << QByteArray("[2025-03-01 10:00:00] Copia completata\n")
                                 << QByteArray("[2025-03-01 10:00:00] Copia completata\n");
        QTest::newRow("present but empty") << QByteArray("") << QByteArray("");
    }
    void openingCreatesTheLogOnlyWhenMissing()
    {
        QFETCH(QByteArray, esistente);
        QFETCH(QByteArray, atteso);
        TestEnv env;
        if (!esistente.isNull())
            QVERIFY(TestSupport::writeFile(env.logFile(), esistente));
        fermaOrologio(QDateTime(QDate(2025, 3, 3), QTime(21, 5, 7)));
        ApritoreCheLegge apritore;

        apriRegistro(apritore);

        QCOMPARE(apritore.aperti, QList<QUrl>{QUrl::fromLocalFile(env.logFile())});
        QCOMPARE(apritore.contenutoAllApertura, atteso); // written before the viewer was asked
        QCOMPARE(TestSupport::readFile(env.logFile()), atteso);
    }

    void defaultLocationIsTheUsersDataFolder()
    {
        QStandardPaths::setTestModeEnabled(true);
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QCOMPARE(urlRegistro(), QDir(base).filePath("Orvala Tessera/registro_operazioni.log"));
        QVERIFY(QFileInfo(QDir(base).filePath("Orvala Tessera")).isDir());
        QDir(QDir(base).filePath("Orvala Tessera")).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TestRegistro)
#include "TestRegistro.moc"
