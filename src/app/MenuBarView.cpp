#include "app/MenuBarView.h"

#include "app/AccessibilitaPannello.h"
#include "app/ColoredActionLabel.h"
#include "app/PromemoriaVerifica.h"
#include "app/ShellRules.h"
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

QVBoxLayout *colonna(QWidget *w, int spazio)
{
    auto *v = new QVBoxLayout(w);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(spazio);
    return v;
}

// A stick's name in a menu: a very long one loses its middle rather than
// stretching the menu off the screen.
QString nomeInMenu(const QString &nome)
{
    return QFontMetrics(Aspetto::corpo()).elidedText(nome, Qt::ElideMiddle, 240);
}

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

// Calls a command that the application may not have wired (yet).
template <typename F, typename... A> void esegui(const F &f, A &&...argomenti)
{
    if (f)
        f(std::forward<A>(argomenti)...);
}
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
        if (regolaUscita(m_servizi.erase->fase()).abilitata)
            esegui(m_comandi.esci);
    });

    connect(m_monitor, &USBMonitor::drivesChanged, this, &MenuBarView::pianificaRicostruzione);
    connect(m_servizi.settings, &AppSettings::destinationPathChanged, this,
            &MenuBarView::pianificaRicostruzione);
    connect(m_servizi.erase, &SecureEraseManager::faseChanged, this, &MenuBarView::pianificaRicostruzione);
    connect(m_servizi.erase, &SecureEraseManager::faseChanged, this, &MenuBarView::aggiornaSchede);
    connect(m_servizi.erase, &SecureEraseManager::percentualeChanged, this, &MenuBarView::aggiornaSchede);
    connect(m_servizi.erase, &SecureEraseManager::nomeVolumeChanged, this, &MenuBarView::aggiornaSchede);
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
    const SecureEraseManager *erase = m_servizi.erase;
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
    resize(width(), altezza);
    if (isVisible())
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

    const bool cancellazione = m_servizi.erase->inCorso();
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

VoceAzione *MenuBarView::nuovaVoce(const QString &nome, const QString &titolo, const QString &simbolo,
                                   const QColor &colore)
{
    auto *voce = new VoceAzione(titolo, simbolo, colore);
    voce->setObjectName(nome);
    return voce;
}

QWidget *MenuBarView::sezioneChiavette()
{
    auto *sezione = new ElencoRighe;
    sezione->setObjectName(QStringLiteral("elencoUSB"));
    QVBoxLayout *v = colonna(sezione, 4);
    v->addWidget(etichetta(QStringLiteral("USB inserite"), Aspetto::headline(), Aspetto::testo()));
    const QList<USBDrive> &drives = m_monitor->drives();
    if (drives.isEmpty()) {
        QLabel *vuoto =
            etichetta(QStringLiteral("Nessuna USB inserita"), Aspetto::callout(), Aspetto::secondario());
        vuoto->setObjectName(QStringLiteral("nessunaUSB"));
        v->addWidget(vuoto);
    }
    for (int i = 0; i < drives.size(); ++i) {
        auto *riga = new USBRow(
            i, drives[i], m_servizi.erase, [this](const USBDrive &d) { esegui(m_comandi.apriChiavetta, d); },
            [this](const USBDrive &d) { esegui(m_comandi.espelli, d); });
        riga->setObjectName(drives[i].id.toString(QUuid::WithoutBraces));
        v->addWidget(riga);
    }
    return sezione;
}

