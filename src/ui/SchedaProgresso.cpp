#include "ui/SchedaProgresso.h"

#include "comune/Colori.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"

#include <algorithm>
#include <cmath>
#include <QEasingCurve>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextLayout>
#include <QVariantAnimation>

namespace {
constexpr int margine = 10;
constexpr int badge = 30;
constexpr int spazioBadge = 10;
constexpr int spazioColonna = 5;
constexpr int spazioPercentuale = 6;
constexpr int altezzaBarra = 6;

QFont fontTitolo()
{
    QFont f = Aspetto::callout();
    f.setWeight(QFont::Medium);
    return f;
}

// Start of each line of `testo` wrapped at `larghezza`.
QList<int> inizi(const QString &testo, const QFont &font, int larghezza)
{
    QList<int> righe;
    QTextLayout layout(testo, font);
    QTextOption opzioni;
    opzioni.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(opzioni);
    layout.beginLayout();
    for (QTextLine riga = layout.createLine(); riga.isValid(); riga = layout.createLine()) {
        riga.setLineWidth(qMax(1, larghezza));
        righe << riga.textStart();
    }
    layout.endLayout();
    return righe;
}

QStringList avvolgi(const QString &testo, const QFont &font, int larghezza)
{
    const QList<int> i = inizi(testo, font, larghezza);
    QStringList righe;
    for (int k = 0; k < i.size(); ++k)
        righe << testo.mid(i[k], k + 1 < i.size() ? i[k + 1] - i[k] : -1).trimmed();
    return righe;
}

// At most two lines; what does not fit ends the second line with "…".
QStringList dueRigheFine(const QString &testo, const QFont &font, int larghezza)
{
    QStringList righe = avvolgi(testo, font, larghezza);
    if (righe.size() <= 2)
        return righe;
    const QString resto = testo.mid(inizi(testo, font, larghezza).at(1)).trimmed();
    return {righe[0], QFontMetrics(font).elidedText(resto, Qt::ElideRight, larghezza)};
}

// At most two lines; a longer text loses its middle, so the counter at the
// start and the file name's end stay readable.
QStringList dueRigheCentro(const QString &testo, const QFont &font, int larghezza)
{
    QStringList righe = avvolgi(testo, font, larghezza);
    if (righe.size() <= 2)
        return righe;
    int basso = 0, alto = int(testo.size()) - 1, migliore = 0;
    while (basso <= alto) {
        const int tenuti = (basso + alto) / 2;
        const QString prova = testo.left(tenuti - tenuti / 2) + QStringLiteral("…") + testo.right(tenuti / 2);
        if (avvolgi(prova, font, larghezza).size() <= 2) {
            migliore = tenuti;
            basso = tenuti + 1;
        } else {
            alto = tenuti - 1;
        }
    }
    QString sinistra = testo.left(migliore - migliore / 2);
    QString destra = testo.right(migliore / 2);
    // Prefer cutting between words, so the visible ends read as words; a
    // file name without spaces is cut where it must.
    const qsizetype spazioS = sinistra.lastIndexOf(QLatin1Char(' '));
    const qsizetype spazioD = destra.indexOf(QLatin1Char(' '));
    if (spazioS > sinistra.size() / 2 && spazioD >= 0 && spazioD < destra.size() / 2) {
        const QString prova = sinistra.left(spazioS) + QStringLiteral(" … ") + destra.mid(spazioD + 1);
        if (avvolgi(prova, font, larghezza).size() <= 2)
            return avvolgi(prova, font, larghezza);
    }
    return avvolgi(sinistra + QStringLiteral("…") + destra, font, larghezza);
}
} // namespace

