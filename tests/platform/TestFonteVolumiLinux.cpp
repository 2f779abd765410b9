#include "app/USBMonitor.h"
#include "comune/NomiFile.h"
#include "platform/linux/FonteVolumiLinux.h"
#include "support/TestEnv.h"

#include <QScopeGuard>
#include <QTest>
#include <sys/mount.h>

class TestFonteVolumiLinux : public QObject {
    Q_OBJECT
    // Records "-folder" and "+folder" for the events at `cartella`: other
    // programs on this machine mount and unmount too.
    void registra(FonteVolumi &src, QStringList &visti, const QString &cartella)
    {
        connect(&src, &FonteVolumi::volumeUnmounted, this, [&visti, cartella](const QString &p) {
            if (p == cartella)
                visti << "-" + p;
        });
        connect(&src, &FonteVolumi::volumeMounted, this, [&visti, cartella](const QString &p) {
            if (p == cartella)
                visti << "+" + p;
        });
    }

private Q_SLOTS:
    // Trees like the system's: an internal SATA disk (sda1), a USB stick that
    // says removable=0 (sdb1), an SD card reader that says removable=1 and
    // that udisks is told to ignore (mmcblk0p1), and system mounts to hide.
    void fixtureTreesGiveVisibleVolumesRemovableAndNames()
    {
        QTemporaryDir root;
        const QString proc = root.filePath("proc"), sys = root.filePath("sys"), run = root.filePath("run");
        const QString sda = sys + "/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda";
        const QString usb = sys + "/devices/pci0000:00/0000:00:14.0/usb2/2-1";
        const QString sdb = usb + "/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
        const QString mmc = sys + "/devices/platform/mmc0/mmc0:0001/block/mmcblk0";
        for (const auto &[file, text] : std::initializer_list<std::pair<QString, QByteArray>>{
                 {sda + "/removable", "0\n"},
                 {sda + "/sda1/partition", "1\n"},
                 {usb + "/speed", "5000\n"},
                 {usb + "/devnum", "3\n"},
                 {usb + "/2-1:1.0/bInterfaceClass", "08\n"},
                 {sdb + "/removable", "0\n"},
                 {sdb + "/sdb1/partition", "1\n"},
                 {mmc + "/removable", "1\n"},
                 {mmc + "/mmcblk0p1/partition", "1\n"},
                 {run + "/udev/data/b8:17", "S:disk/by-label/PRAXIS\\x2001\nE:ID_FS_LABEL=PRAXIS_01\n"
                                            "E:ID_FS_LABEL_ENC=PRAXIS\\x2001\n"},
                 {run + "/udev/data/b179:1", "E:ID_FS_LABEL=SD_CARD\nE:UDISKS_IGNORE=1\n"},
                 {proc + "/self/mountinfo",
                  "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                  "23 22 0:22 / /proc rw - proc proc rw\n"
                  "garbage line\n"
                  "24 22 8:2 / /boot/efi rw - vfat /dev/sda2 rw\n"
                  "25 22 0:25 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                  "26 22 0:26 / /home/anna/.cache/doc rw - fuse portal rw\n"
                  "27 22 7:1 / /snap/core/1 ro - squashfs /dev/loop1 ro\n"
                  "28 22 8:33 / /media/anna/X rw,x-gvfs-hide - vfat /dev/sdc1 rw\n"
                  "29 22 0:29 / /media/x rw - sysfs sysfs rw\n"
                  "40 22 8:17 / /media/anna/PRAXIS\\04001 rw,nosuid shared:20 master:3 - vfat /dev/sdb1 rw\n"
                  "41 22 179:1 / /run/media/anna/SD rw - exfat /dev/mmcblk0p1 rw\n"
                  "42 22 0:60 / /tmp/qt-xyz/a\\134b\\011c rw - tmpfs tmpfs rw\n"
                  "43 22 0:61 / /mnt/FOTO\xE9\xEF\xBB\xBF rw - tmpfs tmpfs rw\n"}})
            QVERIFY(TestSupport::writeFile(file, text));
        QDir().mkpath(sys + "/dev/block");
        QVERIFY(QFile::link(sda + "/sda1", sys + "/dev/block/8:1"));
        QVERIFY(QFile::link(sdb + "/sdb1", sys + "/dev/block/8:17"));
        QVERIFY(QFile::link(mmc + "/mmcblk0p1", sys + "/dev/block/179:1"));

        FonteVolumiLinux src(proc, sys, run);
        QCOMPARE(src.mountedVolumes(false).size(), 12);
        const QStringList visibili = src.mountedVolumes(true);
        QCOMPARE(visibili.mid(0, 2), (QStringList{"/media/anna/PRAXIS 01", "/tmp/qt-xyz/a\\b\tc"}));
        QCOMPARE(codificaNome(visibili.value(2)), QByteArray("/mnt/FOTO\xE9\xEF\xBB\xBF")); // as on the disk
        QCOMPARE(src.isRemovable("/"), false);
        QCOMPARE(src.isRemovable("/media/anna/PRAXIS 01"), true); // on USB
        QCOMPARE(src.isRemovable("/run/media/anna/SD"), true);    // removable flag
        QCOMPARE(src.isRemovable("/tmp/qt-xyz/a\\b\tc"), false);  // no disk behind it
        QCOMPARE(src.isRemovable("/not/mounted"), std::nullopt);
        QCOMPARE(src.volumeName("/media/anna/PRAXIS 01"), "PRAXIS 01");
        QCOMPARE(src.volumeName("/run/media/anna/SD"), "SD_CARD");
        QCOMPARE(src.volumeName("/tmp/qt-xyz/a\\b\tc"), std::nullopt);

        TestEnv env;
        USBMonitor monitor(&src, env.impostazioni.get());
        QCOMPARE(monitor.drives().size(), 1); // the hidden SD card is not listed at start-up
        QCOMPARE(monitor.drives().at(0).name, QString("PRAXIS 01"));
    }

