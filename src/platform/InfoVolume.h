#pragma once

#include <optional>
#include <QString>
#include <sys/types.h>

// What the system knows of the volume a path lies on. Defined once per
// operating system, in platform/<os>/. Blocking; any thread.

// The file systems sticks come with, for what they refuse. Anything else
// (ext4 and the like) is taken to accept every name and size.
enum class FileSystemChiavetta { altro, fat32, exfat };

// Read from the mounted file system, never from names the user gave: the
// kernel's type, or, for a FUSE driver that does not say, the device's own
// signature (the system's record of it, else its boot sector).
FileSystemChiavetta fileSystemDi(const QString &cartella);

// The device of the file system at `percorso`, and whether `percorso` is where
// that file system is mounted (every stick's volume is).
struct RadiceVolume {
    dev_t dispositivo = 0;
    bool puntoDiMontaggio = false;
};
// None, with errno set, when `percorso` cannot be looked at.
std::optional<RadiceVolume> radiceVolume(const QString &percorso);

// Whether the block device behind a file system is still there: a stick
// pulled out can leave its mount behind for a while, answering every read
// with an error. True for a file system on no block device (FUSE, tmpfs).
bool dispositivoPresente(dev_t dispositivo);
