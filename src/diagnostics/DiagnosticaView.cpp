#include "diagnostics/DiagnosticaView.h"

#include "comune/Colori.h"
#include "comune/ElencoChiavette.h"
#include "diagnostics/ComandiDiagnostica.h"
#include "operations/AvvioFlussi.h"
#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/StoricoChiavette.h"
#include "transfer/ComandiTrasferimento.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"
#include "ui/SchedaProgresso.h"

#include <memory>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
using Op = DiagnosticaManager::Operazione;

struct AspettoRiga {
    QString simbolo;
    QColor colore;
};

AspettoRiga aspettoRiga(RigaRapporto::Tipo tipo)
{
    switch (tipo) {
    case RigaRapporto::Tipo::ok:
        return {QStringLiteral("checkmark.circle.fill"), Colori::green()};
    case RigaRapporto::Tipo::avviso:
        return {QStringLiteral("exclamationmark.triangle.fill"), Colori::orange()};
    case RigaRapporto::Tipo::errore:
        return {QStringLiteral("xmark.circle.fill"), Colori::red()};
    case RigaRapporto::Tipo::info:
        break;
    }
    return {QStringLiteral("info.circle.fill"), Colori::blue()};
}

// A symbol painted with the brand gradient, like the title beside it.
class SimboloGradiente : public QWidget {
public:
    SimboloGradiente(const QString &simbolo, int lato) : m_simbolo(simbolo)
    {
        setFixedSize(lato, lato);
        setObjectName(QStringLiteral("simboloTestata"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QImage img(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        img.setDevicePixelRatio(devicePixelRatioF());
        img.fill(Qt::transparent);
        QPainter ip(&img);
        ip.setRenderHint(QPainter::Antialiasing);
        Icone::disegna(ip, m_simbolo, Qt::black, QRectF(rect()));
        ip.setCompositionMode(QPainter::CompositionMode_SourceIn);
        ip.fillRect(rect(), Colori::gradienteMarchio(rect().topLeft(), rect().topRight()));
        ip.end();
        QPainter(this).drawImage(0, 0, img);
    }

private:
    QString m_simbolo;
};

// The report's ground: a rounded rectangle in the secondary colour at 6 %.
class FondoRapporto : public QStackedWidget {
public:
    using QStackedWidget::QStackedWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor c = Aspetto::secondario();
        c.setAlphaF(0.06);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(path, c);
    }
};

// A scrolling column of report rows over the rounded ground; the rows go
// into `righe`, above its final stretch.
QScrollArea *colonnaScorrevole(const char *nome, QVBoxLayout **righe)
{
    auto *area = new QScrollArea;
    area->setObjectName(QLatin1String(nome));
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->viewport()->setAutoFillBackground(false);
    auto *contenuto = new QWidget;
    *righe = new QVBoxLayout(contenuto);
    (*righe)->setContentsMargins(8, 8, 8, 8);
    (*righe)->setSpacing(5);
    (*righe)->addStretch();
    area->setWidget(contenuto);
    // setWidget() turns the background filling on; the rounded ground must show through.
    contenuto->setAutoFillBackground(false);
    area->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    return area;
}

QLabel *testoVuoto(const QString &testo, const char *nome)
{
    QLabel *l = etichetta(testo, Aspetto::caption(), Aspetto::terziario());
    l->setObjectName(QLatin1String(nome));
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    return l;
}

void svuota(QVBoxLayout *righe)
{
    while (righe->count() > 1) {
        QLayoutItem *item = righe->takeAt(0);
        delete item->widget();
        delete item;
    }
}

QWidget *rigaRapporto(const RigaRapporto &riga)
{
    auto *w = new QWidget;
    w->setObjectName(QStringLiteral("rigaRapporto"));
    auto *h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(6);
    const AspettoRiga a = aspettoRiga(riga.tipo);
    auto *simbolo = new QLabel;
    simbolo->setObjectName(QStringLiteral("simbolo"));
    simbolo->setProperty("simbolo", a.simbolo);
    simbolo->setProperty("colore", a.colore);
    const int lato = QFontMetrics(Aspetto::callout()).height();
    simbolo->setPixmap(Icone::pixmap(a.simbolo, a.colore, lato, 2.0));
    simbolo->setFixedSize(lato, lato);
    simbolo->setScaledContents(true);
    auto *testo = new QLabel(riga.testo);
    testo->setObjectName(QStringLiteral("testo"));
    testo->setFont(Aspetto::callout());
    testo->setTextFormat(Qt::PlainText);
    testo->setWordWrap(true);
    testo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    h->addWidget(simbolo, 0, Qt::AlignTop);
    h->addWidget(testo, 1, Qt::AlignTop);
    return w;
}
} // namespace

std::optional<USBDrive> chiavettaScelta(const QList<USBDrive> &drives,
                                        const std::optional<QUuid> &selezioneID)
{
    if (selezioneID) {
        for (const USBDrive &d : drives)
            if (d.id == *selezioneID)
                return d;
    }
    if (drives.isEmpty())
        return std::nullopt;
    return drives.last();
}

DiagnosticaView::DiagnosticaView(ElencoChiavette *chiavette, const Servizi &servizi, QWidget *parent)
    : QWidget(parent), m_chiavette(chiavette), m_servizi(servizi), m_diag(servizi.diagnostica)
{
    Aspetto::applicaTemaChiaro(this);
    // Tall enough for the page tabs and a card with its "Annulla" without
    // squeezing the report below its 160 points.
    setFixedSize(470, 500);
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(16, 16, 16, 16);
    v->setSpacing(12);

    auto *testata = new QHBoxLayout;
    testata->setSpacing(8);
    auto *logo = new QLabel;
    logo->setPixmap(Icone::logo(20, 2.0));
    logo->setFixedSize(20, 20);
    logo->setScaledContents(true);
    testata->addWidget(logo);
    testata->addWidget(new SimboloGradiente(QStringLiteral("stethoscope"), 18));
    testata->addWidget(new TestoGradiente(QStringLiteral("Diagnostica USB"), Aspetto::headline()));
    testata->addStretch();
    // The archive's own check: it needs no stick, so it sits apart from the stick's cards.
    auto *verificaArchivio =
        new QPushButton(Icone::icona(QStringLiteral("checkmark.circle.fill"), Colori::teal()),
                        QStringLiteral("Verifica archivio"));
    verificaArchivio->setObjectName(QStringLiteral("verificaArchivio"));
    verificaArchivio->setToolTip(QStringLiteral("Rilegge ogni file dell'archivio e lo confronta con "
                                                "l'impronta SHA-256 presa quando è stato copiato"));
    verificaArchivio->setFont(Aspetto::caption());
    connect(verificaArchivio, &QPushButton::clicked, this,
            [this] { avviaFlusso(verificaArchivioConScheda(m_servizi), m_diag); });
    testata->addWidget(verificaArchivio);
    v->addLayout(testata);
    v->addWidget(new Divisore);

    m_nessunaChiavetta =
        etichetta(QStringLiteral("Nessuna USB inserita. Collega una chiavetta per iniziare."),
                  Aspetto::corpo(), Aspetto::secondario());
    m_nessunaChiavetta->setObjectName(QStringLiteral("nessunaChiavetta"));
    m_nessunaChiavetta->setWordWrap(true);
    v->addWidget(m_nessunaChiavetta);

    m_areaChiavette = new QWidget;
    auto *area = new QVBoxLayout(m_areaChiavette);
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(10);
    auto *rigaScelta = new QHBoxLayout;
    rigaScelta->addWidget(etichetta(QStringLiteral("Chiavetta:"), Aspetto::corpo(), Aspetto::testo()));
    m_scelta = new QComboBox;
    m_scelta->setObjectName(QStringLiteral("sceltaChiavetta"));
    m_scelta->setAccessibleName(QStringLiteral("Chiavetta"));
    rigaScelta->addWidget(m_scelta, 1);
    area->addLayout(rigaScelta);
    connect(m_scelta, &QComboBox::activated, this,
            [this](int i) { m_selezioneID = m_scelta->itemData(i).toUuid(); });

    struct Definizione {
        Scheda scheda;
        const char *nome;
        QString titolo, simbolo;
        QColor colore;
        QString aiuto;
    };
    const Definizione schede[] = {
        {Scheda::info, "schedaInfo", QStringLiteral("Info"), QStringLiteral("info.circle.fill"),
         Colori::blue(), QStringLiteral("File system, capacità e tipo di connessione USB")},
        {Scheda::verifica, "schedaVerifica", QStringLiteral("Verifica"), QStringLiteral("magnifyingglass"),
         Colori::indigo(), QStringLiteral("Controlla l'integrità del file system e segnala i danni")},
        {Scheda::ripara, "schedaRipara", QStringLiteral("Ripara"),
         QStringLiteral("wrench.and.screwdriver.fill"), Colori::orange(),
         QStringLiteral("Tenta di riparare i danni trovati dalla verifica")},
        {Scheda::velocita, "schedaVelocita", QStringLiteral("Velocità"), QStringLiteral("speedometer"),
         Colori::green(), QStringLiteral("Misura la velocità reale di scrittura e lettura (32 MB di prova)")},
        {Scheda::capacita, "schedaCapacita", QStringLiteral("Capacità"),
         QStringLiteral("externaldrive.badge.questionmark"), Colori::purple(),
         QStringLiteral("Controlla che la chiavetta tenga davvero i GB dichiarati: scrive e rilegge tutto lo "
                        "spazio libero, poi lo libera")},
    };
    auto *rigaSchede = new QHBoxLayout;
    rigaSchede->setSpacing(6);
    for (const Definizione &d : schede) {
        auto *b = new QPushButton(Icone::icona(d.simbolo, d.colore), d.titolo);
        b->setObjectName(QLatin1String(d.nome));
        b->setToolTip(d.aiuto);
        b->setIconSize(QSize(16, 16));
        b->setMinimumHeight(32);
        const Scheda s = d.scheda;
        connect(b, &QPushButton::clicked, this, [this, s] { avvia(s); });
        rigaSchede->addWidget(b, 1);
    }
    area->addLayout(rigaSchede);
    v->addWidget(m_areaChiavette);

    m_inCorso = new SchedaProgresso(QString(), std::nullopt, std::nullopt, QStringLiteral("stethoscope"),
                                    Colori::teal());
    m_inCorso->setObjectName(QStringLiteral("schedaInCorso"));
    v->addWidget(m_inCorso);

    v->addWidget(new Divisore);

    // The report of this session, or what the chosen stick went through over time.
    auto *testataRapporto = new QHBoxLayout;
    m_pagine = new QTabBar;
    m_pagine->setObjectName(QStringLiteral("pagine"));
    m_pagine->setDocumentMode(true);
    m_pagine->setDrawBase(false);
    m_pagine->setFont(Aspetto::callout());
    // Two plain words, the chosen one underlined: the area below is the page.
    m_pagine->setStyleSheet(
        QStringLiteral("QTabBar::tab { border: none; padding: 2px 0 4px 0; margin-right: 14px;"
                       " color: %1; background: transparent; }"
                       "QTabBar::tab:selected { color: %2; border-bottom: 2px solid %3; }")
            .arg(Aspetto::secondario().name(), Aspetto::testo().name(), Colori::coloreMarchio().name()));
    m_pagine->addTab(QStringLiteral("Rapporto"));
    m_pagine->addTab(QStringLiteral("Storico della chiavetta"));
    connect(m_pagine, &QTabBar::currentChanged, this, &DiagnosticaView::mostraPagina);
    testataRapporto->addWidget(m_pagine);
    testataRapporto->addStretch();
    m_pulisci = new QPushButton(QStringLiteral("Pulisci"));
    m_pulisci->setObjectName(QStringLiteral("pulisci"));
    m_pulisci->setFont(Aspetto::caption());
    m_pulisci->setFlat(true);
    m_pulisci->setCursor(Qt::PointingHandCursor);
    connect(m_pulisci, &QPushButton::clicked, this, [this] { m_diag->pulisci(); });
    testataRapporto->addWidget(m_pulisci);
    v->addLayout(testataRapporto);

    m_areaRapporto = new FondoRapporto;
    m_areaRapporto->setObjectName(QStringLiteral("areaRapporto"));
    m_areaRapporto->setMinimumHeight(160);
    m_areaRapporto->addWidget(testoVuoto(
        QStringLiteral("Nessun controllo eseguito. Scegli un'azione qui sopra."), "rapportoVuoto"));
    m_scorrimento = colonnaScorrevole("scorrimentoRapporto", &m_layoutRighe);
    m_righe = m_scorrimento->widget();
    m_areaRapporto->addWidget(m_scorrimento);
    m_areaRapporto->addWidget(testoVuoto(QStringLiteral("Nessun risultato ancora registrato per questa "
                                                        "chiavetta: compare qui dopo un controllo."),
                                         "storicoVuoto"));
    m_areaRapporto->addWidget(colonnaScorrevole("scorrimentoStorico", &m_layoutStorico));
    v->addWidget(m_areaRapporto, 1);
    // The newest line comes into view once the list has grown to hold it.
    connect(m_scorrimento->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this](int, int massimo) { m_scorrimento->verticalScrollBar()->setValue(massimo); });

