#include "support/TestEnv.h"
#include "UsbTree.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A USB device folder under <sys>/devices/<where>, with its link in bus/usb/devices,
// laid out as the kernel does.
QString addDevice(const QString &sys, const QString &where, const QMap<QString, QByteArray> &attributes)
{
    const QString path = sys + "/devices/" + where;
    QDir().mkpath(path);
    for (auto it = attributes.begin(); it != attributes.end(); ++it)
        TestSupport::writeFile(path + '/' + it.key(), it.value() + '\n');
    QDir().mkpath(sys + "/bus/usb/devices");
    QFile::link(path, sys + "/bus/usb/devices/" + QFileInfo(path).fileName());
    return path;
}

void addDisk(const QString &device, const QString &interfaceName, const QString &disk, qint64 sectors,
             const QStringList &partitions)
{
    const QString intf = device + '/' + interfaceName;
    QDir().mkpath(intf);
    QFile::link(intf, QFileInfo(device).path() + "/../../bus/usb/devices/" + interfaceName);
    const QString block = intf + "/host6/target6:0:0/6:0:0:" + disk.right(1) + "/block/" + disk;
    TestSupport::writeFile(block + "/size", QByteArray::number(sectors) + '\n');
    for (const QString &p : partitions)
        TestSupport::writeFile(block + '/' + p + "/partition", "1\n");
}

// Two buses. Bus 1 (USB 2): a keyboard on port 2, a stick on port 3, a card
// reader with two slotMedia on port 10 and a mouse on port 9. Bus 2 (USB 3): a stick
// three hubs deep (2-1 -> 2-1.4 -> 2-1.4.3 -> 2-1.4.3.1).
void buildTree(const QString &sys)
{
    const QString pci = "pci0000:00/0000:00:14.0/";
    addDevice(sys, pci + "usb1",
              {{"speed", "480"}, {"bDeviceClass", "09"}, {"product", "EHCI Host Controller"}});
    addDevice(sys, pci + "usb1/1-2", {{"speed", "1.5"}, {"product", "Keyboard"}});
    const QString stick = addDevice(sys, pci + "usb1/1-3",
                                    {{"speed", "480"},
                                     {"product", "Flash Disk"},
                                     {"manufacturer", "Generic"},
                                     {"idVendor", "058F"},
                                     {"idProduct", "6387"},
                                     {"serial", "A1B2"}});
    addDisk(stick, "1-3:1.0", "sdb", 31116288, {"sdb1"});
    addDevice(sys, pci + "usb1/1-9", {{"speed", "12"}, {"product", "Mouse"}});
    const QString reader = addDevice(sys, pci + "usb1/1-10", {{"speed", "480"}, {"product", "Card Reader"}});
    addDisk(reader, "1-10:1.0", "sdd", 0, {});
    addDisk(reader, "1-10:1.0", "sde", 15523840, {"sde1", "sde2"});

    addDevice(sys, pci + "usb2",
              {{"speed", "10000"}, {"bDeviceClass", "09"}, {"product", "xHCI Host Controller"}});
    addDevice(sys, pci + "usb2/2-1", {{"speed", "5000"}, {"bDeviceClass", "09"}});
    addDevice(sys, pci + "usb2/2-1/2-1.4", {{"speed", "5000"}, {"bDeviceClass", "09"}});
    addDevice(sys, pci + "usb2/2-1/2-1.4/2-1.4.3", {{"speed", "5000"}, {"bDeviceClass", "09"}});
    const QString deep = addDevice(sys, pci + "usb2/2-1/2-1.4/2-1.4.3/2-1.4.3.1",
                                   {{"speed", "10000"}, {"product", "Extreme Pro"}});
    addDisk(deep, "2-1.4.3.1:1.0", "sdc", 250069680, {"sdc1"});
}

QJsonObject child(const QJsonObject &node, int i)
{
    return node.value("_items").toArray().at(i).toObject();
}

QStringList names(const QJsonObject &node)
{
    QStringList out;
    for (const QJsonValue &v : node.value("_items").toArray())
        out << v.toObject().value("location_id").toString();
    return out;
}

QString toolPath()
{
    return QStringLiteral(TESSERA_BUILD_TOOLS_DIR "/tessera-system-profiler");
}
} // namespace

