#include "support/TestEnv.h"
#include "VolumeCheck.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace VolumeCheck;

namespace {
bool run(const QString &program, const QStringList &args, QString *out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return false;
    if (out)
        *out = QString::fromUtf8(p.readAll()).trimmed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// An empty file system of `type` in an image file (fat: with its dirty bit set
// when `dirty`, as an unclean unplug leaves it; ext4: with a used block marked
// free when `dirty`).
QString makeImage(const QTemporaryDir &dir, const QString &type, bool dirty)
{
    const QString img = dir.filePath(type + ".img");
    QFile f(img);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(64 * 1048576))
        return {};
    f.close();
    if (type == "fat") {
        if (!run("/usr/sbin/mkfs.fat", {"-F", "32", "-n", "USB", img}))
            return {};
        if (dirty) {
            f.open(QIODevice::ReadWrite);
            f.seek(0x41);
            f.write("\x01", 1);
        }
    } else if (type == "exfat") {
        if (!run("/usr/sbin/mkfs.exfat", {img}))
            return {};
    } else {
        if (!run("/usr/sbin/mkfs.ext4", {"-q", "-F", img}))
            return {};
        if (dirty && !run("/usr/sbin/debugfs", {"-w", "-R", "freeb 100", img}))
            return {};
    }
    return img;
}

// A loop device set up by hand stays when its file system is unmounted, as a
// stick does (mount -o loop would drop it at the first unmount).
struct LoopMount {
    LoopMount(const QString &img, const QString &mnt) : mnt(mnt)
    {
        QDir().mkpath(mnt);
        ok = run("losetup", {"-f", "--show", img}, &device) && run("mount", {device, mnt});
    }
    ~LoopMount()
    {
        run("umount", {mnt});
        if (!device.isEmpty())
            run("losetup", {"-d", device});
    }
    QString mnt;
    QString device;
    bool ok = false;
};

struct Captured {
    QStringList lines;
    Output sink()
    {
        return [this](const QString &l) { lines << l; };
    }
    QString all() const { return lines.join('\n'); }
};
} // namespace

class TestVolumeCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void checkers_data()
    {
        QTest::addColumn<QString>("fsType");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("repair");
        QTest::newRow("vfat") << "vfat"
                              << "fsck.fat -n D"
                              << "fsck.fat -a D";
        QTest::newRow("msdos") << "msdos"
                               << "fsck.fat -n D"
                               << "fsck.fat -a D";
        QTest::newRow("exfat") << "exfat"
                               << "fsck.exfat -n D"
                               << "fsck.exfat -p D";
        QTest::newRow("ext4") << "ext4"
                              << "e2fsck -f -n -C 1 D"
                              << "e2fsck -f -p -C 1 D";
        QTest::newRow("ntfs") << "ntfs"
                              << ""
                              << "";
        QTest::newRow("unknown") << ""
                                 << ""
                                 << "";
    }
    void checkers()
    {
        QFETCH(QString, fsType);
        QFETCH(QString, check);
        QFETCH(QString, repair);
        const auto checker = checkerFor(fsType);
        QCOMPARE(bool(checker), !check.isEmpty());
        if (!checker)
            return;
        auto text = [](const Command &c) { return (QStringList{c.program} + c.args).join(' '); };
        QCOMPARE(text(checkCommand(*checker, "D")), check);
        QCOMPARE(text(repairCommand(*checker, "D")), repair);
    }

    void e2fsckProgressLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("percent"); // -1: not a progress line
        QTest::newRow("start") << "1 0 8 /dev/sdb1" << 0.0;
        QTest::newRow("end of pass 1") << "1 8 8 /dev/sdb1" << 70.0;
        QTest::newRow("half of pass 2") << "2 5 10 /dev/sdb1" << 80.0;
        QTest::newRow("end") << "5 16 16 /dev/sdb1" << 100.0;
        QTest::newRow("zero total") << "3 0 0 x.img" << 90.0;
        QTest::newRow("pass header") << "Pass 1: Checking inodes, blocks, and sizes" << -1.0;
        QTest::newRow("pass 6") << "6 1 1 /dev/sdb1" << -1.0;
        QTest::newRow("summary") << "x.img: 11/16384 files (0.0% non-contiguous), 9513/65536 blocks" << -1.0;
    }
    void e2fsckProgressLines()
    {
        QFETCH(QString, line);
        QFETCH(double, percent);
        QCOMPARE(e2fsckProgress(line).value_or(-1.0), percent);
    }

    void findsWhatAPathIs()
    {
        QTemporaryDir dir;
        const QString img = dir.filePath("stick.img");
        TestSupport::writeFile(img, "x");
        const QString mnt = dir.filePath("USB STICK");
        QDir().mkpath(mnt);
        const QString escaped = QString(mnt).replace(" ", "\\040");
        const QByteArray info = ("36 25 7:0 / " + escaped + " rw,nosuid,nodev,relatime shared:1 - vfat " +
                                 img + " rw,fmask=0022,dmask=0022,uid=1000,codepage=437,errors=remount-ro\n" +
                                 "37 25 0:40 / " + dir.path() + " rw - tmpfs tmpfs rw,size=1024k\n")
                                    .toUtf8();
        const auto probe = [](const QString &) { return QStringLiteral("exfat"); };
        QString error;

        const auto mounted = findTarget(mnt, parseMountInfo(info), probe, &error);
        QVERIFY(mounted);
        QCOMPARE(mounted->device, img);
        QCOMPARE(mounted->fsType, "vfat");
        QCOMPARE(mounted->mountPoint, mnt);
        QCOMPARE(mounted->mountOptions,
                 (QStringList{"rw", "nosuid", "nodev", "relatime", "fmask=0022", "dmask=0022", "uid=1000",
                              "codepage=437", "errors=remount-ro"}));

        const auto image = findTarget(img, {}, probe, &error);
        QVERIFY(image);
        QCOMPARE(image->fsType, "exfat");
        QVERIFY(image->mountPoint.isEmpty());

        QVERIFY(!findTarget(dir.path(), parseMountInfo(info), probe, &error));
        QCOMPARE(error, dir.path() + " is not on a disk that can be checked (tmpfs).");
        QVERIFY(!findTarget(dir.filePath("elsewhere"), {}, probe, &error));
        QDir().mkpath(dir.filePath("plain"));
        QVERIFY(!findTarget(dir.filePath("plain"), parseMountInfo(info), probe, &error));
        QCOMPARE(error, dir.filePath("plain") + " is not a mounted volume.");
    }

    void checksAndRepairsImages_data()
    {
        QTest::addColumn<QString>("type");
        QTest::newRow("fat") << "fat";
        QTest::newRow("ext4") << "ext4";
    }
    void checksAndRepairsImages()
    {
        QFETCH(QString, type);
        QTemporaryDir dir;
        const QString img = makeImage(dir, type, true);
        QVERIFY(!img.isEmpty());

        Captured verify;
        QCOMPARE(verifyVolume(img, verify.sink()), 1);
        QVERIFY2(verify.lines.last().endsWith("was found corrupt and needs to be repaired."),
                 qPrintable(verify.all()));
        QVERIFY(!verify.all().contains("appears to be OK"));

        Captured repair;
        QCOMPARE(repairVolume(img, repair.sink()), 0);
        QCOMPARE(repair.lines.last(), "The volume " + img + " was repaired successfully.");

        Captured again;
        QCOMPARE(verifyVolume(img, again.sink()), 0);
        QCOMPARE(again.lines.last(), "The volume " + img + " appears to be OK.");
        // Only our progress lines carry a percent sign.
        for (const QString &l : again.lines)
            QVERIFY2(!l.contains('%') || l.startsWith("Progress: "), qPrintable(l));
        if (type == "ext4")
            QVERIFY(again.lines.contains("Progress: 100%"));
    }

    void cleanExfat()
    {
        QTemporaryDir dir;
        const QString img = makeImage(dir, "exfat", false);
        QVERIFY(!img.isEmpty());
        Captured out;
        QCOMPARE(verifyVolume(img, out.sink()), 0);
        QVERIFY(out.all().contains("appears to be OK"));
    }

    void refusesWhatItCannotCheck()
    {
        QTemporaryDir dir;
        const QString img = dir.filePath("blank.img");
        TestSupport::writeFile(img, QByteArray(1 << 20, '\0'));
        Captured out;
        QCOMPARE(verifyVolume(img, out.sink()), 1);
        QCOMPARE(out.all(), "The file system (unknown) of " + img + " cannot be checked.");
    }

    void unmountsAndMountsAgainAroundTheCheck()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a loop device needs root");
        QTemporaryDir dir;
        const QString img = makeImage(dir, "ext4", false);
        const QString mnt = dir.filePath("USB");
        {
            LoopMount first(img, mnt);
            QVERIFY(first.ok);
            TestSupport::writeFile(mnt + "/esame.jpg", "immagine");
        }
        // A used block marked free: damage e2fsck -p mends by itself.
        QVERIFY(run("/usr/sbin/debugfs", {"-w", "-R", "freeb 100", img}));
        LoopMount stick(img, mnt);
        QVERIFY(stick.ok);

        Captured verify;
        QCOMPARE(verifyVolume(mnt, verify.sink()), 1);
        QVERIFY(run("mountpoint", {"-q", mnt}));

        Captured repair;
        QCOMPARE(repairVolume(mnt, repair.sink()), 0);
        QCOMPARE(repair.lines.last(), "The volume " + mnt + " was repaired successfully.");
        QVERIFY(run("mountpoint", {"-q", mnt}));
        QCOMPARE(TestSupport::readFile(mnt + "/esame.jpg"), QByteArray("immagine"));

        Captured again;
        QCOMPARE(verifyVolume(mnt, again.sink()), 0);
        QVERIFY(again.all().contains("appears to be OK"));
    }

    void busyVolumeIsNotChecked()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a loop device needs root");
        QTemporaryDir dir;
        const QString img = makeImage(dir, "ext4", false);
        const QString mnt = dir.filePath("USB");
        LoopMount stick(img, mnt);
        QVERIFY(stick.ok);
        QFile open(mnt + "/aperto.txt");
        QVERIFY(open.open(QIODevice::WriteOnly));

        Captured out;
        QCOMPARE(repairVolume(mnt, out.sink()), 1);
        QVERIFY2(out.all().contains("Unable to unmount " + mnt), qPrintable(out.all()));
        QVERIFY(run("mountpoint", {"-q", mnt}));
    }
};

QTEST_GUILESS_MAIN(TestVolumeCheck)
#include "TestVolumeCheck.moc"
