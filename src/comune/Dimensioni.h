#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>

// A size as the panel and the diagnostics both show it: decimal units
// (1 kB = 1000 bytes) in the user's number format, "15,9 GB", "10 GB".
QString formattaByte(qint64 byte, const QLocale &locale = QLocale());