class TestProfiloUsb : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void speedNames_data()
    {
        QTest::addColumn<QString>("sysfs");
        QTest::addColumn<QString>("name");
        QTest::newRow("1.5") << "1.5"
                             << "low_speed";
        QTest::newRow("12") << "12"
                            << "full_speed";
        QTest::newRow("480 with newline") << "480\n"
                                          << "high_speed";
        QTest::newRow("5000") << "5000"
                              << "super_speed";
        QTest::newRow("10000") << "10000"
                               << "super_speed_plus";
        QTest::newRow("20000") << "20000"
                               << "super_speed_plus";
        QTest::newRow("wireless 53") << "53"
                                     << "";
        QTest::newRow("missing") << ""
                                 << "";
        QTest::newRow("unknown word") << "UNKNOWN"
                                      << "";
    }
    void speedNames()
    {
        QFETCH(QString, sysfs);
        QFETCH(QString, name);
        QCOMPARE(deviceSpeedName(sysfs), name);
    }

    void nestsDevicesUnderTheirHubs()
    {
        QTemporaryDir dir;
        buildTree(dir.path());
        const QJsonArray buses = usbReport(readUsbDevices(dir.path())).value("SPUSBDataType").toArray();
        QCOMPARE(buses.size(), 2);

        const QJsonObject bus1 = buses.at(0).toObject();
        QCOMPARE(bus1.value("host_controller").toString(), "EHCI Host Controller");
        QVERIFY(!bus1.contains("device_speed"));
        // Ports in numeric order: 10 after 9.
        QCOMPARE(names(bus1), (QStringList{"1-2", "1-3", "1-9", "1-10"}));
        QCOMPARE(child(bus1, 0).value("device_speed").toString(), "low_speed");
        QCOMPARE(child(bus1, 2).value("device_speed").toString(), "full_speed");

        const QJsonObject stick = child(bus1, 1);
        QCOMPARE(stick.value("_name").toString(), "Flash Disk");
        QCOMPARE(stick.value("device_speed").toString(), "high_speed");
        QCOMPARE(stick.value("vendor_id").toString(), "0x058f");
        QCOMPARE(stick.value("serial_num").toString(), "A1B2");
        const QJsonObject medium = stick.value("Media").toArray().at(0).toObject();
        QCOMPARE(medium.value("bsd_name").toString(), "sdb");
        QCOMPARE(medium.value("size_in_bytes").toInteger(), 31116288LL * 512);
        QCOMPARE(medium.value("volumes").toArray().at(0).toObject().value("bsd_name").toString(), "sdb1");

        const QJsonArray slotMedia = child(bus1, 3).value("Media").toArray();
        QCOMPARE(slotMedia.size(), 2);
        QCOMPARE(slotMedia.at(0).toObject().value("bsd_name").toString(), "sdd");
        QVERIFY(!slotMedia.at(0).toObject().contains("volumes"));
        QCOMPARE(slotMedia.at(1).toObject().value("volumes").toArray().size(), 2);

        QJsonObject node = buses.at(1).toObject();
        for (const char *hub : {"2-1", "2-1.4", "2-1.4.3"}) {
            QCOMPARE(names(node), QStringList{hub});
            node = child(node, 0);
            QCOMPARE(node.value("_name").toString(), "USB Hub");
            QVERIFY(!node.contains("Media"));
        }
        QCOMPARE(names(node), QStringList{"2-1.4.3.1"});
        const QJsonObject deep = child(node, 0);
        QCOMPARE(deep.value("device_speed").toString(), "super_speed_plus");
        QCOMPARE(deep.value("Media").toArray().at(0).toObject().value("bsd_name").toString(), "sdc");
    }

    void oddTrees()
    {
        // A device with a speed the profiler has no word for, and one whose hub
        // and bus are missing from the listing: both are reported, nothing is lost.
        QTemporaryDir dir;
        addDevice(dir.path(), "usb3", {{"speed", "480"}});
        addDevice(dir.path(), "usb3/3-1", {{"speed", "53"}, {"product", "Wireless"}});
        addDevice(dir.path(), "elsewhere/4-2.1", {{"speed", "12"}});
        const QJsonArray top = usbReport(readUsbDevices(dir.path())).value("SPUSBDataType").toArray();
        QCOMPARE(top.size(), 2);
        QVERIFY(!child(top.at(0).toObject(), 0).contains("device_speed"));
        QCOMPARE(top.at(1).toObject().value("location_id").toString(), "4-2.1");

        QTemporaryDir empty;
        QCOMPARE(usbReport(readUsbDevices(empty.path())), (QJsonObject{{"SPUSBDataType", QJsonArray()}}));
    }

    void toolAnswersOnlyItsQuestion()
    {
        QTemporaryDir dir;
        buildTree(dir.path());
        QProcess p;
        p.start(toolPath(), {"--sysfs-root", dir.path(), "SPUSBDataType", "-json"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(doc.object(), usbReport(readUsbDevices(dir.path())));

        p.start(toolPath(), {"SPStorageDataType", "-json"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProfiloUsb)
#include "TestProfiloUsb.moc"
