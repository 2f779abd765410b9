#include "app/USBMonitor.h"
#include "platform/linux/LinuxVolumeSource.h"
#include "platform/linux/MountTable.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
bool run(const QString &program, const QStringList &args, QString *out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return false;
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void link(const QString &target, const QString &linkPath)
{
    QDir().mkpath(QFileInfo(linkPath).path());
    QVERIFY(QFile::link(target, linkPath));
}

// A sysfs tree with an internal SATA disk (sda1), a USB stick that says
// removable=0 (sdb1) and an SD card reader that says removable=1 (mmcblk0p1).
void buildSysfs(const QString &sys)
{
    const QString sda = sys + "/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda";
    const QString usb = sys + "/devices/pci0000:00/0000:00:14.0/usb2/2-1";
    const QString sdb = usb + "/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
    const QString mmc = sys + "/devices/platform/mmc0/mmc0:0001/block/mmcblk0";
    TestSupport::writeFile(sda + "/removable", "0\n");
    TestSupport::writeFile(sda + "/sda1/partition", "1\n");
    TestSupport::writeFile(usb + "/speed", "5000\n");
    TestSupport::writeFile(usb + "/devnum", "3\n");
    TestSupport::writeFile(usb + "/2-1:1.0/bInterfaceClass", "08\n");
    TestSupport::writeFile(sdb + "/removable", "0\n");
    TestSupport::writeFile(sdb + "/sdb1/partition", "1\n");
    TestSupport::writeFile(mmc + "/removable", "1\n");
    TestSupport::writeFile(mmc + "/mmcblk0p1/partition", "1\n");
    link(sda + "/sda1", sys + "/dev/block/8:1");
    link(sdb + "/sdb1", sys + "/dev/block/8:17");
    link(mmc + "/mmcblk0p1", sys + "/dev/block/179:1");
}
} // namespace

