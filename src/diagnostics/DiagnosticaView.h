#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <functional>
#include <memory>
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
class QTabBar;
class QVBoxLayout;
class SchedaProgresso;

// The stick the checks act on: the one chosen, or the one inserted last when
// nothing was chosen or the chosen one is gone.
std::optional<USBDrive> chiavettaScelta(const QList<USBDrive> &drives,
                                        const std::optional<QUuid> &selezioneID);

// The diagnostics window: pick a stick, start one of its checks, watch it
// run and read the report, or the chosen stick's history. The report and the
// running check live in the manager, the history in its file; the window
// keeps only the choice.
class DiagnosticaView : public QWidget {
    Q_OBJECT
public:
    DiagnosticaView(ElencoChiavette *chiavette, const Servizi &servizi, QWidget *parent = nullptr);

    std::optional<USBDrive> chiavetta() const;

private:
    enum class Scheda { info, verifica, ripara, velocita, capacita };
    void avvia(Scheda scheda);
    void aggiornaChiavette();
    void aggiornaInCorso();
    void aggiornaRapporto();
    void aggiornaStorico();
    void mostraPagina();

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
    QTabBar *m_pagine;
    QPushButton *m_pulisci;
    QVBoxLayout *m_layoutStorico;
    // One for the life of the window, so the card keeps its button between updates.
    std::shared_ptr<const std::function<void()>> m_annulla;
};