    auto *piede =
        etichetta(QStringLiteral("I risultati sono indicativi e possono contenere errori: verifica sempre "
                                 "personalmente prima di decisioni importanti (vedi Aiuto → Avvertenze)."),
                  Aspetto::caption2(), Aspetto::terziario());
    piede->setObjectName(QStringLiteral("piede"));
    piede->setWordWrap(true);
    v->addWidget(piede);

    m_annulla = std::make_shared<const std::function<void()>>([this] { m_diag->annulla(); });
    connect(m_chiavette, &ElencoChiavette::drivesChanged, this, &DiagnosticaView::aggiornaChiavette);
    connect(m_scelta, &QComboBox::activated, this, &DiagnosticaView::aggiornaStorico);
    connect(m_diag, &DiagnosticaManager::operazioneChanged, this, &DiagnosticaView::aggiornaInCorso);
    connect(m_diag, &DiagnosticaManager::percentualeChanged, this, &DiagnosticaView::aggiornaInCorso);
    connect(m_diag, &DiagnosticaManager::dettaglioChanged, this, &DiagnosticaView::aggiornaInCorso);
    connect(m_diag, &DiagnosticaManager::rapportoChanged, this, &DiagnosticaView::aggiornaRapporto);
    connect(m_servizi.centro, &CentroOperazioni::attualeChanged, this, &DiagnosticaView::aggiornaInCorso);
    // Recorded on a worker thread: the signal comes back queued.
    connect(&StoricoChiavette::shared(), &StoricoChiavette::cambiato, this,
            &DiagnosticaView::aggiornaStorico);
    aggiornaChiavette();
    aggiornaInCorso();
    aggiornaRapporto();
}

