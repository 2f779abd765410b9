#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What the system profiler's USB report needs to know about one USB device,
// as read from sysfs. Root hubs (usb1, usb2, ...) are devices too: they become
// the buses at the top of the tree.
struct UsbDevice {
    QString name;         // kernel name: "usb2", "2-1", "2-1.4.3"
    QString product;      // "product" attribute, may be empty
    QString manufacturer; // "manufacturer" attribute, may be empty
    QString vendorId;     // idVendor, four hex digits
    QString productId;    // idProduct
    QString serial;
    QString speed; // "speed" attribute in Mbit/s as written by the kernel: "480", "1.5"
    bool hub = false;

    struct Disk {
        QString name;           // kernel disk name, e.g. "sdb"
        qint64 sizeBytes = 0;   // 0 when unknown (no medium in a card reader)
        QStringList partitions; // "sdb1", ...
    };
    QList<Disk> disks; // block devices behind the device's mass-storage interfaces
};

// The profiler's name for a sysfs link speed, or an empty text when the kernel
// gave a value the profiler has no word for.
QString deviceSpeedName(const QString &sysfsSpeed);

// Every USB device under <sysRoot>/bus/usb/devices. A missing folder (a machine
// without USB) gives an empty list.
QList<UsbDevice> readUsbDevices(const QString &sysRoot);

// The report of "SPUSBDataType -json": one entry per bus, each device nested
// under the hub it is plugged into, as the kernel names tell (2-1.4 hangs off 2-1,
// 2-1 off usb2). A device whose parent is missing is kept under the nearest
// ancestor that is there, or at the top.
QJsonObject usbReport(const QList<UsbDevice> &devices);
