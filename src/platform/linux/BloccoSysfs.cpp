#include "platform/linux/BloccoSysfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
QByteArray readSmallFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(4096).trimmed();
}

// sysfs gives sizes in 512-byte sectors, whatever the device's own block size.
qint64 sectorsAsBytes(const QString &folder)
{
    return readSmallFile(folder + QStringLiteral("/size")).toLongLong() * 512;
}

bool isUsbDevice(const QString &dir)
{
    // A usb_device has "speed" and "devnum"; its interfaces (2-1:1.0) have neither.
    if (!QFileInfo::exists(dir + QStringLiteral("/speed")) ||
        !QFileInfo::exists(dir + QStringLiteral("/devnum")))
        return false;
    const QFileInfo subsystem(dir + QStringLiteral("/subsystem"));
    return !subsystem.exists() ||
           QFileInfo(subsystem.canonicalFilePath()).fileName() == QStringLiteral("usb");
}
} // namespace

std::optional<BlockDeviceInfo> readBlockDevice(const QString &sysRoot, int major, int minor)
{
    const QString link = QStringLiteral("%1/dev/block/%2:%3").arg(sysRoot).arg(major).arg(minor);
    const QString device = QFileInfo(link).canonicalFilePath();
    if (device.isEmpty())
        return std::nullopt;
    BlockDeviceInfo info;
    info.devicePath = device;
    info.diskPath =
        QFileInfo::exists(device + QStringLiteral("/partition")) ? QFileInfo(device).path() : device;
    info.diskName = QFileInfo(info.diskPath).fileName();
    info.removable = readSmallFile(info.diskPath + QStringLiteral("/removable")) == "1";
    info.diskBytes = sectorsAsBytes(info.diskPath);
    info.deviceBytes = sectorsAsBytes(device);

    const QString root = QFileInfo(sysRoot).canonicalFilePath();
    for (QString dir = QFileInfo(info.diskPath).path(); dir.size() > root.size() && dir.startsWith(root);
         dir = QFileInfo(dir).path()) {
        if (isUsbDevice(dir)) {
            info.usbDevicePath = dir;
            break;
        }
    }
    if (info.onUsb()) {
        info.serial = QString::fromUtf8(readSmallFile(info.usbDevicePath + QStringLiteral("/serial")));
        info.model = QString::fromUtf8(readSmallFile(info.usbDevicePath + QStringLiteral("/idVendor")) + ':' +
                                       readSmallFile(info.usbDevicePath + QStringLiteral("/idProduct")));
    } else {
        // A card in the computer's own reader carries its serial (mmc).
        info.serial = QString::fromUtf8(readSmallFile(info.diskPath + QStringLiteral("/device/serial")));
    }
    return info;
}

QString decodeUdevEscapes(const QString &text)
{
    QByteArray out;
    const QByteArray in = text.toUtf8();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) == '\\' && i + 3 < in.size() && in.at(i + 1) == 'x') {
            bool ok = false;
            const int byte = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(byte));
                i += 3;
                continue;
            }
        }
        out.append(in.at(i));
    }
    return QString::fromUtf8(out);
}

UdevProperties readUdevProperties(const QString &runRoot, int major, int minor)
{
    UdevProperties props;
    QFile f(QStringLiteral("%1/udev/data/b%2:%3").arg(runRoot).arg(major).arg(minor));
    if (!f.open(QIODevice::ReadOnly))
        return props;
    QString plain;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QStringLiteral("E:ID_FS_LABEL_ENC=")))
            props.label = decodeUdevEscapes(line.mid(18));
        else if (line.startsWith(QStringLiteral("E:ID_FS_LABEL=")))
            plain = line.mid(14);
        else if (line.startsWith(QStringLiteral("E:ID_FS_UUID=")))
            props.uuid = line.mid(13);
        else if (line.startsWith(QStringLiteral("E:ID_SERIAL_SHORT=")))
            props.serial = line.mid(18);
        else if (line == QStringLiteral("E:UDISKS_IGNORE=1"))
            props.ignore = true;
    }
    if (props.label.isEmpty())
        props.label = plain;
    return props;
}
