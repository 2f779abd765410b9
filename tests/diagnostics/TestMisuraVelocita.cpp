#include "diagnostics/MisuraVelocita.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace StrumentiDiagnostica;

namespace {
AmbienteMisura conSpazio(std::optional<qint64> byte)
{
    AmbienteMisura a = AmbienteMisura::sistema();
    a.spazioLibero = [byte](const QString &) { return SpazioLibero{byte, {}}; };
    return a;
}

QStringList contenuto(const QString &cartella)
{
    return QDir(cartella).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool esegui(const QString &programma, const QStringList &argomenti)
{
    QProcess p;
    p.start(programma, argomenti);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A tmpfs of its own, so a test can make a volume read-only or full for real.
struct TmpfsMontato {
    explicit TmpfsMontato(const QString &opzioni)
    {
        montato = esegui("mount", {"-t", "tmpfs", "-o", opzioni, "tessera-test", dir.path()});
    }
    ~TmpfsMontato()
    {
        if (montato)
            esegui("umount", {dir.path()});
    }
    QTemporaryDir dir;
    bool montato = false;
};
} // namespace

class TestMisuraVelocita : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void misuraUnaCartellaVera_data()
    {
        QTest::addColumn<bool>("ioDiretto");
        QTest::newRow("direct I/O") << true;
        QTest::newRow("flush and drop the cache") << false;
    }
    void misuraUnaCartellaVera()
    {
        QFETCH(bool, ioDiretto);
        QTemporaryDir volume;
        TestSupport::writeFile(volume.filePath("esame.jpg"), "immagine");
        AmbienteMisura amb = AmbienteMisura::sistema();
        amb.ioDiretto = ioDiretto;

        const EsitoMisura esito = misuraVelocita(volume.path(), amb);

        QVERIFY2(esito.velocita, qPrintable(esito.errore));
        QVERIFY(esito.velocita->scrittura > 0 && esito.velocita->scrittura <= 32000);
        QVERIFY(esito.velocita->lettura > 0 && esito.velocita->lettura <= 32000);
        QCOMPARE(contenuto(volume.path()), QStringList{"esame.jpg"});
        QCOMPARE(TestSupport::readFile(volume.filePath("esame.jpg")), QByteArray("immagine"));
    }

    void spazioLibero_data()
    {
        QTest::addColumn<std::optional<qint64>>("libero");
        QTest::addColumn<bool>("esegue");
        QTest::newRow("exactly 64 MB") << std::optional<qint64>(67108864) << true;
        QTest::newRow("one byte less") << std::optional<qint64>(67108863) << false;
        QTest::newRow("60 MB") << std::optional<qint64>(60 * 1048576) << false;
        QTest::newRow("nothing free") << std::optional<qint64>(0) << false;
        QTest::newRow("not reported") << std::optional<qint64>() << true;
    }
    void spazioLibero()
    {
        QFETCH(std::optional<qint64>, libero);
        QFETCH(bool, esegue);
        QTemporaryDir volume;
        const EsitoMisura esito = misuraVelocita(volume.path(), conSpazio(libero));
        QCOMPARE(bool(esito.velocita), esegue);
        if (!esegue) {
            QCOMPARE(esito.errore,
                     "Spazio insufficiente sulla chiavetta per il test (servono almeno 64 MB liberi).");
        }
        QVERIFY(contenuto(volume.path()).isEmpty());
    }

    void tempoNulloNonDividePerZero()
    {
        QTemporaryDir volume;
        AmbienteMisura amb = AmbienteMisura::sistema();
        amb.secondi = [] { return 1000.0; };
        const EsitoMisura esito = misuraVelocita(volume.path(), amb);
        QVERIFY(esito.velocita);
        QCOMPARE(esito.velocita->scrittura, 32000.0);
        QCOMPARE(esito.velocita->lettura, 32000.0);
    }

    void chiavettaSparita()
    {
        QTemporaryDir base;
        const QString volume = base.filePath("USB");
        QCOMPARE(misuraVelocita(volume).errore,
                 "Impossibile leggere lo spazio libero della chiavetta: la chiavetta non è più disponibile.");
        QCOMPARE(misuraVelocita(volume, conSpazio(std::nullopt)).errore,
                 "Impossibile creare il file di prova: la chiavetta non è più disponibile.");
    }

    void unLinkAlPostoDelFileNonTroncaAltro()
    {
        QTemporaryDir volume;
        QTemporaryDir altrove;
        const QString vittima = altrove.filePath("referto.pdf");
        TestSupport::writeFile(vittima, "referto importante");
        QVERIFY(QFile::link(vittima, volume.filePath(nomeFileTestVelocita)));

        const EsitoMisura esito = misuraVelocita(volume.path());

        QVERIFY(!esito.velocita);
        QVERIFY2(esito.errore.startsWith("Impossibile creare il file di prova: "), qPrintable(esito.errore));
        QCOMPARE(TestSupport::readFile(vittima), QByteArray("referto importante"));
    }

    void volumeInSolaLettura()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a read-only tmpfs needs root");
        TmpfsMontato ro("ro,size=128m");
        QVERIFY(ro.montato);
        QCOMPARE(
            misuraVelocita(ro.dir.path()).errore,
            "Impossibile creare il file di prova: la chiavetta è in sola lettura (protetta da scrittura).");
    }

