#pragma once

#include <QString>
#include <QStringList>

// The files an operation could not handle, one "“name”: reason" line each:
// the practice must be able to tell which patient's images did not arrive.

// The first few lines, for an alert: "e altri N..." stands for the rest.
QString primeRighe(const QStringList &righe);

// Every line, for the log: "; {etichetta}: a; b; ...". Too many for one line
// go to a file beside the log (readable by its owner only) that the line
// names instead. Empty when there are none. Main thread or any other.
QString righeInRegistro(const QStringList &righe, const QString &etichetta);
