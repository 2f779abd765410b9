#include "ui/Aspetto.h"

#include "comune/Colori.h"

#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

namespace {
QFont carattere(int px, QFont::Weight peso = QFont::Normal)
{
    QFont f;
    f.setPixelSize(px);
    f.setWeight(peso);
    return f;
}
} // namespace

namespace Aspetto {
QFont headline()
{
    return carattere(13, QFont::DemiBold);
}
QFont corpo()
{
    return carattere(13);
}
QFont callout()
{
    return carattere(12);
}
QFont caption()
{
    return carattere(11);
}
QFont caption2()
{
    return carattere(10);
}
QFont title3()
{
    return carattere(16, QFont::DemiBold);
}

QColor testo()
{
    return QColor(29, 29, 31);
}
QColor secondario()
{
    return QColor(110, 110, 115);
}
QColor terziario()
{
    return QColor(160, 160, 166);
}
QColor sfondo()
{
    return QColor(246, 246, 248);
}
QColor accento()
{
    return Colori::blue();
}

QPalette tavolozza()
{
    QPalette p;
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::Window, sfondo());
        p.setColor(g, QPalette::WindowText, testo());
        p.setColor(g, QPalette::Base, Qt::white);
        p.setColor(g, QPalette::AlternateBase, QColor(240, 240, 242));
        p.setColor(g, QPalette::Text, testo());
        p.setColor(g, QPalette::Button, QColor(252, 252, 253));
        p.setColor(g, QPalette::ButtonText, testo());
        p.setColor(g, QPalette::PlaceholderText, terziario());
        p.setColor(g, QPalette::Highlight, Colori::coloreMarchio());
        p.setColor(g, QPalette::HighlightedText, Qt::white);
        p.setColor(g, QPalette::ToolTipBase, QColor(255, 255, 255));
        p.setColor(g, QPalette::ToolTipText, testo());
        p.setColor(g, QPalette::Light, Qt::white);
        p.setColor(g, QPalette::Midlight, QColor(236, 236, 238));
        p.setColor(g, QPalette::Mid, QColor(200, 200, 204));
        p.setColor(g, QPalette::Dark, QColor(160, 160, 166));
        p.setColor(g, QPalette::Shadow, QColor(0, 0, 0, 60));
        p.setColor(g, QPalette::Link, Colori::coloreMarchioScuro());
    }
    p.setColor(QPalette::Disabled, QPalette::Window, sfondo());
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(250, 250, 250));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(248, 248, 249));
    for (auto ruolo : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, ruolo, QColor(29, 29, 31, 90));
    return p;
}

void applicaTemaChiaro(QWidget *w)
{
    w->setPalette(tavolozza());
    w->setAutoFillBackground(true);
}

void disegnaFuoco(QPainter &p, const QRectF &area, qreal raggio)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Colori::coloreMarchio(), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(area.adjusted(1, 1, -1, -1), raggio, raggio);
    p.restore();
}

void scorrimentoSottile(QScrollArea *area)
{
    area->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(0,0,0,60); border-radius: 3px; min-height: 30px;"
        " margin: 0 1px; }"
        "QScrollBar::handle:vertical:hover { background: rgba(0,0,0,100); }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
}
} // namespace Aspetto

TestoGradiente::TestoGradiente(const QString &testo, const QFont &font, Qt::Alignment allineamento,
                               QWidget *parent)
    : QWidget(parent), m_testo(testo), m_allineamento(allineamento)
{
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(testo);
}

QSize TestoGradiente::sizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(m_testo) + 2, fm.height()};
}

QSize TestoGradiente::minimumSizeHint() const
{
    return sizeHint();
}

void TestoGradiente::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFontMetrics fm(font());
    const QRect r = QStyle::alignedRect(layoutDirection(), m_allineamento | Qt::AlignVCenter,
                                        QSize(fm.horizontalAdvance(m_testo) + 2, fm.height()), rect());
    // The gradient spans the text itself, not the whole widget, so a centred
    // footer shows both ends of it.
    p.setPen(QPen(QBrush(Colori::gradienteMarchio(r.topLeft(), r.topRight())), 1));
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, m_testo);
}

Divisore::Divisore(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divisore::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0, 0, 0, 28));
}

EtichettaTroncata::EtichettaTroncata(const QString &testo, QWidget *parent) : QLabel(testo, parent)
{
    setTextFormat(Qt::PlainText);
    setToolTip(testo);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize EtichettaTroncata::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")), QLabel::minimumSizeHint().height()};
}

void EtichettaTroncata::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const QRect r = contentsRect();
    p.drawText(r, int(alignment()), fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
}

QLabel *etichetta(const QString &testo, const QFont &font, const QColor &colore, QWidget *parent)
{
    auto *l = new QLabel(testo, parent);
    l->setFont(font);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colore);
    l->setPalette(pal);
    l->setTextFormat(Qt::PlainText);
    return l;
}
