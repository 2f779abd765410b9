#pragma once

#include "comune/USBDrive.h"

#include <QString>

// What tells one stick from another across insertions, ports and years.
// A serial number survives a format, so it names the stick when there is
// one; else the file system's UUID (new with every format); else the label
// and the size, which a format with a new name changes.
struct IdentitaChiavetta {
    QString seriale;       // with the USB vendor and product, or a memory card's own
    QString uuid;          // of the file system
    QString etichetta;     // the volume's name
    qint64 dimensione = 0; // bytes: of the whole disk with a serial, else of the volume

    // The name the stick's history is kept under; empty when nothing identifies it.
    QString chiave() const;
};

// Read from the system now for the volume mounted at `drive.path()`, with
// `drive.name` as the label when the system has none. Cheap: no data is read
// from the stick. Any thread.
IdentitaChiavetta leggiIdentitaChiavetta(const USBDrive &drive);
