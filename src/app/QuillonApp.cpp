#include "app/QuillonApp.h"

#include "actions/AzioniRapide.h"
#include "actions/CloneUSBAction.h"
#include "actions/EjectDriveAction.h"
#include "app/MenuBarView.h"
#include "app/ShellRules.h"
#include "app/TrayIconPainter.h"
#include "app/USBMonitor.h"
#include "diagnostics/DiagnosticaView.h"
#include "disk/EsecutoreProcessi.h"
#include "disk/QuickFormatUSBAction.h"
#include "disk/SecureEraseUSBAction.h"
#include "help/AiutoStato.h"
#include "help/AiutoView.h"
#include "operations/AvvioFlussi.h"
#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/MessageBoxPresenter.h"
#include "operations/SecureEraseManager.h"
#include "platform/DesktopOpener.h"
#include "platform/Piattaforma.h"
#include "platform/VolumeSource.h"
#include "settings/AppSettings.h"
#include "settings/SettingsView.h"
#include "transfer/ComandiCopia.h"
#include "transfer/FileCopyService.h"
#include "ui/Icone.h"
#include "update/ControlloAggiornamenti.h"

#include <cstdio>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <unistd.h>

namespace {
QString nomeServerIstanza()
{
    return QStringLiteral("tessera-%1").arg(::getuid());
}
} // namespace

QuillonApp::QuillonApp()
{
    m_avvisi = std::make_unique<MessageBoxPresenter>();
    m_piattaforma = creaPiattaforma([avvisi = m_avvisi.get()](const QString &titolo, const QString &testo,
                                                              Urgenza urgenza) {
        avvisi->mostraAvviso(
            titolo, testo, urgenza == Urgenza::critica ? StileAvviso::avvertenza : StileAvviso::informativo);
    });
    m_servizi.avvisi = m_avvisi.get();
    m_servizi.notifiche = m_piattaforma.notifiche.get();
    m_servizi.apritore = m_piattaforma.apritore.get();
    m_servizi.centro = &CentroOperazioni::shared();
    m_servizi.erase = &SecureEraseManager::shared();
    m_servizi.settings = &AppSettings::shared();
    m_servizi.diag = &DiagnosticaManager::shared();
    // Never freed: a worker may still be waiting on a tool while the application quits.
    m_servizi.disco = new EsecutoreProcessi(m_piattaforma.strumenti.diskutil);
    m_servizi.appunti = m_piattaforma.appunti.get();
    m_servizi.espulsore = m_piattaforma.espulsore.get();

    // Before anything else: it decides by itself whether a check is due and
    // never holds up the launch.
    m_aggiornamenti = new ControlloAggiornamenti(m_servizi, this);
    m_aggiornamenti->controlloAutomatico();

    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tessera"), QIcon(Icone::fileLogo())));

    m_monitor = new USBMonitor(m_piattaforma.volumi.get(), m_servizi.settings, this);
    // Each stick that arrives starts its own import; nothing waits for it.
    m_monitor->setAutoImportHandler([this](const USBDrive &drive) {
        avviaFlusso(FileCopyService::importaAutomaticamente(drive, m_servizi), this);
    });

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
    comandi.copiaTutto = [this] { avviaFlusso(copiaTutto(*m_monitor, m_servizi), this); };
    comandi.copiaFiltrato = [this](CategoriaFile categoria) {
        avviaFlusso(copiaFiltrato(*m_monitor, categoria, m_servizi), this);
    };
    comandi.apriUltimaUSB = [this] { avviaFlusso(apriUltimaUSB(m_monitor, m_servizi), this); };
    comandi.apriUltimaUSBConNota = [this] { avviaFlusso(apriUltimaUSBConNota(m_monitor, m_servizi), this); };
    comandi.salvaNotaTestoEdEspelli = [this] {
        avviaFlusso(salvaNotaTestoEdEspelli(m_monitor, m_servizi), this);
    };
    comandi.salvaNotaFormattataEdEspelli = [this] {
        avviaFlusso(salvaNotaFormattataEdEspelli(m_monitor, m_servizi), this);
    };
    comandi.sincronizza = [this](const USBDrive &a, const USBDrive &b) {
        avviaFlusso(std::make_shared<CloneUSBAction>(m_servizi, m_monitor, a, b), this);
    };
    comandi.espelli = [this](const USBDrive &drive) {
        avviaFlusso(std::make_shared<EjectDriveAction>(m_servizi, drive), this);
    };
    comandi.formattaRapida = [this](const USBDrive &drive) {
        avviaFlusso(std::make_shared<QuickFormatUSBAction>(drive, m_servizi), this);
    };
    comandi.cancellaSicura = [this](const USBDrive &drive) {
        avviaFlusso(std::make_shared<SecureEraseUSBAction>(drive, m_servizi), this);
    };
    comandi.esci = [this] {
        if (regolaUscita(m_servizi.erase->fase()).abilitata)
            QApplication::quit();
    };
    m_pannello = new MenuBarView(m_monitor, m_servizi, std::move(comandi));

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::fprintf(stderr,
                     "Tessera: nessuna area di notifica disponibile; il pannello si apre come finestra.\n");
        m_pannelloComeFinestra = true;
        m_pannello->setWindowTitle(QStringLiteral("Tessera"));
        m_pannello->show();
        return;
    }

    m_pannello->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    m_tray = new QSystemTrayIcon(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
            mostraPannello();
    });
    connect(m_servizi.erase, &SecureEraseManager::faseChanged, this, &QuillonApp::aggiornaIconaVassoio);
    connect(m_servizi.erase, &SecureEraseManager::percentualeChanged, this,
            &QuillonApp::aggiornaIconaVassoio);
    aggiornaIconaVassoio();
    m_tray->show();
}

