#include "actions/ComandiAzioni.h"
#include "app/USBMonitor.h"
#include "disk/SysfsDiProva.h"
#include "platform/linux/FonteVolumiLinux.h"
#include "platform/linux/ProcessiAperti.h"
#include "platform/linux/UDisksEspulsore.h"
#include "support/BusDiProva.h"
#include "support/TestEnv.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTest>

namespace {
const QString servizioUDisks = "org.freedesktop.UDisks2";

using TestSupport::esegui;

bool montato(const QString &punto)
{
    return esegui("mountpoint", {"-q", punto});
}

QString nomeDiQuestoTest()
{
    return QString::fromUtf8(TestSupport::readFile("/proc/self/comm")).trimmed();
}
} // namespace

// Every method the UDisks2 stand-in ran, in order, as "object method", and whether
// it was told not to ask the user anything.
class Chiamate : public QObject {
    Q_OBJECT
public:
    QStringList elenco;
    bool senzaDomande = true;
public Q_SLOTS:
    void chiamata(const QDBusMessage &m)
    {
        if (m.path() == "/org/freedesktop/UDisks2")
            return; // the object manager's own listing
        elenco << m.path().section('/', -1) + ' ' + m.arguments().value(0).toString();
        QVariantList argomenti;
        m.arguments().value(1).value<QDBusArgument>() >> argomenti;
        senzaDomande = senzaDomande &&
                       qdbus_cast<QVariantMap>(argomenti.value(0)).value("auth.no_user_interaction") == true;
    }
};

