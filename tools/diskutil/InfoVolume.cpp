#include "InfoVolume.h"

#include <QFileInfo>
#include <QProcess>

namespace {
QString etichetta(const QString &nodo)
{
    // lsblk reads udev's database, which an ordinary user may read.
    QProcess lsblk;
    lsblk.start(QStringLiteral("lsblk"), {QStringLiteral("-dno"), QStringLiteral("LABEL"), nodo});
    if (!lsblk.waitForFinished(5000) || lsblk.exitCode() != 0)
        return QString();
    return QString::fromUtf8(lsblk.readAllStandardOutput()).trimmed();
}

QString xml(const QString &testo)
{
    return testo.toHtmlEscaped();
}
} // namespace

QString nomeFileSystem(const QString &tipoFs)
{
    if (tipoFs == QLatin1String("vfat") || tipoFs == QLatin1String("msdos"))
        return QStringLiteral("MS-DOS FAT");
    if (tipoFs == QLatin1String("exfat"))
        return QStringLiteral("ExFAT");
    if (tipoFs == QLatin1String("ntfs") || tipoFs == QLatin1String("ntfs3") ||
        tipoFs == QLatin1String("fuseblk"))
        return QStringLiteral("NTFS");
    if (tipoFs == QLatin1String("hfsplus"))
        return QStringLiteral("Mac OS Extended");
    return tipoFs;
}

std::optional<InfoVolume> leggiInfoVolume(const VistaSistema &vista, const QString &percorso)
{
    const std::optional<QString> numero = vista.dispositivoDi(percorso);
    if (!numero)
        return std::nullopt;
    const auto nomi = vista.nomeEDisco(*numero);
    if (!nomi)
        return std::nullopt;
    const std::optional<Disco> disco = vista.disco(nomi->second);
    if (!disco)
        return std::nullopt;

    InfoVolume info;
    info.dispositivo = nomi->first;
    info.discoIntero = nomi->second;
    info.rimovibile = disco->rimovibile;
    info.usb = disco->usb;
    info.dimensione = vista.dimensione(info.dispositivo);
    const bool nodo = numeroDelNodo(percorso).has_value();
    if (const std::optional<Montaggio> m = nodo ? std::nullopt : vista.montaggioDi(percorso)) {
        info.puntoMontaggio = m->puntoMontaggio;
        info.tipoFs = m->tipoFs;
    }
    info.nomeVolume = etichetta(QStringLiteral("/dev/") + info.dispositivo);
    if (info.nomeVolume.isEmpty() && !info.puntoMontaggio.isEmpty() &&
        info.puntoMontaggio != QLatin1String("/"))
        info.nomeVolume =
            QFileInfo(info.puntoMontaggio).fileName(); // desktops mount sticks under their label
    return info;
}

QString comePlist(const InfoVolume &info)
{
    // External (and ejectable) when it can be unplugged: removable medium or
    // USB. RemovableMedia is the medium's own flag, which a USB hard disk does
    // not set: the app formats and erases only those that do.
    const bool staccabile = info.rimovibile || info.usb;
    const auto booleano = [](bool v) { return v ? QStringLiteral("<true/>") : QStringLiteral("<false/>"); };
    QString t = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                               "<plist version=\"1.0\">\n<dict>\n");
    const auto chiave = [&t](const QString &k, const QString &valore) {
        t += QStringLiteral("\t<key>%1</key>\n\t%2\n").arg(k, valore);
    };
    const auto testo = [](const QString &v) { return QStringLiteral("<string>%1</string>").arg(xml(v)); };
    chiave(QStringLiteral("BusProtocol"), testo(info.usb ? QStringLiteral("USB") : QStringLiteral("Other")));
    chiave(QStringLiteral("DeviceIdentifier"), testo(info.dispositivo));
    chiave(QStringLiteral("DeviceNode"), testo(QStringLiteral("/dev/") + info.dispositivo));
    if (!info.tipoFs.isEmpty()) {
        chiave(QStringLiteral("FilesystemName"), testo(nomeFileSystem(info.tipoFs)));
        chiave(QStringLiteral("FilesystemType"), testo(info.tipoFs));
    }
    chiave(QStringLiteral("Internal"), booleano(!staccabile));
    chiave(QStringLiteral("MountPoint"), testo(info.puntoMontaggio));
    chiave(QStringLiteral("ParentWholeDisk"), testo(info.discoIntero));
    chiave(QStringLiteral("Removable"), booleano(staccabile));
    chiave(QStringLiteral("RemovableMedia"), booleano(info.rimovibile));
    chiave(QStringLiteral("TotalSize"), QStringLiteral("<integer>%1</integer>").arg(info.dimensione));
    chiave(QStringLiteral("VolumeName"), testo(info.nomeVolume));
    return t + QStringLiteral("</dict>\n</plist>\n");
}
