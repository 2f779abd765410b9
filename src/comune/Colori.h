#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QString>

// The brand colours and the named palette every card, row and window uses.
namespace Colori {
QColor coloreMarchio();      // sRGB 0.161, 0.659, 0.863
QColor coloreMarchioScuro(); // sRGB 0.09, 0.439, 0.584
// From coloreMarchio at `from` to coloreMarchioScuro at `to`.
QLinearGradient gradienteMarchio(const QPointF &from, const QPointF &to);

QColor blue();
QColor green();
QColor indigo();
QColor mint();
QColor orange();
QColor purple();
QColor red();
QColor teal();
QColor yellow();
QColor gray();
} // namespace Colori
