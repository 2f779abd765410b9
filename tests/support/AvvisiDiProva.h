#pragma once

#include "operations/PresentatoreAvvisi.h"

#include <functional>
#include <QList>

// Records every alert and answers with scripted replies, in order; with no
// script left it presses the first (default) button with the field unchanged.
class AvvisiDiProva : public PresentatoreAvvisi {
public:
    RispostaAvviso presenta(const RichiestaAvviso &richiesta) override
    {
        mostrati.append(richiesta);
        if (duranteAvviso)
            duranteAvviso(richiesta); // e.g. to check what the rest of the app shows meanwhile
        if (!m_risposte.isEmpty())
            return m_risposte.takeFirst();
        return RispostaAvviso{0, richiesta.campo ? richiesta.campo->testo : QString()};
    }
    void rispondi(int pulsante, const QString &testoCampo = QString())
    {
        m_risposte.append(RispostaAvviso{pulsante, testoCampo});
    }

    std::function<void(const RichiestaAvviso &)> duranteAvviso;
    QList<RichiestaAvviso> mostrati;

private:
    QList<RispostaAvviso> m_risposte;
};
