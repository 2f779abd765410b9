#include "app/USBMonitor.h"
#include "app/USBRow.h"
#include "diagnostics/DiagnosticaView.h"
#include "diagnostics/VerificaCapacita.h"
#include "operations/StoricoChiavette.h"
#include "support/ControlloCiclo.h"
#include "support/TestEnv.h"
#include "support/VolumiDiProva.h"

#include <csignal>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStorageInfo>
#include <QTabBar>
#include <QTest>
#include <sys/mount.h>

using namespace StrumentiDiagnostica;
using Fine = EsitoCapacita::Fine;
Q_DECLARE_METATYPE(Fine)

namespace {
constexpr qint64 MiB = 1 << 20;

// A stick for the test, mounted on a folder of its own until the end:
// chiavetta_falsa.py through FUSE ("48 16 wrap": declares 48 MiB, holds 16),
// a tmpfs ("64m"), or ext4 on a loop device, a block device taking direct I/O.
struct Chiavetta {
    QTemporaryDir punto, immagine;
    QProcess fuse;
    pid_t pid = 0;

    explicit Chiavetta(const QString &tipo)
    {
        const QString img = immagine.filePath("img");
        if (tipo == "ext4")
            TestSupport::esegui("truncate", {"-s", "96M", img}) &&
                TestSupport::esegui("mkfs.ext4", {"-q", img}) &&
                TestSupport::esegui("mount", {"-o", "loop", img, p()});
        else if (tipo.endsWith('m'))
            TestSupport::esegui("mount", {"-t", "tmpfs", "-o", "size=" + tipo, "tessera", p()});
        else {
            fuse.start("/usr/bin/python3",
                       QStringList{QFINDTESTDATA("chiavetta_falsa.py"), p()} + tipo.split(' '));
            pid = pid_t(fuse.processId());
            while (fuse.state() != QProcess::NotRunning && !montata())
                fuse.waitForFinished(20);
        }
    }
    ~Chiavetta()
    {
        ::umount2(QFile::encodeName(p()), MNT_DETACH); // a killed FUSE program's mount stays until then
        if (pid && !fuse.waitForFinished(10000))
            fuse.kill();
    }
    QString p() const { return punto.path(); }
    bool montata() const { return QStorageInfo(p()).rootPath() == p(); }
    void strappa() { ::kill(pid, SIGKILL); } // pulled out: every access fails from now on
    QStringList resti() const
    {
        return QDir(p()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
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
        const auto r = [](const char *nome, const char *tipo, const char *durante, Fine fine, bool falsa) {
            QTest::newRow(nome) << QString(tipo) << QString(durante) << fine << falsa;
        };
        r("fake, wraps", "48 16 wrap", "", Fine::completata, true);
        r("fake, drops", "48 16 drop", "", Fine::completata, true);
        r("fake, through the cache", "48 16 drop", "cache", Fine::completata, true);
        r("honest FUSE stick", "48 48 wrap", "", Fine::completata, false);
        r("tmpfs, through the cache", "64m", "", Fine::completata, false);
        r("ext4 on a loop device, direct", "ext4", "", Fine::completata, false);
        r("leftovers of a crash", "64m", "residui", Fine::completata, false);
        r("full", "32m", "pieno", Fine::pocoSpazio, false);
        r("stopped", "48 16 wrap", "annulla", Fine::annullata, false);
        r("pulled out", "48 16 wrap", "strappa", Fine::interrotta, false);
    }
    void verifica()
    {
        QFETCH(QString, tipo);
        QFETCH(QString, durante);
        QFETCH(Fine, fine);
        QFETCH(bool, falsa);
        Chiavetta c(tipo);
        QVERIFY(c.montata());
        QVERIFY(TestSupport::writeFile(c.p() + "/esame.jpg",
                                       QByteArray(durante == "pieno" ? 20 * MiB : 100, 'e')));
        if (durante == "residui")
            QVERIFY(TestSupport::writeFile(c.p() + "/" + cartellaVerificaCapacita + "/prova_00007.bin", "x"));
        std::stop_source annulla;
        ParametriCapacita parametri;
        parametri.dimensioneFile = 8 * MiB;
        parametri.ioDiretto = tipo != "64m" && durante != "cache";
        bool prima = true;
        const EsitoCapacita e = verificaCapacita(
            c.p(), annulla.get_token(),
            [&](const Avanzamento &) {
                if (!std::exchange(prima, false))
                    return;
                if (durante == "annulla")
                    annulla.request_stop();
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
        QVERIFY(e.scritti > e.libero * 9 / 10);
        if (falsa) { // what it really holds, within what the file system itself uses
            QVERIFY(qAbs(e.utilizzabili() - 16 * MiB) < 2 * MiB);
        } else {
            QCOMPARE(e.persi(), 0);
            QCOMPARE(TestSupport::readFile(c.p() + "/esame.jpg"), QByteArray(100, 'e'));
        }
    }

    // From the window: the warning first, then the report, the log, the history
    // and the stick's row; "Annulla" on the card; refused while a copy runs.
    void dallaFinestra()
    {
        TestEnv env;
        Chiavetta falsa("48 16 wrap"), lenta("48 48 wrap 0.02");
        QVERIFY(falsa.montata() && lenta.montata());
        VolumiDiProva volumi;
        volumi.add({falsa.p(), true, "FALSA"});
        USBMonitor monitor(&volumi, env.impostazioni.get());
        DiagnosticaView view(&monitor, env.servizi);
        view.show();
        const auto premi = [&] {
            QTest::mouseClick(view.findChild<QPushButton *>("schedaCapacita"), Qt::LeftButton);
        };
        ControlloCiclo ciclo;
        premi();
        QTRY_VERIFY_WITH_TIMEOUT(!env.diagnostica.inCorso(), 60000);
        QVERIFY(ciclo.pausaPropriaMassimaMs() < 500); // the window never froze
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QVERIFY(env.avvisi.mostrati[0].testo.contains(
            "Non rimuovere la chiavetta finché la verifica non è finita"));
        QCOMPARE(env.diagnostica.rapporto().at(1).testo.left(16), "Capacità falsa o");
        QVERIFY(env.logLines().last().contains("Verifica capacità \"FALSA\": CAPACITÀ FALSA, persi "));
        QVERIFY(view.grab().save(TestSupport::artifactsDir() + "/diagnostica_capacita_falsa.png"));
        view.findChild<QTabBar *>("pagine")->setCurrentIndex(1);
        QCOMPARE(view.findChild<QWidget *>("scorrimentoStorico")->findChildren<QLabel *>("testo").size(), 1);
        QVERIFY(view.grab().save(TestSupport::artifactsDir() + "/diagnostica_storico.png"));

        USBRow riga(0, monitor.drives().first(), &env.cancellazione, {}, {});
        riga.resize(292, riga.heightForWidth(292));
        riga.show();
        QVERIFY(riga.avvertenza()->text().startsWith("Ha perso dati nella verifica della capacità del "));
        QVERIFY(riga.descrizione().contains(". Ha perso dati"));
        QVERIFY(riga.grab().save(TestSupport::artifactsDir() + "/riga_avvertenza.png"));

        env.centro.setAttuale(CentroOperazioni::Operazione{"Copia in Ecografie…", {}, {}, {}, {}});
        premi();
        QVERIFY(env.diagnostica.rapporto().last().testo.contains("non è partita: aspetta che finisca"));
        env.centro.setAttuale(std::nullopt);

        volumi.mount({lenta.p(), true, "LENTA"});
        QTRY_COMPARE(view.chiavetta()->name, "LENTA");
        premi();
        QPushButton *annulla = nullptr;
        QTRY_VERIFY((annulla = view.findChild<QPushButton *>("annullaScheda")) && annulla->isVisible());
        QTRY_VERIFY(env.diagnostica.dettaglio().value_or("").startsWith("Scrittura "));
        QVERIFY(view.grab().save(TestSupport::artifactsDir() + "/diagnostica_capacita_in_corso.png"));
        QTest::mouseClick(annulla, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!env.diagnostica.inCorso(), 30000);
        QCOMPARE(env.diagnostica.rapporto().at(env.diagnostica.rapporto().size() - 2).testo,
                 "Verifica annullata.");
        QVERIFY(lenta.resti().isEmpty());
    }
};

QTEST_MAIN(TestCapacita)
#include "TestCapacita.moc"