SchedaProgresso::SchedaProgresso(const QString &titolo, const std::optional<QString> &dettaglio,
                                 std::optional<double> frazione, const QString &icona, const QColor &colore,
                                 QWidget *parent)
    : QWidget(parent), m_titolo(titolo), m_dettaglio(dettaglio), m_icona(icona), m_colore(colore),
      m_anim(new QVariantAnimation(this)), m_animIndeterminata(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    if (frazione) {
        m_frazione = std::clamp(*frazione, 0.0, 1.0);
        m_mostrata = *m_frazione;
    }
    m_anim->setDuration(300);
    m_anim->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_anim, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        m_mostrata = v.toDouble();
        update();
    });
    m_animIndeterminata->setStartValue(0.0);
    m_animIndeterminata->setEndValue(1.0);
    m_animIndeterminata->setDuration(1400);
    m_animIndeterminata->setLoopCount(-1);
    m_animIndeterminata->setEasingCurve(QEasingCurve::InOutSine);
    connect(m_animIndeterminata, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        m_fase = v.toDouble();
        update();
    });
    aggiornaAccessibile();
}

SchedaProgresso::SchedaProgresso(const CentroOperazioni::Operazione &op, QWidget *parent)
    : SchedaProgresso(op.titolo, op.dettaglio, op.frazione, op.icona, op.colore, parent)
{
    setRitmo(op.ritmo);
    impostaAnnulla(op.annulla);
}

void SchedaProgresso::impostaAnnulla(const std::shared_ptr<const std::function<void()>> &annulla)
{
    if (annulla == m_annulla)
        return;
    m_annulla = annulla;
    if (m_annulla && !m_pulsanteAnnulla) {
        m_pulsanteAnnulla = new QPushButton(QStringLiteral("Annulla"), this);
        m_pulsanteAnnulla->setObjectName(QStringLiteral("annullaScheda"));
        m_pulsanteAnnulla->setFont(Aspetto::caption());
        m_pulsanteAnnulla->setCursor(Qt::PointingHandCursor);
        connect(m_pulsanteAnnulla, &QPushButton::clicked, this, [this] {
            // Once: the work may take a moment to stop, and the card then goes.
            m_pulsanteAnnulla->setEnabled(false);
            if (m_annulla)
                (*m_annulla)();
        });
    }
    if (m_pulsanteAnnulla) {
        m_pulsanteAnnulla->setVisible(bool(m_annulla));
        m_pulsanteAnnulla->setEnabled(true);
    }
    updateGeometry();
    posizionaAnnulla();
}

void SchedaProgresso::posizionaAnnulla()
{
    if (!m_pulsanteAnnulla)
        return;
    const QSize dim = m_pulsanteAnnulla->sizeHint();
    m_pulsanteAnnulla->setGeometry(width() - margine - dim.width(), height() - margine - dim.height(),
                                   dim.width(), dim.height());
}

void SchedaProgresso::resizeEvent(QResizeEvent *)
{
    posizionaAnnulla();
}

void SchedaProgresso::imposta(const CentroOperazioni::Operazione &op)
{
    m_icona = op.icona;
    m_colore = op.colore;
    setTitolo(op.titolo);
    setDettaglio(op.dettaglio);
    setFrazione(op.frazione);
    setRitmo(op.ritmo);
    impostaAnnulla(op.annulla);
    update();
}

void SchedaProgresso::setTitolo(const QString &titolo)
{
    if (titolo == m_titolo)
        return;
    m_titolo = titolo;
    aggiornaAccessibile();
    updateGeometry();
    update();
}

void SchedaProgresso::setDettaglio(const std::optional<QString> &dettaglio)
{
    if (dettaglio == m_dettaglio)
        return;
    m_dettaglio = dettaglio;
    aggiornaAccessibile();
    updateGeometry();
    update();
}

void SchedaProgresso::setRitmo(const std::optional<QString> &ritmo)
{
    if (ritmo == m_ritmo)
        return;
    const bool riga = ritmo.has_value() != m_ritmo.has_value();
    m_ritmo = ritmo;
    aggiornaAccessibile();
    if (riga)
        updateGeometry();
    update();
}

void SchedaProgresso::setDettaglioIntero(bool intero)
{
    m_dettaglioIntero = intero;
    updateGeometry();
    update();
}

