#pragma once

#include "operations/Servizi.h"

#include <functional>
#include <optional>
#include <QDateTime>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

// The panel's quiet line when the archive has gone more than a month without
// being verified against its manifests (or has never been, once copies have
// left manifests in it), with the command that starts the verification. It
// says so once, in the panel only: no alert, no notification. Hidden while
// any work runs.
class PromemoriaVerifica : public QWidget {
    Q_OBJECT
public:
    PromemoriaVerifica(const Servizi &servizi, std::function<void()> verifica, QWidget *parent = nullptr);

    // Looks again, off the main thread, whether the archive holds manifests:
    // the folder may be on a share that takes its time to answer.
    void ricontrolla();

    // What the line says; none when no verification is due.
    static std::optional<QString> testo(const std::optional<QDateTime> &ultima, bool conManifesti,
                                        const QDateTime &adesso);
    QString testoMostrato() const;
    QPushButton *pulsante() const { return m_pulsante; }

private:
    void aggiorna();

    Servizi m_servizi;
    QLabel *m_testo;
    QPushButton *m_pulsante;
    bool m_conManifesti = false;
    bool m_occupato = false;
    int m_richiesta = 0; // the newest look at the archive; older answers are dropped
};
