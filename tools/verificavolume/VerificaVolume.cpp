#include "VerificaVolume.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <unistd.h>

namespace VerificaVolume {

namespace {
// Ordinary users often have no sbin folders in PATH, where the checkers live.
QString program(const QString &name)
{
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                      QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
    return found.isEmpty() ? name : found;
}

struct RunResult {
    bool started = false;
    int status = -1;
    QString output;
};

// Runs a command, handing each line it prints to `out` as it arrives.
RunResult run(const Command &cmd, const Output &out, bool e2fsckProgressLines)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program(cmd.program), cmd.args);
    RunResult r;
    if (!p.waitForStarted(-1)) {
        out(QStringLiteral("%1 could not be started: %2").arg(cmd.program, p.errorString()));
        return r;
    }
    r.started = true;
    int lastPercent = -1;
    QByteArray pending;
    auto emitLine = [&](const QByteArray &raw) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty())
            return;
        r.output += line + u'\n';
        if (e2fsckProgressLines) {
            if (auto percent = e2fsckProgress(line)) {
                if (int(*percent) != lastPercent) {
                    lastPercent = int(*percent);
                    out(QStringLiteral("Progress: %1%").arg(lastPercent));
                }
                return;
            }
        }
        out(neutralisePercent(line));
    };
    for (;;) {
        const bool more = p.waitForReadyRead(-1);
        pending += p.readAll();
        qsizetype nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            emitLine(pending.left(nl));
            pending.remove(0, nl + 1);
        }
        if (!more)
            break;
    }
    p.waitForFinished(-1);
    pending += p.readAll();
    for (const QByteArray &line : pending.split('\n'))
        emitLine(line);
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 128 + 9;
    return r;
}

QString probeWithBlkid(const QString &device)
{
    QProcess p;
    p.start(program(QStringLiteral("blkid")),
            {QStringLiteral("-p"), QStringLiteral("-o"), QStringLiteral("value"), QStringLiteral("-s"),
             QStringLiteral("TYPE"), device});
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

bool isBlockOrImage(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

// --- UDisks2, for an ordinary user: the daemon unmounts, checks and mounts. ---

const QString udisks = QStringLiteral("org.freedesktop.UDisks2");
const QString filesystemIface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
constexpr int longCall = 4 * 60 * 60 * 1000; // a check of a large, slow stick takes long

QVariantMap noPrompt()
{
    return {{QStringLiteral("auth.no_user_interaction"), true}};
}

QDBusMessage callUdisks(const QString &object, const QString &iface, const QString &method,
                        const QVariantList &args, int timeout = -1)
{
    QDBusMessage m = QDBusMessage::createMethodCall(udisks, object, iface, method);
    m.setArguments(args);
    return QDBusConnection::systemBus().call(m, QDBus::Block, timeout);
}

QString udisksObjectFor(const QString &device, const Output &out)
{
    const QDBusMessage reply = callUdisks(
        QStringLiteral("/org/freedesktop/UDisks2/Manager"), QStringLiteral("org.freedesktop.UDisks2.Manager"),
        QStringLiteral("ResolveDevice"), {QVariantMap{{QStringLiteral("path"), device}}, QVariantMap{}});
    if (reply.type() == QDBusMessage::ErrorMessage) {
        out(QStringLiteral("UDisks2 does not answer for %1: %2").arg(device, reply.errorMessage()));
        return {};
    }
    const auto objects = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().value(0));
    if (objects.isEmpty()) {
        out(QStringLiteral("UDisks2 does not know %1.").arg(device));
        return {};
    }
    return objects.first().path();
}

// 1 = consistent / repaired, 0 = not, -1 = the call failed (message printed).
int udisksCheckOrRepair(const QString &object, const QString &method, const Output &out)
{
    const QDBusMessage reply = callUdisks(object, filesystemIface, method, {noPrompt()}, longCall);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        out(reply.errorMessage());
        return -1;
    }
    return reply.arguments().value(0).toBool() ? 1 : 0;
}