void SchedaProgresso::aggiornaAccessibile()
{
    setAccessibleName(QStringLiteral("%1 %2").arg(m_titolo, testoPercentuale(m_frazione)).trimmed());
    QStringList descrizione;
    if (m_ritmo)
        descrizione << *m_ritmo;
    if (m_dettaglio)
        descrizione << *m_dettaglio;
    setAccessibleDescription(descrizione.join(QLatin1Char('\n')));
}

void SchedaProgresso::setFrazione(std::optional<double> frazione)
{
    if (frazione)
        frazione = std::clamp(*frazione, 0.0, 1.0);
    if (frazione == m_frazione)
        return;
    const bool daIndeterminata = !m_frazione.has_value();
    m_frazione = frazione;
    m_anim->stop();
    if (frazione) {
        if (daIndeterminata) {
            m_mostrata = *frazione; // a bar that just appeared has nothing to slide from
        } else {
            m_anim->setStartValue(m_mostrata);
            m_anim->setEndValue(*frazione);
            m_anim->start();
        }
    }
    aggiornaIndeterminato();
    aggiornaAccessibile();
    update();
}

QString SchedaProgresso::testoPercentuale(std::optional<double> frazione)
{
    if (!frazione)
        return QString();
    // The small allowance keeps 0.29 from reading 28 %: fractions made from a
    // whole percentage (29 / 100) land a hair below it in floating point.
    const double n = std::floor(std::clamp(*frazione, 0.0, 1.0) * 100.0 + 1e-9);
    return QStringLiteral("%1%").arg(qint64(n));
}

SchedaProgresso::Disposizione SchedaProgresso::disponi(int larghezza) const
{
    Disposizione d;
    const int colonna = larghezza - 2 * margine - badge - spazioBadge;
    d.larghezzaTitolo = colonna;
    const QString pct = testoPercentuale(m_frazione);
    if (!pct.isEmpty()) {
        // Room for "100%" whatever is shown, so the title does not reflow as the count grows.
        const QFontMetrics fm(Aspetto::caption());
        d.larghezzaTitolo -= fm.horizontalAdvance(QStringLiteral("100%")) + spazioPercentuale;
    }
    d.titolo = dueRigheFine(m_titolo, fontTitolo(), d.larghezzaTitolo);
    if (m_dettaglio)
        d.dettaglio = m_dettaglioIntero ? avvolgi(*m_dettaglio, Aspetto::caption(), colonna)
                                        : dueRigheCentro(*m_dettaglio, Aspetto::caption(), colonna);
    const int hTitolo = int(qMax<qsizetype>(1, d.titolo.size())) * QFontMetrics(fontTitolo()).lineSpacing();
    int hColonna = hTitolo + spazioColonna + altezzaBarra;
    if (m_ritmo)
        hColonna += spazioColonna + QFontMetrics(Aspetto::caption()).lineSpacing();
    if (m_dettaglio)
        hColonna += spazioColonna + int(d.dettaglio.size()) * QFontMetrics(Aspetto::caption()).lineSpacing();
    if (m_annulla && m_pulsanteAnnulla)
        hColonna += spazioColonna + m_pulsanteAnnulla->sizeHint().height();
    d.altezza = 2 * margine + qMax(badge, hColonna);
    return d;
}

int SchedaProgresso::heightForWidth(int w) const
{
    return disponi(w).altezza;
}

QSize SchedaProgresso::sizeHint() const
{
    const int w = width() > 50 ? width() : 292;
    return {w, heightForWidth(w)};
}

QSize SchedaProgresso::minimumSizeHint() const
{
    return {120, heightForWidth(qMax(width(), 120))};
}

QStringList SchedaProgresso::righeTitolo() const
{
    return disponi(width()).titolo;
}
QStringList SchedaProgresso::righeDettaglio() const
{
    return disponi(width()).dettaglio;
}

void SchedaProgresso::showEvent(QShowEvent *)
{
    aggiornaIndeterminato();
}
void SchedaProgresso::hideEvent(QHideEvent *)
{
    m_animIndeterminata->stop();
}

void SchedaProgresso::aggiornaIndeterminato()
{
    // The looping indicator only runs while someone can see it.
    if (!m_frazione && isVisible()) {
        if (m_animIndeterminata->state() != QAbstractAnimation::Running)
            m_animIndeterminata->start();
    } else {
        m_animIndeterminata->stop();
    }
}

