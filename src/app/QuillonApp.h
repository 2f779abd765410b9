#pragma once

#include "operations/Servizi.h"
#include "platform/Piattaforma.h"

#include <functional>
#include <memory>
#include <QHash>
#include <QObject>
#include <QPoint>
#include <QPointer>

class PresentatoreAvvisi;
class ControlloAggiornamenti;
class ImportazioniInAttesa;
class MenuBarView;
class QLocalServer;
class QSystemTrayIcon;
class QWidget;
class USBMonitor;

// The application: owns the drive monitor, the tray icon with its drop-down
// panel and the three single-instance windows.
class QuillonApp : public QObject {
    Q_OBJECT
public:
    QuillonApp();
    ~QuillonApp() override;

    // One Tessera per user session: when one already runs, ask it to show its
    // panel and return true (the caller then exits).
    static bool inoltraAIstanzaEsistente();

    USBMonitor *monitor() const { return m_monitor; }
    const Servizi &servizi() const { return m_servizi; }

    void apriFinestra(const QString &identificatore);
    void mostraPannello();

private:
    void creaVassoio();
    void aggiornaIconaVassoio();
    void posizionaPannello();
    void ascoltaAltreIstanze();
    QWidget *creaFinestra(const QString &identificatore);

    std::unique_ptr<PresentatoreAvvisi> m_avvisi;
    Piattaforma m_piattaforma;
    Servizi m_servizi;
    USBMonitor *m_monitor = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QString m_testoVassoio;
    QPointer<MenuBarView> m_pannello;
    bool m_pannelloComeFinestra = false;
    QPoint m_puntoClic; // where the pointer was when the tray icon was clicked
    bool m_posizionando = false;
    ImportazioniInAttesa *m_importazioni = nullptr;
    QHash<QString, QPointer<QWidget>> m_finestre;
    QLocalServer *m_server = nullptr;
    ControlloAggiornamenti *m_aggiornamenti = nullptr;
};
