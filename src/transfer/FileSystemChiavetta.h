#pragma once

#include "platform/InfoVolume.h"

#include <QString>

// What the file systems sticks come with refuse (the kind of file system of a
// folder comes from fileSystemDi()).

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
