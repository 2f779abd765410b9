#include "app/MenuBarView.h"

#include "app/AccessibilitaPannello.h"
#include "app/ColoredActionLabel.h"
#include "app/ParticolariPannello.h"
#include "app/PromemoriaVerifica.h"
#include "app/RegolePannello.h"
#include "app/USBMonitor.h"
#include "app/USBRow.h"
#include "comune/Colori.h"
#include "comune/Marchio.h"
#include "help/SezioneAiuto.h"
#include "operations/CentroOperazioni.h"
#include "operations/SecureEraseManager.h"
#include "platform/TestiPiattaforma.h"
#include "settings/AppSettings.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"
#include "ui/SchedaProgresso.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString dettaglioCancellazione =
    QStringLiteral("Non scollegare la chiavetta. L'operazione continua anche a pannello chiuso: riceverai "
                   "una notifica al termine.");

bool contiene(const QWidget *antenato, const QObject *oggetto)
{
    for (; oggetto; oggetto = oggetto->parent()) {
        if (oggetto == antenato)
            return true;
    }
    return false;
}

// Asks for the whole height of what it holds (Qt's scroll area caps its wish
// at a few hundred points): the panel decides how much of it is shown.
class AreaScorrevole : public QScrollArea {
public:
    QSize sizeHint() const override
    {
        const int cornice = 2 * frameWidth();
        return (widget() ? widget()->sizeHint() : QSize()) + QSize(cornice, cornice);
    }
};
} // namespace

MenuBarView::MenuBarView(USBMonitor *monitor, const Servizi &servizi, ComandiPannello comandi,
                         QWidget *parent)
    : QWidget(parent), m_monitor(monitor), m_servizi(servizi), m_comandi(std::move(comandi)),
      m_layout(new QVBoxLayout(this)), m_zonaSchede(new QWidget), m_layoutSchede(colonna(m_zonaSchede, 14)),
      m_scorrimento(new AreaScorrevole), m_esci(new QAction(QStringLiteral("Esci"), this))
{
    Aspetto::applicaTemaChiaro(this);
    installaAccessibilitaPannello();
    setFixedWidth(320);
    setWindowTitle(Marchio::nomeProdotto);
    setAccessibleName(Marchio::nomeProdotto);
    // The panel itself holds the focus when it opens: no control is lit until
    // the keyboard moves, and Tab or an arrow starts at the top.
    setFocusPolicy(Qt::ClickFocus);
    m_layout->setContentsMargins(14, 14, 14, 14);
    m_layout->setSpacing(14);

    // Header: logo, product name, maker's site and tagline.
    auto *testata = new QWidget;
    QVBoxLayout *vt = colonna(testata, 3);
    auto *riga = new QHBoxLayout;
    riga->setSpacing(7);
    auto *logo = new QLabel;
    logo->setPixmap(Icone::logo(22, 2.0));
    logo->setFixedSize(22, 22);
    logo->setScaledContents(true);
    riga->addWidget(logo);
    QFont nome = Aspetto::headline();
    nome.setPixelSize(15);
    riga->addWidget(new TestoGradiente(Marchio::nomeProdotto, nome));
    riga->addStretch();
    vt->addLayout(riga);
    vt->addWidget(etichetta(QStringLiteral("%1 · %2").arg(Marchio::sito, Marchio::motto), Aspetto::caption2(),
                            Aspetto::secondario()));
    m_layout->addWidget(testata);
    m_layout->addWidget(new Divisore);
    m_layout->addWidget(m_zonaSchede);
    m_zonaSchede->hide();
    m_scorrimento->setObjectName(QStringLiteral("scorrimentoPannello"));
    m_scorrimento->setWidgetResizable(true);
    m_scorrimento->setFrameShape(QFrame::NoFrame);
    m_scorrimento->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scorrimento->setFocusPolicy(Qt::NoFocus);
    m_scorrimento->viewport()->setAutoFillBackground(false);
    Aspetto::scorrimentoSottile(m_scorrimento);
    m_layout->addWidget(m_scorrimento, 1);
    // Between the commands and the footer, which each rebuild adds after it.
    m_promemoria = new PromemoriaVerifica(m_servizi, [this] { esegui(m_comandi.verificaArchivio); });
    m_layout->addWidget(m_promemoria);
    m_promemoria->installEventFilter(this);
    // A control reached with the keyboard is scrolled into view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *ora) {
        if (ora && m_corpo && m_corpo->isAncestorOf(ora))
            m_scorrimento->ensureWidgetVisible(ora, 0, 6);
    });

    m_esci->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_esci->setShortcutContext(Qt::WindowShortcut);
    addAction(m_esci);
    connect(m_esci, &QAction::triggered, this, [this] {
        // The entry is disabled during an erase; the rule is checked again in
        // case the shortcut raced a phase change.
        if (regolaUscita(m_servizi.cancellazione->fase()).abilitata)
            esegui(m_comandi.esci);
    });

    connect(m_monitor, &USBMonitor::drivesChanged, this, &MenuBarView::pianificaRicostruzione);
    connect(m_servizi.impostazioni, &AppSettings::destinationPathChanged, this,
            &MenuBarView::pianificaRicostruzione);
    connect(m_servizi.cancellazione, &SecureEraseManager::faseChanged, this,
            &MenuBarView::pianificaRicostruzione);
    connect(m_servizi.cancellazione, &SecureEraseManager::faseChanged, this, &MenuBarView::aggiornaSchede);
    connect(m_servizi.cancellazione, &SecureEraseManager::percentualeChanged, this,
            &MenuBarView::aggiornaSchede);
    connect(m_servizi.cancellazione, &SecureEraseManager::nomeVolumeChanged, this,
            &MenuBarView::aggiornaSchede);
    connect(m_servizi.centro, &CentroOperazioni::attualeChanged, this, &MenuBarView::aggiornaSchede);

    aggiornaSchede();
    ricostruisci();
}

