#pragma once

#include "VistaSistema.h"

// What `info -plist` reports about the volume at a path (or a device node).
struct InfoVolume {
    QString dispositivo; // kernel name of the volume's device, e.g. sdb1
    QString discoIntero; // kernel name of its whole disk, e.g. sdb
    QString puntoMontaggio;
    QString tipoFs; // as the kernel names it: vfat, exfat, ext4...
    QString nomeVolume;
    qint64 dimensione = 0;
    bool rimovibile = false;
    bool usb = false;
};

std::optional<InfoVolume> leggiInfoVolume(const VistaSistema &vista, const QString &percorso);

// The report as an XML property list, with the keys the disk utility uses.
QString comePlist(const InfoVolume &info);
// A readable name for a kernel file-system type.
QString nomeFileSystem(const QString &tipoFs);

// What `list -plist` reports about a whole disk: its volumes, that is its
// partitions, or the disk itself when it holds a file system without a
// partition table.
struct VolumeElencato {
    QString dispositivo;    // kernel name, e.g. sdb1
    QString puntoMontaggio; // empty when no mount shows the whole volume
    QString tipoFs;
    QString nomeVolume;
    qint64 dimensione = 0;
};
struct ElencoDisco {
    QString disco;
    qint64 dimensione = 0;
    bool partizionato = false;
    QList<VolumeElencato> volumi;
};

ElencoDisco elencaVolumi(const VistaSistema &vista, const Disco &disco);
// The list as an XML property list, with the keys the disk utility uses.
QString comePlist(const ElencoDisco &elenco);
