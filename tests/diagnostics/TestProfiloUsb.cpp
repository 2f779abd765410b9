#include "diagnostics/VelocitaConnessione.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace StrumentiDiagnostica;
using Etichetta = std::optional<QString>;

namespace {
// A USB device folder as the kernel lays it out, linked from bus/usb/devices, with its disks
// (each with one partition) behind a mass-storage interface. No product: a hub.
void addDevice(const QString &sys, const QString &where, const QByteArray &speed,
               const QByteArray &product = {}, const QStringList &disks = {})
{
    const QString path = sys + "/devices/" + where, name = QFileInfo(path).fileName();
    TestSupport::writeFile(path + "/speed", speed + '\n');
    TestSupport::writeFile(path + (product.isEmpty() ? "/bDeviceClass" : "/product"),
                           (product.isEmpty() ? "09" : product) + '\n');
    QDir().mkpath(sys + "/bus/usb/devices");
    QFile::link(path, sys + "/bus/usb/devices/" + name);
    for (const QString &disk : disks) {
        QFile::link(path + '/' + name + ":1.0", sys + "/bus/usb/devices/" + name + ":1.0");
        const QString block = path + '/' + name + ":1.0/host6/target6:0:0/6:0:0:0/block/" + disk;
        TestSupport::writeFile(block + "/size", "31116288\n");
        TestSupport::writeFile(block + '/' + disk + "1/partition", "1\n");
    }
}
} // namespace

class TestProfiloUsb : public QObject {
    Q_OBJECT
    QTemporaryDir sys;
    QString report; // what the stand-in answers on the tree below

private Q_SLOTS:
    void initTestCase()
    {
        addDevice(sys.path(), "usb1", "480");
        addDevice(sys.path(), "usb1/1-2", "1.5", "Old Reader", {"sdk"});
        addDevice(sys.path(), "usb1/1-3", "480", "Flash Disk", {"sdb"});
        addDevice(sys.path(), "usb1/1-10", "480", "Card Reader", {"sdd", "sde"});
        addDevice(sys.path(), "usb2", "10000");
        addDevice(sys.path(), "usb2/2-1", "5000");
        addDevice(sys.path(), "usb2/2-1/2-1.4", "5000");
        addDevice(sys.path(), "usb2/2-1/2-1.4/2-1.4.3", "5000");
        addDevice(sys.path(), "usb2/2-1/2-1.4/2-1.4.3/2-1.4.3.1", "10000", "Extreme Pro", {"sdc"});
        addDevice(sys.path(), "usb2/2-1/2-1.4/2-1.4.2", "5000", "Stick", {"sdf"});
        addDevice(sys.path(), "usb2/2-2", "53", "Wireless", {"sdg"});
        addDevice(sys.path(), "elsewhere/4-2.1", "12", "Orphan", {"sdh"}); // its hub is not listed
        QProcess p;
        p.start(TESSERA_BUILD_TOOLS_DIR "/tessera-system-profiler",
                {"--sysfs-root", sys.path(), "SPUSBDataType", "-json"});
        QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
        report = QString::fromUtf8(p.readAllStandardOutput());
    }

    // The link speed the tree search finds for each disk in the stand-in's report.
    void cerca_data()
    {
        QTest::addColumn<QString>("disco");
        QTest::addColumn<Etichetta>("etichetta");
        QTest::newRow("USB 1.0") << "sdk" << Etichetta("USB 1.0 — 1,5 Mb/s (molto lenta)");
        QTest::newRow("USB 2.0") << "sdb" << Etichetta("USB 2.0 — 480 Mb/s (max reale ~35 MB/s)");
        QTest::newRow("second slot") << "sde" << Etichetta("USB 2.0 — 480 Mb/s (max reale ~35 MB/s)");
        QTest::newRow("three hubs deep") << "sdc" << Etichetta("USB 3.1/3.2 — 10 Gb/s o più");
        QTest::newRow("USB 3.0") << "sdf" << Etichetta("USB 3.0 — 5 Gb/s (max reale ~400 MB/s)");
        QTest::newRow("no speed word") << "sdg" << Etichetta("connessione: sconosciuta");
        QTest::newRow("hub not listed") << "sdh" << Etichetta("USB 1.1 — 12 Mb/s (lenta)");
        QTest::newRow("a partition") << "sdb1" << Etichetta();
    }
    void cerca()
    {
        QFETCH(QString, disco);
        QFETCH(Etichetta, etichetta);
        QCOMPARE(velocitaDaProfilo(report, disco), etichetta);
    }
};

QTEST_GUILESS_MAIN(TestProfiloUsb)
#include "TestProfiloUsb.moc"
