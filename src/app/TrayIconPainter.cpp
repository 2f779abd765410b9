#include "app/TrayIconPainter.h"

#include "settings/Colori.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace {
// A drive seen from the front: a rounded slab with a status light.
void disegnaDisco(QPainter &p, const QRectF &area, const QColor &colore)
{
    const qreal h = area.height() * 0.55;
    const QRectF corpo(area.left(), area.center().y() - h / 2, area.width(), h);
    QPainterPath path;
    path.addRoundedRect(corpo, h * 0.22, h * 0.22);
    p.fillPath(path, colore);
    const qreal r = h * 0.12;
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(corpo.right() - h * 0.35, corpo.center().y()), r, r);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawRoundedRect(
        QRectF(corpo.left() + h * 0.3, corpo.center().y() - r * 0.6, corpo.width() * 0.45, r * 1.2), r * 0.6,
        r * 0.6);
}
} // namespace

QImage disegnaIconaVassoio(const QString &testo, int lato)
{
    QImage img(lato, lato, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colore = Colori::coloreMarchioScuro();
    if (testo.isEmpty()) {
        disegnaDisco(p, QRectF(lato * 0.06, lato * 0.06, lato * 0.88, lato * 0.88), colore);
        return img;
    }
    disegnaDisco(p, QRectF(lato * 0.14, 0, lato * 0.72, lato * 0.5), colore);
    QFont font;
    font.setBold(true);
    font.setPixelSize(int(lato * 0.46));
    // Shrink until "100%" fits the width.
    while (font.pixelSize() > 6 && QFontMetricsF(font).horizontalAdvance(testo) > lato * 0.98)
        font.setPixelSize(font.pixelSize() - 1);
    p.setFont(font);
    p.setPen(Colori::red());
    p.drawText(QRectF(0, lato * 0.46, lato, lato * 0.54), Qt::AlignCenter, testo);
    return img;
}