int udisksRun(const Target &t, Checker checker, bool repair, const QString &shown, const Output &out)
{
    const QString object = udisksObjectFor(t.device, out);
    if (object.isEmpty())
        return 1;
    if (!t.mountPoint.isEmpty()) {
        const QDBusMessage reply =
            callUdisks(object, filesystemIface, QStringLiteral("Unmount"), {noPrompt()});
        if (reply.type() == QDBusMessage::ErrorMessage) {
            out(QStringLiteral("Unable to unmount %1: %2").arg(t.mountPoint, reply.errorMessage()));
            return 1;
        }
    }
    int result =
        udisksCheckOrRepair(object, repair ? QStringLiteral("Repair") : QStringLiteral("Check"), out);
    // fsck.vfat -a says 1 when it changed something, which UDisks2 turns into an
    // error; a clean check afterwards tells a repaired volume from a broken one.
    if (repair && (result == 1 || (result == -1 && checker == Checker::fat)))
        result = udisksCheckOrRepair(object, QStringLiteral("Check"), out);
    if (!t.mountPoint.isEmpty()) {
        const QDBusMessage reply = callUdisks(object, filesystemIface, QStringLiteral("Mount"), {noPrompt()});
        if (reply.type() == QDBusMessage::ErrorMessage) {
            out(QStringLiteral("Unable to mount %1 again: %2").arg(t.device, reply.errorMessage()));
            return 1;
        }
        out(QStringLiteral("Mounted again at %1.").arg(reply.arguments().value(0).toString()));
    }
    if (result == 1) {
        out(repair ? QStringLiteral("The volume %1 was repaired successfully.").arg(shown)
                   : QStringLiteral("The volume %1 appears to be OK.").arg(shown));
        return 0;
    }
    out(repair ? QStringLiteral("The volume %1 could not be repaired.").arg(shown)
               : QStringLiteral("The volume %1 was found corrupt and needs to be repaired.").arg(shown));
    return 1;
}

// --- As root: unmount, run the checker on the device, mount again. ---

bool unmount(const Target &t, const Output &out)
{
    RunResult r = run({QStringLiteral("umount"), {t.mountPoint}}, out, false);
    if (r.started && r.status == 0)
        return true;
    out(QStringLiteral("Unable to unmount %1; close the files open on it and try again.").arg(t.mountPoint));
    return false;
}

bool mountAgain(const Target &t, const Output &out)
{
    QDir().mkpath(t.mountPoint);
    QStringList args{QStringLiteral("-t"), t.fsType};
    if (!t.mountOptions.isEmpty())
        args << QStringLiteral("-o") << t.mountOptions.join(u',');
    args << t.device << t.mountPoint;
    RunResult r = run({QStringLiteral("mount"), args}, out, false);
    if (r.started && r.status == 0)
        return true;
    out(QStringLiteral("Unable to mount %1 again at %2.").arg(t.device, t.mountPoint));
    return false;
}

int directRun(const Target &t, Checker checker, bool repair, const QString &shown, const Output &out)
{
    if (!t.mountPoint.isEmpty() && !unmount(t, out))
        return 1;
    const bool e2 = checker == Checker::ext;
    bool ok;
    int status;
    if (repair) {
        RunResult r = run(repairCommand(checker, t.device), out, e2);
        status = r.status;
        ok = r.started && repairExitAccepted(checker, r.status);
        if (ok) {
            out(QStringLiteral("Checking the repaired file system."));
            r = run(checkCommand(checker, t.device), out, e2);
            status = r.status;
            ok = r.started && r.status == 0;
        }
    } else {
        const RunResult r = run(checkCommand(checker, t.device), out, e2);
        status = r.status;
        ok = r.started && r.status == 0;
    }
    const bool mounted = t.mountPoint.isEmpty() || mountAgain(t, out);
    if (ok && mounted) {
        out(repair ? QStringLiteral("The volume %1 was repaired successfully.").arg(shown)
                   : QStringLiteral("The volume %1 appears to be OK.").arg(shown));
        return 0;
    }
    if (!ok) {
        out(QStringLiteral("File system check exit code is %1.").arg(status));
        out(repair ? QStringLiteral("The volume %1 could not be repaired.").arg(shown)
                   : QStringLiteral("The volume %1 was found corrupt and needs to be repaired.").arg(shown));
    }
    return 1;
}

int checkOrRepair(const QString &path, bool repair, const Output &out, const Environment &env)
{
    QString error;
    const std::optional<Target> t =
        findTarget(path, leggiTabellaMontaggi(env.mountInfo), probeWithBlkid, &error);
    if (!t) {
        out(error);
        return 1;
    }
    const std::optional<Checker> checker = checkerFor(t->fsType);
    if (!checker) {
        out(QStringLiteral("The file system %1 of %2 cannot be checked.")
                .arg(t->fsType.isEmpty() ? QStringLiteral("(unknown)") : t->fsType, path));
        return 1;
    }
    out(QStringLiteral("Started file system %1 on %2 (%3)")
            .arg(repair ? QStringLiteral("repair") : QStringLiteral("verification"), t->device, t->fsType));
    // An image file belongs to whoever may write it; a device needs root or UDisks2.
    const bool viaUdisks = !env.root && !QFileInfo(t->device).isFile();
    return viaUdisks ? udisksRun(*t, *checker, repair, path, out)
                     : directRun(*t, *checker, repair, path, out);
}
} // namespace