void SchedaProgresso::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Disposizione d = disponi(width());

    // Background and border, the border stroked inside the edge.
    const QRectF fuori = QRectF(rect());
    QColor fondo = Aspetto::secondario();
    fondo.setAlphaF(0.08f);
    QColor bordo = m_colore;
    bordo.setAlphaF(0.25f);
    p.setPen(Qt::NoPen);
    p.setBrush(fondo);
    p.drawRoundedRect(fuori, 10, 10);
    p.setPen(QPen(bordo, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(fuori.adjusted(0.5, 0.5, -0.5, -0.5), 9.5, 9.5);

    Icone::disegnaDistintivo(p, QRectF(margine, margine, badge, badge), m_icona, m_colore, 16);

    // Title, percentage.
    const int x = margine + badge + spazioBadge;
    const int colonna = width() - x - margine;
    const QFontMetrics fmT(fontTitolo());
    int y = margine;
    p.setFont(fontTitolo());
    p.setPen(Aspetto::testo());
    for (int i = 0; i < d.titolo.size(); ++i)
        p.drawText(QPointF(x, y + fmT.ascent() + i * fmT.lineSpacing()), d.titolo[i]);
    const QString pct = testoPercentuale(m_frazione);
    if (!pct.isEmpty()) {
        const QFontMetrics fmC(Aspetto::caption());
        p.setFont(Aspetto::caption());
        p.setPen(Aspetto::secondario());
        // On the title's first baseline, at the trailing end.
        p.drawText(QPointF(x + colonna - fmC.horizontalAdvance(pct), y + fmT.ascent()), pct);
    }
    y += int(qMax<qsizetype>(1, d.titolo.size())) * fmT.lineSpacing() + spazioColonna;

    // Bar.
    const QRectF traccia(x, y, colonna, altezzaBarra);
    const qreal r = altezzaBarra / 2.0;
    QColor coloreTraccia = Aspetto::secondario();
    coloreTraccia.setAlphaF(0.18f);
    p.setPen(Qt::NoPen);
    p.setBrush(coloreTraccia);
    p.drawRoundedRect(traccia, r, r);
    if (m_frazione) {
        const qreal w = qMax<qreal>(altezzaBarra, traccia.width() * m_mostrata);
        const QRectF riempita(traccia.left(), traccia.top(), w, altezzaBarra);
        p.setBrush(Colori::gradienteMarchio(riempita.topLeft(), riempita.topRight()));
        p.drawRoundedRect(riempita, r, r);
    } else {
        // A segment a third of the track long runs across it and back in.
        const qreal segmento = traccia.width() / 3.0;
        const qreal sinistra = traccia.left() - segmento + m_fase * (traccia.width() + segmento);
        const QRectF corsa = QRectF(sinistra, traccia.top(), segmento, altezzaBarra).intersected(traccia);
        p.save();
        QPainterPath clip;
        clip.addRoundedRect(traccia, r, r);
        p.setClipPath(clip);
        p.setBrush(Colori::gradienteMarchio(corsa.topLeft(), corsa.topRight()));
        p.drawRoundedRect(corsa, r, r);
        p.restore();
    }
    y += altezzaBarra + spazioColonna;

    if (m_ritmo) {
        const QFontMetrics fmC(Aspetto::caption());
        p.setFont(Aspetto::caption());
        p.setPen(Aspetto::secondario());
        p.drawText(QPointF(x, y + fmC.ascent()), fmC.elidedText(*m_ritmo, Qt::ElideRight, colonna));
        y += fmC.lineSpacing() + spazioColonna;
    }
    if (m_dettaglio) {
        const QFontMetrics fmC(Aspetto::caption());
        p.setFont(Aspetto::caption());
        p.setPen(Aspetto::secondario());
        for (int i = 0; i < d.dettaglio.size(); ++i)
            p.drawText(QPointF(x, y + fmC.ascent() + i * fmC.lineSpacing()), d.dettaglio[i]);
    }
}
