#pragma once

#include "app/SpazioVolume.h"
#include "comune/USBDrive.h"

#include <functional>
#include <optional>
#include <QWidget>

class PulsanteSimbolo;
class QLabel;
class SecureEraseManager;

// How full a stick is: a track with a fill of at least 3 points, red when
// the stick is almost full, the brand gradient otherwise.
class BarraUtilizzo : public QWidget {
    Q_OBJECT
public:
    explicit BarraUtilizzo(QWidget *parent = nullptr);
    void setFrazione(double frazione);
    double frazione() const { return m_frazione; }
    bool rossa() const { return m_frazione > 0.9; }
    // Width of the fill at the current width.
    qreal larghezzaRiempimento() const;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    double m_frazione = 0;
};

// The panel's list of sticks: screen readers know it as a list of its rows.
class ElencoRighe : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};

// One inserted stick in the panel: position, name, time of insertion, space
// and the eject button. A click on the row, or Enter or Space on it, opens
// the stick; a screen reader reads it as one item with an "apri" action.
class USBRow : public QWidget {
    Q_OBJECT
public:
    using SpazioVolume = ::SpazioVolume;
    using AzioneChiavetta = std::function<void(const USBDrive &)>;

    USBRow(int index, const USBDrive &drive, SecureEraseManager *erase, AzioneChiavetta apri,
           AzioneChiavetta espelli, QWidget *parent = nullptr);

    int index() const { return m_index; }
    const USBDrive &drive() const { return m_drive; }
    bool hovering() const { return m_hovering; }
    const std::optional<SpazioVolume> &spazio() const { return m_spazio; }

    // Reads the capacity again; a failed read keeps what the row showed.
    void aggiornaSpazio();
    void apri();
    // "ECO 1, inserita alle 10:32, 1 GB liberi di 16 GB": the row in one line.
    QString descrizione() const;
    using LettoreCapacita = std::function<std::optional<CapacitaVolume>(const QString &percorso)>;
    void setLettoreCapacita(LettoreCapacita lettore) { m_lettore = std::move(lettore); }

    PulsanteSimbolo *pulsanteEspelli() const { return m_espelli; }
    BarraUtilizzo *barra() const { return m_barra; }
    QLabel *testoSpazio() const { return m_testoSpazio; }

protected:
    void paintEvent(QPaintEvent *) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void focusInEvent(QFocusEvent *) override;
    void focusOutEvent(QFocusEvent *) override;
    void showEvent(QShowEvent *) override;

private:
    void setHovering(bool hovering);
    void mostraSpazio();
    void aggiornaEspelli();

    int m_index;
    USBDrive m_drive;
    SecureEraseManager *m_erase;
    AzioneChiavetta m_apri;
    AzioneChiavetta m_espelliAzione;
    LettoreCapacita m_lettore = &leggiCapacita;
    bool m_hovering = false;
    bool m_premuto = false;
    std::optional<SpazioVolume> m_spazio;
    PulsanteSimbolo *m_espelli;
    BarraUtilizzo *m_barra;
    QLabel *m_testoSpazio;
    QLabel *m_ora;
};
