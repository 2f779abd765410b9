#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The three categories of the filtered copy. The image list is also the one
// the automatic import uses.
enum class CategoriaFile { video, documenti, immagini };

QStringList estensioni(CategoriaFile categoria); // lower case, no dot, in table order
QSet<QString> insiemeEstensioni(CategoriaFile categoria);
QString etichetta(CategoriaFile categoria); // "Solo video", ...
