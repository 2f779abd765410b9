#include "platform/linux/LinuxVolumeSource.h"

#include "platform/linux/SysfsBlock.h"

#include <fcntl.h>
#include <QFile>
#include <QSet>
#include <QSocketNotifier>
#include <unistd.h>

namespace {
QStringList mountPoints(const QList<MountEntry> &table)
{
    QStringList out;
    for (const MountEntry &e : table) {
        if (!out.contains(e.mountPoint))
            out << e.mountPoint;
    }
    return out;
}
} // namespace

LinuxVolumeSource::LinuxVolumeSource(QString procRoot, QString sysRoot, QString runRoot, QObject *parent)
    : VolumeSource(parent), m_procRoot(std::move(procRoot)), m_sysRoot(std::move(sysRoot)),
      m_runRoot(std::move(runRoot))
{
    m_known = mountPoints(readTable());
    const QByteArray path = QFile::encodeName(m_procRoot + QStringLiteral("/self/mountinfo"));
    m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &LinuxVolumeSource::tableChanged);
    }
}

LinuxVolumeSource::~LinuxVolumeSource()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

QList<MountEntry> LinuxVolumeSource::readTable() const
{
    QFile f(m_procRoot + QStringLiteral("/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // procfs files report no size: read until the end.
    return parseMountInfo(f.readAll());
}

std::optional<MountEntry> LinuxVolumeSource::find(const QString &mountPoint) const
{
    const QList<MountEntry> table = readTable();
    // The last entry wins: it is the mount on top when several share a folder.
    for (auto it = table.crbegin(); it != table.crend(); ++it) {
        if (it->mountPoint == mountPoint)
            return *it;
    }
    return std::nullopt;
}

void LinuxVolumeSource::tableChanged()
{
    // Read the fd so the kernel sees this wake-up as consumed.
    char buf[4096];
    ::lseek(m_fd, 0, SEEK_SET);
    while (::read(m_fd, buf, sizeof buf) > 0) {
    }

    const QStringList now = mountPoints(readTable());
    const QSet<QString> before(m_known.cbegin(), m_known.cend());
    const QSet<QString> after(now.cbegin(), now.cend());
    m_known = now;
    // Several mounts can coalesce into one wake-up: report each new one.
    for (const QString &mp : now) {
        if (!before.contains(mp))
            Q_EMIT volumeMounted(mp);
    }
    if (!(before - after).isEmpty())
        Q_EMIT volumeUnmounted();
}

QStringList LinuxVolumeSource::mountedVolumes(bool skipHidden) const
{
    const QList<MountEntry> table = readTable();
    QStringList out;
    for (auto it = table.crbegin(); it != table.crend(); ++it) {
        if (out.contains(it->mountPoint))
            continue;
        if (skipHidden && isHiddenMount(*it, readUdevProperties(m_runRoot, it->major, it->minor).ignore))
            continue;
        out.prepend(it->mountPoint);
    }
    return out;
}

std::optional<bool> LinuxVolumeSource::isRemovable(const QString &mountPoint) const
{
    const std::optional<MountEntry> entry = find(mountPoint);
    if (!entry)
        return std::nullopt;
    const std::optional<BlockDeviceInfo> dev = readBlockDevice(m_sysRoot, entry->major, entry->minor);
    if (!dev)
        return false; // no disk behind it: a virtual or network file system
    // Many USB sticks say removable=0; being on USB is what counts for them.
    return dev->removable || dev->onUsb();
}

std::optional<QString> LinuxVolumeSource::volumeName(const QString &mountPoint) const
{
    const std::optional<MountEntry> entry = find(mountPoint);
    if (!entry)
        return std::nullopt;
    const QString label = readUdevProperties(m_runRoot, entry->major, entry->minor).label;
    if (label.isEmpty())
        return std::nullopt;
    return label;
}

std::unique_ptr<VolumeSource> createSystemVolumeSource(QObject *parent)
{
    return std::make_unique<LinuxVolumeSource>(QStringLiteral("/proc"), QStringLiteral("/sys"),
                                               QStringLiteral("/run"), parent);
}
