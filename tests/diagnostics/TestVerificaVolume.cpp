#include "support/TestEnv.h"
#include "VerificaVolume.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace VerificaVolume;

namespace {
using TestSupport::esegui;

// A file system in an image, damaged on request as sticks get damaged: FAT with the
// dirty bit of an unclean unplug, ext4 (holding one file) with a used block marked free.
QString makeImage(const QString &dir, const QString &type, bool damaged)
{
    const QString img = dir + '/' + type + ".img";
    TestSupport::writeFile(dir + "/files/esame.jpg", "immagine");
    const QStringList mkfs = type == "fat" ? QStringList{"/usr/sbin/mkfs.fat", "-F", "32"}
                             : type == "exfat"
                                 ? QStringList{"/usr/sbin/mkfs.exfat"}
                                 : QStringList{"/usr/sbin/mkfs.ext4", "-q", "-F", "-d", dir + "/files"};
    if (!TestSupport::writeFile(img, {}) || !QFile::resize(img, 64 << 20) ||
        !esegui(mkfs.first(), mkfs.mid(1) << img))
        return {};
    QFile f(img);
    if (damaged && type == "fat" && !(f.open(QIODevice::ReadWrite) && f.seek(0x41) && f.write("\x01", 1)))
        return {};
    if (damaged && type == "ext4" && !esegui("/usr/sbin/debugfs", {"-w", "-R", "freeb 100", img}))
        return {};
    return img;
}

// What a check or a repair prints, then its exit status.
QStringList check(const QString &path, bool repair = false)
{
    QStringList lines;
    const Output out = [&](const QString &l) { lines << l; };
    const int status = repair ? repairVolume(path, out) : verifyVolume(path, out);
    return lines << QString::number(status);
}

// A loop device set up by hand stays when its file system is unmounted, as a
// stick does (mount -o loop would drop it at the first unmount).
struct LoopMount {
    QString img, mnt, device;
    bool ok = QDir().mkpath(mnt) && esegui("losetup", {"-f", "--show", img}, &device) &&
              esegui("mount", {device, mnt});
    ~LoopMount()
    {
        esegui("umount", {mnt});
        if (!device.isEmpty())
            esegui("losetup", {"-d", device});
    }
};
} // namespace

class TestVerificaVolume : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void checksAndRepairs_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("mounted");
        QTest::newRow("fat image, dirty") << "fat" << true << false;
        QTest::newRow("exfat image, clean") << "exfat" << false << false;
        QTest::newRow("ext4 mounted, block marked free") << "ext4" << true << true;
    }
    void checksAndRepairs()
    {
        QFETCH(QString, type);
        QFETCH(bool, damaged);
        QFETCH(bool, mounted);
        if (mounted && !TestSupport::isRoot())
            QSKIP("mounting a loop device needs root");
        QTemporaryDir dir;
        const QString img = makeImage(dir.path(), type, damaged);
        QVERIFY(!img.isEmpty());
        // The mount table escapes the space.
        std::optional<LoopMount> stick;
        if (mounted && !stick.emplace(img, dir.filePath("USB STICK")).ok)
            QFAIL("could not mount the image");
        const QString path = mounted ? stick->mnt : img;
        if (damaged) {
            const QByteArray before = TestSupport::readFile(img);
            QCOMPARE(
                check(path).last(2),
                (QStringList{"The volume " + path + " was found corrupt and needs to be repaired.", "1"}));
            QVERIFY2(mounted || TestSupport::readFile(img) == before, "a check wrote to the medium");
            if (mounted) {
                // A file held open: the stick cannot be unmounted, so it is left as it is.
                QFile open(path + "/esame.jpg");
                QVERIFY(open.open(QIODevice::ReadOnly));
                const QString busy = check(path, true).join('\n');
                QVERIFY2(busy.endsWith("\n1") && busy.contains("Unable to unmount " + path),
                         qPrintable(busy));
                QVERIFY(esegui("mountpoint", {"-q", path}));
            }
            QCOMPARE(check(path, true).last(2),
                     (QStringList{"The volume " + path + " was repaired successfully.", "0"}));
        }
        const QStringList again = check(path);
        QCOMPARE(again.last(2), (QStringList{"The volume " + path + " appears to be OK.", "0"}));
        // Only our progress lines carry a percent sign, and they never go back.
        QList<double> progress{0};
        for (const QString &l : again.filter("%"))
            progress << (l.startsWith("Progress: ") ? l.mid(10).chopped(1).toDouble() : -1);
        QVERIFY2(std::is_sorted(progress.begin(), progress.end()), qPrintable(again.join('\n')));
        QCOMPARE(progress.last(), type == "ext4" ? 100.0 : 0.0);
        if (mounted) {
            QVERIFY(esegui("mountpoint", {"-q", path}));
            QCOMPARE(TestSupport::readFile(path + "/esame.jpg"), QByteArray("immagine"));
        }
    }

    void refusesWhatItCannotCheck()
    {
        QTemporaryDir dir;
        const QString blank = dir.filePath("blank.img");
        TestSupport::writeFile(blank, QByteArray(1 << 20, '\0'));
        QCOMPARE(check(blank),
                 (QStringList{"The file system (unknown) of " + blank + " cannot be checked.", "1"}));
        QCOMPARE(check(dir.path(), true), (QStringList{dir.path() + " is not a mounted volume.", "1"}));
    }
};

QTEST_GUILESS_MAIN(TestVerificaVolume)
#include "TestVerificaVolume.moc"
