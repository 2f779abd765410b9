#include "actions/EjectDriveAction.h"
#include "app/USBMonitor.h"
#include "platform/linux/LinuxVolumeSource.h"
#include "platform/linux/ProcessiAperti.h"
#include "platform/linux/UDisksEspulsore.h"
#include "support/DBusMockFixture.h"
#include "support/TestEnv.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString servizioUDisks = QStringLiteral("org.freedesktop.UDisks2");
const QString radiceOggetti = QStringLiteral("/org/freedesktop/UDisks2/");

bool esegui(const QString &programma, const QStringList &argomenti, QString *uscita = nullptr)
{
    QProcess p;
    p.start(programma, argomenti);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (uscita)
        *uscita = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return true;
}

// This test's own process name as the kernel reports it (not under valgrind's).
QString nostroNome()
{
    return QString::fromUtf8(TestSupport::readFile(QStringLiteral("/proc/self/comm"))).trimmed();
}

bool montato(const QString &punto)
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        const QList<QByteArray> campi = riga.split(' ');
        if (campi.size() > 4 && QFile::decodeName(campi.at(4)) == punto)
            return true;
    }
    return false;
}

// Starts the UDisks2 stand-in (the dbusmock template beside this file) on a
// private bus. Empty when it runs, else why it cannot run here.
QString avviaUDisks(DBusMockFixture &bus, const QJsonObject &parametri)
{
    if (!bus.start())
        return bus.error();
    if (!esegui(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import dbusmock")}))
        return QStringLiteral("python3-dbusmock is not installed");
    const QString modello =
        qEnvironmentVariable("TESSERA_SOURCE_DIR") + QStringLiteral("/tests/platform/udisks2_chiavette.py");
    if (!bus.startMock(servizioUDisks,
                       {QStringLiteral("--system"), QStringLiteral("-t"), modello, QStringLiteral("-p"),
                        QString::fromUtf8(QJsonDocument(parametri).toJson(QJsonDocument::Compact))}))
        return bus.error();
    return {};
}

QJsonObject drive(const QString &nome, bool puoSpegnere)
{
    return {{QStringLiteral("path"), radiceOggetti + QStringLiteral("drives/") + nome},
            {QStringLiteral("canPowerOff"), puoSpegnere}};
}

QJsonObject blocco(const QString &dev, const QString &nomeDrive, const QStringList &punti,
                   bool occupato = false)
{
    return {{QStringLiteral("path"), radiceOggetti + QStringLiteral("block_devices/") + dev},
            {QStringLiteral("device"), QStringLiteral("/dev/") + dev},
            {QStringLiteral("drive"), radiceOggetti + QStringLiteral("drives/") + nomeDrive},
            {QStringLiteral("mounts"), QJsonArray::fromStringList(punti)},
            {QStringLiteral("busy"), occupato}};
}
} // namespace

// Every method the stand-in ran, in order, as "object method", plus the options passed.
class Chiamate : public QObject {
    Q_OBJECT
public:
    QStringList elenco;
    QList<QVariantMap> opzioni;

public Q_SLOTS:
    void chiamata(const QDBusMessage &m)
    {
        if (m.path() == QStringLiteral("/org/freedesktop/UDisks2"))
            return; // the object manager's own listing
        elenco.append(m.path().section(QLatin1Char('/'), -1) + QLatin1Char(' ') +
                      m.arguments().value(0).toString());
        QVariantList argomenti;
        m.arguments().value(1).value<QDBusArgument>() >> argomenti;
        QVariantMap opz;
        if (!argomenti.isEmpty())
            opz = qdbus_cast<QVariantMap>(argomenti.constFirst());
        opzioni.append(opz);
    }
};

class TestEject : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Against a UDisks2 stand-in: one stick (sdb) with two mounted file
    // systems and an unmounted one, and another drive (sdc) nobody may touch.
    void udisks_data()
    {
        QTest::addColumn<bool>("puoSpegnere");
        QTest::addColumn<bool>("occupata");
        QTest::addColumn<QStringList>("attese");
        QTest::addColumn<bool>("ok");
        QTest::newRow("smonta tutto, poi spegne")
            << true << false << QStringList{"sdb2 Unmount", "sdb1 Unmount", "Acme_Stick PowerOff"} << true;
        QTest::newRow("non si spegne")
            << false << false << QStringList{"sdb2 Unmount", "sdb1 Unmount"} << true;
        QTest::newRow("occupata: nient'altro") << true << true << QStringList{"sdb2 Unmount"} << false;
    }
    void udisks()
    {
        QFETCH(bool, puoSpegnere);
        QFETCH(bool, occupata);
        QFETCH(QStringList, attese);
        QFETCH(bool, ok);

        QTemporaryDir media;
        const QString p1 = media.filePath(QStringLiteral("DATI")),
                      p2 = media.filePath(QStringLiteral("ECO GRAFIE"));
        const QString altra = media.filePath(QStringLiteral("ALTRA"));
        for (const QString &p : {p1, p2, altra})
            QDir().mkpath(p);
        DBusMockFixture bus;
        const QString perche = avviaUDisks(
            bus, {{QStringLiteral("drives"), QJsonArray{drive(QStringLiteral("Acme_Stick"), puoSpegnere),
                                                        drive(QStringLiteral("Other_Disk"), true)}},
                  {QStringLiteral("blocks"),
                   QJsonArray{blocco(QStringLiteral("sdb1"), QStringLiteral("Acme_Stick"), {p1}),
                              blocco(QStringLiteral("sdb2"), QStringLiteral("Acme_Stick"), {p2}, occupata),
                              blocco(QStringLiteral("sdb3"), QStringLiteral("Acme_Stick"), {}),
                              blocco(QStringLiteral("sdc1"), QStringLiteral("Other_Disk"), {altra})}}});
        if (!perche.isEmpty())
            QSKIP(qPrintable(perche));
        Chiamate chiamate;
        QVERIFY(bus.connection().connect(
            servizioUDisks, QString(), QStringLiteral("org.freedesktop.DBus.Mock"),
            QStringLiteral("MethodCalled"), &chiamate, SLOT(chiamata(QDBusMessage))));

        // What keeps the stick busy, as udisks would find it.
        QFile aperto(p2 + QStringLiteral("/referto.txt"));
        QVERIFY(aperto.open(QIODevice::WriteOnly));

        UDisksEspulsore espulsore(bus.connection());
        espulsore.setSmontaggioDiretto(false);
        const EsitoEspulsione esito = QCoro::waitFor(espulsore.espelli(p2 + QLatin1Char('/')));

        QCOMPARE(esito.ok, ok);
        QTRY_COMPARE(chiamate.elenco, attese);
        for (const QVariantMap &o : std::as_const(chiamate.opzioni))
            QCOMPARE(o.value(QStringLiteral("auth.no_user_interaction")), QVariant(true));
        if (occupata) {
            QCOMPARE(esito.descrizione, QStringLiteral("Error unmounting /dev/sdb2: target is busy\n\n"
                                                       "Programmi che usano la chiavetta: ") +
                                            nostroNome());
        }
    }

    void udisksNonConosceIlVolume()
    {
        QTemporaryDir media;
        DBusMockFixture bus;
        const QString perche = avviaUDisks(
            bus, {{QStringLiteral("drives"), QJsonArray{drive(QStringLiteral("Acme_Stick"), true)}},
                  {QStringLiteral("blocks"),
                   QJsonArray{blocco(QStringLiteral("sdb1"), QStringLiteral("Acme_Stick"),
                                     {QStringLiteral("/media/x")})}}});
        if (!perche.isEmpty())
            QSKIP(qPrintable(perche));
        Chiamate chiamate;
        bus.connection().connect(servizioUDisks, QString(), QStringLiteral("org.freedesktop.DBus.Mock"),
                                 QStringLiteral("MethodCalled"), &chiamate, SLOT(chiamata(QDBusMessage)));
        UDisksEspulsore espulsore(bus.connection());
        espulsore.setSmontaggioDiretto(false);
        const EsitoEspulsione esito = QCoro::waitFor(espulsore.espelli(media.path()));
        QVERIFY(!esito.ok);
        QCOMPARE(esito.descrizione, QStringLiteral("UDisks2 non gestisce il volume %1.").arg(media.path()));
        QTest::qWait(100);
        QVERIFY(chiamate.elenco.isEmpty());
    }

    // A desktop user with no UDisks2 reads the bus's own reason.
    void senzaUDisks()
    {
        DBusMockFixture bus;
        if (!bus.start())
            QSKIP(qPrintable(bus.error()));
        UDisksEspulsore espulsore(bus.connection());
        espulsore.setSmontaggioDiretto(false);
        const EsitoEspulsione esito = QCoro::waitFor(espulsore.espelli(QStringLiteral("/media/x")));
        QVERIFY(!esito.ok);
        QVERIFY2(esito.descrizione.contains(servizioUDisks), qPrintable(esito.descrizione));
    }

    void programmiCheUsanoLaCartella()
    {
        QTemporaryDir dir;
        const QString stick = dir.filePath(QStringLiteral("STICK"));
        const QString vicina = dir.filePath(QStringLiteral("STICK2")); // same prefix, another volume
        QDir().mkpath(stick + QStringLiteral("/DCIM"));
        QDir().mkpath(vicina);
        QCOMPARE(programmiCheUsano(stick), QStringList());

        QFile f(vicina + QStringLiteral("/x"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(programmiCheUsano(stick), QStringList());

        QProcess dormiente;
        dormiente.setWorkingDirectory(stick + QStringLiteral("/DCIM"));
        dormiente.start(QStringLiteral("sleep"), {QStringLiteral("300")});
        QVERIFY(dormiente.waitForStarted());
        auto fine = qScopeGuard([&] {
            dormiente.kill();
            dormiente.waitForFinished();
        });
        QFile g(stick + QStringLiteral("/y"));
        QVERIFY(g.open(QIODevice::WriteOnly));
        QStringList attesi{QStringLiteral("sleep"), nostroNome()};
        attesi.sort();
        QTRY_COMPARE(programmiCheUsano(stick), attesi);
    }

    // For real, as root without UDisks2: an ext4 image on a loop device that a
    // fake sysfs calls removable, seen through the real mount table.
    void smontaggioReale()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a loop device needs root (CI runs as root)");
        QTemporaryDir radice;
        const QString sys = radice.filePath(QStringLiteral("sys")),
                      run = radice.filePath(QStringLiteral("run"));
        const QString punto = radice.filePath(QStringLiteral("ECOGRAFIE"));
        const QString immagine = radice.filePath(QStringLiteral("stick.img"));
        QDir().mkpath(run);
        QDir().mkpath(punto);
        {
            QFile f(immagine);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(8 * 1024 * 1024));
        }
        if (!esegui(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), immagine}))
            QSKIP("mkfs.ext4 is not available");
        QString loop;
        if (!esegui(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), immagine},
                    &loop) ||
            loop.isEmpty())
            QSKIP("no loop device available here");
        auto pulizia = qScopeGuard([&] {
            if (montato(punto))
                esegui(QStringLiteral("umount"), {QStringLiteral("-l"), punto});
            esegui(QStringLiteral("losetup"), {QStringLiteral("-d"), loop});
        });
        QString majmin;
        QVERIFY(esegui(QStringLiteral("lsblk"), {QStringLiteral("-dno"), QStringLiteral("MAJ:MIN"), loop},
                       &majmin));
        const QString disco = sys + QStringLiteral("/devices/virtual/block/") + QFileInfo(loop).fileName();
        QVERIFY(TestSupport::writeFile(disco + QStringLiteral("/removable"), "1\n"));
        QDir().mkpath(sys + QStringLiteral("/dev/block"));
        QVERIFY(QFile::link(disco, sys + QStringLiteral("/dev/block/") + majmin));

        TestEnv env;
        LinuxVolumeSource volumi(QStringLiteral("/proc"), sys, run);
        USBMonitor monitor(&volumi, env.settings.get());
        QVERIFY(esegui(QStringLiteral("mount"), {loop, punto}));
        QTRY_COMPARE_WITH_TIMEOUT(monitor.drives().size(), 1, 10000);

        // No system bus at all: the plain unmount as root.
        UDisksEspulsore espulsore(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                                QStringLiteral("nessun-bus")));

        QFile aperto(punto + QStringLiteral("/referto.txt"));
        QVERIFY(aperto.open(QIODevice::WriteOnly));
        QProcess dormiente;
        dormiente.setWorkingDirectory(punto);
        dormiente.start(QStringLiteral("sleep"), {QStringLiteral("300")});
        QVERIFY(dormiente.waitForStarted());
        // Through the row's eject button, as staff would meet it.
        env.servizi.espulsore = &espulsore;
        const USBDrive drive = monitor.drives().at(0);
        QCoro::waitFor(EjectDriveAction(env.servizi, drive).perform());
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QCOMPARE(env.avvisi.mostrati[0].titolo, QStringLiteral("Impossibile espellere ECOGRAFIE"));
        QStringList attesi{QStringLiteral("sleep"), nostroNome()};
        attesi.sort();
        QVERIFY2(env.avvisi.mostrati[0].testo.endsWith(
                     QStringLiteral("\n\nDettagli: ") + qt_error_string(EBUSY) +
                     QStringLiteral("\n\nProgrammi che usano la chiavetta: ") + attesi.join(", ")),
                 qPrintable(env.avvisi.mostrati[0].testo));
        QVERIFY(montato(punto));
        QCOMPARE(monitor.drives().size(), 1);

        aperto.close();
        dormiente.kill();
        dormiente.waitForFinished();
        QCoro::waitFor(EjectDriveAction(env.servizi, drive).perform());
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QVERIFY(!montato(punto));
        QTRY_VERIFY_WITH_TIMEOUT(monitor.drives().isEmpty(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestEject)
#include "TestEject.moc"
