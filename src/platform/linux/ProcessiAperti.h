#pragma once

#include <QString>
#include <QStringList>

// Names (/proc/PID/comm) of the programs that hold a file open below
// `cartella`, or sit in it as their working folder: what keeps a stick busy.
// Sorted, each name once. Processes we may not inspect are skipped.
QStringList programmiCheUsano(const QString &cartella, const QString &procRoot = QStringLiteral("/proc"));
