#pragma once

#include "diagnostics/StrumentiDiagnostica.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <QList>
#include <QString>
#include <utility>

namespace StrumentiDiagnostica {

inline const QString nomeFileTestVelocita = QStringLiteral(".orvala_test_velocita.bin");
inline constexpr qint64 dimensioneBloccoTest = 4 * 1048576;
inline constexpr int numeroBlocchiTest = 8;
inline constexpr double byteInUnMB = 1048576.0;
inline constexpr qint64 spazioMinimoTest = 67108864;
inline constexpr double durataMinimaTest = 0.001;
inline constexpr double sogliaScritturaLenta = 5.0;
inline constexpr double sogliaScritturaBuona = 30.0;

struct VelocitaMisurate {
    double scrittura = 0; // MB/s
    double lettura = 0;   // MB/s
};

struct EsitoMisura {
    std::optional<VelocitaMisurate> velocita;
    QString errore; // what the user reads when there is no measurement
};

struct SpazioLibero {
    std::optional<qint64> byte; // none when the file system does not say
    QString errore;             // set when it could not be asked at all
};

// What the measurement asks of the machine, replaceable in tests.
struct AmbienteMisura {
    std::function<SpazioLibero(const QString &cartella)> spazioLibero;
    std::function<double()> secondi; // a clock that never goes back
    // Direct I/O keeps the read-back off the page cache; turned off, the test
    // falls back to flushing and dropping the file's cached pages.
    bool ioDiretto = true;

    static AmbienteMisura sistema();
};

// Writes 32 MB of random data to a hidden file in `volume`, reads it back and
// times both, with the page cache held out. Blocks for the whole test: run it
// on a worker thread. The test file never outlives the call.
EsitoMisura misuraVelocita(const QString &volume, const AmbienteMisura &ambiente = AmbienteMisura::sistema());

// Direct I/O wants the buffer, the length and the offset aligned to the
// device's logical block; 4096 covers every stick and SD card.
inline constexpr size_t allineamentoDiretto = 4096;
struct LiberaBuffer {
    void operator()(char *p) const { std::free(p); }
};
using BufferAllineato = std::unique_ptr<char, LiberaBuffer>;
// Null when there is no memory for it.
BufferAllineato bufferAllineato(size_t dimensione);

// The report lines for a measurement: the speeds, then a judgement of the write
// speed when it is very low or good.
Righe righeVelocita(const VelocitaMisurate &v);

} // namespace StrumentiDiagnostica
