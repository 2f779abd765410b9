#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Reading what the disk utility prints.
namespace DiskUtil {
// Every percentage in one chunk of output, in order; a number cut by a chunk
// boundary is not pieced together.
QList<double> trovaPercentuali(const QString &testo);
// 42 -> "42.0", 7.5 -> "7.5": the shortest text that reads back the same.
QString testoNumero(double valore);
// Strict UTF-8: empty when the bytes are not valid UTF-8.
QString decodificaUtf8(const QByteArray &byte);
// The last `quanti` user-perceived characters of `testo` (all of it when shorter).
QString ultimiCaratteri(const QString &testo, int quanti);
} // namespace DiskUtil
