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
    std::optional<VoceMontaggio> voce;
    QFile tabella(procRoot + QStringLiteral("/self/mountinfo"));
    if (tabella.open(QIODevice::ReadOnly)) {
        // The last entry is the mount on top when several share a folder.
        for (const VoceMontaggio &m : leggiTabellaMontaggi(tabella.readAll()))
            if (m.puntoMontaggio == puntoMontaggio)
                voce = m;
    }
    if (voce) {
        const ProprietaUdev udev = leggiProprietaUdev(runRoot, voce->maggiore, voce->minore);
        id.uuid = udev.uuid;
        if (!udev.etichetta.isEmpty())
            id.etichetta = udev.etichetta;
        if (const std::optional<InfoDispositivoBlocco> disco =
                leggiDispositivoBlocco(sysRoot, voce->maggiore, voce->minore)) {
            id.seriale = disco->seriale.isEmpty() ? udev.seriale : disco->seriale;
            if (!id.seriale.isEmpty() && !disco->modello.isEmpty())
                id.seriale = disco->modello + QLatin1Char(':') + id.seriale;
            id.dimensione = id.seriale.isEmpty() ? disco->byteDispositivo : disco->byteDisco;
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