    // One wake-up against the last table. An unmount and a mount at the same
    // folder is a departure and an arrival, whether the kernel reused the
    // mount ID, the device, or neither: a new stick, imported again.
    void remountAtTheSameFolderIsANewStick_data()
    {
        QTest::addColumn<QByteArray>("dopo"); // the table after the wake-up, below the root
        QTest::addColumn<QStringList>("eventi");
        QTest::addColumn<QStringList>("nomi");
        QTest::newRow("new mount ID") << QByteArray("51 22 8:17 / /media/S rw - vfat /dev/sdb1 rw\n")
                                      << QStringList{"-/media/S", "+/media/S"} << QStringList{"ALFA"};
        QTest::newRow("same ID, other device")
            << QByteArray("40 22 8:33 / /media/S rw - vfat /dev/sdc1 rw\n")
            << QStringList{"-/media/S", "+/media/S"} << QStringList{"BETA"};
        QTest::newRow("another on top") << QByteArray("40 22 8:17 / /media/S rw - vfat /dev/sdb1 rw\n52 40 "
                                                      "8:33 / /media/S rw - vfat /dev/sdc1 rw\n")
                                        << QStringList{"-/media/S", "+/media/S"} << QStringList{"BETA"};
        QTest::newRow("unmounted") << QByteArray() << QStringList{"-/media/S"} << QStringList();
    }
    void remountAtTheSameFolderIsANewStick()
    {
        QFETCH(QByteArray, dopo);
        QFETCH(QStringList, eventi);
        QFETCH(QStringList, nomi);
        QTemporaryDir root;
        const QString proc = root.filePath("proc"), sys = root.filePath("sys"), run = root.filePath("run");
        const QByteArray radice = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
        QDir().mkpath(sys + "/dev/block");
        for (const auto &[dev, disco, nome] : {std::tuple{"8:17", "sdb", "ALFA"}, {"8:33", "sdc", "BETA"}}) {
            QVERIFY(TestSupport::writeFile(QString("%1/devices/%2/removable").arg(sys, disco), "1\n"));
            QVERIFY(QFile::link(QString("%1/devices/%2").arg(sys, disco),
                                QString("%1/dev/block/%2").arg(sys, dev)));
            QVERIFY(TestSupport::writeFile(QString("%1/udev/data/b%2").arg(run, dev),
                                           QByteArray("E:ID_FS_LABEL=") + nome));
        }
        QVERIFY(TestSupport::writeFile(proc + "/self/mountinfo",
                                       radice + "40 22 8:17 / /media/S rw - vfat /dev/sdb1 rw\n"));
        FonteVolumiLinux src(proc, sys, run);
        TestEnv env;
        env.impostazioni->setAutoImport(true);
        USBMonitor monitor(&src, env.impostazioni.get());
        QList<USBDrive> importati;
        monitor.setAutoImportHandler([&](const USBDrive &d) { importati << d; });
        const QUuid primo = monitor.drives().at(0).id;
        QStringList visti;
        registra(src, visti, "/media/S");

        QVERIFY(TestSupport::writeFile(proc + "/self/mountinfo", radice + dopo));
        QVERIFY(QMetaObject::invokeMethod(&src, "tableChanged"));
        QCOMPARE(visti, eventi);
        for (int giro = 0; giro < 5; ++giro) // the monitor's changes and the import are each a turn later
            QCoreApplication::processEvents();
        QStringList elencati;
        for (const USBDrive &d : monitor.drives())
            elencati << d.name;
        QCOMPARE(elencati, nomi);
        QCOMPARE(importati.size(), int(eventi.filter("+").size()));
        if (!importati.isEmpty())
            QVERIFY(importati.last().id != primo && importati.last() == monitor.drives().last());
    }

    // The same on the real mount table: a tmpfs unmounted and mounted again at
    // its folder before the watcher wakes gets the freed mount ID and device
    // number back, and is still seen as a new mount.
    void realRemountBeforeTheWatcherWakes()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting needs root");
        QTemporaryDir dir;
        const QByteArray mp = QFile::encodeName(dir.path());
        QVERIFY(::mount("tessera-prova", mp.constData(), "tmpfs", 0, "size=1m") == 0);
        const auto smonta = qScopeGuard([&] { ::umount2(mp.constData(), MNT_DETACH); });
        FonteVolumiLinux src;
        QStringList visti;
        registra(src, visti, dir.path());
        QVERIFY(::umount(mp.constData()) == 0);
        QVERIFY(::mount("tessera-prova", mp.constData(), "tmpfs", 0, "size=1m") == 0);
        QTRY_COMPARE(visti, (QStringList{"-" + dir.path(), "+" + dir.path()}));
    }
};

QTEST_GUILESS_MAIN(TestFonteVolumiLinux)
#include "TestFonteVolumiLinux.moc"
