#include "settings/SettingsView.h"

#include "comune/Colori.h"
#include "comune/Marchio.h"
#include "operations/CentroOperazioni.h"
#include "operations/Registro.h"
#include "operations/Servizi.h"
#include "settings/AppSettings.h"
#include "settings/SceltaCartella.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"
#include "ui/Interruttore.h"
#include "ui/SchedaProgresso.h"
#include "update/ControlloAggiornamenti.h"

#include <cmath>
#include <memory>
#include <QButtonGroup>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <unistd.h>

namespace {
constexpr int larghezzaFinestra = 400;
constexpr int margine = 20;
constexpr int margineCasella = 8;

// Icons by system-symbol name, from Tessera's bundled set, in the secondary
// colour the window's symbols use.
QIcon iconaSimbolo(const QString &simbolo)
{
    return Icone::icona(simbolo, Aspetto::secondario());
}

// Text sizes relative to the desktop's normal font, in the ratios of the
// headline / subheadline / caption / smallest-caption styles.
QFont carattere(const QWidget *w, qreal scala, bool grassetto = false)
{
    QFont f = w->font();
    f.setPointSizeF(f.pointSizeF() * scala);
    f.setBold(grassetto);
    return f;
}

QColor coloreSecondario(const QWidget *w)
{
    QColor c = w->palette().color(QPalette::WindowText);
    c.setAlphaF(0.6f);
    return c;
}

QLabel *etichettaSecondaria(QWidget *genitore, const QString &testo, qreal scala)
{
    auto *l = new QLabel(testo, genitore);
    l->setFont(carattere(genitore, scala));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, coloreSecondario(genitore));
    l->setPalette(pal);
    return l;
}

QFrame *divisore(QWidget *genitore)
{
    auto *f = new QFrame(genitore);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Plain);
    QPalette pal = f->palette();
    QColor c = pal.color(QPalette::WindowText);
    c.setAlphaF(0.15f);
    pal.setColor(QPalette::WindowText, c);
    f->setPalette(pal);
    return f;
}

QPushButton *pulsante(QWidget *genitore, const QString &testo, const QString &simbolo, const QString &nome)
{
    auto *b = new QPushButton(iconaSimbolo(simbolo), testo, genitore);
    b->setObjectName(nome);
    return b;
}

// The full path, selectable and copyable as it is, wrapping anywhere (a path
// has no spaces to break at) and as tall as its text.
class CasellaPercorso : public QTextEdit {
public:
    explicit CasellaPercorso(QWidget *genitore) : QTextEdit(genitore)
    {
        setReadOnly(true);
        // Selected with the mouse and copied with the usual shortcut; no caret,
        // and the window's first focus goes to the buttons, not here.
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setFocusPolicy(Qt::ClickFocus);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setViewportMargins(0, 0, 0, 0);
        document()->setDocumentMargin(margineCasella);
        viewport()->setAutoFillBackground(false);
        setAutoFillBackground(false);
        QSizePolicy politica(QSizePolicy::Expanding, QSizePolicy::Fixed);
        politica.setHeightForWidth(true);
        setSizePolicy(politica);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int larghezza) const override
    {
        std::unique_ptr<QTextDocument> copia(document()->clone());
        // A clone keeps the text but not how it is laid out.
        copia->setDefaultFont(font());
        copia->setDefaultTextOption(document()->defaultTextOption());
        copia->setDocumentMargin(document()->documentMargin());
        copia->setTextWidth(larghezza);
        return int(std::ceil(copia->size().height()));
    }
    QSize sizeHint() const override
    {
        const int larghezza = larghezzaFinestra - 2 * margine;
        return {larghezza, heightForWidth(width() > 0 ? width() : larghezza)};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *evento) override
    {
        // The rounded box behind the text (continuous corners are the Mac's; a
        // plain rounded rectangle is the nearest).
        QPainter p(viewport());
        p.setRenderHint(QPainter::Antialiasing);
        QColor fondo = coloreSecondario(this);
        fondo.setAlphaF(0.1f);
        p.setPen(Qt::NoPen);
        p.setBrush(fondo);
        p.drawRoundedRect(QRectF(viewport()->rect()), 6, 6);
        p.end();
        QTextEdit::paintEvent(evento);
    }
};

