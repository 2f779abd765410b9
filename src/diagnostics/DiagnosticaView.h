#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <optional>
#include <QList>
#include <QUuid>
#include <QWidget>

class DiagnosticaManager;
class ElencoChiavette;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;
class SchedaProgresso;

// The stick the checks act on: the one chosen, or the one inserted last when
// nothing was chosen or the chosen one is gone.
std::optional<USBDrive> chiavettaScelta(const QList<USBDrive> &drives,
                                        const std::optional<QUuid> &selezioneID);

// The diagnostics window: pick a stick, start one of the four checks, watch
// it run and read the report. The report and the running check live in the
// manager; the window keeps only the choice.
class DiagnosticaView : public QWidget {
    Q_OBJECT
public:
    DiagnosticaView(ElencoChiavette *chiavette, const Servizi &servizi, QWidget *parent = nullptr);

    std::optional<USBDrive> chiavetta() const;

private:
    enum class Scheda { info, verifica, ripara, velocita };
    void avvia(Scheda scheda);
    void aggiornaChiavette();
    void aggiornaInCorso();
    void aggiornaRapporto();

    ElencoChiavette *m_chiavette;
    Servizi m_servizi;
    DiagnosticaManager *m_diag;
    std::optional<QUuid> m_selezioneID;

    QLabel *m_nessunaChiavetta;
    QWidget *m_areaChiavette;
    QComboBox *m_scelta;
    SchedaProgresso *m_inCorso;
    QStackedWidget *m_areaRapporto;
    QScrollArea *m_scorrimento;
    QWidget *m_righe;
    QVBoxLayout *m_layoutRighe;
    qsizetype m_righeMostrate = 0;
};
