#include "AlberoUsb.h"

#include <algorithm>
#include <functional>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QRegularExpression>

namespace {
QString readAttribute(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.read(4096)).trimmed();
}

QStringList subfolders(const QString &path, const QString &pattern = QStringLiteral("*"))
{
    return QDir(path).entryList({pattern}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// Block devices of a mass-storage interface: <intf>/host*/target*/<h:c:t:l>/block/<disk>.
QList<UsbDevice::Disk> readDisks(const QString &interfacePath)
{
    QList<UsbDevice::Disk> disks;
    for (const QString &host : subfolders(interfacePath, QStringLiteral("host*"))) {
        const QString hostPath = interfacePath + u'/' + host;
        for (const QString &target : subfolders(hostPath, QStringLiteral("target*"))) {
            const QString targetPath = hostPath + u'/' + target;
            for (const QString &lun : subfolders(targetPath)) {
                const QString blockPath = targetPath + u'/' + lun + QStringLiteral("/block");
                for (const QString &diskName : subfolders(blockPath)) {
                    const QString diskPath = blockPath + u'/' + diskName;
                    UsbDevice::Disk disk;
                    disk.name = diskName;
                    disk.sizeBytes = readAttribute(diskPath + QStringLiteral("/size")).toLongLong() * 512;
                    for (const QString &part : subfolders(diskPath))
                        if (QFileInfo::exists(diskPath + u'/' + part + QStringLiteral("/partition")))
                            disk.partitions << part;
                    disks << disk;
                }
            }
        }
    }
    return disks;
}

// "usb2" -> {2}; "2-1.4.3" -> {2, 1, 4, 3}: the order a person expects (port 10 after port 9).
QList<int> sortKey(const QString &name)
{
    QList<int> key;
    const QString digits = name.startsWith(QStringLiteral("usb")) ? name.mid(3) : name;
    for (const QString &part : digits.split(QRegularExpression(QStringLiteral("[-.]"))))
        key << part.toInt();
    if (name.startsWith(QStringLiteral("usb")))
        key << -1; // the bus itself before its devices
    return key;
}

// 2-1.4.3 -> 2-1.4 -> 2-1 -> usb2 -> none.
QString parentName(const QString &name)
{
    if (name.startsWith(QStringLiteral("usb")))
        return {};
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        return name.left(dot);
    const qsizetype dash = name.indexOf(u'-');
    return dash > 0 ? QStringLiteral("usb") + name.left(dash) : QString();
}

QString hex(const QString &id)
{
    return id.isEmpty() ? QString() : QStringLiteral("0x") + id.toLower();
}

QJsonObject deviceEntry(const UsbDevice &d)
{
    QJsonObject o;
    QString title = d.product;
    if (title.isEmpty())
        title = d.hub ? QStringLiteral("USB Hub") : QStringLiteral("USB Device");
    o.insert(QStringLiteral("_name"), title);
    o.insert(QStringLiteral("location_id"), d.name);
    const QString speed = deviceSpeedName(d.speed);
    if (!speed.isEmpty())
        o.insert(QStringLiteral("device_speed"), speed);
    if (!d.manufacturer.isEmpty())
        o.insert(QStringLiteral("manufacturer"), d.manufacturer);
    if (!d.vendorId.isEmpty())
        o.insert(QStringLiteral("vendor_id"), hex(d.vendorId));
    if (!d.productId.isEmpty())
        o.insert(QStringLiteral("product_id"), hex(d.productId));
    if (!d.serial.isEmpty())
        o.insert(QStringLiteral("serial_num"), d.serial);
    if (!d.disks.isEmpty()) {
        QJsonArray media;
        for (const UsbDevice::Disk &disk : d.disks) {
            QJsonObject m;
            m.insert(QStringLiteral("_name"), title);
            m.insert(QStringLiteral("bsd_name"), disk.name);
            m.insert(QStringLiteral("size_in_bytes"), disk.sizeBytes);
            QJsonArray volumes;
            for (const QString &part : disk.partitions)
                volumes.append(QJsonObject{{QStringLiteral("bsd_name"), part}});
            if (!volumes.isEmpty())
                m.insert(QStringLiteral("volumes"), volumes);
            media.append(m);
        }
        o.insert(QStringLiteral("Media"), media);
    }
    return o;
}
} // namespace

QString deviceSpeedName(const QString &sysfsSpeed)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("1.5"), QStringLiteral("low_speed")},
        {QStringLiteral("12"), QStringLiteral("full_speed")},
        {QStringLiteral("480"), QStringLiteral("high_speed")},
        {QStringLiteral("5000"), QStringLiteral("super_speed")},
        {QStringLiteral("10000"), QStringLiteral("super_speed_plus")},
        {QStringLiteral("20000"), QStringLiteral("super_speed_plus")},
    };
    return names.value(sysfsSpeed.trimmed());
}

