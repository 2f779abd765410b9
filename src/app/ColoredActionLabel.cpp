#include "app/ColoredActionLabel.h"

#include "comune/Colori.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"

#include <QEnterEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int latoSimbolo = 16;
constexpr int spazioSimbolo = 8;
constexpr int altezzaVoce = 26;
constexpr int rientro = 6;

QColor spento(QColor c, qreal fattore)
{
    c.setAlphaF(c.alphaF() * fattore);
    return c;
}

// Enter and Return press a panel button as Space does; the arrows move on.
bool tastoDaPulsante(QAbstractButton *b, QKeyEvent *e)
{
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter)
        return false;
    if (!e->isAutoRepeat())
        b->click();
    return true;
}
} // namespace

ColoredActionLabel::ColoredActionLabel(const QString &titolo, const QString &systemImage, const QColor &color,
                                       QWidget *parent)
    : QWidget(parent), m_titolo(titolo), m_systemImage(systemImage), m_color(color),
      m_coloreTitolo(Aspetto::testo())
{
    setFont(Aspetto::corpo());
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ColoredActionLabel::setColoreTitolo(const QColor &colore)
{
    m_coloreTitolo = colore;
    update();
}

QSize ColoredActionLabel::sizeHint() const
{
    const QFontMetrics fm(font());
    const int simbolo = m_systemImage.isEmpty() ? 0 : latoSimbolo + spazioSimbolo;
    return {simbolo + fm.horizontalAdvance(m_titolo), qMax(latoSimbolo, fm.height())};
}

QSize ColoredActionLabel::minimumSizeHint() const
{
    return {latoSimbolo, sizeHint().height()};
}

void ColoredActionLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal fattore = isEnabled() ? 1.0 : 0.38;
    int x = 0;
    if (!m_systemImage.isEmpty()) {
        const QRectF area(0, (height() - latoSimbolo) / 2.0, latoSimbolo, latoSimbolo);
        Icone::disegna(p, m_systemImage, spento(m_color, fattore), area);
        x = latoSimbolo + spazioSimbolo;
    }
    const QRect testo(x, 0, width() - x, height());
    // Long titles first shrink a little, as on the desktop the panel comes
    // from; only past 11 pixels do they lose their end.
    QFont f = font();
    for (int px = f.pixelSize(); px > 11 && QFontMetrics(f).horizontalAdvance(m_titolo) > testo.width(); --px)
        f.setPixelSize(px - 1);
    p.setFont(f);
    p.setPen(spento(m_coloreTitolo, fattore));
    p.drawText(testo, Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(f).elidedText(m_titolo, Qt::ElideRight, testo.width()));
}

VoceAzione::VoceAzione(const QString &titolo, const QString &simbolo, const QColor &colore, QWidget *parent)
    : QAbstractButton(parent)
{
    setText(titolo);
    m_etichetta = new ColoredActionLabel(titolo, simbolo, colore, this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(altezzaVoce);
    // Reached with Tab and the arrow keys; a click does not take the focus,
    // so the ring shows only for the keyboard.
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_menu)
            apriMenu();
    });
}

QString VoceAzione::titolo() const
{
    return m_etichetta->titolo();
}

void VoceAzione::setMenuVoci(QMenu *menu)
{
    m_menu = menu;
    if (m_menu) {
        m_menu->setParent(this, m_menu->windowFlags());
        m_menu->setAccessibleName(titolo());
    }
    riposiziona();
    update();
}

void VoceAzione::setDistruttiva(bool distruttiva)
{
    m_etichetta->setColoreTitolo(distruttiva ? Colori::red() : Aspetto::testo());
}

void VoceAzione::setTestoScorciatoia(const QString &testo)
{
    m_scorciatoia = testo;
    riposiziona();
    update();
}

QSize VoceAzione::sizeHint() const
{
    return {m_etichetta->sizeHint().width() + 2 * rientro + (m_menu ? 16 : 0), altezzaVoce};
}

void VoceAzione::apriMenu()
{
    m_menu->setMinimumWidth(width());
    m_menu->popup(mapToGlobal(QPoint(0, height())));
    // From the keyboard the first item is lit at once, ready for the arrows and Enter.
    if (hasFocus()) {
        for (QAction *a : m_menu->actions()) {
            if (a->isEnabled() && !a->isSeparator()) {
                m_menu->setActiveAction(a);
                break;
            }
        }
    }
}

void VoceAzione::keyPressEvent(QKeyEvent *e)
{
    if (const std::optional<bool> avanti = frecciaAvanti(e))
        focusNextPrevChild(*avanti);
    else if (!tastoDaPulsante(this, e))
        QAbstractButton::keyPressEvent(e);
}

void VoceAzione::focusInEvent(QFocusEvent *e)
{
    QAbstractButton::focusInEvent(e);
    update();
}

void VoceAzione::focusOutEvent(QFocusEvent *e)
{
    QAbstractButton::focusOutEvent(e);
    update();
}

void VoceAzione::enterEvent(QEnterEvent *)
{
    m_sopra = true;
    update();
}

