#pragma once

#include "help/ContenutoAiuto.h"
#include "help/SezioneAiuto.h"

#include <QMap>
#include <QTabBar>
#include <QWidget>

class AiutoStato;
class AperturaDesktop;
class QScrollArea;

// The help window's content: the picker over the four pages and the chosen
// page, bound both ways to the shared AiutoStato.
class AiutoView : public QWidget {
    Q_OBJECT
public:
    AiutoView(AiutoStato &stato, AperturaDesktop *apritore, QWidget *parent = nullptr);

    SezioneAiuto sezioneMostrata() const { return m_mostrata; }
    QWidget *pagina(SezioneAiuto sezione) const { return m_pagine.value(sezione); }
    QTabBar *barraSezioni() const { return m_barra; }

private:
    void mostra(SezioneAiuto sezione);
    QWidget *creaPagina(SezioneAiuto sezione);
    QWidget *paginaVoci(const QList<VoceGuida> &voci);
    QWidget *paginaChiSiamo();
    QWidget *paginaAvvertenze();

    AiutoStato &m_stato;
    AperturaDesktop *m_apritore;
    QTabBar *m_barra;
    QScrollArea *m_scorrimento;
    QMap<SezioneAiuto, QWidget *> m_pagine;
    SezioneAiuto m_mostrata = SezioneAiuto::guida;
};

// One guide or troubleshooting entry: tinted badge, title and explanation.
class RigaVoceGuida : public QWidget {
    Q_OBJECT
public:
    explicit RigaVoceGuida(const VoceGuida &voce, QWidget *parent = nullptr);
    const VoceGuida &voce() const { return m_voce; }

private:
    VoceGuida m_voce;
};

// A round badge: a circle tinted at 15 % with the symbol on it.
class DistintivoSimbolo : public QWidget {
    Q_OBJECT
public:
    DistintivoSimbolo(const QString &simbolo, const QColor &colore, int diametro, int latoSimbolo,
                      QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_simbolo;
    QColor m_colore;
    int m_latoSimbolo;
};

// The page picker: real page tabs (screen readers and the arrow keys know
// them as such), drawn as a segmented control: a grey track with the chosen
// page lifted in white.
class BarraSezioni : public QTabBar {
    Q_OBJECT
public:
    explicit BarraSezioni(QWidget *parent = nullptr);

protected:
    QSize tabSizeHint(int index) const override;
    void paintEvent(QPaintEvent *) override;
};