QList<UsbDevice> readUsbDevices(const QString &sysRoot)
{
    static const QRegularExpression deviceName(QStringLiteral("^(usb\\d+|\\d+-\\d+(\\.\\d+)*)$"));
    const QString base = sysRoot + QStringLiteral("/bus/usb/devices");
    QList<UsbDevice> devices;
    // Entries are symlinks into /sys/devices; interfaces ("2-1:1.0") are left out by the pattern.
    for (const QString &name : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!deviceName.match(name).hasMatch())
            continue;
        const QString path = base + u'/' + name;
        UsbDevice d;
        d.name = name;
        d.product = readAttribute(path + QStringLiteral("/product"));
        d.manufacturer = readAttribute(path + QStringLiteral("/manufacturer"));
        d.vendorId = readAttribute(path + QStringLiteral("/idVendor"));
        d.productId = readAttribute(path + QStringLiteral("/idProduct"));
        d.serial = readAttribute(path + QStringLiteral("/serial"));
        d.speed = readAttribute(path + QStringLiteral("/speed"));
        d.hub = readAttribute(path + QStringLiteral("/bDeviceClass")) == QStringLiteral("09");
        for (const QString &intf : subfolders(path, name + QStringLiteral(":*")))
            d.disks << readDisks(path + u'/' + intf);
        devices << d;
    }
    return devices;
}

QJsonObject usbReport(const QList<UsbDevice> &input)
{
    QList<UsbDevice> devices = input;
    std::sort(devices.begin(), devices.end(),
              [](const UsbDevice &a, const UsbDevice &b) { return sortKey(a.name) < sortKey(b.name); });

    QHash<QString, qsizetype> index;
    for (qsizetype i = 0; i < devices.size(); ++i)
        index.insert(devices[i].name, i);

    // Each device hangs under its nearest ancestor that is present.
    QList<QList<qsizetype>> children(devices.size());
    QList<qsizetype> roots;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        QString p = parentName(devices[i].name);
        while (!p.isEmpty() && !index.contains(p))
            p = parentName(p);
        if (p.isEmpty())
            roots << i;
        else
            children[index.value(p)] << i;
    }

    std::function<QJsonObject(qsizetype)> build = [&](qsizetype i) {
        const UsbDevice &d = devices[i];
        QJsonObject o;
        if (d.name.startsWith(QStringLiteral("usb"))) {
            // A bus: the profiler names it and keeps its speed out of device_speed.
            o.insert(QStringLiteral("_name"),
                     QStringLiteral("USB%1Bus")
                         .arg(d.speed.toDouble() >= 5000 ? QStringLiteral("31") : QStringLiteral("20")));
            if (!d.product.isEmpty())
                o.insert(QStringLiteral("host_controller"), d.product);
            o.insert(QStringLiteral("location_id"), d.name);
        } else {
            o = deviceEntry(d);
        }
        if (!children[i].isEmpty()) {
            QJsonArray items;
            for (qsizetype c : children[i])
                items.append(build(c));
            o.insert(QStringLiteral("_items"), items);
        }
        return o;
    };

    QJsonArray top;
    for (qsizetype r : roots)
        top.append(build(r));
    return QJsonObject{{QStringLiteral("SPUSBDataType"), top}};
}