QWidget *MenuBarView::sezioneAzioniRapide(bool abilitata)
{
    auto *sezione = new QWidget;
    QVBoxLayout *v = colonna(sezione, 6);
    auto *testata = new QHBoxLayout;
    testata->addWidget(etichetta(QStringLiteral("Azioni rapide"), Aspetto::headline(), Aspetto::testo()));
    testata->addStretch();
    auto *impostazioni = new PulsanteSimbolo(QStringLiteral("gearshape"), Aspetto::secondario(), 15);
    impostazioni->setObjectName(QStringLiteral("impostazioni"));
    impostazioni->setToolTip(QStringLiteral("Impostazioni"));
    connect(impostazioni, &QAbstractButton::clicked, this,
            [this] { esegui(m_comandi.apriFinestra, Finestre::settings); });
    testata->addWidget(impostazioni);
    v->addLayout(testata);

    // The column is one widget so that a single switch disables it whole;
    // the gear above stays usable.
    auto *azioni = new QWidget;
    azioni->setObjectName(QStringLiteral("azioniRapide"));
    QVBoxLayout *c = colonna(azioni, 6);
    const QString cartella = AppSettings::folderName(m_servizi.settings->destinationPath());

    struct Semplice {
        const char *nome;
        QString titolo;
        const char *simbolo;
        QColor colore;
        std::function<void()> ComandiPannello::*comando;
    };
    const Semplice semplici[] = {
        {"apriUltimaUSB", testoPiattaforma(TestoPiattaforma::apriUltimaUSB), "folder.fill", Colori::blue(),
         &ComandiPannello::apriUltimaUSB},
        {"apriUltimaUSBConNota", QStringLiteral("Apri ultima USB + nota appunti"), "note.text.badge.plus",
         Colori::yellow(), &ComandiPannello::apriUltimaUSBConNota},
        {"salvaNotaTesto", QStringLiteral("Copia appunti ed espelli (.txt)"), "square.and.arrow.down",
         Colori::orange(), &ComandiPannello::salvaNotaTestoEdEspelli},
        {"salvaNotaFormattata", QStringLiteral("Copia appunti formattati ed espelli (.rtf)"), "textformat",
         Colori::purple(), &ComandiPannello::salvaNotaFormattataEdEspelli},
        {"copiaTutto", QStringLiteral("Copia tutto in %1").arg(cartella), "doc.on.doc.fill", Colori::green(),
         &ComandiPannello::copiaTutto},
    };
    for (const Semplice &s : semplici) {
        VoceAzione *voce =
            nuovaVoce(QString::fromLatin1(s.nome), s.titolo, QString::fromLatin1(s.simbolo), s.colore);
        const auto comando = s.comando;
        connect(voce, &QAbstractButton::clicked, this, [this, comando] { esegui(m_comandi.*comando); });
        c->addWidget(voce);
    }

    VoceAzione *filtrato =
        nuovaVoce(QStringLiteral("copiaFiltrato"), QStringLiteral("Copia filtrato in %1").arg(cartella),
                  QStringLiteral("line.3.horizontal.decrease.circle.fill"), Colori::mint());
    QMenu *menu = creaMenu(filtrato);
    const std::pair<CategoriaFile, const char *> categorie[] = {{CategoriaFile::video, "film"},
                                                                {CategoriaFile::documenti, "doc.text"},
                                                                {CategoriaFile::immagini, "photo"}};
    for (const auto &[categoria, simbolo] : categorie) {
        QAction *a = menu->addAction(Icone::icona(QString::fromLatin1(simbolo), Aspetto::testo()),
                                     etichetta(categoria));
        const CategoriaFile cat = categoria;
        connect(a, &QAction::triggered, this, [this, cat] { esegui(m_comandi.copiaFiltrato, cat); });
    }
    filtrato->setMenuVoci(menu);
    c->addWidget(filtrato);

    azioni->setEnabled(abilitata);
    v->addWidget(azioni);
    return sezione;
}

QWidget *MenuBarView::sezioneClona(bool abilitata)
{
    auto *sezione = new QWidget;
    sezione->setObjectName(QStringLiteral("clona"));
    QVBoxLayout *v = colonna(sezione, 6);
    v->addWidget(etichetta(QStringLiteral("Clona USB"), Aspetto::headline(), Aspetto::testo()));
    const QList<USBDrive> drives = m_monitor->drives();
    const QString simbolo = QStringLiteral("arrow.triangle.2.circlepath");
    if (drives.size() < 2) {
        QLabel *servono = etichetta(QStringLiteral("Servono 2 USB collegate per clonare"), Aspetto::caption(),
                                    Aspetto::secondario());
        servono->setObjectName(QStringLiteral("servonoDueUSB"));
        v->addWidget(servono);
    } else if (drives.size() == 2) {
        VoceAzione *voce =
            nuovaVoce(QStringLiteral("sincronizza"),
                      QStringLiteral("Sincronizza %1 ↔ %2").arg(drives[0].name, drives[1].name), simbolo,
                      Colori::indigo());
        const USBDrive a = drives[0], b = drives[1];
        connect(voce, &QAbstractButton::clicked, this, [this, a, b] { esegui(m_comandi.sincronizza, a, b); });
        v->addWidget(voce);
    } else {
        VoceAzione *voce =
            nuovaVoce(QStringLiteral("sceltaSincronizzazione"),
                      QStringLiteral("Scegli quali USB sincronizzare"), simbolo, Colori::indigo());
        QMenu *menu = creaMenu(voce);
        for (int i = 0; i < drives.size(); ++i) {
            for (int j = i + 1; j < drives.size(); ++j) {
                const USBDrive a = drives[i], b = drives[j];
                QAction *azione =
                    menu->addAction(QStringLiteral("%1 ↔ %2").arg(nomeInMenu(a.name), nomeInMenu(b.name)));
                connect(azione, &QAction::triggered, this,
                        [this, a, b] { esegui(m_comandi.sincronizza, a, b); });
            }
        }
        voce->setMenuVoci(menu);
        v->addWidget(voce);
    }
    sezione->setEnabled(abilitata);
    return sezione;
}

