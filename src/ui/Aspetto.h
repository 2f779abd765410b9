#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QWidget>

class QPainter;
class QPalette;
class QScrollArea;

// The light look shared by the panel and the three windows: type sizes,
// text colours and a few small drawing widgets.
namespace Aspetto {
QFont headline();
QFont corpo();
QFont callout();
QFont caption();
QFont caption2(); // the smallest caption
QFont title3();

QColor testo();
QColor secondario();
QColor terziario();
QColor sfondo();
QColor accento(); // the accent colour of the drive symbol

// A light palette, whatever the desktop's theme: the panel's colours are
// chosen against a light background.
QPalette tavolozza();
void applicaTemaChiaro(QWidget *w);

// The keyboard focus ring: a 2-point outline in the brand colour just inside
// `area`, so a person working without a mouse always sees where they are.
void disegnaFuoco(QPainter &p, const QRectF &area, qreal raggio);
// A thin scroll bar that leaves the content its width.
void scorrimentoSottile(QScrollArea *area);
} // namespace Aspetto

// A line of text filled with the brand gradient.
class TestoGradiente : public QWidget {
    Q_OBJECT
public:
    TestoGradiente(const QString &testo, const QFont &font, Qt::Alignment allineamento = Qt::AlignLeft,
                   QWidget *parent = nullptr);
    QString testo() const { return m_testo; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_testo;
    Qt::Alignment m_allineamento;
};

// A hairline between sections.
class Divisore : public QWidget {
    Q_OBJECT
public:
    explicit Divisore(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {1, 1}; }

protected:
    void paintEvent(QPaintEvent *) override;
};

// A one-line label that ends in "…" when its text does not fit (a stick's
// name can be as long as the user likes); the whole text stays its tooltip
// and what a screen reader reads.
class EtichettaTroncata : public QLabel {
    Q_OBJECT
public:
    explicit EtichettaTroncata(const QString &testo, QWidget *parent = nullptr);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;
};

// A label in a given font and colour (secondary text, captions...).
QLabel *etichetta(const QString &testo, const QFont &font, const QColor &colore, QWidget *parent = nullptr);