void VoceAzione::leaveEvent(QEvent *)
{
    m_sopra = false;
    update();
}

void VoceAzione::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::EnabledChange)
        m_etichetta->update();
    QAbstractButton::changeEvent(e);
}

void VoceAzione::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isEnabled() && (m_sopra || isDown())) {
        p.setPen(Qt::NoPen);
        p.setBrush(isDown() ? QColor(0, 0, 0, 26) : QColor(0, 0, 0, 14));
        p.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    if (hasFocus())
        Aspetto::disegnaFuoco(p, QRectF(rect()), 6);
    int destra = width() - rientro;
    const QColor coloreSegno = isEnabled() ? Aspetto::secondario() : spento(Aspetto::secondario(), 0.4);
    if (m_menu) {
        // A small chevron: this entry opens a list.
        const qreal cx = destra - 5, cy = height() / 2.0;
        QPainterPath segno;
        segno.moveTo(cx - 3.5, cy - 1.5);
        segno.lineTo(cx, cy + 2);
        segno.lineTo(cx + 3.5, cy - 1.5);
        p.setPen(QPen(coloreSegno, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(segno);
        destra -= 16;
    }
    if (!m_scorciatoia.isEmpty()) {
        p.setFont(Aspetto::callout());
        p.setPen(coloreSegno);
        const int w = QFontMetrics(Aspetto::callout()).horizontalAdvance(m_scorciatoia);
        p.drawText(QRect(destra - w, 0, w, height()), Qt::AlignRight | Qt::AlignVCenter, m_scorciatoia);
    }
}

void VoceAzione::resizeEvent(QResizeEvent *e)
{
    QAbstractButton::resizeEvent(e);
    riposiziona();
}

void VoceAzione::riposiziona()
{
    int destra = width() - rientro;
    if (m_menu)
        destra -= 16;
    if (!m_scorciatoia.isEmpty())
        destra -= QFontMetrics(Aspetto::callout()).horizontalAdvance(m_scorciatoia) + 8;
    m_etichetta->setGeometry(rientro, 0, qMax(0, destra - rientro), height());
}

PulsanteSimbolo::PulsanteSimbolo(const QString &simbolo, const QColor &colore, int lato, QWidget *parent)
    : QAbstractButton(parent), m_simbolo(simbolo), m_colore(colore), m_lato(lato)
{
    setFixedSize(lato + 8, lato + 8);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

bool PulsanteSimbolo::event(QEvent *e)
{
    // A button with only a symbol is read out by its tooltip ("Espelli ECO_A").
    if (e->type() == QEvent::ToolTipChange)
        setAccessibleName(toolTip());
    if (e->type() == QEvent::FocusIn || e->type() == QEvent::FocusOut)
        update();
    return QAbstractButton::event(e);
}

void PulsanteSimbolo::keyPressEvent(QKeyEvent *e)
{
    if (const std::optional<bool> avanti = frecciaAvanti(e))
        focusNextPrevChild(*avanti);
    else if (!tastoDaPulsante(this, e))
        QAbstractButton::keyPressEvent(e);
}

void PulsanteSimbolo::setOpacita(qreal opacita)
{
    m_opacita = opacita;
    update();
}

QSize PulsanteSimbolo::sizeHint() const
{
    return {m_lato + 8, m_lato + 8};
}

void PulsanteSimbolo::enterEvent(QEnterEvent *)
{
    m_sopra = true;
    update();
}

void PulsanteSimbolo::leaveEvent(QEvent *)
{
    m_sopra = false;
    update();
}

void PulsanteSimbolo::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isEnabled() && (m_sopra || isDown())) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, isDown() ? 30 : 16));
        p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
    if (hasFocus())
        Aspetto::disegnaFuoco(p, QRectF(rect()), width() / 2.0);
    // The keyboard's focus lights the symbol as the pointer does.
    const qreal opacita = hasFocus() ? 1.0 : m_opacita;
    p.setOpacity(isEnabled() ? opacita : opacita * 0.5);
    const QRectF area((width() - m_lato) / 2.0, (height() - m_lato) / 2.0, m_lato, m_lato);
    Icone::disegna(p, m_simbolo, m_colore, area);
}

std::optional<bool> frecciaAvanti(const QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        return false;
    case Qt::Key_Down:
    case Qt::Key_Right:
        return true;
    default:
        return std::nullopt;
    }
}

QMenu *creaMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setPalette(Aspetto::tavolozza());
    menu->setFont(Aspetto::corpo());
    menu->setStyleSheet(QStringLiteral(
        "QMenu { background: #fbfbfc; border: 1px solid rgba(0,0,0,45); border-radius: 8px; padding: 4px; }"
        "QMenu::item { padding: 5px 18px 5px 8px; border-radius: 5px; color: #1d1d1f; }"
        "QMenu::item:selected { background: #29a8dc; color: white; }"
        "QMenu::item:disabled { color: rgba(29,29,31,90); }"
        "QMenu::icon { padding-left: 6px; }"));
    return menu;
}