QWidget *MenuBarView::sezioneDisco(bool cancellazioneInCorso)
{
    auto *sezione = new QWidget;
    QVBoxLayout *v = colonna(sezione, 6);
    const QList<USBDrive> drives = m_monitor->drives();

    struct Comando {
        const char *nome;
        QString titolo;
        const char *simbolo;
        QColor colore;
        bool distruttivo;
        std::function<void(const USBDrive &)> ComandiPannello::*comando;
    };
    const Comando comandi[] = {
        {"formattaRapida", QStringLiteral("Prepara chiavetta (formatta rapida)…"), "sparkles",
         Colori::orange(), false, &ComandiPannello::formattaRapida},
        {"cancellaSicura", QStringLiteral("Cancella tutto e formatta (sicuro)…"), "trash.fill", Colori::red(),
         true, &ComandiPannello::cancellaSicura},
    };
    for (const Comando &c : comandi) {
        VoceAzione *voce =
            nuovaVoce(QString::fromLatin1(c.nome), c.titolo, QString::fromLatin1(c.simbolo), c.colore);
        voce->setDistruttiva(c.distruttivo);
        const auto comando = c.comando;
        if (drives.size() == 1) {
            const USBDrive d = drives.first();
            connect(voce, &QAbstractButton::clicked, this,
                    [this, comando, d] { esegui(m_comandi.*comando, d); });
        } else {
            // With none or several sticks the user picks the stick by name.
            QMenu *menu = creaMenu(voce);
            for (const USBDrive &d : drives) {
                QAction *a =
                    menu->addAction(Icone::icona(QStringLiteral("externaldrive.fill"),
                                                 c.distruttivo ? Colori::red() : Aspetto::secondario()),
                                    nomeInMenu(d.name));
                connect(a, &QAction::triggered, this, [this, comando, d] { esegui(m_comandi.*comando, d); });
            }
            voce->setMenuVoci(menu);
        }
        voce->setEnabled(!cancellazioneInCorso && !drives.isEmpty());
        v->addWidget(voce);
    }
    return sezione;
}

QWidget *MenuBarView::sezioneFinale()
{
    auto *sezione = new QWidget;
    QVBoxLayout *v = colonna(sezione, 6);
    v->addWidget(new Divisore);
    v->addSpacing(8);
    VoceAzione *aiuto = nuovaVoce(QStringLiteral("aiuto"), QStringLiteral("Aiuto"),
                                  QStringLiteral("questionmark.circle.fill"), Colori::coloreMarchio());
    QMenu *menu = creaMenu(aiuto);
    for (SezioneAiuto s : tutteLeSezioni()) {
        QAction *a = menu->addAction(etichetta(s));
        connect(a, &QAction::triggered, this, [this, s] { esegui(m_comandi.apriAiuto, s); });
    }
    aiuto->setMenuVoci(menu);
    v->addWidget(aiuto);

    const RegolaUscita regola = regolaUscita(m_servizi.erase->fase());
    m_esci->setEnabled(regola.abilitata);
    auto *esci = nuovaVoce(QStringLiteral("esci"), QStringLiteral("Esci"), QString(), QColor());
    esci->setToolTip(regola.tooltip);
    esci->setTestoScorciatoia(m_esci->shortcut().toString(QKeySequence::NativeText));
    esci->setEnabled(regola.abilitata);
    connect(esci, &QAbstractButton::clicked, m_esci, &QAction::trigger);
    v->addWidget(esci);
    return sezione;
}
