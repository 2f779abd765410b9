#pragma once

#include <functional>
#include <optional>
#include <QDateTime>
#include <QWidget>

class AppSettings;
class ControlloAggiornamenti;
class Interruttore;
class QHBoxLayout;
class QLabel;
class QTextEdit;
class QVBoxLayout;
class SchedaProgresso;
struct Servizi;

// The settings window: archive folder (its verification, how it is laid
// out), automatic import, the log and the update check. Holds no state of its own; every change goes straight
// to AppSettings, and every change there shows here at once.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    // `verificaArchivio` starts "Verifica archivio"; the running operation's card shows here too.
    SettingsView(const Servizi &servizi, ControlloAggiornamenti *aggiornamenti,
                 std::function<void()> verificaArchivio = {}, QWidget *parent = nullptr);

    // The automatic-import explanation for the archive folder at `percorso`.
    static QString spiegazioneImport(const QString &percorso);
    // Why copies into the folder at `percorso` would fail; none when they can work.
    static std::optional<QString> problemaCartella(const QString &percorso);
    // Where the folder is, and that no copy of it is made elsewhere.
    static QString notaCartella(const QString &percorso, bool predefinita);
    // When the archive was last verified against its manifests, in words.
    static QString testoUltimaVerifica(const std::optional<QDateTime> &quando);

protected:
    void showEvent(QShowEvent *evento) override;

private:
    void mostraPercorso(const QString &percorso);
    void controllaCartella();
    void adattaAltezza();
    void mostraOperazione();
    void aggiungiOrdine(QVBoxLayout *pila);
    void aggiungiVerifica(QHBoxLayout *comandi, QVBoxLayout *cartella, std::function<void()> avvia);

    const Servizi &m_servizi;
    AppSettings &m_settings;
    ControlloAggiornamenti *m_aggiornamenti;
    QTextEdit *m_percorso;
    QWidget *m_avvisoCartella;
    QLabel *m_testoAvviso;
    QLabel *m_notaCartella;
    QLabel *m_ultimaVerifica;
    SchedaProgresso *m_scheda;
    QLabel *m_spiegazioneImport;
    Interruttore *m_importa;
};
