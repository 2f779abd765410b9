#include "disk/EsecutoreProcessi.h"
#include "operations/Orologio.h"
#include "support/TestEnv.h"

#include <csignal>
#include <QFile>
#include <QtConcurrent>
#include <QTemporaryDir>
#include <QTest>

// The runner against small fake tools written by the tests.
class TestDiskRunner : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString strumento(const QString &nome, const QByteArray &corpo)
    {
        const QString percorso = m_dir.filePath(nome);
        TestSupport::writeFile(percorso, "#!/bin/sh\n" + corpo + "\n");
        QFile::setPermissions(percorso, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return percorso;
    }
    QString traccia() const { return m_dir.filePath(QStringLiteral("traccia.log")); }
    QString testoTraccia() const { return QString::fromUtf8(TestSupport::readFile(traccia())); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        Orologio::imposta([] { return QDateTime(QDate(2024, 3, 9), QTime(14, 5, 6), Qt::UTC); });
    }
    void cleanupTestCase() { Orologio::imposta({}); }
    void init() { QFile::remove(traccia()); }

    void percentagesFromTheTextInOrder_data()
    {
        QTest::addColumn<QString>("testo");
        QTest::addColumn<QList<double>>("attese");
        QTest::newRow("point and comma")
            << "Scrittura 12.5% ... poi 13,0 % fatto" << QList<double>{12.5, 13.0};
        QTest::newRow("hundred") << "100%" << QList<double>{100};
        QTest::newRow("none") << "Formattazione in corso" << QList<double>{};
        QTest::newRow("space before sign") << "42 %\r\n43\t%" << QList<double>{42, 43};
        QTest::newRow("cut by a chunk boundary") << "2.5%" << QList<double>{2.5};
        QTest::newRow("extra dot") << "1.2.3%" << QList<double>{2.3};
        QTest::newRow("other scripts' digits")
            << QString::fromUtf8("\u0663\u0664% poi 7%") << QList<double>{7};
    }
    void percentagesFromTheTextInOrder()
    {
        QFETCH(QString, testo);
        QFETCH(QList<double>, attese);
        QCOMPARE(DiskUtil::trovaPercentuali(testo), attese);
    }

    void numbersPrintWithAFraction_data()
    {
        QTest::addColumn<double>("valore");
        QTest::addColumn<QString>("testo");
        QTest::newRow("whole") << 42.0 << "42.0";
        QTest::newRow("fraction") << 7.5 << "7.5";
        QTest::newRow("shortest") << 0.1 << "0.1";
        QTest::newRow("hundred") << 100.0 << "100.0";
    }
    void numbersPrintWithAFraction()
    {
        QFETCH(double, valore);
        QFETCH(QString, testo);
        QCOMPARE(DiskUtil::testoNumero(valore), testo);
    }

    void progressRunsUnderATerminalAndIsTraced()
    {
        const QString tool =
            strumento(QStringLiteral("tool"), "test -t 1 && printf 'tty ' || printf 'pipe '\n"
                                              "printf '12.5%% poi 13,0 %%\\n100%%\\n'");
        EsecutoreProcessi esecutore(tool, traccia());
        QList<double> visti;
        const auto r = esecutore.eseguiDiskutil({"eraseDisk", "FAT32", "NOME", "MBR", "sdz"},
                                                [&](double p) { visti.append(p); });
        QVERIFY(r.ok());
        QVERIFY2(r.valore().startsWith("tty "), qPrintable(r.valore()));
        QCOMPARE(visti, (QList<double>{12.5, 13.0, 100.0}));

        const QString t = testoTraccia();
        QVERIFY2(t.startsWith(
                     QStringLiteral(
                         "\n===== 2024-03-09 14:05:06 +0000 — avvio: %1 eraseDisk FAT32 NOME MBR sdz =====\n"
                         "[chunk ")
                         .arg(tool)),
                 qPrintable(t));
        QVERIFY(t.contains("  → percentuale riconosciuta: 12.5\n"));
        QVERIFY(t.contains("  → percentuale riconosciuta: 13.0\n"));
        QVERIFY(t.contains("  → percentuale riconosciuta: 100.0\n"));
        QVERIFY(t.indexOf("12.5\n") < t.indexOf("13.0\n"));
    }

    void withoutProgressAPlainPipeAndNoTrace()
    {
        const QString tool = strumento(QStringLiteral("tool"),
                                       "test -t 1 && echo tty || echo pipe\necho errore >&2\necho 50%");
        EsecutoreProcessi esecutore(tool, traccia());
        const auto r = esecutore.eseguiDiskutil({"info", "-plist", "/media/x"});
        QVERIFY(r.ok());
        QCOMPARE(r.valore(), QString("pipe\nerrore\n50%\n"));
        QVERIFY(!QFile::exists(traccia()));
    }

    void chunkWithoutPercentIsStillTraced()
    {
        EsecutoreProcessi esecutore(strumento(QStringLiteral("tool"), "printf 'Avvio'"), traccia());
        int chiamate = 0;
        QVERIFY(esecutore.eseguiDiskutil({"verifyVolume", "/x"}, [&](double) { ++chiamate; }).ok());
        QCOMPARE(chiamate, 0);
        QVERIFY(testoTraccia().endsWith("=====\n[chunk 5 byte] Avvio\n"));
    }

    // A number cut by a chunk boundary is read from the part after the cut.
    void percentageSplitAcrossChunks()
    {
        const QString via = m_dir.filePath(QStringLiteral("via"));
        QFile::remove(via);
        const QString tool =
            strumento(QStringLiteral("tool"), QByteArray("printf '4'\nwhile [ ! -e '") + via.toUtf8() +
                                                  "' ]; do sleep 0.02; done\nprintf '2%%'");
        EsecutoreProcessi esecutore(tool, traccia());
        QList<double> visti;
        auto futuro = QtConcurrent::run([&] {
            return esecutore.eseguiDiskutil({"secureErase", "0", "sdz"}, [&](double p) { visti.append(p); });
        });
        QTRY_VERIFY(testoTraccia().contains("[chunk 1 byte] 4\n"));
        TestSupport::writeFile(via, "");
        futuro.waitForFinished();
        QVERIFY(futuro.result().ok());
        QCOMPARE(futuro.result().valore(), QString("42%"));
        QCOMPARE(visti, (QList<double>{2.0}));
    }

    void failureCarriesCommandCodeAndTail_data()
    {
        QTest::addColumn<bool>("conProgresso");
        QTest::newRow("pipe") << false;
        QTest::newRow("terminal") << true;
    }
    void failureCarriesCommandCodeAndTail()
    {
        QFETCH(bool, conProgresso);
        // 700 a's then 300 b's: the description keeps exactly the b's.
        const QString tool =
            strumento(QStringLiteral("tool"), "i=0; while [ $i -lt 700 ]; do printf a; i=$((i+1)); done\n"
                                              "i=0; while [ $i -lt 300 ]; do printf b; i=$((i+1)); done\n"
                                              "exit 1");
        EsecutoreProcessi esecutore(tool, traccia());
        const auto r = conProgresso
                           ? esecutore.eseguiDiskutil({"info", "-plist", "/media/a b"}, [](double) {})
                           : esecutore.eseguiDiskutil({"info", "-plist", "/media/a b"});
        QVERIFY(!r.ok());
        const DiskUtilErrore *e = r.erroreDisco();
        QVERIFY(e);
        QCOMPARE(e->caso(), DiskUtilErrore::Caso::comandoFallito);
        QCOMPARE(e->comando(), QString("info -plist /media/a b"));
        QCOMPARE(e->uscita(), 1);
        QCOMPARE(e->output().size(), 1000);
        QCOMPARE(r.descrizioneErrore(),
                 QString("diskutil info -plist /media/a b è terminato con codice 1.\n") +
                     QString(300, QLatin1Char('b')));
    }

    void shortOutputIsKeptWhole()
    {
        const QString tool = strumento(QStringLiteral("tool"), "echo 'Disco non trovato'; exit 5");
        EsecutoreProcessi esecutore(tool, traccia());
        const auto r = esecutore.eseguiDiskutil({"info", "-plist", "/p"});
        QCOMPARE(r.descrizioneErrore(),
                 QString("diskutil info -plist /p è terminato con codice 5.\nDisco non trovato\n"));
    }

    void invalidUtf8GivesEmptyTextButATracedChunk()
    {
        const QString tool = strumento(QStringLiteral("tool"), "printf '\\377\\376 50%%'; exit $1");
        EsecutoreProcessi esecutore(tool, traccia());
        QList<double> visti;
        const auto ok = esecutore.eseguiDiskutil({"0"}, [&](double p) { visti.append(p); });
        QVERIFY(ok.ok());
        QCOMPARE(ok.valore(), QString());
        QCOMPARE(visti, (QList<double>{50}));
        QVERIFY(testoTraccia().contains(QString::fromUtf8("[chunk 6 byte] \uFFFD\uFFFD 50%\n")));

        const auto ko = esecutore.eseguiDiskutil({"3"});
        QCOMPARE(ko.descrizioneErrore(), QString("diskutil 3 è terminato con codice 3.\n"));
    }

    void toolThatCannotStart()
    {
        const QString assente = m_dir.filePath(QStringLiteral("non-esiste"));
        EsecutoreProcessi esecutore(assente, traccia());
        const auto r = esecutore.eseguiDiskutil({"secureErase", "0", "sdz"}, [](double) {});
        QVERIFY(!r.ok());
        QVERIFY(!r.erroreDisco());
        QVERIFY(std::holds_alternative<ErroreAvvio>(r.errore()));
        QVERIFY2(r.descrizioneErrore().startsWith("Impossibile avviare " + assente + ": "),
                 qPrintable(r.descrizioneErrore()));
        // The header written before the launch stays.
        QVERIFY(testoTraccia().contains("— avvio: " + assente + " secureErase 0 sdz =====\n"));

        const QString nonEseguibile = m_dir.filePath(QStringLiteral("testo"));
        TestSupport::writeFile(nonEseguibile, "echo ciao\n");
        QVERIFY(!EsecutoreProcessi(nonEseguibile, traccia()).eseguiStrumento(nonEseguibile, {}).ok());
    }

    void killedToolIsAFailure()
    {
        EsecutoreProcessi esecutore(strumento(QStringLiteral("tool"), "kill -9 $$"), traccia());
        const auto r = esecutore.eseguiDiskutil({"secureErase"});
        QVERIFY(r.erroreDisco());
        QCOMPARE(r.erroreDisco()->uscita(), -9);
    }

    // A helper the tool leaves running in the background keeps the output
    // open; the call must still return when the tool itself exits.
    void returnsWhenTheToolExitsEvenIfAHelperLingers_data()
    {
        QTest::addColumn<bool>("conProgresso");
        QTest::newRow("pipe") << false;
        QTest::newRow("terminal") << true;
    }
    void returnsWhenTheToolExitsEvenIfAHelperLingers()
    {
        QFETCH(bool, conProgresso);
        const QString pid = m_dir.filePath(QStringLiteral("pid"));
        const QString tool = strumento(QStringLiteral("tool"), QByteArray("sleep 60 &\necho $! > '") +
                                                                   pid.toUtf8() + "'\necho fatto 100%");
        EsecutoreProcessi esecutore(tool, traccia());
        const auto r =
            conProgresso ? esecutore.eseguiDiskutil({"x"}, [](double) {}) : esecutore.eseguiDiskutil({"x"});
        const pid_t aiutante = TestSupport::readFile(pid).trimmed().toInt();
        QVERIFY(aiutante > 0);
        const bool ancoraVivo = ::kill(aiutante, 0) == 0;
        ::kill(aiutante, SIGKILL);
        QVERIFY(ancoraVivo);
        QVERIFY(r.ok());
        QVERIFY(r.valore().startsWith("fatto 100%"));
    }

    void toolRunnerNamesTheProgram()
    {
        const QString tool = strumento(QStringLiteral("profiler"), "echo \"$@\"; exit $2");
        EsecutoreProcessi esecutore(QStringLiteral("/non/usato"), traccia());
        const auto ok = esecutore.eseguiStrumento(tool, {"SPUSBDataType", "0"});
        QVERIFY(ok.ok());
        QCOMPARE(ok.valore(), QString("SPUSBDataType 0\n"));
        const auto ko = esecutore.eseguiStrumento(tool, {"-json", "4"});
        QVERIFY(ko.erroreDisco());
        QCOMPARE(ko.erroreDisco()->comando(), tool + " -json 4");
        QCOMPARE(ko.erroreDisco()->uscita(), 4);
        QVERIFY(!QFile::exists(traccia()));
    }
};

QTEST_GUILESS_MAIN(TestDiskRunner)
#include "TestDiskRunner.moc"
