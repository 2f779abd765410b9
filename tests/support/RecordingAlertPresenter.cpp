#include "support/RecordingAlertPresenter.h"

RispostaAvviso RecordingAlertPresenter::presenta(const RichiestaAvviso &richiesta)
{
    mostrati.append(richiesta);
    if (duranteAvviso)
        duranteAvviso(richiesta);
    if (!m_risposte.isEmpty())
        return m_risposte.takeFirst();
    return RispostaAvviso{0, richiesta.campo ? richiesta.campo->testo : QString()};
}
