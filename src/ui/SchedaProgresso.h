#pragma once

#include "operations/CentroOperazioni.h"

#include <optional>
#include <QColor>
#include <QString>
#include <QWidget>

class QPushButton;
class QVariantAnimation;

// The progress card: a tinted badge with the operation's symbol, the title,
// a percentage and a bar (or an indeterminate indicator), and an optional
// detail line. Used for the running operation and for the secure erase.
class SchedaProgresso : public QWidget {
    Q_OBJECT
public:
    SchedaProgresso(const QString &titolo, const std::optional<QString> &dettaglio,
                    std::optional<double> frazione, const QString &icona, const QColor &colore,
                    QWidget *parent = nullptr);
    explicit SchedaProgresso(const CentroOperazioni::Operazione &op, QWidget *parent = nullptr);

    // Shows a newer state of the same card; a new fraction slides to its place.
    void imposta(const CentroOperazioni::Operazione &op);
    void setTitolo(const QString &titolo);
    void setDettaglio(const std::optional<QString> &dettaglio);
    void setFrazione(std::optional<double> frazione);
    // The speed and time left (CentroOperazioni::Operazione::ritmo), on a line
    // of its own under the bar.
    void setRitmo(const std::optional<QString> &ritmo);
    // A detail that must be read whole (a warning) wraps onto every line it
    // needs instead of losing its middle.
    void setDettaglioIntero(bool intero);

    QString titolo() const { return m_titolo; }
    std::optional<QString> dettaglio() const { return m_dettaglio; }
    std::optional<double> frazione() const { return m_frazione; }
    std::optional<QString> ritmo() const { return m_ritmo; }
    QString icona() const { return m_icona; }
    QColor colore() const { return m_colore; }
    bool indeterminato() const { return !m_frazione.has_value(); }

    // "{n}%" with n the whole percentage, or empty without a fraction.
    static QString testoPercentuale(std::optional<double> frazione);

    // The lines actually drawn at the current width (at most two each).
    QStringList righeTitolo() const;
    QStringList righeDettaglio() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;
    void showEvent(QShowEvent *) override;
    void hideEvent(QHideEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    struct Disposizione {
        QStringList titolo;
        QStringList dettaglio;
        int larghezzaTitolo = 0;
        int altezza = 0;
    };
    Disposizione disponi(int larghezza) const;
    void aggiornaIndeterminato();
    void aggiornaAccessibile();
    void impostaAnnulla(const std::shared_ptr<const std::function<void()>> &annulla);
    void posizionaAnnulla();

    QString m_titolo;
    std::optional<QString> m_dettaglio;
    bool m_dettaglioIntero = false;
    std::optional<double> m_frazione;
    std::optional<QString> m_ritmo;
    QString m_icona;
    QColor m_colore;
    double m_mostrata = 0;
    double m_fase = 0; // position of the indeterminate indicator's run, 0...1
    QVariantAnimation *m_anim;
    QVariantAnimation *m_animIndeterminata;
    std::shared_ptr<const std::function<void()>> m_annulla;
    QPushButton *m_pulsanteAnnulla = nullptr;
};
