#include "platform/linux/TabellaMontaggi.h"

#include "comune/NomiFile.h"

#include <QSet>

QString decodificaCampoMontaggio(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray oct = field.mid(i + 1, 3);
            bool ok = oct.size() == 3;
            for (char d : oct)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out.append(char(oct.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return decodificaNome(out);
}

QList<VoceMontaggio> leggiTabellaMontaggi(const QByteArray &text)
{
    QList<VoceMontaggio> entries;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        // id parent maj:min root mountpoint options [optional...] - fstype source superoptions
        const qsizetype sep = f.indexOf(QByteArrayLiteral("-"), 6);
        if (f.size() < 7 || sep < 0 || sep + 2 >= f.size())
            continue;
        VoceMontaggio e;
        bool okId = false;
        e.id = f.at(0).toInt(&okId);
        if (!okId)
            continue;
        const QList<QByteArray> mm = f.at(2).split(':');
        if (mm.size() != 2)
            continue;
        bool okMajor = false, okMinor = false;
        e.maggiore = mm.at(0).toInt(&okMajor);
        e.minore = mm.at(1).toInt(&okMinor);
        if (!okMajor || !okMinor)
            continue;
        e.radice = decodificaCampoMontaggio(f.at(3));
        e.puntoMontaggio = decodificaCampoMontaggio(f.at(4));
        e.opzioni = QString::fromUtf8(f.at(5)).split(QLatin1Char(','));
        e.tipo = QString::fromUtf8(f.at(sep + 1));
        e.sorgente = decodificaCampoMontaggio(f.at(sep + 2));
        if (sep + 3 < f.size())
            e.opzioniSuperblocco = QString::fromUtf8(f.at(sep + 3)).split(QLatin1Char(','));
        entries.append(e);
    }
    return entries;
}

bool montaggioNascosto(const VoceMontaggio &entry, bool udevIgnore)
{
    // The rule follows what GNOME's and KDE's file managers show: no kernel or
    // system file systems, nothing mounted on the system's own folders or
    // below /proc, /sys, /dev, /run (except /run/media), /var, /boot or /snap,
    // no folder hidden by a leading dot, and nothing udev/udisks was told to
    // ignore (UDISKS_IGNORE) or fstab marked with x-gvfs-hide.
    static const QSet<QString> systemTypes = {
        "autofs",  "binfmt_misc", "bpf",      "cgroup",     "cgroup2",         "configfs",    "debugfs",
        "devpts",  "devtmpfs",    "efivarfs", "fusectl",    "hugetlbfs",       "mqueue",      "nsfs",
        "proc",    "pstore",      "ramfs",    "rpc_pipefs", "securityfs",      "selinuxfs",   "sysfs",
        "tracefs", "nfsd",        "squashfs", "overlay",    "fuse.gvfsd-fuse", "fuse.portal", "binder",
    };
    static const QSet<QString> systemPaths = {
        "/",    "/bin",  "/boot", "/dev", "/etc",  "/home", "/lib", "/lib64", "/media", "/mnt",
        "/opt", "/proc", "/root", "/run", "/sbin", "/srv",  "/sys", "/tmp",   "/usr",   "/var",
    };
    static const QStringList systemPrefixes = {"/proc/", "/sys/",  "/dev/", "/var/",
                                               "/boot/", "/snap/", "/usr/"};

    if (udevIgnore || entry.opzioni.contains(QStringLiteral("x-gvfs-hide")))
        return true;
    if (systemTypes.contains(entry.tipo))
        return true;
    const QString &mp = entry.puntoMontaggio;
    if (systemPaths.contains(mp))
        return true;
    for (const QString &prefix : systemPrefixes) {
        if (mp.startsWith(prefix))
            return true;
    }
    if (mp.startsWith(QStringLiteral("/run/")) && !mp.startsWith(QStringLiteral("/run/media/")))
        return true;
    for (const QString &part : mp.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part.startsWith(QLatin1Char('.')))
            return true;
    }
    return false;
}
