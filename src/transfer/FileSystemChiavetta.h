#pragma once

#include <QString>

// The file systems sticks come with, for what they refuse. Anything else
// (ext4 and the like) is taken to accept every name and size.
enum class FileSystemChiavetta { altro, fat32, exfat };

// Read from the mounted file system, never from names the user gave: the
// kernel's type, or, for a FUSE driver that does not say, the device's own
// signature (udev's record of it, else its boot sector).
FileSystemChiavetta fileSystemDi(const QString &cartella);
// "FAT32", "exFAT", as the user knows them.
QString nomeFileSystem(FileSystemChiavetta fs);

// False where two names that differ only in case are one file (FAT, exFAT,
// and any file system found to behave so): looked up, not assumed.
bool distingueMaiuscole(const QString &radice);

// Why FAT32 and exFAT refuse `relativo` ("contiene “:”", "la cartella “x.”
// finisce con un punto"...), or empty when they take it.
QString nomeNonAmmesso(const QString &relativo);

// FAT32 keeps a file's size in 32 bits.
inline constexpr qint64 dimensioneMassimaFat32 = 0xFFFFFFFFLL;
