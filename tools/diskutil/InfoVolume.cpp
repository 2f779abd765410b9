#include "InfoVolume.h"

#include <QFileInfo>
#include <QProcess>

namespace {
// One property of a device as lsblk tells it from udev's database, which an
// ordinary user may read; empty when unknown.
QString daLsblk(const QString &nodo, const QString &campo)
{
    QProcess lsblk;
    lsblk.start(QStringLiteral("lsblk"), {QStringLiteral("-dno"), campo, nodo});
    if (!lsblk.waitForFinished(5000) || lsblk.exitCode() != 0)
        return QString();
    return QString::fromUtf8(lsblk.readAllStandardOutput()).trimmed();
}

QString etichetta(const QString &nodo)
{
    return daLsblk(nodo, QStringLiteral("LABEL"));
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

ElencoDisco elencaVolumi(const VistaSistema &vista, const Disco &disco)
{
    ElencoDisco elenco{disco.nome, disco.byte, !disco.partizioni.isEmpty(), {}};
    const QList<Montaggio> montaggi = vista.montaggi();
    for (const QString &nome : elenco.partizionato ? disco.partizioni : QStringList{disco.nome}) {
        const QString nodo = QStringLiteral("/dev/") + nome, numero = vista.numero(nome);
        VolumeElencato v{nome, {}, {}, etichetta(nodo), vista.dimensione(nome)};
        // Only a mount of the whole file system shows every file; one of a
        // folder of it (a bind mount) does not count.
        for (const Montaggio &m : montaggi) {
            if (m.radice == QLatin1String("/") && (m.numero == numero || m.sorgente == nodo)) {
                v.puntoMontaggio = m.puntoMontaggio;
                v.tipoFs = m.tipoFs;
                break;
            }
        }
        if (v.tipoFs.isEmpty() || v.tipoFs.startsWith(QLatin1String("fuse")))
            v.tipoFs = daLsblk(nodo, QStringLiteral("FSTYPE")); // udev found it, mounted or not
        if (elenco.partizionato || !v.tipoFs.isEmpty() || !v.puntoMontaggio.isEmpty())
            elenco.volumi.append(v);
    }
    return elenco;
}

QString comePlist(const ElencoDisco &elenco)
{
    const auto testo = [](const QString &v) { return QStringLiteral("<string>%1</string>").arg(xml(v)); };
    const auto voce = [&](const QString &rientro, const QString &k, const QString &valore) {
        return QStringLiteral("%1<key>%2</key>\n%1%3\n").arg(rientro, k, valore);
    };
    const auto volume = [&](const QString &rientro, const VolumeElencato &v) {
        QString t;
        if (!v.tipoFs.isEmpty())
            t += voce(rientro, QStringLiteral("Content"), testo(v.tipoFs));
        t += voce(rientro, QStringLiteral("DeviceIdentifier"), testo(v.dispositivo));
        if (!v.puntoMontaggio.isEmpty())
            t += voce(rientro, QStringLiteral("MountPoint"), testo(v.puntoMontaggio));
        t += voce(rientro, QStringLiteral("Size"), QStringLiteral("<integer>%1</integer>").arg(v.dimensione));
        if (!v.nomeVolume.isEmpty())
            t += voce(rientro, QStringLiteral("VolumeName"), testo(v.nomeVolume));
        return t;
    };
    QString disco;
    if (elenco.partizionato) {
        disco += voce(QStringLiteral("\t\t\t"), QStringLiteral("Content"),
                      testo(QStringLiteral("FDisk_partition_scheme")));
        disco += voce(QStringLiteral("\t\t\t"), QStringLiteral("DeviceIdentifier"), testo(elenco.disco));
        QString partizioni;
        for (const VolumeElencato &v : elenco.volumi)
            partizioni += QStringLiteral("\t\t\t\t<dict>\n") + volume(QStringLiteral("\t\t\t\t\t"), v) +
                          QStringLiteral("\t\t\t\t</dict>\n");
        disco += QStringLiteral("\t\t\t<key>Partitions</key>\n\t\t\t<array>\n") + partizioni +
                 QStringLiteral("\t\t\t</array>\n");
        disco += voce(QStringLiteral("\t\t\t"), QStringLiteral("Size"),
                      QStringLiteral("<integer>%1</integer>").arg(elenco.dimensione));
    } else if (!elenco.volumi.isEmpty()) {
        disco += volume(QStringLiteral("\t\t\t"), elenco.volumi.first());
    } else {
        disco += voce(QStringLiteral("\t\t\t"), QStringLiteral("DeviceIdentifier"), testo(elenco.disco));
        disco += voce(QStringLiteral("\t\t\t"), QStringLiteral("Size"),
                      QStringLiteral("<integer>%1</integer>").arg(elenco.dimensione));
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n<dict>\n\t<key>AllDisksAndPartitions</key>\n\t<array>\n"
                          "\t\t<dict>\n") +
           disco + QStringLiteral("\t\t</dict>\n\t</array>\n\t<key>WholeDisks</key>\n\t<array>\n\t\t") +
           testo(elenco.disco) + QStringLiteral("\n\t</array>\n</dict>\n</plist>\n");
}