std::optional<Checker> checkerFor(const QString &fsType)
{
    static const QStringList fat{QStringLiteral("vfat"),  QStringLiteral("fat"),   QStringLiteral("msdos"),
                                 QStringLiteral("fat12"), QStringLiteral("fat16"), QStringLiteral("fat32")};
    static const QStringList ext{QStringLiteral("ext2"), QStringLiteral("ext3"), QStringLiteral("ext4")};
    if (fat.contains(fsType))
        return Checker::fat;
    if (fsType == QLatin1String("exfat"))
        return Checker::exfat;
    if (ext.contains(fsType))
        return Checker::ext;
    return std::nullopt;
}

Command checkCommand(Checker checker, const QString &device)
{
    switch (checker) {
    case Checker::fat:
        return {QStringLiteral("fsck.fat"), {QStringLiteral("-n"), device}};
    case Checker::exfat:
        return {QStringLiteral("fsck.exfat"), {QStringLiteral("-n"), device}};
    case Checker::ext:
        break;
    }
    return {QStringLiteral("e2fsck"),
            {QStringLiteral("-f"), QStringLiteral("-n"), QStringLiteral("-C"), QStringLiteral("1"), device}};
}

Command repairCommand(Checker checker, const QString &device)
{
    // Only the automatic, safe repairs: nothing a person would have to confirm.
    switch (checker) {
    case Checker::fat:
        return {QStringLiteral("fsck.fat"), {QStringLiteral("-a"), device}};
    case Checker::exfat:
        return {QStringLiteral("fsck.exfat"), {QStringLiteral("-p"), device}};
    case Checker::ext:
        break;
    }
    return {QStringLiteral("e2fsck"),
            {QStringLiteral("-f"), QStringLiteral("-p"), QStringLiteral("-C"), QStringLiteral("1"), device}};
}

bool repairExitAccepted(Checker checker, int status)
{
    if (checker == Checker::fat)
        return status == 0 || status == 1;
    return status >= 0 && status <= 2;
}

std::optional<double> e2fsckProgress(const QString &line)
{
    static const QRegularExpression re(QStringLiteral("^([1-5]) (\\d+) (\\d+) \\S+$"));
    const QRegularExpressionMatch m = re.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    static const double passEnd[] = {0, 70, 90, 92, 95, 100};
    const int pass = m.captured(1).toInt();
    const double current = m.captured(2).toDouble();
    const double max = m.captured(3).toDouble();
    const double share = max > 0 ? std::min(current / max, 1.0) : 0;
    return passEnd[pass - 1] + (passEnd[pass] - passEnd[pass - 1]) * share;
}

QString neutralisePercent(const QString &line)
{
    QString copy = line;
    return copy.replace(QStringLiteral("%"), QStringLiteral(" percent"));
}

QStringList remountOptions(const VoceMontaggio &entry)
{
    QStringList options = entry.opzioni;
    // FUSE file systems keep their helper's own options in the super options.
    if (!entry.tipo.startsWith(QStringLiteral("fuse"))) {
        for (const QString &o : entry.opzioniSuperblocco)
            if (!options.contains(o) && o != QLatin1String("rw") && o != QLatin1String("ro") &&
                o != QLatin1String("seclabel"))
                options << o;
    }
    return options;
}

std::optional<Target> findTarget(const QString &path, const QList<VoceMontaggio> &mounts,
                                 const std::function<QString(const QString &)> &probeType, QString *error)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) {
        *error = QStringLiteral("Unable to find %1.").arg(path);
        return std::nullopt;
    }
    // The last entry for a mount point is the one on top.
    for (auto it = mounts.crbegin(); it != mounts.crend(); ++it) {
        if (QDir::cleanPath(it->puntoMontaggio) != canonical)
            continue;
        Target t{it->sorgente, it->tipo, it->puntoMontaggio, remountOptions(*it)};
        if (!isBlockOrImage(t.device)) {
            *error = QStringLiteral("%1 is not on a disk that can be checked (%2).").arg(path, it->tipo);
            return std::nullopt;
        }
        if (t.fsType.startsWith(QStringLiteral("fuse")))
            t.fsType = probeType(t.device);
        return t;
    }
    if (isBlockOrImage(canonical))
        return Target{canonical, probeType(canonical), {}, {}};
    *error = QStringLiteral("%1 is not a mounted volume.").arg(path);
    return std::nullopt;
}

Environment Environment::system()
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    Environment env;
    if (f.open(QIODevice::ReadOnly))
        env.mountInfo = f.readAll();
    env.root = ::geteuid() == 0;
    return env;
}

int verifyVolume(const QString &path, const Output &out, const Environment &env)
{
    return checkOrRepair(path, false, out, env);
}

int repairVolume(const QString &path, const Output &out, const Environment &env)
{
    return checkOrRepair(path, true, out, env);
}

} // namespace VerificaVolume
