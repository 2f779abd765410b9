#pragma once

#include "help/SezioneAiuto.h"

#include <QObject>

// Which help page is chosen. One shared instance for the whole run, so the
// choice survives closing and reopening the window; the panel sets it before
// opening the window at a given page. Main thread only.
class AiutoStato : public QObject {
    Q_OBJECT
public:
    static AiutoStato &shared();
    explicit AiutoStato(QObject *parent = nullptr);

    SezioneAiuto sezione() const { return m_sezione; }
    void setSezione(SezioneAiuto sezione);

Q_SIGNALS:
    void sezioneChanged(SezioneAiuto sezione);

private:
    SezioneAiuto m_sezione = SezioneAiuto::guida;
};
