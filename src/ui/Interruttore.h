#pragma once

#include <QAbstractButton>

// An on/off switch with its label on the leading side and the switch on the
// trailing one. The label wraps; clicking anywhere on it flips the switch.
class Interruttore : public QAbstractButton {
    Q_OBJECT
public:
    explicit Interruttore(const QString &testo, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int larghezza) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect rettangoloTesto(int larghezza) const;
};
