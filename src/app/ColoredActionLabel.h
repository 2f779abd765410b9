#pragma once

#include <optional>
#include <QAbstractButton>
#include <QColor>
#include <QString>
#include <QWidget>

class QKeyEvent;
class QMenu;

// The label of every panel command: the symbol tinted with the entry's
// colour, then the title in the text colour, leading-aligned over the full
// width.
class ColoredActionLabel : public QWidget {
    Q_OBJECT
public:
    ColoredActionLabel(const QString &titolo, const QString &systemImage, const QColor &color,
                       QWidget *parent = nullptr);

    QString titolo() const { return m_titolo; }
    QString systemImage() const { return m_systemImage; }
    QColor color() const { return m_color; }
    // Destructive entries show their title in red.
    void setColoreTitolo(const QColor &colore);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_titolo;
    QString m_systemImage;
    QColor m_color;
    QColor m_coloreTitolo;
};

// One command of the panel: a flat row that lights up under the pointer.
// With a menu it drops the menu down instead of acting itself. Without a
// symbol it is a plain text entry (the quit entry), optionally with its
// keyboard shortcut shown at the trailing end. Tab and the arrow keys reach
// it, Space, Enter and Return press it.
class VoceAzione : public QAbstractButton {
    Q_OBJECT
public:
    VoceAzione(const QString &titolo, const QString &simbolo, const QColor &colore,
               QWidget *parent = nullptr);

    ColoredActionLabel *etichetta() const { return m_etichetta; }
    QString titolo() const;
    void setMenuVoci(QMenu *menu); // the entry keeps the menu
    QMenu *menuVoci() const { return m_menu; }
    void setDistruttiva(bool distruttiva);
    void setTestoScorciatoia(const QString &testo);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;
    void changeEvent(QEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void focusInEvent(QFocusEvent *) override;
    void focusOutEvent(QFocusEvent *) override;

private:
    void apriMenu();
    void riposiziona();

    ColoredActionLabel *m_etichetta = nullptr;
    QMenu *m_menu = nullptr;
    QString m_scorciatoia;
    bool m_sopra = false;
};

// A borderless button that is just a symbol (the gear, the eject button).
class PulsanteSimbolo : public QAbstractButton {
    Q_OBJECT
public:
    PulsanteSimbolo(const QString &simbolo, const QColor &colore, int lato, QWidget *parent = nullptr);
    void setOpacita(qreal opacita);
    qreal opacita() const { return m_opacita; }
    QString simbolo() const { return m_simbolo; }
    QSize sizeHint() const override;

protected:
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *) override;
    void paintEvent(QPaintEvent *) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;

private:
    QString m_simbolo;
    QColor m_colore;
    int m_lato;
    qreal m_opacita = 1.0;
    bool m_sopra = false;
};

// The arrow keys move through the panel's controls in reading order, as Tab
// does (Up and Left back): whether this key moves forward, back, or is no arrow.
std::optional<bool> frecciaAvanti(const QKeyEvent *e);

// The panel's menus share the light look of the panel.
QMenu *creaMenu(QWidget *parent);
