#pragma once

#include <QString>

// Where the system tools the disk maintenance and the diagnostics drive live.
// On macOS they are the system's own; elsewhere they are Tessera's stand-ins,
// installed beside the program (or, when run from the build tree, built there).
struct PercorsiStrumenti {
    QString diskutil;
    QString systemProfiler;
};

// Defined once per operating system, in platform/<os>/.
PercorsiStrumenti percorsiStrumenti();
