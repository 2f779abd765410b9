#include "app/DisegnoIconaVassoio.h"

#include "comune/Colori.h"
#include "ui/Icone.h"

#include <QFont>
#include <QPainter>

QImage disegnaIconaVassoio(const QString &testo, int lato)
{
    QImage img(lato, lato, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colore = Colori::coloreMarchioScuro();
    if (testo.isEmpty()) {
        Icone::disegna(p, QStringLiteral("externaldrive.fill"), colore, QRectF(0, 0, lato, lato));
        return img;
    }
    Icone::disegna(p, QStringLiteral("externaldrive.fill"), colore,
                   QRectF(lato * 0.25, 0, lato * 0.5, lato * 0.5));
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