std::optional<USBDrive> DiagnosticaView::chiavetta() const
{
    return chiavettaScelta(m_chiavette->drives(), m_selezioneID);
}

void DiagnosticaView::avvia(Scheda scheda)
{
    const std::optional<USBDrive> drive = chiavetta();
    if (!drive)
        return;
    using Comando = QCoro::Task<> (*)(Servizi, USBDrive);
    Comando comando = diagnosticaInfo;
    switch (scheda) {
    case Scheda::info:
        break;
    case Scheda::verifica:
        comando = diagnosticaVerifica;
        break;
    case Scheda::ripara:
        comando = diagnosticaRiparazione;
        break;
    case Scheda::velocita:
        comando = diagnosticaVelocita;
        break;
    case Scheda::capacita:
        comando = diagnosticaCapacita;
        break;
    }
    // A second check while one runs is refused by the check itself.
    avviaFlusso(comando(m_servizi, *drive), m_diag);
}

void DiagnosticaView::aggiornaChiavette()
{
    const QList<USBDrive> &drives = m_chiavette->drives();
    m_nessunaChiavetta->setVisible(drives.isEmpty());
    m_areaChiavette->setVisible(!drives.isEmpty());
    const std::optional<USBDrive> scelta = chiavetta();
    const QSignalBlocker blocco(m_scelta);
    m_scelta->clear();
    for (const USBDrive &d : drives) {
        m_scelta->addItem(d.name, d.id);
        if (scelta && d.id == scelta->id)
            m_scelta->setCurrentIndex(m_scelta->count() - 1);
    }
    aggiornaStorico();
}