class TestEject : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Against the stand-in's stick (sdb) with two mounted file systems and an
    // unmounted one, and another drive (sdc) nobody may touch; sdb2 holds an open file.
    void udisks_data()
    {
        QTest::addColumn<QString>("volume");
        QTest::addColumn<bool>("puoSpegnere");
        QTest::addColumn<bool>("occupata");
        QTest::addColumn<QStringList>("attese");
        QTest::addColumn<QString>("errore"); // empty = ejected
        const auto riga = [](const char *nome, const char *volume, bool puoSpegnere, bool occupata,
                             const QStringList &attese, const QString &errore = {}) {
            QTest::newRow(nome) << volume << puoSpegnere << occupata << attese << errore;
        };
        const QStringList smonta{"sdb2 Unmount", "sdb1 Unmount"};
        riga("unmounts all, then powers off", "ECO GRAFIE/", true, false,
             smonta + QStringList{"Acme PowerOff"});
        riga("cannot power off", "ECO GRAFIE", false, false, smonta);
        riga("busy: nothing else", "ECO GRAFIE", true, true, {"sdb2 Unmount"},
             "Error unmounting /dev/sdb2: target is busy\n\nProgrammi che usano la chiavetta: " +
                 nomeDiQuestoTest());
        riga("unknown volume", "ALTRO", true, false, {}, "UDisks2 non gestisce il volume %1.");
    }
    void udisks()
    {
        QFETCH(QString, volume);
        QFETCH(bool, puoSpegnere);
        QFETCH(bool, occupata);
        QFETCH(QStringList, attese);
        QFETCH(QString, errore);
        QTemporaryDir media;
        for (const char *p : {"DATI", "ECO GRAFIE", "ALTRA", "ALTRO"})
            QDir().mkpath(media.filePath(p));
        const QJsonObject parametri{{"canPowerOff", puoSpegnere},
                                    {"busy", occupata},
                                    {"mounts", QJsonObject{{"sdb1", media.filePath("DATI")},
                                                           {"sdb2", media.filePath("ECO GRAFIE")},
                                                           {"sdc1", media.filePath("ALTRA")}}}};
        BusDiProva bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        QVERIFY2(bus.startMock(
                     servizioUDisks,
                     {"--system", "-t",
                      qEnvironmentVariable("TESSERA_SOURCE_DIR") + "/tests/platform/udisks2_chiavette.py",
                      "-p", QJsonDocument(parametri).toJson(QJsonDocument::Compact)}),
                 qPrintable(bus.error()));
        Chiamate chiamate;
        QVERIFY(bus.connection().connect(servizioUDisks, QString(), "org.freedesktop.DBus.Mock",
                                         "MethodCalled", &chiamate, SLOT(chiamata(QDBusMessage))));
        QFile aperto(media.filePath("ECO GRAFIE/referto.txt")); // what keeps the stick busy
        QVERIFY(aperto.open(QIODevice::WriteOnly));

        UDisksEspulsore espulsore(bus.connection());
        espulsore.setSmontaggioDiretto(false);
        const EsitoEspulsione esito = QCoro::waitFor(espulsore.espelli(media.filePath(volume)));

        QCOMPARE(esito.ok, errore.isEmpty());
        QCOMPARE(esito.descrizione, QString(errore).replace("%1", media.filePath(volume)));
        QTRY_COMPARE(chiamate.elenco, attese);
        QVERIFY(chiamate.senzaDomande);
    }

    // A desktop user with no UDisks2 reads the bus's own reason.
    void senzaUDisks()
    {
        BusDiProva bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        UDisksEspulsore espulsore(bus.connection());
        espulsore.setSmontaggioDiretto(false);
        const EsitoEspulsione esito = QCoro::waitFor(espulsore.espelli("/media/x"));
        QVERIFY(!esito.ok);
        QVERIFY2(esito.descrizione.contains(servizioUDisks), qPrintable(esito.descrizione));
    }

    // For real, as root without UDisks2: an ext4 image on a loop device that a
    // fake sysfs calls removable, seen through the real mount table, ejected
    // through the row's button as staff would meet it.
    void realStickRefusesWhileBusyThenLeavesTheList()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a loop device needs root (CI runs as root)");
        QTemporaryDir radice;
        const QString punto = radice.filePath("ECOGRAFIE"), vicina = radice.filePath("ECOGRAFIE2"),
                      immagine = radice.filePath("stick.img");
        QDir().mkpath(radice.filePath("run"));
        QDir().mkpath(punto);
        QDir().mkpath(vicina);
        QVERIFY(TestSupport::writeFile(immagine, QByteArray(8 << 20, '\0')));
        QString loop, majmin;
        if (!esegui("mkfs.ext4", {"-q", "-F", immagine}) ||
            !esegui("losetup", {"-f", "--show", immagine}, &loop))
            QSKIP("no mkfs.ext4 or loop device here");
        auto pulizia = qScopeGuard([&] {
            if (montato(punto))
                esegui("umount", {"-l", punto});
            esegui("losetup", {"-d", loop});
        });
        QVERIFY(esegui("lsblk", {"-dno", "MAJ:MIN", loop}, &majmin));
        SysfsDiProva vista;
        vista.disco(QFileInfo(loop).fileName(), majmin, true);
        TestEnv env;
        FonteVolumiLinux volumi("/proc", vista.sys(), radice.filePath("run"));
        USBMonitor monitor(&volumi, env.impostazioni.get());
        QVERIFY(esegui("mount", {loop, punto}));
        QTRY_COMPARE_WITH_TIMEOUT(monitor.drives().size(), 1, 10000);
        QCOMPARE(monitor.drives().at(0).name, QString("ECOGRAFIE"));

        QFile aperto(punto + "/referto.txt");
        QVERIFY(aperto.open(QIODevice::WriteOnly));
        QProcess dormiente, vicino; // `tail` works in a same-prefix folder: another volume
        dormiente.setWorkingDirectory(punto);
        dormiente.start("sleep", {"300"});
        vicino.setWorkingDirectory(vicina);
        vicino.start("tail", {"-f", "/dev/null"});
        QVERIFY(dormiente.waitForStarted() && vicino.waitForStarted());
        // No system bus at all: the plain unmount as root.
        UDisksEspulsore espulsore(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nessun-bus"));
        env.servizi.espulsore = &espulsore;
        const USBDrive drive = monitor.drives().at(0);
        QCoro::waitFor(espelli(env.servizi, drive));
        QStringList chi{"sleep", nomeDiQuestoTest()}; // the message names them sorted
        chi.sort();
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QCOMPARE(env.avvisi.mostrati[0].titolo, QString("Impossibile espellere ECOGRAFIE"));
        QVERIFY2(
            env.avvisi.mostrati[0].testo.endsWith("\n\nDettagli: " + qt_error_string(EBUSY) +
                                                  "\n\nProgrammi che usano la chiavetta: " + chi.join(", ")),
            qPrintable(env.avvisi.mostrati[0].testo));
        QVERIFY(montato(punto));

        aperto.close();
        for (QProcess *p : {&dormiente, &vicino}) {
            p->kill();
            p->waitForFinished();
        }
        QCoro::waitFor(espelli(env.servizi, drive));
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QVERIFY(!montato(punto));
        QTRY_VERIFY_WITH_TIMEOUT(monitor.drives().isEmpty(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestEject)
#include "TestEject.moc"
