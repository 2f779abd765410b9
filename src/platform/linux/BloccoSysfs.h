#pragma once

#include <optional>
#include <QString>

// What sysfs tells about the disk behind a block device number.
struct BlockDeviceInfo {
    QString devicePath;     // canonical sysfs folder of the device (partition or disk)
    QString diskPath;       // canonical sysfs folder of the whole disk
    QString diskName;       // kernel name of the whole disk, e.g. "sdb"
    bool removable = false; // the disk's own "removable" flag
    QString usbDevicePath;  // the USB device the disk hangs off, empty when not on USB
    // The USB device's serial number, or the memory card's own; empty when
    // it has none. With `model` ("vendor:product" of the USB device) it names
    // the stick across formats.
    QString serial;
    QString model;
    qint64 diskBytes = 0;   // size of the whole disk
    qint64 deviceBytes = 0; // size of the device itself (the partition)
    bool onUsb() const { return !usbDevicePath.isEmpty(); }
};

// Empty when sysfs has no block device with that number (tmpfs, FUSE, overlay ...).
std::optional<BlockDeviceInfo> readBlockDevice(const QString &sysRoot, int major, int minor);

// Properties udev recorded for a block device (/run/udev/data/b<maj>:<min>).
struct UdevProperties {
    QString label;       // the file-system label, unmangled
    QString uuid;        // the file system's UUID (ID_FS_UUID), new with every format
    QString serial;      // the device's serial number (ID_SERIAL_SHORT)
    bool ignore = false; // UDISKS_IGNORE=1: desktops leave the device alone
};
UdevProperties readUdevProperties(const QString &runRoot, int major, int minor);

// Decodes udev's "\x20"-style escapes (ID_FS_LABEL_ENC).
QString decodeUdevEscapes(const QString &text);