VoceAzione *MenuBarView::voce(const QString &nome) const
{
    return findChild<VoceAzione *>(nome);
}

QList<USBRow *> MenuBarView::righe() const
{
    return m_corpo ? m_corpo->findChildren<USBRow *>() : QList<USBRow *>();
}

void MenuBarView::pianificaRicostruzione()
{
    // Rebuilt on a later turn: the change may come from inside a click on one
    // of the entries that the rebuild replaces.
    if (m_ricostruzionePianificata)
        return;
    m_ricostruzionePianificata = true;
    QMetaObject::invokeMethod(this, &MenuBarView::ricostruisci, Qt::QueuedConnection);
}

void MenuBarView::aggiornaSchede()
{
    const SecureEraseManager *erase = m_servizi.cancellazione;
    if (erase->inCorso()) {
        std::optional<double> frazione;
        if (erase->fase() == SecureEraseManager::Fase::cancellazione && erase->percentuale())
            frazione = *erase->percentuale() / 100.0;
        if (!m_schedaErase) {
            m_schedaErase = new SchedaProgresso(erase->descrizione(), dettaglioCancellazione, frazione,
                                                QStringLiteral("trash.fill"), Colori::red());
            m_schedaErase->setObjectName(QStringLiteral("schedaCancellazione"));
            m_divisoreErase = new Divisore;
            // Read whole: it tells the user not to unplug the stick.
            m_schedaErase->setDettaglioIntero(true);
            m_layoutSchede->insertWidget(0, m_schedaErase);
            m_layoutSchede->insertWidget(1, m_divisoreErase);
        } else {
            m_schedaErase->setTitolo(erase->descrizione());
            m_schedaErase->setFrazione(frazione);
            m_schedaErase->setRitmo(erase->ritmo());
        }
    } else {
        delete m_schedaErase.data();
        delete m_divisoreErase.data();
    }

    if (const auto &op = m_servizi.centro->attuale()) {
        if (!m_schedaOperazione) {
            m_schedaOperazione = new SchedaProgresso(*op);
            m_schedaOperazione->setObjectName(QStringLiteral("schedaOperazione"));
            m_divisoreOperazione = new Divisore;
            m_layoutSchede->addWidget(m_schedaOperazione);
            m_layoutSchede->addWidget(m_divisoreOperazione);
        } else {
            m_schedaOperazione->imposta(*op);
        }
    } else {
        delete m_schedaOperazione.data();
        delete m_divisoreOperazione.data();
    }
    m_zonaSchede->setVisible(m_schedaErase || m_schedaOperazione);
    ordinaFuoco();
    adattaAltezza();
}

void MenuBarView::setAltezzaMassima(int altezza)
{
    m_altezzaMassima = qMax(altezza, 120);
    adattaAltezza();
}

int MenuBarView::altezzaDesiderata() const
{
    // The body's wish changes with what it holds; the layout would keep the old one.
    m_scorrimento->updateGeometry();
    m_layout->invalidate();
    return m_layout->hasHeightForWidth() ? m_layout->totalHeightForWidth(width())
                                         : m_layout->totalSizeHint().height();
}

void MenuBarView::adattaAltezza()
{
    if (!isWindow())
        return;
    const int altezza = qMin(altezzaDesiderata(), m_altezzaMassima);
    if (altezza == height())
        return;
    const int prima = height();
    resize(width(), altezza);
    // A height the window would not take (below what its layout needs) is
    // not news: told anyway, the placing would ask for it again, forever.
    if (isVisible() && height() != prima)
        Q_EMIT altezzaCambiata();
}