    void volumePieno()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a small tmpfs needs root");
        TmpfsMontato piccolo("size=16m");
        QVERIFY(piccolo.montato);
        TestSupport::writeFile(piccolo.dir.path() + "/esame.jpg", "immagine");

        QCOMPARE(misuraVelocita(piccolo.dir.path()).errore,
                 "Spazio insufficiente sulla chiavetta per il test (servono almeno 64 MB liberi).");
        // When the space is not known the test runs into the full medium instead.
        QCOMPARE(misuraVelocita(piccolo.dir.path(), conSpazio(std::nullopt)).errore,
                 "Scrittura del file di prova non riuscita: spazio esaurito sulla chiavetta.");
        QCOMPARE(contenuto(piccolo.dir.path()), QStringList{"esame.jpg"});
    }

    void giudizio_data()
    {
        QTest::addColumn<double>("scrittura");
        QTest::addColumn<double>("lettura");
        QTest::addColumn<Righe>("righe");
        using T = RigaRapporto::Tipo;
        const Riga lenta{T::avviso,
                         "Scrittura molto lenta: chiavetta economica, porta USB 2.0 o memoria usurata."};
        const Riga buona{T::info, "Buona velocità: connessione USB 3.x sfruttata correttamente."};
        QTest::newRow("4.99") << 4.99 << 20.0
                              << Righe{{T::ok, "Scrittura: 5.0 MB/s · Lettura: 20.0 MB/s"}, lenta};
        QTest::newRow("5.0") << 5.0 << 20.0 << Righe{{T::ok, "Scrittura: 5.0 MB/s · Lettura: 20.0 MB/s"}};
        QTest::newRow("30.0") << 30.0 << 1.0 << Righe{{T::ok, "Scrittura: 30.0 MB/s · Lettura: 1.0 MB/s"}};
        QTest::newRow("30.01") << 30.01 << 95.26
                               << Righe{{T::ok, "Scrittura: 30.0 MB/s · Lettura: 95.3 MB/s"}, buona};
        QTest::newRow("instant") << 32000.0 << 32000.0
                                 << Righe{{T::ok, "Scrittura: 32000.0 MB/s · Lettura: 32000.0 MB/s"}, buona};
    }
    void giudizio()
    {
        QFETCH(double, scrittura);
        QFETCH(double, lettura);
        QFETCH(Righe, righe);
        // The figures keep a decimal point whatever the user's language.
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
        QCOMPARE(righeVelocita({scrittura, lettura}), righe);
    }
};

QTEST_GUILESS_MAIN(TestMisuraVelocita)
#include "TestMisuraVelocita.moc"
