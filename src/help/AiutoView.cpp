#include "help/AiutoView.h"

#include "comune/Colori.h"
#include "comune/Marchio.h"
#include "help/AiutoStato.h"
#include "platform/AperturaDesktop.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"

#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
QFont semibold(QFont f)
{
    f.setWeight(QFont::DemiBold);
    return f;
}

QLabel *paragrafo(const QString &testo, const QFont &font, const QColor &colore)
{
    QLabel *l = etichetta(testo, font, colore);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QLabel *immagineLogo(int lato)
{
    auto *l = new QLabel;
    l->setPixmap(Icone::logo(lato, 2.0));
    l->setFixedSize(lato, lato);
    l->setScaledContents(true);
    return l;
}

QVBoxLayout *layoutPagina(QWidget *pagina)
{
    auto *v = new QVBoxLayout(pagina);
    v->setSpacing(14);
    v->setContentsMargins(0, 4, 4, 4);
    return v;
}

const QString testoChiSiamo = QStringLiteral(
    "%1 sviluppa piccoli strumenti digitali per gli studi medici, pensati per chi lavora ogni giorno tra "
    "pazienti, referti e apparecchiature. %2 è nato in uno studio ecografico, dall'esigenza di gestire "
    "le chiavette USB delle immagini in modo rapido e sicuro: copiarle nell'archivio dello studio, "
    "verificare "
    "che ogni file sia arrivato integro, sincronizzare due chiavette e cancellarle in modo irrecuperabile "
    "quando passano di mano. L'abbiamo voluto semplice: un'icona nella barra, un clic, e l'operazione del "
    "giorno è fatta.");

struct Avvertenza {
    QString titolo;
    QString testo;
};

QList<Avvertenza> avvertenze()
{
    return {
        {QStringLiteral("Copie e importazioni"),
         QStringLiteral(
             "Prima di cancellare gli originali da una chiavetta, controlla che i file copiati siano "
             "presenti e si aprano nella cartella di destinazione. La verifica con hash integrata riduce "
             "il rischio di file corrotti, ma non sostituisce il tuo controllo.")},
        {QStringLiteral("Cancellazione sicura"),
         QStringLiteral(
             "La sovrascrittura con zeri rende i dati irrecuperabili con i normali strumenti software, "
             "ma sulle memorie flash (per via del wear levelling) non può essere una garanzia hardware "
             "assoluta. Per i supporti che hanno contenuto dati clinici particolarmente sensibili valuta "
             "la distruzione fisica.")},
        {QStringLiteral("Formattazione rapida"),
         QStringLiteral(
             "NON cancella davvero i dati: i file restano tecnicamente recuperabili. Non usarla come "
             "misura di riservatezza.")},
        {QStringLiteral("Diagnostica e test di velocità"),
         QStringLiteral(
             "I valori riportati (tipo di connessione, MB/s, esiti delle verifiche) sono indicativi e "
             "dipendono da fattori esterni all'applicazione (porta, cavo, stato della chiavetta, carico "
             "del sistema). Non basare decisioni critiche soltanto su di essi.")},
        {QStringLiteral("Responsabilità"),
         QStringLiteral(
             "L'applicazione è usata sotto la piena responsabilità dell'utente. %1 non risponde di "
             "perdite di dati, violazioni della riservatezza o danni derivanti dall'uso o dal "
             "malfunzionamento. Il titolare del trattamento resta responsabile degli obblighi previsti "
             "dalla normativa vigente sulla protezione dei dati (GDPR) e della conservazione della "
             "documentazione clinica.")
             .arg(Marchio::produttore)},
    };
}
} // namespace