void QuillonApp::aggiornaIconaVassoio()
{
    if (!m_tray)
        return;
    const QString testo = testoIconaVassoio(m_servizi.erase->fase(), m_servizi.erase->percentuale());
    QIcon icona;
    for (int lato : {16, 22, 24, 32, 48, 64})
        icona.addPixmap(QPixmap::fromImage(disegnaIconaVassoio(testo, lato)));
    m_tray->setIcon(icona);
    m_tray->setToolTip(testo.isEmpty() ? QStringLiteral("Tessera")
                                       : QStringLiteral("Tessera — %1").arg(testo));
}

void QuillonApp::mostraPannello()
{
    if (!m_pannello)
        return;
    if (m_pannelloComeFinestra) {
        m_pannello->show();
        m_pannello->raise();
        m_pannello->activateWindow();
        return;
    }
    m_pannello->adjustSize();
    // Under the icon when the tray tells where it is, else under the pointer.
    QRect icona = m_tray ? m_tray->geometry() : QRect();
    QPoint punto = icona.isValid() ? icona.bottomLeft() : QCursor::pos();
    QScreen *schermo = QGuiApplication::screenAt(punto);
    if (!schermo)
        schermo = QGuiApplication::primaryScreen();
    const QRect area = schermo ? schermo->availableGeometry() : QRect(0, 0, 1920, 1080);
    const QSize dim = m_pannello->sizeHint().expandedTo(m_pannello->size());
    int x = qBound(area.left(), punto.x() - dim.width() / 2, area.right() - dim.width());
    int y = punto.y() + dim.height() > area.bottom()
                ? qMax(area.top(), (icona.isValid() ? icona.top() : punto.y()) - dim.height())
                : punto.y();
    m_pannello->move(x, y);
    m_pannello->show();
    m_pannello->raise();
    m_pannello->activateWindow();
}

QWidget *QuillonApp::creaFinestra(const QString &identificatore)
{
    if (identificatore == Finestre::diagnostica)
        return new DiagnosticaView(m_monitor, m_servizi);
    if (identificatore == Finestre::aiuto)
        return new AiutoView(AiutoStato::shared(), m_servizi.apritore);
    if (identificatore == Finestre::settings)
        return new SettingsView(m_servizi, m_aggiornamenti);
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
    }
    if (m_pannello && !m_pannelloComeFinestra)
        m_pannello->hide();
    finestra->show();
    finestra->setWindowState(finestra->windowState() & ~Qt::WindowMinimized);
    finestra->raise();
    finestra->activateWindow();
}
