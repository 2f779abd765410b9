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
    bool onUsb() const { return !usbDevicePath.isEmpty(); }
};

// Empty when sysfs has no block device with that number (tmpfs, FUSE, overlay ...).
std::optional<BlockDeviceInfo> readBlockDevice(const QString &sysRoot, int major, int minor);

// Properties udev recorded for a block device (/run/udev/data/b<maj>:<min>).
struct UdevProperties {
    QString label;       // the file-system label, unmangled
    bool ignore = false; // UDISKS_IGNORE=1: desktops leave the device alone
};
UdevProperties readUdevProperties(const QString &runRoot, int major, int minor);

// Decodes udev's "\x20"-style escapes (ID_FS_LABEL_ENC).
QString decodeUdevEscapes(const QString &text);
