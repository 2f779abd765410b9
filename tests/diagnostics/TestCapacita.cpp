#include "app/USBMonitor.h"
#include "app/USBRow.h"
#include "diagnostics/DiagnosticaView.h"
#include "diagnostics/VerificaCapacita.h"
#include "operations/StoricoChiavette.h"
#include "support/ControlloCiclo.h"
#include "support/FakeVolumeSource.h"
#include "support/TestEnv.h"
#include "transfer/MontaggioTmpfs.h"

#include <csignal>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <sys/stat.h>

using namespace StrumentiDiagnostica;
using Fine = EsitoCapacita::Fine;
Q_DECLARE_METATYPE(Fine)

namespace {
constexpr qint64 MiB = 1 << 20;

dev_t dispositivo(const QString &p)
{
    struct stat st {};
    return ::stat(QFile::encodeName(p), &st) == 0 ? st.st_dev : dev_t(0);
}

// A stick for the test, mounted on `punto` until the end: chiavetta_falsa.py
// through FUSE ("48 16 wrap": declares 48 MiB, holds 16), a tmpfs ("64m"),
// or ext4 on a loop device ("ext4"), a real block device taking direct I/O.
struct Chiavetta {
    QTemporaryDir punto, immagine;
    QProcess fuse;
    pid_t pid = 0;
    std::unique_ptr<MontaggioTmpfs> tmpfs;
    bool loop = false;

    explicit Chiavetta(const QString &tipo)
    {
        if (tipo == "ext4") {
            const QString file = immagine.filePath("chiavetta.img");
            loop = TestSupport::esegui("truncate", {"-s", "96M", file}) &&
                   TestSupport::esegui("mkfs.ext4", {"-q", "-F", file}) &&
                   TestSupport::esegui("mount", {"-o", "loop", file, punto.path()});
        } else if (tipo.endsWith('m')) {
            tmpfs = std::make_unique<MontaggioTmpfs>(tipo.toLatin1());
        } else {
            fuse.start("/usr/bin/python3",
                       QStringList{QFINDTESTDATA("chiavetta_falsa.py"), punto.path()} + tipo.split(' '));
            pid = pid_t(fuse.processId());
            while (fuse.state() != QProcess::NotRunning && !montata())
                fuse.waitForFinished(20);
        }
    }
    ~Chiavetta()
    {
        if (loop)
            TestSupport::esegui("umount", {punto.path()});
        if (pid) { // a FUSE mount outlives its killed program until unmounted
            ::umount2(QFile::encodeName(percorso()), MNT_DETACH);
            if (!fuse.waitForFinished(10000))
                fuse.kill();
        }
    }
    QString percorso() const { return tmpfs ? tmpfs->punto.path() : punto.path(); }
    bool montata() const { return dispositivo(percorso()) != dispositivo(percorso() + "/.."); }
    // Pulled out: the FUSE program dies and every access fails.
    void strappa() { ::kill(pid, SIGKILL); }
    QStringList resti() const
    {
        return QDir(percorso()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};
} // namespace

class TestCapacita : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (!TestSupport::isRoot() || !QFileInfo::exists("/dev/fuse"))
            QSKIP("the test sticks need root, FUSE and loop devices");
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    }

    // The check on sticks that lie, honest ones, a full one, one pulled out or
    // stopped midway; it never calls an honest stick fake and never leaves a file.
    void verifica_data()
    {
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<QString>("durante"); // what happens at the first progress report
        QTest::addColumn<Fine>("fine");
        QTest::addColumn<bool>("falsa");
        QTest::newRow("fake, wraps") << "48 16 wrap"
                                     << "" << Fine::completata << true;
        QTest::newRow("fake, drops") << "48 16 drop"
                                     << "" << Fine::completata << true;
        QTest::newRow("fake, through the cache") << "48 16 drop"
                                                 << "cache" << Fine::completata << true;
        QTest::newRow("honest FUSE stick") << "48 48 wrap"
                                           << "" << Fine::completata << false;
        QTest::newRow("tmpfs, through the cache") << "64m"
                                                  << "" << Fine::completata << false;
        QTest::newRow("ext4 on a loop device, direct") << "ext4"
                                                       << "" << Fine::completata << false;
        QTest::newRow("leftovers of a crash") << "64m"
                                              << "residui" << Fine::completata << false;
        QTest::newRow("full") << "32m"
                              << "pieno" << Fine::pocoSpazio << false;
        QTest::newRow("stopped") << "48 16 wrap"
                                 << "annulla" << Fine::annullata << false;
        QTest::newRow("pulled out") << "48 16 wrap"
                                    << "strappa" << Fine::interrotta << false;
    }
    void verifica()
    {
        QFETCH(QString, tipo);
        QFETCH(QString, durante);
        QFETCH(Fine, fine);
        QFETCH(bool, falsa);
        Chiavetta c(tipo);
        QVERIFY(c.montata());
        QVERIFY(TestSupport::writeFile(c.percorso() + "/esame.jpg",
                                       QByteArray(durante == "pieno" ? 20 * MiB : 100, 'e')));
        if (durante == "residui")
            QVERIFY(TestSupport::writeFile(c.percorso() + "/" + cartellaVerificaCapacita + "/prova_00007.bin",
                                           "x"));
        std::atomic<bool> annulla = false;
        ParametriCapacita parametri;
        parametri.dimensioneFile = 8 * MiB;
        parametri.ioDiretto = tipo != "64m" && durante != "cache";
        bool prima = true;
        const EsitoCapacita e = verificaCapacita(
            c.percorso(), annulla,
            [&](double, const QString &) {
                if (!std::exchange(prima, false))
                    return;
                if (durante == "annulla")
                    annulla = true;
                else if (durante == "strappa")
                    c.strappa();
            },
            parametri);
        QCOMPARE(e.fine, fine);
        QCOMPARE(e.falsa(), falsa);
        QCOMPARE(e.pulita, durante != "strappa");
        if (durante == "strappa") {
            QCOMPARE(e.errore, "la chiavetta non è più disponibile");
            return;
        }
        QVERIFY(!c.resti().contains(cartellaVerificaCapacita));
        if (fine != Fine::completata)
            return;
        QVERIFY2(e.scritti > e.libero * 9 / 10, qPrintable(QString::number(e.scritti)));
        if (falsa) { // what it really holds, within what the file system itself uses
            QVERIFY2(qAbs(e.utilizzabili() - 16 * MiB) < 2 * MiB,
                     qPrintable(QString::number(e.utilizzabili())));
        } else {
            QCOMPARE(e.persi(), 0);
            QCOMPARE(TestSupport::readFile(c.percorso() + "/esame.jpg"), QByteArray(100, 'e'));
        }
        QCOMPARE(righeCapacita(e).first().first, falsa ? RigaRapporto::Tipo::errore : RigaRapporto::Tipo::ok);
    }