// One line in the brand gradient, centred over the full width.
class PiePagina : public QWidget {
public:
    PiePagina(const QString &testo, QWidget *genitore) : QWidget(genitore), m_testo(testo)
    {
        setFont(carattere(genitore, 0.8));
        setAccessibleName(testo);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QString testo() const { return m_testo; }
    QSize sizeHint() const override
    {
        return {fontMetrics().horizontalAdvance(m_testo), fontMetrics().height()};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        const QString riga = fontMetrics().elidedText(m_testo, Qt::ElideRight, width());
        const int larghezza = fontMetrics().horizontalAdvance(riga);
        const QRectF area((width() - larghezza) / 2.0, 0, larghezza, height());
        // The gradient spans the text itself, so both brand colours show.
        p.setPen(QPen(QBrush(Colori::gradienteMarchio(area.topLeft(), area.topRight())), 1));
        p.drawText(area, Qt::AlignCenter, riga);
    }

private:
    QString m_testo;
};
} // namespace

SettingsView::SettingsView(const Servizi &servizi, ControlloAggiornamenti *aggiornamenti,
                           std::function<void()> verificaArchivio, QWidget *parent)
    : QWidget(parent), m_servizi(servizi), m_settings(*servizi.impostazioni), m_aggiornamenti(aggiornamenti)
{
    setObjectName(QStringLiteral("SettingsView"));
    setFixedWidth(larghezzaFinestra);
    auto *pila = new QVBoxLayout(this);
    pila->setContentsMargins(margine, margine, margine, margine);
    pila->setSpacing(14);

    auto *intestazione = new QHBoxLayout;
    intestazione->setSpacing(8);
    const QIcon ingranaggio = iconaSimbolo(QStringLiteral("gearshape.fill"));
    if (!ingranaggio.isNull()) {
        auto *simbolo = new QLabel(this);
        simbolo->setPixmap(ingranaggio.pixmap(18, 18));
        intestazione->addWidget(simbolo, 0, Qt::AlignVCenter);
    }
    auto *titolo = new QLabel(QStringLiteral("Impostazioni"), this);
    titolo->setFont(carattere(this, 1.1, true));
    intestazione->addWidget(titolo, 0, Qt::AlignVCenter);
    intestazione->addStretch();
    pila->addLayout(intestazione);
    pila->addWidget(divisore(this));

    auto *cartella = new QVBoxLayout;
    cartella->setSpacing(6);
    cartella->addWidget(etichettaSecondaria(this, QStringLiteral("Cartella di destinazione"), 0.92));
    m_percorso = new CasellaPercorso(this);
    m_percorso->setObjectName(QStringLiteral("percorso"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(font().pointSizeF() * 0.85);
    m_percorso->setFont(mono);
    cartella->addWidget(m_percorso);
    m_avvisoCartella = new QWidget(this);
    m_avvisoCartella->setObjectName(QStringLiteral("avvisoCartella"));
    auto *rigaAvviso = new QHBoxLayout(m_avvisoCartella);
    rigaAvviso->setContentsMargins(0, 0, 0, 0);
    rigaAvviso->setSpacing(6);
    auto *simboloAvviso = new QLabel(m_avvisoCartella);
    simboloAvviso->setPixmap(Icone::pixmap(QStringLiteral("exclamationmark.triangle.fill"), Colori::orange(),
                                           16, devicePixelRatioF()));
    rigaAvviso->addWidget(simboloAvviso, 0, Qt::AlignTop);
    m_testoAvviso = new QLabel(m_avvisoCartella);
    m_testoAvviso->setObjectName(QStringLiteral("testoAvviso"));
    m_testoAvviso->setFont(carattere(this, 0.85));
    m_testoAvviso->setWordWrap(true);
    rigaAvviso->addWidget(m_testoAvviso, 1);
    cartella->addWidget(m_avvisoCartella);
    cartella->addSpacing(4);
    auto *comandiCartella = new QHBoxLayout;
    comandiCartella->setSpacing(6);
    auto *scegli = pulsante(this, QStringLiteral("Scegli cartella…"),
                            QStringLiteral("folder.badge.gearshape"), QStringLiteral("scegliCartella"));
    auto *ripristina = pulsante(this, QStringLiteral("Ripristina"), QStringLiteral("arrow.counterclockwise"),
                                QStringLiteral("ripristina"));
    ripristina->setToolTip(QStringLiteral("Torna alla cartella predefinita"));
    comandiCartella->addWidget(scegli);
    comandiCartella->addWidget(ripristina);
    comandiCartella->addStretch();
    cartella->addLayout(comandiCartella);
    aggiungiVerifica(comandiCartella, cartella, std::move(verificaArchivio));
    m_notaCartella = etichettaSecondaria(this, QString(), 0.85);
    m_notaCartella->setObjectName(QStringLiteral("notaCartella"));
    m_notaCartella->setWordWrap(true);
    cartella->addWidget(m_notaCartella);
    pila->addLayout(cartella);
    pila->addWidget(divisore(this));

    auto *usoCartella = etichettaSecondaria(
        this,
        QStringLiteral(
            "La cartella scelta viene usata da 'Copia tutto' e 'Copia filtrato'. Il nome compare anche sui "
            "pulsanti."),
        0.85);
    usoCartella->setWordWrap(true);
    pila->addWidget(usoCartella);
    pila->addWidget(divisore(this));
    aggiungiOrdine(pila);
    pila->addWidget(divisore(this));

    auto *importa = new QVBoxLayout;
    importa->setSpacing(6);
    m_importa = new Interruttore(QStringLiteral("Importa automaticamente le immagini all'inserimento"), this);
    m_importa->setObjectName(QStringLiteral("importaAutomatico"));
    m_importa->setFont(carattere(this, 0.92));
    m_importa->setChecked(m_settings.autoImport());
    importa->addWidget(m_importa);
    m_spiegazioneImport = etichettaSecondaria(this, QString(), 0.85);
    m_spiegazioneImport->setObjectName(QStringLiteral("spiegazioneImport"));
    m_spiegazioneImport->setWordWrap(true);
    importa->addWidget(m_spiegazioneImport);
    pila->addLayout(importa);
    pila->addWidget(divisore(this));

    auto *fondo = new QVBoxLayout;
    fondo->setSpacing(4);
    auto *comandi = new QHBoxLayout;
    auto *registro = pulsante(this, QStringLiteral("Apri registro operazioni"),
                              QStringLiteral("list.bullet.rectangle"), QStringLiteral("apriRegistro"));
    auto *aggiorna = pulsante(this, QStringLiteral("Verifica aggiornamenti"),
                              QStringLiteral("arrow.down.circle"), QStringLiteral("verificaAggiornamenti"));
    comandi->addWidget(registro, 0, Qt::AlignVCenter);
    comandi->addStretch();
    comandi->addWidget(aggiorna, 0, Qt::AlignVCenter);
    fondo->addLayout(comandi);
    auto *piede = new PiePagina(QStringLiteral("%1 — %2").arg(Marchio::sito, Marchio::motto), this);
    piede->setObjectName(QStringLiteral("piePagina"));
    fondo->addWidget(piede);
    pila->addLayout(fondo);

    connect(scegli, &QPushButton::clicked, this, [this] { scegliCartella(m_settings, this); });
    connect(ripristina, &QPushButton::clicked, this, [this] { m_settings.resetDestinationPath(); });
    connect(m_importa, &Interruttore::toggled, this, [this](bool on) {
        if (on != m_settings.autoImport())
            m_settings.setAutoImport(on);
    });
    connect(&m_settings, &AppSettings::autoImportChanged, m_importa, [this](bool on) {
        if (m_importa->isChecked() != on)
            m_importa->setChecked(on);
    });
    connect(registro, &QPushButton::clicked, this, [this] {
        if (m_servizi.apritore)
            apriRegistro(*m_servizi.apritore);
    });
    connect(aggiorna, &QPushButton::clicked, this, [this] {
        if (m_aggiornamenti)
            m_aggiornamenti->controlloManuale();
    });
    aggiorna->setEnabled(m_aggiornamenti != nullptr);
    connect(&m_settings, &AppSettings::destinationPathChanged, this, &SettingsView::mostraPercorso);
    mostraPercorso(m_settings.destinationPath());
    mostraOperazione();
}

void SettingsView::aggiungiVerifica(QHBoxLayout *comandi, QVBoxLayout *cartella, std::function<void()> avvia)
{
    auto *verifica = pulsante(this, QStringLiteral("Verifica archivio"),
                              QStringLiteral("checkmark.circle.fill"), QStringLiteral("verificaArchivio"));
    verifica->setToolTip(
        QStringLiteral("Rilegge ogni file dell'archivio e lo confronta con l'impronta SHA-256 "
                       "presa quando è stato copiato"));
    verifica->setEnabled(bool(avvia));
    comandi->addWidget(verifica);
    m_scheda = new SchedaProgresso(QString(), std::nullopt, std::nullopt, QString(), QColor(), this);
    m_scheda->setObjectName(QStringLiteral("schedaOperazione"));
    cartella->addWidget(m_scheda);
    m_ultimaVerifica = etichettaSecondaria(this, QString(), 0.85);
    m_ultimaVerifica->setObjectName(QStringLiteral("ultimaVerifica"));
    m_ultimaVerifica->setWordWrap(true);
    cartella->addWidget(m_ultimaVerifica);
    connect(verifica, &QPushButton::clicked, this, [avvia = std::move(avvia)] {
        if (avvia)
            avvia();
    });
    connect(&m_settings, &AppSettings::ultimaVerificaArchivioChanged, this,
            [this] { mostraPercorso(m_settings.destinationPath()); });
    connect(m_servizi.centro, &CentroOperazioni::attualeChanged, this, &SettingsView::mostraOperazione);
}

void SettingsView::aggiungiOrdine(QVBoxLayout *pila)
{
    auto *ordine = new QVBoxLayout;
    ordine->setSpacing(6);
    ordine->addWidget(etichettaSecondaria(this, QStringLiteral("Come ordinare l'archivio"), 0.92));
    auto *scelte = new QButtonGroup(this);
    const std::pair<OrdineArchivio, QString> voci[] = {
        {OrdineArchivio::unicaCartella, QStringLiteral("Tutto in un'unica cartella")},
        {OrdineArchivio::perChiavettaEGiorno,
         QStringLiteral("Una cartella per chiavetta e giorno, con le sue sottocartelle")}};
    for (const auto &[valore, testo] : voci) {
        auto *scelta = new QRadioButton(testo, this);
        scelta->setObjectName(valore == OrdineArchivio::unicaCartella ? QStringLiteral("ordineUnicaCartella")
                                                                      : QStringLiteral("ordinePerChiavetta"));
        scelta->setFont(carattere(this, 0.92));
        scelta->setChecked(m_settings.ordineArchivio() == valore);
        scelte->addButton(scelta, int(valore));
        ordine->addWidget(scelta);
    }
    auto *spiegazione = etichettaSecondaria(
        this,
        QStringLiteral(
            "Per esempio «2026-12-07 ECO 1/PAZ0001/IM01.dcm». Vale per le prossime copie e "
            "importazioni: i file già archiviati restano dove sono, e un file che l'archivio ha già, "
            "con lo stesso nome e lo stesso contenuto, non viene copiato di nuovo."),
        0.85);
    spiegazione->setWordWrap(true);
    ordine->addWidget(spiegazione);
    pila->addLayout(ordine);
    connect(scelte, &QButtonGroup::idClicked, this,
            [this](int id) { m_settings.setOrdineArchivio(OrdineArchivio(id)); });
    connect(&m_settings, &AppSettings::ordineArchivioChanged, this, [scelte](OrdineArchivio valore) {
        if (QAbstractButton *b = scelte->button(int(valore)))
            b->setChecked(true);
    });
}

QString SettingsView::spiegazioneImport(const QString &percorso)
{
    return QStringLiteral(
               "Appena inserisci una chiavetta, le immagini non ancora presenti in %1 vengono copiate e "
               "verificate (hash SHA-256). Riceverai una notifica con il risultato.")
        .arg(AppSettings::folderName(percorso));
}

std::optional<QString> SettingsView::problemaCartella(const QString &percorso)
{
    const QFileInfo info(percorso);
    if (!info.isDir())
        return QStringLiteral("La cartella non c'è o non è raggiungibile (un disco scollegato, una cartella "
                              "di rete non collegata): copie e importazioni non riusciranno finché non torna "
                              "disponibile.");
    // access() also answers for a read-only disk or share, which the mode bits do not show.
    if (::access(QFile::encodeName(percorso).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("%1 non può scrivere in questa cartella: copie e importazioni non "
                              "riusciranno. Scegli un'altra cartella, o chiedi a chi gestisce il computer il "
                              "permesso di scrivervi.")
            .arg(Marchio::nomeProdotto);
    return std::nullopt;
}

QString SettingsView::notaCartella(const QString &percorso, bool predefinita)
{
    QString nota;
    if (predefinita)
        nota = QStringLiteral("È la cartella predefinita, in «%1» su questo computer. ")
                   .arg(QFileInfo(QFileInfo(percorso).absolutePath()).fileName());
    return nota + QStringLiteral("%1 non la copia altrove: ne esiste una seconda copia solo se si trova "
                                 "in una cartella di rete o sincronizzata, o se il backup dello studio la "
                                 "comprende.")
                      .arg(Marchio::nomeProdotto);
}

QString SettingsView::testoUltimaVerifica(const std::optional<QDateTime> &quando)
{
    if (!quando)
        return QStringLiteral("Archivio non ancora verificato con i suoi manifesti.");
    return QStringLiteral("Ultima verifica dell'archivio: %1.")
        .arg(QLocale().toString(quando->date(), QLocale::LongFormat));
}

void SettingsView::mostraOperazione()
{
    // What runs, the verification started here included, with its "Annulla".
    const auto &op = m_servizi.centro->attuale();
    if (op)
        m_scheda->imposta(*op);
    if (m_scheda->isHidden() == op.has_value()) {
        m_scheda->setVisible(op.has_value());
        adattaAltezza();
    }
}

void SettingsView::mostraPercorso(const QString &percorso)
{
    m_percorso->setPlainText(percorso);
    m_percorso->updateGeometry(); // its height hint follows the text
    m_notaCartella->setText(notaCartella(percorso, m_settings.isDefaultDestination()));
    m_ultimaVerifica->setText(testoUltimaVerifica(m_settings.ultimaVerificaArchivio()));
    m_spiegazioneImport->setText(spiegazioneImport(percorso));
    controllaCartella();
}

void SettingsView::controllaCartella()
{
    const std::optional<QString> problema = problemaCartella(m_settings.destinationPath());
    m_testoAvviso->setText(problema.value_or(QString()));
    m_avvisoCartella->setVisible(problema.has_value());
    adattaAltezza();
}

void SettingsView::showEvent(QShowEvent *evento)
{
    // The folder may have gone or come back while the window was closed.
    controllaCartella();
    QWidget::showEvent(evento);
}

void SettingsView::adattaAltezza()
{
    // The width is fixed and the height follows the content, which grows when
    // a long path or folder name wraps onto more lines.
    layout()->activate();
    setFixedHeight(layout()->totalHeightForWidth(larghezzaFinestra));
}
