#pragma once

#include "app/ComandiPannello.h"
#include "operations/Servizi.h"
#include "ui/SchedaProgresso.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QAction;
class QVBoxLayout;
class USBMonitor;
class USBRow;
class VoceAzione;

// The drop-down panel: what is running (erase card, operation card), the
// inserted sticks and every command. It owns no work: each entry calls its
// command and returns. Redrawn from the monitor, the settings, the erase
// manager and the operation centre whenever they change.
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

private:
    void pianificaRicostruzione();
    void ricostruisci();
    void aggiornaSchede();
    void adattaAltezza();

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
    QPointer<QWidget> m_corpo;
    QAction *m_esci;
    bool m_ricostruzionePianificata = false;
};
