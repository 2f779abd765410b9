#pragma once

#include "comune/Dimensioni.h"

#include <optional>
#include <QLocale>
#include <QString>
#include <QtGlobal>

// Total and available bytes of a mounted volume.
struct CapacitaVolume {
    qint64 totale = 0;
    qint64 disponibile = 0;
};

// Both figures in one statvfs, so they describe the same moment. None when
// the volume can't be asked (unmounted, no permission) or reports no size.
std::optional<CapacitaVolume> leggiCapacita(const QString &percorso);

// How full a stick is, ready for its row.
struct SpazioVolume {
    double frazioneUsata = 0; // used / total, normally 0...1
    QString liberi;
    QString totali;

    // Strictly above 90 % the row turns red.
    bool quasiPieno() const { return frazioneUsata > 0.9; }
};

std::optional<SpazioVolume> spazioDa(const std::optional<CapacitaVolume> &capacita,
                                     const QLocale &locale = QLocale());
