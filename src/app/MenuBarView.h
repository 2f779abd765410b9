#pragma once

#include "app/ComandiPannello.h"
#include "operations/Servizi.h"
#include "ui/SchedaProgresso.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QAction;
class QScrollArea;
class PromemoriaVerifica;
class QVBoxLayout;
class USBMonitor;
class USBRow;
class VoceAzione;

// The drop-down panel: what is running (erase card, operation card), the
// inserted sticks and every command. It owns no work: each entry calls its
// command and returns. Redrawn from the monitor, the settings, the erase
// manager and the operation centre whenever they change. Never taller than
// it is allowed to be: the sticks and commands scroll between the header and
// the cards above and "Aiuto" and "Esci" below. Every control is reached with
// Tab, Shift+Tab and the arrow keys in reading order.
class MenuBarView : public QWidget {
    Q_OBJECT
public:
    MenuBarView(USBMonitor *monitor, const Servizi &servizi, ComandiPannello comandi,
                QWidget *parent = nullptr);

    // Entries by name: "apriUltimaUSB", "apriUltimaUSBConNota", "salvaNotaTesto", "salvaNotaFormattata",
    // "copiaTutto", "copiaFiltrato", "sincronizza", "sceltaSincronizzazione", "diagnostica",
    // "formattaRapida", "cancellaSicura", "aiuto", "esci".
    VoceAzione *voce(const QString &nome) const;
    QList<USBRow *> righe() const;
    SchedaProgresso *schedaCancellazione() const { return m_schedaErase; }
    SchedaProgresso *schedaOperazione() const { return m_schedaOperazione; }
    QScrollArea *scorrimento() const { return m_scorrimento; }
    PromemoriaVerifica *promemoriaVerifica() const { return m_promemoria; }

    // The most the panel may grow to (the room between its tray icon and the
    // screen's edge); it follows its content up to there.
    void setAltezzaMassima(int altezza);
    // The height that shows everything without scrolling.
    int altezzaDesiderata() const;
    // As a drop-down it closes on Escape and when another window takes the focus.
    void setComeTendina(bool tendina) { m_tendina = tendina; }
    // Whether it closed itself within the last moments because the focus
    // went elsewhere: when that was a click on the tray icon, the click must
    // not open it again at once.
    bool appenaChiuso() const;

Q_SIGNALS:
    // The panel's height changed while shown; a drop-down above its icon moves with it.
    void altezzaCambiata();

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void changeEvent(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *oggetto, QEvent *e) override;

private:
    void pianificaRicostruzione();
    void ricostruisci();
    void aggiornaSchede();
    void adattaAltezza();
    void ordinaFuoco();
    void chiudiTendina();

    QWidget *sezioneChiavette();
    QWidget *sezioneAzioniRapide(bool abilitata);
    QWidget *sezioneClona(bool abilitata);
    QWidget *sezioneDisco(bool cancellazioneInCorso);
    QWidget *sezioneFinale();
    VoceAzione *nuovaVoce(const QString &nome, const QString &titolo, const QString &simbolo,
                          const QColor &colore);

    USBMonitor *m_monitor;
    Servizi m_servizi;
    ComandiPannello m_comandi;
    QVBoxLayout *m_layout;
    QWidget *m_zonaSchede;
    QVBoxLayout *m_layoutSchede;
    QPointer<SchedaProgresso> m_schedaErase;
    QPointer<QWidget> m_divisoreErase;
    QPointer<SchedaProgresso> m_schedaOperazione;
    QPointer<QWidget> m_divisoreOperazione;
    QScrollArea *m_scorrimento;
    PromemoriaVerifica *m_promemoria;
    QPointer<QWidget> m_corpo;
    QPointer<QWidget> m_piede;
    QAction *m_esci;
    bool m_ricostruzionePianificata = false;
    bool m_tendina = false;
    int m_altezzaMassima = QWIDGETSIZE_MAX;
    qint64 m_chiusoAlle = 0; // ms since the epoch; 0 = not yet
};
