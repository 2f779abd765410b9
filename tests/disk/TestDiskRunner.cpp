#include "disk/EsecutoreProcessi.h"
#include "operations/Orologio.h"
#include "support/TestEnv.h"

#include <csignal>
#include <fcntl.h>
#include <QFile>
#include <QtConcurrent>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The runner against small fake tools written by the tests.
class TestDiskRunner : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString strumento(const QByteArray &corpo, const QString &nome = QStringLiteral("tool"))
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
        Orologio::imposta([] { return QDateTime(QDate(2024, 3, 9), QTime(14, 5, 6), Qt::UTC); });
    }
    void cleanupTestCase() { Orologio::imposta({}); }
    void init() { QFile::remove(traccia()); }

    void progressRunsUnderATerminalAndIsTraced()
    {
        const QString tool = strumento("test -t 1 && printf 'tty ' || printf 'pipe '\n"
                                       "printf '12.5%% poi 13,0 %%\\n100%%\\n'");
        QList<double> visti;
        const auto r = EsecutoreProcessi(tool, traccia())
                           .eseguiDiskutil({"eraseDisk", "FAT32", "NOME", "MBR", "sdz"},
                                           [&](const Avanzamento &a) { visti.append(*a.frazione); });
        QVERIFY2(r.ok() && r.valore().startsWith("tty "), qPrintable(r.valore()));
        QCOMPARE(visti, (QList<double>{0.125, 0.13, 1.0}));
        const QString t = testoTraccia();
        QVERIFY2(t.startsWith("\n===== 2024-03-09 14:05:06 +0000 — avvio: " + tool +
                              " eraseDisk FAT32 NOME MBR sdz =====\n[chunk "),
                 qPrintable(t));

        // Without a callback: a plain pipe, stderr merged, no trace.
        QFile::remove(traccia());
        const QString semplice = strumento("test -t 1 && echo tty || echo pipe\necho errore >&2");
        QCOMPARE(EsecutoreProcessi(semplice, traccia()).eseguiDiskutil({"info"}).valore(),
                 QString("pipe\nerrore\n"));
        QVERIFY(!QFile::exists(traccia()));
    }

    // A number cut by a chunk boundary is read from the part after the cut.
    void percentageSplitAcrossChunks()
    {
        const QString via = m_dir.filePath(QStringLiteral("via"));
        EsecutoreProcessi e(strumento("printf '4'\nwhile [ ! -e '" + via.toUtf8() +
                                      "' ]; do sleep 0.02; done\n"
                                      "printf '2%%'"),
                            traccia());
        QList<double> visti;
        auto futuro = QtConcurrent::run([&] {
            return e.eseguiDiskutil({"x"}, [&](const Avanzamento &a) { visti.append(*a.frazione); });
        });
        QTRY_VERIFY(testoTraccia().contains("[chunk 1 byte] 4\n"));
        TestSupport::writeFile(via, "");
        QCOMPARE(futuro.result().valore(), QString("42%"));
        QCOMPARE(visti, (QList<double>{0.02}));
    }

    void failureCarriesCommandCodeAndTail_data()
    {
        QTest::addColumn<QByteArray>("corpo");
        QTest::addColumn<int>("modo"); // 0 a pipe, 1 a terminal, 2 another tool than the disk utility
        QTest::addColumn<int>("uscita");
        QTest::addColumn<QString>("coda"); // what the description keeps of the output
        // 700 a's then 300 b's: the description keeps exactly the b's.
        const QByteArray mille = "i=0; while [ $i -lt 700 ]; do printf a; i=$((i+1)); done\n"
                                 "i=0; while [ $i -lt 300 ]; do printf b; i=$((i+1)); done\nexit 1";
        QTest::newRow("1000 characters, pipe") << mille << 0 << 1 << QString(300, 'b');
        QTest::newRow("1000 characters, terminal") << mille << 1 << 1 << QString(300, 'b');
        QTest::newRow("other tool") << QByteArray("echo \"$@\"; exit 4") << 2 << 4
                                    << "info -plist /media/a b\n";
        QTest::newRow("not UTF-8") << QByteArray("printf '\\377\\376 50%%'; exit 3") << 1 << 3 << "";
        QTest::newRow("killed") << QByteArray("kill -9 $$") << 1 << -9 << "";
    }
    void failureCarriesCommandCodeAndTail()
    {
        QFETCH(QByteArray, corpo);
        QFETCH(int, modo);
        QFETCH(int, uscita);
        QFETCH(QString, coda);
        const QString tool = strumento(corpo);
        EsecutoreProcessi e(modo == 2 ? "/non/usato" : tool, traccia());
        const QStringList argomenti{"info", "-plist", "/media/a b"};
        const auto r = modo == 2   ? e.eseguiStrumento(tool, argomenti)
                       : modo == 1 ? e.eseguiDiskutil(argomenti, [](const Avanzamento &) {})
                                   : e.eseguiDiskutil(argomenti);
        const QString comando = (modo == 2 ? tool + " " : QString()) + argomenti.join(' ');
        QVERIFY(r.erroreDisco());
        QCOMPARE(r.erroreDisco()->comando(), comando);
        QCOMPARE(r.erroreDisco()->uscita(), uscita);
        QCOMPARE(r.erroreDisco()->output().size(), uscita == 1 ? 1000 : coda.size());
        // The command line is the tool's business; the user reads what it said.
        QCOMPARE(r.descrizioneErrore(),
                 QString("lo strumento dei dischi ha segnalato un errore (codice %1)").arg(uscita) +
                     (coda.trimmed().isEmpty() ? "." : ":\n" + coda.trimmed()));
    }

    void toolThatCannotStart()
    {
        const QString assente = m_dir.filePath(QStringLiteral("non-esiste"));
        const auto r = EsecutoreProcessi(assente, traccia())
                           .eseguiDiskutil({"secureErase", "0", "sdz"}, [](const Avanzamento &) {});
        QVERIFY(std::holds_alternative<ErroreAvvio>(r.errore()));
        QVERIFY2(r.descrizioneErrore().startsWith("Impossibile avviare " + assente + ": "),
                 qPrintable(r.descrizioneErrore()));
        // The header written before the launch stays.
        QVERIFY(testoTraccia().contains("— avvio: " + assente + " secureErase 0 sdz =====\n"));
    }

    // The trace sits in a shared folder: only a file of this user, created
    // 0600, is written; what uid 65534 planted there is neither written to
    // nor waited on (a FIFO nobody reads would hold the open for ever).
    void traceOnlyIntoAFileOfOurOwn_data()
    {
        QTest::addColumn<QString>("piantato");
        for (const char *p : {"", "fifo", "fifo letta", "file"})
            QTest::newRow(*p ? p : "nothing") << p;
    }
    void traceOnlyIntoAFileOfOurOwn()
    {
        QFETCH(QString, piantato);
        if (!TestSupport::isRoot())
            QSKIP("needs root to plant the trace as another user");
        QTemporaryDir condivisa;
        const QByteArray percorso = QFile::encodeName(condivisa.filePath("orvala_diskutil.log"));
        QVERIFY(::chmod(QFile::encodeName(condivisa.path()).constData(), 0777) == 0);
        const bool fifo = piantato.startsWith("fifo");
        if (const pid_t pid = piantato.isEmpty() ? -1 : ::fork(); pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(1);
            ::_exit((fifo ? ::mkfifo(percorso.constData(), 0666)
                          : ::open(percorso.constData(), O_WRONLY | O_CREAT, 0666)) < 0);
        } else if (pid > 0) {
            int stato = 0;
            QVERIFY(::waitpid(pid, &stato, 0) == pid && WIFEXITED(stato) && WEXITSTATUS(stato) == 0);
        }
        const int lettore =
            piantato == "fifo letta" ? ::open(percorso.constData(), O_RDONLY | O_NONBLOCK) : -1;
        QVERIFY(EsecutoreProcessi(strumento("echo 50%"), QFile::decodeName(percorso))
                    .eseguiDiskutil({"x"}, [](const Avanzamento &) {})
                    .ok());
        struct stat st {};
        char c;
        QVERIFY(::stat(percorso.constData(), &st) == 0);
        QVERIFY(piantato.isEmpty() ? (st.st_mode & 0777) == 0600 && st.st_size > 0
                : fifo             ? lettore < 0 || ::read(lettore, &c, 1) <= 0
                                   : st.st_size == 0);
        if (lettore >= 0)
            ::close(lettore);
    }

    // A helper the tool leaves running keeps the output open; the call must
    // still return when the tool itself exits.
    void returnsWhenTheToolExitsEvenIfAHelperLingers()
    {
        const QString pid = m_dir.filePath(QStringLiteral("pid"));
        EsecutoreProcessi e(strumento("sleep 60 &\necho $! > '" + pid.toUtf8() + "'\necho fatto 100%"),
                            traccia());
        for (bool conProgresso : {false, true}) {
            const auto r =
                conProgresso ? e.eseguiDiskutil({"x"}, [](const Avanzamento &) {}) : e.eseguiDiskutil({"x"});
            const pid_t aiutante = TestSupport::readFile(pid).trimmed().toInt();
            const bool ancoraVivo = aiutante > 0 && ::kill(aiutante, 0) == 0;
            ::kill(aiutante, SIGKILL);
            QVERIFY(ancoraVivo);
            QVERIFY(r.ok() && r.valore().startsWith("fatto 100%"));
        }
    }
};

QTEST_GUILESS_MAIN(TestDiskRunner)
#include "TestDiskRunner.moc"
