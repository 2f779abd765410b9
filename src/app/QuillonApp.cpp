#include "app/QuillonApp.h"

#include "actions/ComandiAzioni.h"
#include "app/DisegnoIconaVassoio.h"
#include "app/ImportazioniInAttesa.h"
#include "app/MenuBarView.h"
#include "app/RegolePannello.h"
#include "app/USBMonitor.h"
#include "comune/Marchio.h"
#include "diagnostics/DiagnosticaView.h"
#include "disk/ComandiDisco.h"
#include "disk/EsecutoreProcessi.h"
#include "help/AiutoStato.h"
#include "help/AiutoView.h"
#include "operations/AvvioFlussi.h"
#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/SecureEraseManager.h"
#include "platform/AperturaDesktop.h"
#include "platform/FonteVolumi.h"
#include "platform/Piattaforma.h"
#include "settings/AppSettings.h"
#include "settings/SettingsView.h"
#include "transfer/ComandiTrasferimento.h"
#include "transfer/IndiceArchivio.h"
#include "ui/AvvisiInFinestra.h"
#include "ui/Icone.h"
#include "update/ControlloAggiornamenti.h"

#include <cstdio>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <unistd.h>

namespace {
QString nomeServerIstanza()
{
    return QStringLiteral("tessera-%1").arg(::getuid());
}

// Versions up to 1.0 kept the archive index in a folder of its own; it now
// lives beside the log. It is a cache: moved when it can be, else dropped.
void spostaIndiceArchivio()
{
    const QString vecchiaCartella = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString vecchio = QDir(vecchiaCartella).filePath(QStringLiteral("indice_archivio.tsv"));
    if (!QFileInfo(vecchio).isFile())
        return;
    if (!QFile::rename(vecchio, IndiceArchivio::percorsoPredefinito()))
        QFile::remove(vecchio);
    QDir().rmdir(vecchiaCartella);
    QDir().rmdir(QFileInfo(vecchiaCartella).path());
}

QScreen *schermoDi(const QPoint &punto)
{
    QScreen *schermo = QGuiApplication::screenAt(punto);
    return schermo ? schermo : QGuiApplication::primaryScreen();
}
} // namespace

QuillonApp::QuillonApp()
{
    m_avvisi = std::make_unique<AvvisiInFinestra>();
    m_piattaforma = creaPiattaforma([avvisi = m_avvisi.get()](const QString &titolo, const QString &testo,
                                                              Urgenza urgenza) {
        avvisi->mostraAvviso(
            titolo, testo, urgenza == Urgenza::critica ? StileAvviso::avvertenza : StileAvviso::informativo);
    });
    m_servizi.avvisi = m_avvisi.get();
    m_servizi.notifiche = m_piattaforma.notifiche.get();
    m_servizi.apritore = m_piattaforma.apritore.get();
    m_servizi.centro = &CentroOperazioni::shared();
    m_servizi.cancellazione = &SecureEraseManager::shared();
    m_servizi.impostazioni = &AppSettings::shared();
    m_servizi.diagnostica = new DiagnosticaManager(this);
    // Never freed: a worker may still be waiting on a tool while the application quits.
    m_servizi.disco = new EsecutoreProcessi(m_piattaforma.strumenti.diskutil);
    m_servizi.appunti = m_piattaforma.appunti.get();
    m_servizi.espulsore = m_piattaforma.espulsore.get();

    // Before anything else: it decides by itself whether a check is due and
    // never holds up the launch.
    m_aggiornamenti = new ControlloAggiornamenti(m_servizi, this);
    m_aggiornamenti->controlloAutomatico();

    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tessera"), QIcon(Icone::fileLogo())));

    spostaIndiceArchivio();

    m_monitor = new USBMonitor(m_piattaforma.volumi.get(), m_servizi.impostazioni, this);
    // Each stick that arrives starts its own import, or waits for the work
    // that holds the way; nothing waits for the import.
    m_importazioni = new ImportazioniInAttesa(
        m_servizi, m_monitor,
        [this](const USBDrive &drive) { avviaFlusso(importaAutomaticamente(m_servizi, drive), this); }, this);
    m_monitor->setAutoImportHandler([this](const USBDrive &drive) { m_importazioni->arrivata(drive); });

    ascoltaAltreIstanze();
    creaVassoio();
}

QuillonApp::~QuillonApp()
{
    for (const auto &f : std::as_const(m_finestre))
        delete f.data();
    delete m_pannello.data();
}