AiutoView::AiutoView(AiutoStato &stato, AperturaDesktop *apritore, QWidget *parent)
    : QWidget(parent), m_stato(stato), m_apritore(apritore), m_barra(new BarraSezioni),
      m_scorrimento(new QScrollArea)
{
    Aspetto::applicaTemaChiaro(this);
    setFixedSize(540, 480);
    auto *v = new QVBoxLayout(this);
    v->setSpacing(12);
    v->setContentsMargins(16, 16, 16, 16);

    auto *testata = new QHBoxLayout;
    testata->setSpacing(8);
    testata->addWidget(immagineLogo(22), 0, Qt::AlignVCenter);
    testata->addWidget(
        new TestoGradiente(QStringLiteral("%1 — Aiuto").arg(Marchio::nomeProdotto), Aspetto::headline()), 0,
        Qt::AlignVCenter);
    testata->addStretch();
    v->addLayout(testata);

    m_barra->setObjectName(QStringLiteral("sezioni"));
    for (SezioneAiuto s : tutteLeSezioni())
        m_barra->addTab(etichetta(s));
    v->addWidget(m_barra);

    m_scorrimento->setWidgetResizable(true);
    m_scorrimento->setFrameShape(QFrame::NoFrame);
    m_scorrimento->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scorrimento->viewport()->setAutoFillBackground(false);
    Aspetto::scorrimentoSottile(m_scorrimento);
    v->addWidget(m_scorrimento, 1);

    v->addWidget(new Divisore);
    v->addWidget(new TestoGradiente(QStringLiteral("%1 · %2").arg(Marchio::sito, Marchio::motto),
                                    Aspetto::caption2(), Qt::AlignHCenter));

    for (SezioneAiuto s : tutteLeSezioni())
        m_pagine.insert(s, creaPagina(s));

    m_mostrata = m_stato.sezione();
    m_barra->setCurrentIndex(int(m_mostrata));
    m_scorrimento->setWidget(m_pagine.value(m_mostrata));
    connect(m_barra, &QTabBar::currentChanged, this,
            [this](int indice) { m_stato.setSezione(static_cast<SezioneAiuto>(indice)); });
    connect(&m_stato, &AiutoStato::sezioneChanged, this, &AiutoView::mostra);
}

void AiutoView::mostra(SezioneAiuto sezione)
{
    m_barra->setCurrentIndex(int(sezione));
    if (sezione == m_mostrata)
        return;
    // The pages are kept: take the shown one back before the scroll area would delete it.
    m_scorrimento->takeWidget();
    m_mostrata = sezione;
    m_scorrimento->setWidget(m_pagine.value(sezione));
    m_scorrimento->verticalScrollBar()->setValue(0);
}

QWidget *AiutoView::creaPagina(SezioneAiuto sezione)
{
    QWidget *pagina = nullptr;
    switch (sezione) {
    case SezioneAiuto::guida:
        pagina = paginaVoci(vociGuida());
        break;
    case SezioneAiuto::problemi:
        pagina = paginaVoci(vociProblemi());
        break;
    case SezioneAiuto::chiSiamo:
        pagina = paginaChiSiamo();
        break;
    case SezioneAiuto::avvertenze:
        pagina = paginaAvvertenze();
        break;
    }
    pagina->setParent(this);
    pagina->hide();
    pagina->setAutoFillBackground(false);
    pagina->setObjectName(QStringLiteral("pagina_%1").arg(int(sezione)));
    return pagina;
}

QWidget *AiutoView::paginaVoci(const QList<VoceGuida> &voci)
{
    auto *pagina = new QWidget;
    QVBoxLayout *v = layoutPagina(pagina);
    for (const VoceGuida &voce : voci)
        v->addWidget(new RigaVoceGuida(voce));
    v->addStretch();
    return pagina;
}

QWidget *AiutoView::paginaChiSiamo()
{
    auto *pagina = new QWidget;
    QVBoxLayout *v = layoutPagina(pagina);
    auto *logo = new QHBoxLayout;
    logo->setContentsMargins(0, 6, 0, 6);
    logo->addStretch();
    logo->addWidget(immagineLogo(44));
    logo->addStretch();
    v->addLayout(logo);
    v->addWidget(new TestoGradiente(QStringLiteral("%1 — %2").arg(Marchio::produttore, Marchio::motto),
                                    Aspetto::title3(), Qt::AlignHCenter));
    v->addWidget(paragrafo(testoChiSiamo.arg(Marchio::produttore, Marchio::nomeProdotto), Aspetto::callout(),
                           Aspetto::testo()));

    auto *visita = new QPushButton(Icone::icona(QStringLiteral("globe"), Colori::coloreMarchioScuro()),
                                   QStringLiteral("Visita %1").arg(Marchio::sito));
    visita->setObjectName(QStringLiteral("visitaSito"));
    visita->setCursor(Qt::PointingHandCursor);
    visita->setIconSize(QSize(16, 16));
    visita->setStyleSheet(QStringLiteral("QPushButton { padding: 5px 12px; border: 1px solid rgba(0,0,0,40); "
                                         "border-radius: 6px; background: white; }"
                                         "QPushButton:hover { background: #eef7fc; }"));
    connect(visita, &QPushButton::clicked, this, [this] {
        if (m_apritore)
            m_apritore->apri(Marchio::homePage());
    });
    v->addSpacing(4 - v->spacing());
    v->addWidget(visita, 0, Qt::AlignLeft);
    v->addStretch();
    return pagina;
}

