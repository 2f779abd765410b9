#include "comune/Colori.h"

namespace Colori {

QColor coloreMarchio()
{
    return QColor::fromRgbF(0.161f, 0.659f, 0.863f, 1.0f);
}
QColor coloreMarchioScuro()
{
    return QColor::fromRgbF(0.09f, 0.439f, 0.584f, 1.0f);
}

QLinearGradient gradienteMarchio(const QPointF &from, const QPointF &to)
{
    QLinearGradient g(from, to);
    g.setColorAt(0, coloreMarchio());
    g.setColorAt(1, coloreMarchioScuro());
    return g;
}

// The desktop palette the practice's staff know from their Macs (light appearance).
QColor blue()
{
    return QColor(0, 122, 255);
}
QColor green()
{
    return QColor(52, 199, 89);
}
QColor indigo()
{
    return QColor(88, 86, 214);
}
QColor mint()
{
    return QColor(0, 199, 190);
}
QColor orange()
{
    return QColor(255, 149, 0);
}
QColor purple()
{
    return QColor(175, 82, 222);
}
QColor red()
{
    return QColor(255, 59, 48);
}
QColor teal()
{
    return QColor(48, 176, 199);
}
QColor yellow()
{
    return QColor(255, 204, 0);
}
QColor gray()
{
    return QColor(142, 142, 147);
}
} // namespace Colori