void DiagnosticaView::aggiornaInCorso()
{
    const Op op = m_diag->operazione();
    // Without a check of its own, the card follows the operation centre's
    // work: an archive verification started here shows, with its "Annulla".
    const std::optional<CentroOperazioni::Operazione> &centro = m_servizi.centro->attuale();
    m_inCorso->setVisible(op != Op::nessuna || centro);
    if (op == Op::nessuna) {
        if (centro)
            m_inCorso->imposta(*centro);
        return;
    }
    const std::optional<double> p = m_diag->percentuale();
    m_inCorso->imposta({m_diag->descrizione(), m_diag->dettaglio(),
                        p ? std::optional<double>(*p / 100.0) : std::nullopt, QStringLiteral("stethoscope"),
                        Colori::teal(), m_diag->annullabile() ? m_annulla : nullptr});
}

void DiagnosticaView::aggiornaRapporto()
{
    const QList<RigaRapporto> &rapporto = m_diag->rapporto();
    // The report only grows, except when emptied: add the new lines, or start over.
    if (rapporto.size() < m_righeMostrate) {
        svuota(m_layoutRighe);
        m_righeMostrate = 0;
    }
    for (; m_righeMostrate < rapporto.size(); ++m_righeMostrate)
        m_layoutRighe->insertWidget(m_layoutRighe->count() - 1, rigaRapporto(rapporto.at(m_righeMostrate)));
    mostraPagina();
}

void DiagnosticaView::aggiornaStorico()
{
    svuota(m_layoutStorico);
    if (const std::optional<USBDrive> drive = chiavetta()) {
        for (const auto &[tipo, testo] :
             righeStorico(StoricoChiavette::shared().eventi(leggiIdentitaChiavetta(*drive))))
            m_layoutStorico->insertWidget(m_layoutStorico->count() - 1, rigaRapporto({QUuid(), tipo, testo}));
    }
    mostraPagina();
}

void DiagnosticaView::mostraPagina()
{
    const bool storico = m_pagine->currentIndex() == 1;
    m_pulisci->setVisible(!storico);
    if (storico)
        m_areaRapporto->setCurrentIndex(m_layoutStorico->count() > 1 ? 3 : 2);
    else
        m_areaRapporto->setCurrentIndex(m_diag->rapporto().isEmpty() ? 0 : 1);
}