    // From the window: the question first, then the report, the log, the history
    // and the stick's row; "Annulla" on the card; refused while a copy runs.
    void dallaFinestra()
    {
        TestEnv env;
        Chiavetta falsa("48 16 wrap"), lenta("48 48 wrap 0.02");
        QVERIFY(falsa.montata() && lenta.montata());
        FakeVolumeSource volumi;
        volumi.add({falsa.percorso(), true, "FALSA"});
        USBMonitor monitor(&volumi, env.settings.get());
        DiagnosticaView view(&monitor, env.servizi);
        view.show();
        const auto premi = [&] {
            QTest::mouseClick(view.findChild<QPushButton *>("schedaCapacita"), Qt::LeftButton);
        };
        ControlloCiclo ciclo;
        premi();
        QTRY_VERIFY_WITH_TIMEOUT(!env.diag.inCorso(), 60000);
        QVERIFY2(ciclo.pausaPropriaMassimaMs() < 500,
                 qPrintable(QString::number(ciclo.pausaPropriaMassimaMs())));
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QCOMPARE(env.avvisi.mostrati[0].titolo, "Verificare la capacità reale di \"FALSA\"?");
        QVERIFY(env.avvisi.mostrati[0].testo.contains(
            "Non rimuovere la chiavetta finché la verifica non è finita"));
        QVERIFY(!env.avvisi.mostrati[0].testo.contains("I file già presenti")); // it was empty
        QCOMPARE(env.diag.rapporto().at(1).testo.left(16), "Capacità falsa o");
        QVERIFY(env.logLines().last().contains("Verifica capacità \"FALSA\": CAPACITÀ FALSA, persi "));
        QVERIFY(view.grab().save(TestSupport::artifactsDir() + "/diagnostica_capacita_falsa.png"));
        view.findChild<QTabBar *>("pagine")->setCurrentIndex(1);
        QCOMPARE(view.findChild<QWidget *>("scorrimentoStorico")->findChildren<QLabel *>("testo").size(), 1);
        QVERIFY(view.grab().save(TestSupport::artifactsDir() + "/diagnostica_storico.png"));

        USBRow riga(0, monitor.drives().first(), &env.erase, {}, {});
        riga.resize(292, riga.heightForWidth(292));
        riga.show();
        QVERIFY(riga.avvertenza()->text().startsWith("Ha perso dati nella verifica della capacità del "));
        QVERIFY(riga.descrizione().contains(". Ha perso dati"));
        QVERIFY(riga.grab().save(TestSupport::artifactsDir() + "/riga_avvertenza.png"));

        env.centro.setAttuale(CentroOperazioni::Operazione{"Copia in Ecografie…", {}, {}, {}, {}});
        premi();
        QVERIFY(env.diag.rapporto().last().testo.contains("non è partita: aspetta che finisca"));
        env.centro.setAttuale(std::nullopt);
        env.avvisi.rispondi(1);
        premi();
        QTRY_VERIFY(!env.diag.inCorso());
        QCOMPARE(env.diag.rapporto().last().testo, "Verifica annullata prima di cominciare.");

        volumi.mount({lenta.percorso(), true, "LENTA"});
        QTRY_COMPARE(view.chiavetta()->name, "LENTA");
        premi();
        QPushButton *annulla = nullptr;
        QTRY_VERIFY((annulla = view.findChild<QPushButton *>("annullaScheda")) && annulla->isVisible());
        QTRY_VERIFY(env.diag.dettaglio().value_or("").startsWith("Scrittura "));
        QVERIFY(view.grab().save(TestSupport::artifactsDir() + "/diagnostica_capacita_in_corso.png"));
        QTest::mouseClick(annulla, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!env.diag.inCorso(), 30000);
        QCOMPARE(env.diag.rapporto().at(env.diag.rapporto().size() - 2).testo, "Verifica annullata.");
        QVERIFY(lenta.resti().isEmpty());
    }
};

QTEST_MAIN(TestCapacita)
#include "TestCapacita.moc"