void MenuBarView::ordinaFuoco()
{
    // Reading order, whatever order the widgets were made in: the cards'
    // buttons, then the sticks and commands, then "Aiuto" and "Esci".
    QList<QWidget *> catena;
    const auto aggiungi = [&catena](QWidget *radice) {
        if (!radice)
            return;
        for (QWidget *w : radice->findChildren<QWidget *>()) {
            if (!w->isWindow() && (w->focusPolicy() & Qt::TabFocus))
                catena << w;
        }
    };
    for (int i = 0; i < m_layoutSchede->count(); ++i)
        aggiungi(m_layoutSchede->itemAt(i)->widget());
    aggiungi(m_corpo);
    aggiungi(m_promemoria);
    aggiungi(m_piede);
    for (qsizetype i = 1; i < catena.size(); ++i)
        QWidget::setTabOrder(catena[i - 1], catena[i]);
}

void MenuBarView::keyPressEvent(QKeyEvent *e)
{
    if (const std::optional<bool> avanti = frecciaAvanti(e))
        focusNextPrevChild(*avanti);
    else if (e->key() == Qt::Key_Escape && m_tendina)
        chiudiTendina();
    else
        QWidget::keyPressEvent(e);
}

void MenuBarView::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (!m_tendina || e->type() != QEvent::ActivationChange)
        return;
    // A drop-down goes when the user turns to something else, as a menu
    // does; one of its own lists opening is not turning away.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !isActiveWindow() && !contiene(this, QApplication::activePopupWidget())) {
            m_chiusoAlle = QDateTime::currentMSecsSinceEpoch();
            chiudiTendina();
        }
    });
}

void MenuBarView::chiudiTendina()
{
    hide();
}

void MenuBarView::showEvent(QShowEvent *e)
{
    // Else the window system's activation would light the first control.
    setFocus(Qt::OtherFocusReason);
    m_promemoria->ricontrolla();
    QWidget::showEvent(e);
}

bool MenuBarView::eventFilter(QObject *oggetto, QEvent *e)
{
    // The body grew or shrank (a stick's free space read as its row shows), or
    // the reminder came or went: the panel follows once laid out again.
    const bool promemoria =
        oggetto == m_promemoria && (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent);
    if ((oggetto == m_corpo && e->type() == QEvent::LayoutRequest) || promemoria)
        QMetaObject::invokeMethod(this, &MenuBarView::adattaAltezza, Qt::QueuedConnection);
    return QWidget::eventFilter(oggetto, e);
}

bool MenuBarView::appenaChiuso() const
{
    return m_chiusoAlle > 0 && QDateTime::currentMSecsSinceEpoch() - m_chiusoAlle < 400;
}

void MenuBarView::ricostruisci()
{
    m_ricostruzionePianificata = false;
    // The keyboard's place survives the rebuild: the same entry, or the same
    // stick's row or eject button.
    QStringList posto;
    for (QWidget *w = focusWidget(); w && w != this && isAncestorOf(w); w = w->parentWidget()) {
        if (!w->objectName().isEmpty())
            posto.prepend(w->objectName());
    }
    delete m_piede.data();

    const bool cancellazione = m_servizi.cancellazione->inCorso();
    const bool conChiavetta = m_monitor->lastDrive().has_value();

    m_corpo = new QWidget;
    QVBoxLayout *v = colonna(m_corpo, 14);
    v->addWidget(sezioneChiavette());
    v->addWidget(new Divisore);
    v->addWidget(sezioneAzioniRapide(conChiavetta && !cancellazione));
    v->addWidget(new Divisore);
    v->addWidget(sezioneClona(!cancellazione));
    v->addWidget(new Divisore);
    auto *diagnostica = nuovaVoce(QStringLiteral("diagnostica"), QStringLiteral("Diagnostica USB…"),
                                  QStringLiteral("stethoscope"), Colori::teal());
    connect(diagnostica, &QAbstractButton::clicked, this,
            [this] { esegui(m_comandi.apriFinestra, Finestre::diagnostica); });
    v->addWidget(diagnostica);
    v->addWidget(new Divisore);
    v->addWidget(sezioneDisco(cancellazione));
    v->addStretch();
    m_scorrimento->setWidget(m_corpo); // the old body goes
    m_corpo->setAutoFillBackground(false);
    m_corpo->installEventFilter(this);
    m_piede = sezioneFinale();
    m_layout->addWidget(m_piede);
    ordinaFuoco();
    adattaAltezza();

    QWidget *ritrovato = this;
    for (const QString &nome : std::as_const(posto)) {
        QWidget *figlio = ritrovato->findChild<QWidget *>(nome);
        if (!figlio)
            break;
        ritrovato = figlio;
    }
    if (!posto.isEmpty() && ritrovato != this && ritrovato->isEnabled())
        ritrovato->setFocus(Qt::OtherFocusReason);
    else if (!posto.isEmpty() && isActiveWindow())
        setFocus(Qt::OtherFocusReason);
}
