#pragma once

#include <optional>
#include <QWidget>

class AppSettings;
class ControlloAggiornamenti;
class Interruttore;
class QLabel;
class QTextEdit;
struct Servizi;

// The settings window: archive folder, automatic import, the log and the
// update check. Holds no state of its own; every change goes straight to
// AppSettings, and every change there shows here at once.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    SettingsView(const Servizi &servizi, ControlloAggiornamenti *aggiornamenti, QWidget *parent = nullptr);

    // The automatic-import explanation for the archive folder at `percorso`.
    static QString spiegazioneImport(const QString &percorso);
    // Why copies into the folder at `percorso` would fail; none when they can work.
    static std::optional<QString> problemaCartella(const QString &percorso);
    // Where the folder is, and that no copy of it is made elsewhere.
    static QString notaCartella(const QString &percorso, bool predefinita);

protected:
    void showEvent(QShowEvent *evento) override;

private:
    void mostraPercorso(const QString &percorso);
    void controllaCartella();
    void adattaAltezza();

    const Servizi &m_servizi;
    AppSettings &m_settings;
    ControlloAggiornamenti *m_aggiornamenti;
    QTextEdit *m_percorso;
    QWidget *m_avvisoCartella;
    QLabel *m_testoAvviso;
    QLabel *m_notaCartella;
    QLabel *m_spiegazioneImport;
    Interruttore *m_importa;
};
