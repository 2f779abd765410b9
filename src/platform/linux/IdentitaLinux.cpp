#include "platform/linux/IdentitaLinux.h"

#include "platform/linux/BloccoSysfs.h"
#include "platform/linux/TabellaMontaggi.h"

#include <QFile>
#include <sys/statvfs.h>

IdentitaChiavetta identitaDaSistema(const QString &puntoMontaggio, const QString &nome,
                                    const QString &procRoot, const QString &sysRoot, const QString &runRoot)
{
    IdentitaChiavetta id;
    id.etichetta = nome;
    std::optional<MountEntry> voce;
    QFile tabella(procRoot + QStringLiteral("/self/mountinfo"));
    if (tabella.open(QIODevice::ReadOnly)) {
        // The last entry is the mount on top when several share a folder.
        for (const MountEntry &m : parseMountInfo(tabella.readAll()))
            if (m.mountPoint == puntoMontaggio)
                voce = m;
    }
    if (voce) {
        const UdevProperties udev = readUdevProperties(runRoot, voce->major, voce->minor);
        id.uuid = udev.uuid;
        if (!udev.label.isEmpty())
            id.etichetta = udev.label;
        if (const std::optional<BlockDeviceInfo> disco = readBlockDevice(sysRoot, voce->major, voce->minor)) {
            id.seriale = disco->serial.isEmpty() ? udev.serial : disco->serial;
            if (!id.seriale.isEmpty() && !disco->model.isEmpty())
                id.seriale = disco->model + QLatin1Char(':') + id.seriale;
            id.dimensione = id.seriale.isEmpty() ? disco->deviceBytes : disco->diskBytes;
        }
    }
    // No disk behind it (FUSE, a network share): the size the file system gives.
    if (id.dimensione <= 0) {
        struct statvfs s;
        if (::statvfs(QFile::encodeName(puntoMontaggio).constData(), &s) == 0)
            id.dimensione = qint64(s.f_blocks) * qint64(s.f_frsize);
    }
    return id;
}

IdentitaChiavetta leggiIdentitaChiavetta(const USBDrive &drive)
{
    return identitaDaSistema(drive.path(), drive.name, QStringLiteral("/proc"), QStringLiteral("/sys"),
                             QStringLiteral("/run"));
}