QWidget *AiutoView::paginaAvvertenze()
{
    auto *pagina = new QWidget;
    QVBoxLayout *v = layoutPagina(pagina);

    auto *titolo = new QHBoxLayout;
    titolo->setSpacing(6);
    auto *simbolo = new QLabel;
    simbolo->setPixmap(
        Icone::pixmap(QStringLiteral("exclamationmark.triangle.fill"), Colori::orange(), 16, 2.0));
    titolo->addWidget(simbolo);
    titolo->addWidget(
        etichetta(QStringLiteral("Leggere con attenzione"), semibold(Aspetto::callout()), Colori::orange()));
    titolo->addStretch();
    v->addLayout(titolo);

    QString html = QStringLiteral("<p>%1 è uno strumento di supporto e, come ogni software, può commettere "
                                  "errori: verifica sempre di persona l'esito di ogni operazione.</p>"
                                  "<p>In particolare:</p>")
                       .arg(Marchio::nomeProdotto.toHtmlEscaped());
    for (const Avvertenza &a : avvertenze())
        html += QStringLiteral("<p>•&nbsp;<b>%1</b> — %2</p>")
                    .arg(a.titolo.toHtmlEscaped(), a.testo.toHtmlEscaped());
    QLabel *testo = paragrafo(html, Aspetto::callout(), Aspetto::testo());
    testo->setTextFormat(Qt::RichText);
    testo->setObjectName(QStringLiteral("testoAvvertenze"));
    v->addWidget(testo);
    v->addStretch();
    return pagina;
}

RigaVoceGuida::RigaVoceGuida(const VoceGuida &voce, QWidget *parent) : QWidget(parent), m_voce(voce)
{
    auto *h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(10);
    h->addWidget(new DistintivoSimbolo(voce.icona, voce.colore, 28, 14), 0, Qt::AlignTop);
    auto *v = new QVBoxLayout;
    v->setSpacing(3);
    v->addWidget(etichetta(voce.titolo, semibold(Aspetto::callout()), Aspetto::testo()));
    v->addWidget(paragrafo(voce.testo, Aspetto::caption(), Aspetto::secondario()));
    h->addLayout(v, 1);
}

DistintivoSimbolo::DistintivoSimbolo(const QString &simbolo, const QColor &colore, int diametro,
                                     int latoSimbolo, QWidget *parent)
    : QWidget(parent), m_simbolo(simbolo), m_colore(colore), m_latoSimbolo(latoSimbolo)
{
    setFixedSize(diametro, diametro);
}

void DistintivoSimbolo::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    Icone::disegnaDistintivo(p, QRectF(rect()), m_simbolo, m_colore, m_latoSimbolo);
}

BarraSezioni::BarraSezioni(QWidget *parent) : QTabBar(parent)
{
    setFont(Aspetto::callout());
    setExpanding(true);
    setDrawBase(false);
    setDocumentMode(true);
    setUsesScrollButtons(false);
    setElideMode(Qt::ElideNone);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
}

QSize BarraSezioni::tabSizeHint(int index) const
{
    const QFontMetrics fm(font());
    // 2 points of track around each segment.
    return {fm.horizontalAdvance(tabText(index)) + 20, fm.height() + 14};
}

void BarraSezioni::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 18));
    p.drawRoundedRect(QRectF(rect()), 7, 7);
    const int sotto = underMouse() ? tabAt(mapFromGlobal(QCursor::pos())) : -1;
    for (int i = 0; i < count(); ++i) {
        const QRectF r = QRectF(tabRect(i)).adjusted(2.5, 2.5, -2.5, -2.5);
        const bool scelta = i == currentIndex();
        if (scelta) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 22));
            p.drawRoundedRect(r.translated(0, 0.8), 5.5, 5.5);
            p.setBrush(Qt::white);
            p.drawRoundedRect(r, 5.5, 5.5);
            if (hasFocus())
                Aspetto::disegnaFuoco(p, r, 5.5);
        } else if (i == sotto) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 110));
            p.drawRoundedRect(r, 5.5, 5.5);
        }
        QFont f = font();
        if (scelta)
            f.setWeight(QFont::Medium);
        p.setFont(f);
        p.setPen(scelta ? Aspetto::testo() : Aspetto::secondario());
        p.drawText(r, Qt::AlignCenter, tabText(i));
    }
}
