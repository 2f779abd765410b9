#pragma once

#include "help/ContenutoAiuto.h"
#include "help/SezioneAiuto.h"

#include <QAbstractButton>
#include <QMap>
#include <QPointer>
#include <QWidget>

class AiutoStato;
class DesktopOpener;
class QButtonGroup;
class QScrollArea;

// The help window's content: the picker over the four pages and the chosen
// page, bound both ways to the shared AiutoStato.
class AiutoView : public QWidget {
    Q_OBJECT
public:
    AiutoView(AiutoStato &stato, DesktopOpener *apritore, QWidget *parent = nullptr);

    SezioneAiuto sezioneMostrata() const { return m_mostrata; }
    QWidget *pagina(SezioneAiuto sezione) const { return m_pagine.value(sezione); }
    QAbstractButton *pulsanteSezione(SezioneAiuto sezione) const;

private:
    void mostra(SezioneAiuto sezione);
    QWidget *creaPagina(SezioneAiuto sezione);
    QWidget *paginaVoci(const QList<VoceGuida> &voci);
    QWidget *paginaChiSiamo();
    QWidget *paginaAvvertenze();

    AiutoStato &m_stato;
    DesktopOpener *m_apritore;
    QButtonGroup *m_gruppo;
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
class BadgeSimbolo : public QWidget {
    Q_OBJECT
public:
    BadgeSimbolo(const QString &simbolo, const QColor &colore, int diametro, int latoSimbolo,
                 QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_simbolo;
    QColor m_colore;
    int m_latoSimbolo;
};

// The picker's track, behind its segments.
class BinarioSegmenti : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override;
};

// One segment of the page picker.
class Segmento : public QAbstractButton {
    Q_OBJECT
public:
    explicit Segmento(const QString &testo, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;

private:
    bool m_sopra = false;
};