bool QuillonApp::inoltraAIstanzaEsistente()
{
    QLocalSocket socket;
    socket.connectToServer(nomeServerIstanza());
    if (!socket.waitForConnected(500))
        return false;
    socket.write("pannello\n");
    socket.waitForBytesWritten(500);
    socket.disconnectFromServer();
    return true;
}

void QuillonApp::ascoltaAltreIstanze()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(nomeServerIstanza())) {
        // A stale socket from a crashed run: nobody answered, so take it over.
        QLocalServer::removeServer(nomeServerIstanza());
        m_server->listen(nomeServerIstanza());
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            mostraPannello();
        }
    });
}

void QuillonApp::creaVassoio()
{
    ComandiPannello comandi;
    comandi.apriFinestra = [this](const QString &id) { apriFinestra(id); };
    comandi.apriAiuto = [this](SezioneAiuto sezione) {
        AiutoStato::shared().setSezione(sezione);
        apriFinestra(Finestre::aiuto);
    };
    comandi.apriChiavetta = [this](const USBDrive &drive) { m_servizi.apritore->apri(drive.url); };
    // Each command starts its flow and returns at once; the flows take the
    // services by value, so they outlive nothing they use.
    comandi.copiaTutto = [this] { avviaFlusso(copiaTutto(m_servizi, m_monitor), this); };
    comandi.copiaFiltrato = [this](CategoriaFile categoria) {
        avviaFlusso(copiaFiltrato(m_servizi, m_monitor, categoria), this);
    };
    comandi.apriUltimaUSB = [this] { avviaFlusso(apriUltimaUSB(m_servizi, m_monitor), this); };
    comandi.apriUltimaUSBConNota = [this] { avviaFlusso(apriUltimaUSBConNota(m_servizi, m_monitor), this); };
    comandi.salvaNotaTestoEdEspelli = [this] {
        avviaFlusso(salvaNotaTestoEdEspelli(m_servizi, m_monitor), this);
    };
    comandi.salvaNotaFormattataEdEspelli = [this] {
        avviaFlusso(salvaNotaFormattataEdEspelli(m_servizi, m_monitor), this);
    };
    comandi.sincronizza = [this](const USBDrive &a, const USBDrive &b) {
        avviaFlusso(sincronizzaChiavette(m_servizi, m_monitor, a, b), this);
    };
    comandi.espelli = [this](const USBDrive &drive) { avviaFlusso(espelli(m_servizi, drive), this); };
    comandi.formattaRapida = [this](const USBDrive &drive) {
        avviaFlusso(formattaRapida(m_servizi, drive), this);
    };
    comandi.cancellaSicura = [this](const USBDrive &drive) {
        avviaFlusso(cancellaSicura(m_servizi, drive), this);
    };
    comandi.verificaArchivio = [this] { avviaFlusso(verificaArchivioConScheda(m_servizi), this); };
    comandi.esci = [this] {
        if (regolaUscita(m_servizi.cancellazione->fase()).abilitata)
            QApplication::quit();
    };
    m_pannello = new MenuBarView(m_monitor, m_servizi, std::move(comandi));

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::fprintf(stderr, "%s: nessuna area di notifica disponibile; il pannello si apre come finestra.\n",
                     qPrintable(Marchio::nomeProdotto));
        m_pannelloComeFinestra = true;
        mostraPannello();
        return;
    }

    // A frameless window of its own rather than a pop-up: the accessibility
    // tree leaves pop-ups out, so screen readers would not find the panel. It
    // closes like a pop-up, on Escape and when another window takes the focus.
    m_pannello->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    m_pannello->setComeTendina(true);
    connect(m_pannello, &MenuBarView::altezzaCambiata, this, &QuillonApp::posizionaPannello);
    m_tray = new QSystemTrayIcon(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context)
            return;
        // A second click on the icon closes the panel, as it would a menu;
        // that click may already have closed it by taking the focus.
        if (m_pannello && (m_pannello->isVisible() || m_pannello->appenaChiuso()))
            m_pannello->hide();
        else
            mostraPannello();
    });
    // Every long operation shows on the icon, not only the erase.
    connect(m_servizi.cancellazione, &SecureEraseManager::faseChanged, this,
            &QuillonApp::aggiornaIconaVassoio);
    connect(m_servizi.cancellazione, &SecureEraseManager::percentualeChanged, this,
            &QuillonApp::aggiornaIconaVassoio);
    connect(m_servizi.centro, &CentroOperazioni::attualeChanged, this, &QuillonApp::aggiornaIconaVassoio);
    connect(m_servizi.diagnostica, &DiagnosticaManager::operazioneChanged, this,
            &QuillonApp::aggiornaIconaVassoio);
    connect(m_servizi.diagnostica, &DiagnosticaManager::percentualeChanged, this,
            &QuillonApp::aggiornaIconaVassoio);
    aggiornaIconaVassoio();
    m_tray->show();
}

