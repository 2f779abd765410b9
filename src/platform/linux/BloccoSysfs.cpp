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

std::optional<InfoDispositivoBlocco> leggiDispositivoBlocco(const QString &sysRoot, int major, int minor)
{
    const QString link = QStringLiteral("%1/dev/block/%2:%3").arg(sysRoot).arg(major).arg(minor);
    const QString device = QFileInfo(link).canonicalFilePath();
    if (device.isEmpty())
        return std::nullopt;
    InfoDispositivoBlocco info;
    info.percorsoDispositivo = device;
    info.percorsoDisco =
        QFileInfo::exists(device + QStringLiteral("/partition")) ? QFileInfo(device).path() : device;
    info.nomeDisco = QFileInfo(info.percorsoDisco).fileName();
    info.rimovibile = readSmallFile(info.percorsoDisco + QStringLiteral("/removable")) == "1";
    info.byteDisco = sectorsAsBytes(info.percorsoDisco);
    info.byteDispositivo = sectorsAsBytes(device);

    const QString root = QFileInfo(sysRoot).canonicalFilePath();
    for (QString dir = QFileInfo(info.percorsoDisco).path(); dir.size() > root.size() && dir.startsWith(root);
         dir = QFileInfo(dir).path()) {
        if (isUsbDevice(dir)) {
            info.percorsoUsb = dir;
            break;
        }
    }
    if (info.suUsb()) {
        info.seriale = QString::fromUtf8(readSmallFile(info.percorsoUsb + QStringLiteral("/serial")));
        info.modello = QString::fromUtf8(readSmallFile(info.percorsoUsb + QStringLiteral("/idVendor")) + ':' +
                                         readSmallFile(info.percorsoUsb + QStringLiteral("/idProduct")));
    } else {
        // A card in the computer's own reader carries its serial (mmc).
        info.seriale =
            QString::fromUtf8(readSmallFile(info.percorsoDisco + QStringLiteral("/device/serial")));
    }
    return info;
}

QString decodificaEscapeUdev(const QString &text)
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

ProprietaUdev leggiProprietaUdev(const QString &runRoot, int major, int minor)
{
    ProprietaUdev props;
    QFile f(QStringLiteral("%1/udev/data/b%2:%3").arg(runRoot).arg(major).arg(minor));
    if (!f.open(QIODevice::ReadOnly))
        return props;
    QString plain;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QStringLiteral("E:ID_FS_LABEL_ENC=")))
            props.etichetta = decodificaEscapeUdev(line.mid(18));
        else if (line.startsWith(QStringLiteral("E:ID_FS_LABEL=")))
            plain = line.mid(14);
        else if (line.startsWith(QStringLiteral("E:ID_FS_UUID=")))
            props.uuid = line.mid(13);
        else if (line.startsWith(QStringLiteral("E:ID_SERIAL_SHORT=")))
            props.seriale = line.mid(18);
        else if (line == QStringLiteral("E:UDISKS_IGNORE=1"))
            props.ignora = true;
    }
    if (props.etichetta.isEmpty())
        props.etichetta = plain;
    return props;
}
