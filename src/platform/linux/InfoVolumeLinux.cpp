#include "comune/NomiFile.h"
#include "platform/InfoVolume.h"
#include "platform/linux/TabellaMontaggi.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {
constexpr long magiaFat = 0x4d44;
constexpr long magiaExfat = 0x2011BAB0;
constexpr long magiaFuse = 0x65735546;

FileSystemChiavetta daTipoUdev(const QByteArray &tipo)
{
    if (tipo == "vfat" || tipo == "msdos")
        return FileSystemChiavetta::fat32;
    if (tipo == "exfat")
        return FileSystemChiavetta::exfat;
    return FileSystemChiavetta::altro;
}

// What udev found on the device when it appeared: readable by every user.
FileSystemChiavetta daUdev(unsigned maggiore, unsigned minore)
{
    QFile f(QStringLiteral("/run/udev/data/b%1:%2").arg(maggiore).arg(minore));
    if (!f.open(QIODevice::ReadOnly))
        return FileSystemChiavetta::altro;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        if (riga.startsWith("E:ID_FS_TYPE="))
            return daTipoUdev(riga.mid(13).trimmed());
    }
    return FileSystemChiavetta::altro;
}

// The signatures in the first sector; only who may read the device gets here.
FileSystemChiavetta daSettoreDiAvvio(const QString &dispositivo)
{
    const int fd = ::open(codificaNome(dispositivo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FileSystemChiavetta::altro;
    char settore[512] = {};
    const ssize_t letti = ::pread(fd, settore, sizeof settore, 0);
    ::close(fd);
    if (letti != ssize_t(sizeof settore))
        return FileSystemChiavetta::altro;
    if (std::memcmp(settore + 3, "EXFAT   ", 8) == 0)
        return FileSystemChiavetta::exfat;
    if (std::memcmp(settore + 82, "FAT32   ", 8) == 0 || std::memcmp(settore + 54, "FAT1", 4) == 0)
        return FileSystemChiavetta::fat32;
    return FileSystemChiavetta::altro;
}

FileSystemChiavetta daFuse(const struct stat &info)
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return FileSystemChiavetta::altro;
    const QList<VoceMontaggio> montaggi = leggiTabellaMontaggi(f.readAll());
    for (auto it = montaggi.crbegin(); it != montaggi.crend(); ++it) {
        if (it->maggiore != int(major(info.st_dev)) || it->minore != int(minor(info.st_dev)))
            continue;
        // A driver with a subtype names its file system ("fuse.fusefat").
        const QString sottotipo = it->tipo.section(QLatin1Char('.'), 1);
        if (sottotipo.contains(QLatin1String("exfat")))
            return FileSystemChiavetta::exfat;
        if (sottotipo.contains(QLatin1String("fat")))
            return FileSystemChiavetta::fat32;
        const FileSystemChiavetta udev = daUdev(major(info.st_dev), minor(info.st_dev));
        return udev != FileSystemChiavetta::altro ? udev : daSettoreDiAvvio(it->sorgente);
    }
    return FileSystemChiavetta::altro;
}
} // namespace

FileSystemChiavetta fileSystemDi(const QString &cartella)
{
    const QByteArray percorso = codificaNome(cartella);
    struct statfs fs;
    struct stat info;
    if (::statfs(percorso.constData(), &fs) != 0 || ::stat(percorso.constData(), &info) != 0)
        return FileSystemChiavetta::altro;
    switch (long(fs.f_type)) {
    case magiaFat:
        return FileSystemChiavetta::fat32;
    case magiaExfat:
        return FileSystemChiavetta::exfat;
    case magiaFuse:
        return daFuse(info);
    default:
        return FileSystemChiavetta::altro;
    }
}

std::optional<RadiceVolume> radiceVolume(const QString &percorso)
{
    struct statx info;
    if (::statx(AT_FDCWD, codificaNome(percorso).constData(), 0, STATX_BASIC_STATS, &info) != 0)
        return std::nullopt;
    return RadiceVolume{makedev(info.stx_dev_major, info.stx_dev_minor),
                        bool(info.stx_attributes & info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)};
}

bool dispositivoPresente(dev_t dispositivo)
{
    if (major(dispositivo) == 0)
        return true; // no block device behind it (FUSE, tmpfs)
    return QFileInfo::exists(
        QStringLiteral("/sys/dev/block/%1:%2").arg(major(dispositivo)).arg(minor(dispositivo)));
}
