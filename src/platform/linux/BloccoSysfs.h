#pragma once

#include <optional>
#include <QString>

// What sysfs tells about the disk behind a block device number.
struct InfoDispositivoBlocco {
    QString percorsoDispositivo; // canonical sysfs folder of the device (partition or disk)
    QString percorsoDisco;       // canonical sysfs folder of the whole disk
    QString nomeDisco;           // kernel name of the whole disk, e.g. "sdb"
    bool rimovibile = false;     // the disk's own "removable" flag
    QString percorsoUsb;         // the USB device the disk hangs off, empty when not on USB
    // The USB device's serial number, or the memory card's own; empty when
    // it has none. With `modello` ("vendor:product" of the USB device) it names
    // the stick across formats.
    QString seriale;
    QString modello;
    qint64 byteDisco = 0;       // size of the whole disk
    qint64 byteDispositivo = 0; // size of the device itself (the partition)
    bool suUsb() const { return !percorsoUsb.isEmpty(); }
};

// Empty when sysfs has no block device with that number (tmpfs, FUSE, overlay ...).
std::optional<InfoDispositivoBlocco> leggiDispositivoBlocco(const QString &radiceSys, int maggiore,
                                                            int minore);

// Properties udev recorded for a block device (/run/udev/data/b<maj>:<min>).
struct ProprietaUdev {
    QString etichetta;   // the file-system label, unmangled
    QString uuid;        // the file system's UUID (ID_FS_UUID), new with every format
    QString seriale;     // the device's serial number (ID_SERIAL_SHORT)
    bool ignora = false; // UDISKS_IGNORE=1: desktops leave the device alone
};
ProprietaUdev leggiProprietaUdev(const QString &radiceRun, int maggiore, int minore);

// Decodes udev's "\x20"-style escapes (ID_FS_LABEL_ENC).
QString decodificaEscapeUdev(const QString &testo);