class TestLinuxVolumeSource : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parsesAndUnescapesMountInfo()
    {
        const QByteArray text = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
                                "40 22 8:17 / /media/anna/PRAXIS\\04001 rw,nosuid,nodev shared:20 master:3 - "
                                "vfat /dev/sdb1 rw,uid=1000\n"
                                "41 22 0:50 / /tmp/a\\134b\\011c\\012d rw - tmpfs tmp\\040fs rw\n"
                                "garbage line\n"
                                "42 22 x:y / /bad rw - ext4 /dev/x rw\n";
        const QList<MountEntry> t = parseMountInfo(text);
        QCOMPARE(t.size(), 3);
        QCOMPARE(t.at(1).mountPoint, QString("/media/anna/PRAXIS 01"));
        QCOMPARE(t.at(1).majMin(), QString("8:17"));
        QCOMPARE(t.at(1).fsType, QString("vfat")); // optional fields before "-" are skipped
        QCOMPARE(t.at(1).source, QString("/dev/sdb1"));
        QCOMPARE(t.at(2).mountPoint, QString("/tmp/a\\b\tc\nd"));
        QCOMPARE(t.at(2).source, QString("tmp fs"));
        QCOMPARE(unescapeMountField("caf\\303\\251 \\05x"), QString("café \\05x"));
    }

    void hiddenRule_data()
    {
        QTest::addColumn<QString>("mountPoint");
        QTest::addColumn<QString>("fsType");
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("udevIgnore");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("stick under /media") << "/media/anna/STICK"
                                            << "vfat"
                                            << "rw" << false << false;
        QTest::newRow("stick under /run/media") << "/run/media/anna/STICK"
                                                << "exfat"
                                                << "rw" << false << false;
        QTest::newRow("test folder in /tmp") << "/tmp/qt-xyz/mnt"
                                             << "ext4"
                                             << "rw" << false << false;
        QTest::newRow("root") << "/"
                              << "ext4"
                              << "rw" << false << true;
        QTest::newRow("boot") << "/boot/efi"
                              << "vfat"
                              << "rw" << false << true;
        QTest::newRow("run") << "/run/user/1000"
                             << "tmpfs"
                             << "rw" << false << true;
        QTest::newRow("proc") << "/proc"
                              << "proc"
                              << "rw" << false << true;
        QTest::newRow("system type elsewhere") << "/media/x"
                                               << "sysfs"
                                               << "rw" << false << true;
        QTest::newRow("dot folder") << "/home/anna/.cache/doc"
                                    << "fuse"
                                    << "rw" << false << true;
        QTest::newRow("udisks ignore") << "/media/anna/RECOVERY"
                                       << "vfat"
                                       << "rw" << true << true;
        QTest::newRow("x-gvfs-hide") << "/media/anna/X"
                                     << "vfat"
                                     << "rw,x-gvfs-hide" << false << true;
        QTest::newRow("snap") << "/snap/core/1"
                              << "squashfs"
                              << "ro" << false << true;
    }
    void hiddenRule()
    {
        QFETCH(QString, mountPoint);
        QFETCH(QString, fsType);
        QFETCH(QString, options);
        QFETCH(bool, udevIgnore);
        QFETCH(bool, hidden);
        MountEntry e;
        e.mountPoint = mountPoint;
        e.fsType = fsType;
        e.options = options.split(',');
        QCOMPARE(isHiddenMount(e, udevIgnore), hidden);
    }

    void fixtureTreesGiveRemovableAndNames()
    {
        QTemporaryDir root;
        const QString proc = root.filePath("proc"), sys = root.filePath("sys"), runDir = root.filePath("run");
        buildSysfs(sys);
        TestSupport::writeFile(proc + "/self/mountinfo",
                               "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                               "23 22 0:22 / /proc rw - proc proc rw\n"
                               "40 22 8:17 / /media/anna/PRAXIS\\04001 rw - vfat /dev/sdb1 rw\n"
                               "41 22 179:1 / /media/anna/SD rw - exfat /dev/mmcblk0p1 rw\n"
                               "42 22 0:60 / /media/anna/tmp rw - tmpfs tmpfs rw\n");
        TestSupport::writeFile(
            runDir + "/udev/data/b8:17",
            "S:disk/by-label/PRAXIS\\x2001\nE:ID_FS_LABEL=PRAXIS_01\nE:ID_FS_LABEL_ENC=PRAXIS\\x2001\n");
        TestSupport::writeFile(runDir + "/udev/data/b179:1", "E:ID_FS_LABEL=SD_CARD\nE:UDISKS_IGNORE=1\n");

        LinuxVolumeSource src(proc, sys, runDir);
        QCOMPARE(src.mountedVolumes(false),
                 (QStringList{"/", "/proc", "/media/anna/PRAXIS 01", "/media/anna/SD", "/media/anna/tmp"}));
        QCOMPARE(src.mountedVolumes(true), (QStringList{"/media/anna/PRAXIS 01", "/media/anna/tmp"}));
        QCOMPARE(src.isRemovable("/"), std::optional<bool>(false));
        QCOMPARE(src.isRemovable("/media/anna/PRAXIS 01"), std::optional<bool>(true)); // on USB
        QCOMPARE(src.isRemovable("/media/anna/SD"), std::optional<bool>(true));        // removable flag
        QCOMPARE(src.isRemovable("/media/anna/tmp"), std::optional<bool>(false));      // no disk behind it
        QCOMPARE(src.isRemovable("/not/mounted"), std::nullopt);
        QCOMPARE(src.volumeName("/media/anna/PRAXIS 01"), std::optional<QString>("PRAXIS 01"));
        QCOMPARE(src.volumeName("/media/anna/SD"), std::optional<QString>("SD_CARD"));
        QCOMPARE(src.volumeName("/media/anna/tmp"), std::nullopt);

        // Through the monitor: the hidden SD card is not listed at start-up.
        TestEnv env;
        USBMonitor monitor(&src, env.settings.get());
        QStringList names;
        for (const auto &d : monitor.drives())
            names << d.name;
        QCOMPARE(names, QStringList{"PRAXIS 01"});
    }

    // Real mounts, real kernel notifications: ext4 images on loop devices,
    // with a sysfs view that calls the loop disks removable.
    void realMountsComeAndGo()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting loop devices needs root (CI runs as root)");
        QTemporaryDir root;
        const QString sys = root.filePath("sys"), runDir = root.filePath("run");
        QDir().mkpath(runDir);
        QStringList loops;
        auto cleanup = qScopeGuard([&] {
            for (const QString &mp : {root.filePath("mnt/A"), root.filePath("mnt/B")})
                run("umount", {mp});
            for (const QString &dev : loops)
                run("losetup", {"-d", dev});
        });
        for (const QString &name : {QString("a"), QString("b")}) {
            const QString img = root.filePath(name + ".img");
            QFile f(img);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(8 * 1024 * 1024));
            f.close();
            if (!run("mkfs.ext4", {"-q", "-F", img}))
                QSKIP("mkfs.ext4 not available");
            QString dev;
            if (!run("losetup", {"-f", "--show", img}, &dev) || dev.isEmpty())
                QSKIP("no loop device available here");
            loops << dev;
            QString majmin;
            QVERIFY(run("lsblk", {"-dno", "MAJ:MIN", dev}, &majmin));
            majmin = majmin.trimmed();
            const QString disk = sys + "/devices/virtual/block/" + QFileInfo(dev).fileName();
            TestSupport::writeFile(disk + "/removable", "1\n");
            link(disk, sys + "/dev/block/" + majmin);
            if (name == "a")
                TestSupport::writeFile(runDir + "/udev/data/b" + majmin, "E:ID_FS_LABEL_ENC=ECO\\x20A\n");
            QDir().mkpath(root.filePath("mnt/" + name.toUpper()));
        }

        TestEnv env;
        LinuxVolumeSource src("/proc", sys, runDir);
        USBMonitor monitor(&src, env.settings.get());
        QVERIFY(monitor.drives().isEmpty());

        QVERIFY(run("mount", {loops.at(0), root.filePath("mnt/A")}));
        QTRY_COMPARE_WITH_TIMEOUT(monitor.drives().size(), 1, 10000);
        QCOMPARE(monitor.drives().at(0).name, QString("ECO A"));
        QVERIFY(run("mount", {loops.at(1), root.filePath("mnt/B")}));
        QTRY_COMPARE_WITH_TIMEOUT(monitor.drives().size(), 2, 10000);
        QCOMPARE(monitor.lastDrive()->name, QString("B")); // no label: the folder's name
        QCOMPARE(monitor.lastDrive()->path(), root.filePath("mnt/B"));

        QVERIFY(run("umount", {root.filePath("mnt/A")}));
        QTRY_COMPARE_WITH_TIMEOUT(monitor.drives().size(), 1, 10000);
        QCOMPARE(monitor.drives().at(0).name, QString("B"));
        QVERIFY(run("umount", {root.filePath("mnt/B")}));
        QTRY_VERIFY_WITH_TIMEOUT(monitor.drives().isEmpty(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestLinuxVolumeSource)
#include "TestLinuxVolumeSource.moc"
