#include "ui/Interruttore.h"

#include "comune/Colori.h"

#include <QPainter>

namespace {
constexpr int larghezzaPista = 34;
constexpr int altezzaPista = 20;
constexpr int distacco = 12; // between the label and the switch
constexpr int bordo = 3;     // room for the focus ring around the switch
} // namespace

Interruttore::Interruttore(const QString &testo, QWidget *parent) : QAbstractButton(parent)
{
    setText(testo);
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    QSizePolicy politica(QSizePolicy::Expanding, QSizePolicy::Preferred);
    politica.setHeightForWidth(true);
    setSizePolicy(politica);
}

QRect Interruttore::rettangoloTesto(int larghezza) const
{
    const int spazio = qMax(1, larghezza - larghezzaPista - distacco - bordo);
    return fontMetrics().boundingRect(QRect(0, 0, spazio, 10000), Qt::TextWordWrap, text());
}

int Interruttore::heightForWidth(int larghezza) const
{
    return qMax(altezzaPista + 2 * bordo, rettangoloTesto(larghezza).height() + 4);
}

QSize Interruttore::sizeHint() const
{
    const int larghezza = fontMetrics().horizontalAdvance(text()) + distacco + larghezzaPista + bordo;
    return {larghezza, heightForWidth(larghezza)};
}

QSize Interruttore::minimumSizeHint() const
{
    return {larghezzaPista + distacco + bordo + fontMetrics().averageCharWidth() * 12,
            altezzaPista + 2 * bordo};
}

void Interruttore::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const QRect testo(0, 0, width() - larghezzaPista - distacco - bordo, height());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(testo, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text());

    const QRectF pista(width() - larghezzaPista - bordo, (height() - altezzaPista) / 2.0, larghezzaPista,
                       altezzaPista);
    QColor fondo = isChecked() ? Colori::green() : palette().color(QPalette::Mid);
    if (!isEnabled())
        fondo.setAlphaF(0.4f);
    p.setPen(Qt::NoPen);
    p.setBrush(fondo);
    p.drawRoundedRect(pista, altezzaPista / 2.0, altezzaPista / 2.0);

    const qreal lato = altezzaPista - 4;
    const qreal x = isChecked() ? pista.right() - 2 - lato : pista.left() + 2;
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(x, pista.top() + 2, lato, lato));

    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        p.drawRoundedRect(pista.adjusted(-2, -2, 2, 2), altezzaPista / 2.0 + 2, altezzaPista / 2.0 + 2);
    }
}