void QuillonApp::aggiornaIconaVassoio()
{
    if (!m_tray)
        return;
    const std::optional<LavoroInCorso> lavoro =
        lavoroInCorso(*m_servizi.cancellazione, *m_servizi.centro, *m_servizi.diagnostica);
    const QString testo = testoIconaVassoio(lavoro);
    m_tray->setToolTip(
        lavoro ? QStringLiteral("%1 — %2 %3").arg(Marchio::nomeProdotto, lavoro->descrizione, testo).trimmed()
               : Marchio::nomeProdotto);
    // Drawn again only when what it shows changes, not at every file of a copy.
    if (testo == m_testoVassoio && !m_tray->icon().isNull())
        return;
    m_testoVassoio = testo;
    QIcon icona;
    for (int lato : {16, 22, 24, 32, 48, 64})
        icona.addPixmap(QPixmap::fromImage(disegnaIconaVassoio(testo, lato)));
    m_tray->setIcon(icona);
}

void QuillonApp::mostraPannello()
{
    if (!m_pannello)
        return;
    m_puntoClic = QCursor::pos();
    if (m_pannelloComeFinestra) {
        // As a window it keeps clear of the title bar and the desktop's panels.
        QScreen *schermo = schermoDi(m_pannello->isVisible() ? m_pannello->geometry().center() : m_puntoClic);
        if (schermo)
            m_pannello->setAltezzaMassima(schermo->availableGeometry().height() - 48);
    } else {
        posizionaPannello();
    }
    m_pannello->show();
    m_pannello->raise();
    m_pannello->activateWindow();
    m_pannello->setFocus(Qt::PopupFocusReason);
}

void QuillonApp::posizionaPannello()
{
    // Placing may change the panel's height, which asks to place it again: once is enough.
    if (m_posizionando)
        return;
    const QScopedValueRollback<bool> inCorso(m_posizionando, true);
    // Under the icon when the tray tells where it is, else by the pointer that clicked it.
    const QRect icona = m_tray ? m_tray->geometry() : QRect();
    QScreen *schermo = schermoDi(icona.isValid() ? icona.center() : m_puntoClic);
    const QRect area = schermo ? schermo->availableGeometry() : QRect(0, 0, 1920, 1080);
    const QRect posto = posizionePannello(area, icona, m_puntoClic,
                                          QSize(m_pannello->width(), m_pannello->altezzaDesiderata()));
    m_pannello->setAltezzaMassima(posto.height());
    m_pannello->move(posto.topLeft());
}

QWidget *QuillonApp::creaFinestra(const QString &identificatore)
{
    if (identificatore == Finestre::diagnostica)
        return new DiagnosticaView(m_monitor, m_servizi);
    if (identificatore == Finestre::aiuto)
        return new AiutoView(AiutoStato::shared(), m_servizi.apritore);
    if (identificatore == Finestre::settings)
        return new SettingsView(m_servizi, m_aggiornamenti,
                                [this] { avviaFlusso(verificaArchivioConScheda(m_servizi), this); });
    auto *w = new QWidget;
    auto *layout = new QVBoxLayout(w);
    layout->addWidget(new QLabel(Finestre::titolo(identificatore)));
    return w;
}

void QuillonApp::apriFinestra(const QString &identificatore)
{
    QPointer<QWidget> &finestra = m_finestre[identificatore];
    if (!finestra) {
        finestra = creaFinestra(identificatore);
        finestra->setAttribute(Qt::WA_DeleteOnClose, false);
        finestra->setWindowTitle(Finestre::titolo(identificatore));
        // Escape and Ctrl+W close it, as they close the desktop's own small windows.
        auto *chiudi = new QAction(finestra);
        chiudi->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
        chiudi->setShortcutContext(Qt::WindowShortcut);
        connect(chiudi, &QAction::triggered, finestra, &QWidget::close);
        finestra->addAction(chiudi);
    }
    if (m_pannello && !m_pannelloComeFinestra)
        m_pannello->hide();
    finestra->show();
    finestra->setWindowState(finestra->windowState() & ~Qt::WindowMinimized);
    finestra->raise();
    finestra->activateWindow();
}
