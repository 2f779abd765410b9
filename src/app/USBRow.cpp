#include "app/USBRow.h"

#include "app/ColoredActionLabel.h"
#include "comune/Colori.h"
#include "operations/SecureEraseManager.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr qreal minimoRiempimento = 3;

void coloraTesto(QLabel *l, const QColor &c)
{
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, c);
    l->setPalette(pal);
}
} // namespace

BarraUtilizzo::BarraUtilizzo(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(4);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BarraUtilizzo::setFrazione(double frazione)
{
    m_frazione = frazione;
    update();
}

qreal BarraUtilizzo::larghezzaRiempimento() const
{
    // An empty stick still shows a sliver, so the bar never reads as missing.
    return qMin<qreal>(width(), qMax(width() * qBound(0.0, m_frazione, 1.0), minimoRiempimento));
}

void BarraUtilizzo::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal r = height() / 2.0;
    QColor traccia = Aspetto::secondario();
    traccia.setAlphaF(0.15f);
    p.setPen(Qt::NoPen);
    p.setBrush(traccia);
    p.drawRoundedRect(QRectF(rect()), r, r);
    const QRectF pieno(0, 0, larghezzaRiempimento(), height());
    if (rossa())
        p.setBrush(Colori::red());
    else
        p.setBrush(Colori::gradienteMarchio(pieno.topLeft(), pieno.topRight()));
    p.drawRoundedRect(pieno, r, r);
}

USBRow::USBRow(int index, const USBDrive &drive, SecureEraseManager *erase, AzioneChiavetta apri,
               AzioneChiavetta espelli, QWidget *parent)
    : QWidget(parent), m_index(index), m_drive(drive), m_erase(erase), m_apri(std::move(apri)),
      m_espelliAzione(std::move(espelli))
{
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    auto *riga = new QHBoxLayout(this);
    riga->setContentsMargins(4, 2, 4, 2);
    riga->setSpacing(8);

    QLabel *posizione =
        etichetta(QStringLiteral("%1.").arg(index + 1), Aspetto::corpo(), Aspetto::secondario());
    posizione->setObjectName(QStringLiteral("posizione"));
    posizione->setFixedWidth(20);
    posizione->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    riga->addWidget(posizione);

    auto *simbolo = new QLabel;
    simbolo->setPixmap(Icone::pixmap(QStringLiteral("externaldrive.fill"), Aspetto::accento(), 18, 2.0));
    simbolo->setFixedSize(18, 18);
    riga->addWidget(simbolo);

    auto *colonna = new QVBoxLayout;
    colonna->setSpacing(2);
    QFont medio = Aspetto::corpo();
    medio.setWeight(QFont::Medium);
    auto *nome = new EtichettaTroncata(drive.name);
    nome->setFont(medio);
    coloraTesto(nome, Aspetto::testo());
    nome->setObjectName(QStringLiteral("nome"));
    colonna->addWidget(nome);
    m_ora = etichetta(QLocale().toString(drive.insertedAt.time(), QLocale::ShortFormat), Aspetto::caption(),
                      Aspetto::secondario());
    m_ora->setObjectName(QStringLiteral("ora"));
    colonna->addWidget(m_ora);
    m_barra = new BarraUtilizzo;
    m_barra->hide();
    colonna->addWidget(m_barra);
    m_testoSpazio = etichetta(QString(), Aspetto::caption2(), Aspetto::secondario());
    m_testoSpazio->setObjectName(QStringLiteral("spazio"));
    m_testoSpazio->hide();
    colonna->addWidget(m_testoSpazio);
    riga->addLayout(colonna, 1);

    m_espelli = new PulsanteSimbolo(QStringLiteral("eject.fill"), Aspetto::secondario(), 14);
    m_espelli->setObjectName(QStringLiteral("espelli"));
    m_espelli->setToolTip(QStringLiteral("Espelli %1").arg(drive.name));
    m_espelli->setOpacita(0.4);
    connect(m_espelli, &QAbstractButton::clicked, this, [this] {
        if (m_espelliAzione)
            m_espelliAzione(m_drive);
    });
    riga->addWidget(m_espelli);

    if (m_erase)
        connect(m_erase, &SecureEraseManager::faseChanged, this, &USBRow::aggiornaEspelli);
    aggiornaEspelli();
    // Read now too, so the panel opens at its final height instead of growing
    // a moment later.
    aggiornaSpazio();
}

void USBRow::aggiornaEspelli()
{
    m_espelli->setEnabled(!m_erase || !m_erase->inCorso());
}

void USBRow::aggiornaSpazio()
{
    if (auto nuovo = spazioDa(m_lettore(m_drive.path()))) {
        m_spazio = nuovo;
        mostraSpazio();
    }
}

void USBRow::mostraSpazio()
{
    const bool c = m_spazio.has_value();
    m_barra->setVisible(c);
    m_testoSpazio->setVisible(c);
    if (!c)
        return;
    m_barra->setFrazione(m_spazio->frazioneUsata);
    m_testoSpazio->setText(QStringLiteral("%1 liberi di %2").arg(m_spazio->liberi, m_spazio->totali));
    coloraTesto(m_testoSpazio, m_spazio->quasiPieno() ? Colori::red() : Aspetto::secondario());
}

void USBRow::showEvent(QShowEvent *)
{
    // Read each time the row comes on screen, e.g. when the panel opens again.
    aggiornaSpazio();
}

void USBRow::setHovering(bool hovering)
{
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    m_espelli->setOpacita(hovering ? 1.0 : 0.4);
    update();
}

void USBRow::enterEvent(QEnterEvent *)
{
    setHovering(true);
}
void USBRow::leaveEvent(QEvent *)
{
    setHovering(false);
}

void USBRow::apri()
{
    if (m_apri)
        m_apri(m_drive);
}

QString USBRow::descrizione() const
{
    QString testo = QStringLiteral("%1, inserita alle %2").arg(m_drive.name, m_ora->text());
    if (m_spazio)
        testo += QStringLiteral(", %1 liberi di %2").arg(m_spazio->liberi, m_spazio->totali);
    return testo;
}

void USBRow::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!e->isAutoRepeat())
            apri();
        return;
    default:
        if (const std::optional<bool> avanti = frecciaAvanti(e))
            focusNextPrevChild(*avanti);
        else
            QWidget::keyPressEvent(e);
    }
}

void USBRow::focusInEvent(QFocusEvent *)
{
    m_espelli->setOpacita(1.0); // lit as under the pointer
    update();
}

void USBRow::focusOutEvent(QFocusEvent *)
{
    m_espelli->setOpacita(m_hovering ? 1.0 : 0.4);
    update();
}

void USBRow::mousePressEvent(QMouseEvent *e)
{
    m_premuto = e->button() == Qt::LeftButton;
}

void USBRow::mouseReleaseEvent(QMouseEvent *e)
{
    const bool clic = m_premuto && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    m_premuto = false;
    if (clic)
        apri();
}

void USBRow::paintEvent(QPaintEvent *)
{
    if (!m_hovering && !hasFocus())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor grigio = Colori::gray();
    grigio.setAlphaF(0.15f);
    p.setPen(Qt::NoPen);
    p.setBrush(grigio);
    p.drawRoundedRect(QRectF(rect()), 6, 6);
    if (hasFocus())
        Aspetto::disegnaFuoco(p, QRectF(rect()), 6);
}
