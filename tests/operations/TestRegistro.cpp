#include "operations/Orologio.h"
#include "operations/Registro.h"
#include "support/TestEnv.h"

#include <QTest>
#include <sys/stat.h>

namespace {
ino_t inode(const QString &percorso)
{
    struct stat st {};
    return ::stat(QFile::encodeName(percorso).constData(), &st) == 0 ? st.st_ino : 0;
}

void fermaOrologio(QTime ora)
{
    Orologio::imposta([ora] { return QDateTime(QDate(2025, 3, 3), ora); });
}

// Records what the log file held at the moment it was asked to open it.
struct ApritoreCheLegge : AperturaDesktop {
    bool apri(const QUrl &url) override
    {
        aperti << url;
        contenuto = TestSupport::readFile(url.toLocalFile());
        return true;
    }
    QList<QUrl> aperti;
    QByteArray contenuto;
};
} // namespace

class TestRegistro : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { Orologio::imposta({}); }

    // Whatever is already there (an older version's lines, a hand-made note) stays untouched.
    void linesAreStampedAndAppendedToTheSameFile()
    {
        TestEnv env;
        QVERIFY(TestSupport::writeFile(env.logFile(), "vecchia riga senza formato\n"));
        const ino_t primo = inode(env.logFile());
        fermaOrologio(QTime(9, 5, 7));
        registra("Registro creato");
        fermaOrologio(QTime(21, 0, 1));
        registra("Copia completata\n3 file — ECO ↔ BACKUP");

        QCOMPARE(QString::fromUtf8(TestSupport::readFile(env.logFile())),
                 "vecchia riga senza formato\n"
                 "[2025-03-03 09:05:07] Registro creato\n"
                 "[2025-03-03 21:00:01] Copia completata\n3 file — ECO ↔ BACKUP\n");
        QCOMPARE(inode(env.logFile()), primo); // appended, not a rewritten copy
    }

    void folderBlockedByAFileIsQuiet()
    {
        TestEnv env;
        const QString intralcio = env.path("data/Orvala Tessera");
        QVERIFY(TestSupport::writeFile(intralcio, "non una cartella"));
        registra("Formattazione di ECO completata");
        QCOMPARE(TestSupport::readFile(intralcio), QByteArray("non una cartella"));
        QCOMPARE(QDir(env.path("data")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"Orvala Tessera"});
    }

    void openingCreatesTheLogOnlyWhenMissing_data()
    {
        QTest::addColumn<QByteArray>("esistente"); // null = no file
        QTest::addColumn<QByteArray>("atteso");
        QTest::newRow("missing") << QByteArray() << QByteArray("[2025-03-03 21:05:07] Registro creato\n");
        QTest::newRow("present") << QByteArray("vecchia riga\n") << QByteArray("vecchia riga\n");
        QTest::newRow("present but empty") << QByteArray("") << QByteArray("");
    }
    void openingCreatesTheLogOnlyWhenMissing()
    {
        QFETCH(QByteArray, esistente);
        QFETCH(QByteArray, atteso);
        TestEnv env;
        if (!esistente.isNull())
            QVERIFY(TestSupport::writeFile(env.logFile(), esistente));
        fermaOrologio(QTime(21, 5, 7));
        ApritoreCheLegge apritore;
        apriRegistro(apritore);
        QCOMPARE(apritore.aperti, QList<QUrl>{QUrl::fromLocalFile(env.logFile())});
        QCOMPARE(apritore.contenuto, atteso); // written before the viewer was asked
    }
};

QTEST_GUILESS_MAIN(TestRegistro)
#include "TestRegistro.moc"
