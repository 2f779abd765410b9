#include "platform/linux/FonteVolumiLinux.h"

#include "comune/NomiFile.h"
#include "platform/linux/BloccoSysfs.h"

#include <fcntl.h>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QSocketNotifier>
#include <sys/stat.h>
#include <unistd.h>

#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x4000U // Linux 6.8
#endif

namespace {
quint64 uniqueMountId(const QString &mountPoint)
{
    struct statx st {};
    // Cached attributes only: a mount root is in memory, and a stick that
    // is failing must not stall the wake-up.
    if (::statx(AT_FDCWD, codificaNome(mountPoint).constData(),
                AT_STATX_DONT_SYNC | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MNT_ID_UNIQUE, &st) != 0 ||
        !(st.stx_mask & STATX_MNT_ID_UNIQUE))
        return 0;
    return st.stx_mnt_id;
}
} // namespace

FonteVolumiLinux::FonteVolumiLinux(QString procRoot, QString sysRoot, QString runRoot, QObject *parent)
    : FonteVolumi(parent), m_procRoot(std::move(procRoot)), m_sysRoot(std::move(sysRoot)),
      m_runRoot(std::move(runRoot))
{
    m_known = visibleMounts();
    const QByteArray path = QFile::encodeName(m_procRoot + QStringLiteral("/self/mountinfo"));
    m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &FonteVolumiLinux::tableChanged);
    }
}

FonteVolumiLinux::~FonteVolumiLinux()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

QList<VoceMontaggio> FonteVolumiLinux::readTable() const
{
    QFile f(m_procRoot + QStringLiteral("/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // procfs files report no size: read until the end.
    return leggiTabellaMontaggi(f.readAll());
}

std::optional<VoceMontaggio> FonteVolumiLinux::find(const QString &mountPoint) const
{
    const QList<VoceMontaggio> table = readTable();
    // The last entry wins: it is the mount on top when several share a folder.
    for (auto it = table.crbegin(); it != table.crend(); ++it) {
        if (it->puntoMontaggio == mountPoint)
            return *it;
    }
    return std::nullopt;
}

void FonteVolumiLinux::tableChanged()
{
    // Read the fd so the kernel sees this wake-up as consumed.
    char buf[4096];
    ::lseek(m_fd, 0, SEEK_SET);
    while (::read(m_fd, buf, sizeof buf) > 0) {
    }

    const QList<std::pair<QString, Identity>> now = visibleMounts();
    const QHash<QString, Identity> before(m_known.cbegin(), m_known.cend());
    const QHash<QString, Identity> after(now.cbegin(), now.cend());
    m_known = now;
    // Several changes can coalesce into one wake-up, an unmount and a mount
    // at the same folder among them: every departure first, then every arrival.
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (after.value(it.key()) != it.value())
            Q_EMIT volumeUnmounted(it.key());
    }
    for (const auto &[mp, identity] : now) {
        if (before.value(mp) != identity)
            Q_EMIT volumeMounted(mp);
    }
}

QList<std::pair<QString, FonteVolumiLinux::Identity>> FonteVolumiLinux::visibleMounts() const
{
    const QList<VoceMontaggio> table = readTable();
    QList<std::pair<QString, Identity>> out;
    QSet<QString> seen;
    for (auto it = table.crbegin(); it != table.crend(); ++it) {
        if (seen.contains(it->puntoMontaggio))
            continue;
        seen.insert(it->puntoMontaggio);
        // The kernel's and system folders are never a stick; asking them
        // nothing keeps a stalled network or virtual file system out of the way.
        const quint64 unique = montaggioNascosto(*it, false) ? 0 : uniqueMountId(it->puntoMontaggio);
        out.prepend({it->puntoMontaggio, Identity{it->id, it->maggiore, it->minore, unique}});
    }
    return out;
}

QStringList FonteVolumiLinux::mountedVolumes(bool skipHidden) const
{
    const QList<VoceMontaggio> table = readTable();
    QStringList out;
    for (auto it = table.crbegin(); it != table.crend(); ++it) {
        if (out.contains(it->puntoMontaggio))
            continue;
        if (skipHidden &&
            montaggioNascosto(*it, leggiProprietaUdev(m_runRoot, it->maggiore, it->minore).ignora))
            continue;
        out.prepend(it->puntoMontaggio);
    }
    return out;
}

std::optional<bool> FonteVolumiLinux::isRemovable(const QString &mountPoint) const
{
    const std::optional<VoceMontaggio> entry = find(mountPoint);
    if (!entry)
        return std::nullopt;
    const std::optional<InfoDispositivoBlocco> dev =
        leggiDispositivoBlocco(m_sysRoot, entry->maggiore, entry->minore);
    if (!dev)
        return false; // no disk behind it: a virtual or network file system
    // Many USB sticks say removable=0; being on USB is what counts for them.
    return dev->rimovibile || dev->suUsb();
}

std::optional<QString> FonteVolumiLinux::volumeName(const QString &mountPoint) const
{
    const std::optional<VoceMontaggio> entry = find(mountPoint);
    if (!entry)
        return std::nullopt;
    const QString label = leggiProprietaUdev(m_runRoot, entry->maggiore, entry->minore).etichetta;
    if (label.isEmpty())
        return std::nullopt;
    return label;
}
