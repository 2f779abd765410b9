#include "operations/CentroOperazioni.h"

#include "operations/Orologio.h"

#include <algorithm>
#include <QPointer>
#include <utility>

CentroOperazioni &CentroOperazioni::shared()
{
    static CentroOperazioni *instance = new CentroOperazioni;
    return *instance;
}

CentroOperazioni::CentroOperazioni(QObject *parent) : QObject(parent) {}

void CentroOperazioni::setAttuale(std::optional<Operazione> operazione)
{
    m_stima.azzera();
    cambia(std::move(operazione));
}

void CentroOperazioni::cambia(std::optional<Operazione> operazione)
{
    // A report still on its way belongs to the card that goes: it must not
    // reach the next one.
    if (!operazione) {
        const std::lock_guard<std::mutex> blocco(m_mutexRapporto);
        m_rapporto.reset();
    }
    m_attuale = std::move(operazione);
    Q_EMIT attualeChanged();
}

void CentroOperazioni::aggiorna(const Avanzamento &avanzamento)
{
    if (!m_attuale)
        return;
    Operazione op = *m_attuale;
    if (avanzamento.titolo && *avanzamento.titolo != op.titolo) {
        op.byteFatti.reset();
        op.byteTotali.reset();
        op.ritmo.reset();
        m_stima.azzera();
    }
    if (const std::optional<double> f = avanzamento.frazione)
        op.frazione = *f > 0 ? std::min(*f, 1.0) : 0.0; // NaN lands on 0 too
    if (avanzamento.dettaglio)
        op.dettaglio = *avanzamento.dettaglio;
    if (avanzamento.titolo)
        op.titolo = *avanzamento.titolo;
    if (avanzamento.byteFatti)
        op.byteFatti = avanzamento.byteFatti;
    if (avanzamento.byteTotali)
        op.byteTotali = avanzamento.byteTotali;
    stima(op);
    cambia(op);
}

void CentroOperazioni::stima(Operazione &op)
{
    const bool conByte = op.byteTotali && *op.byteTotali > 0 && op.byteFatti;
    if (!conByte && !op.frazione)
        return;
    m_stima.campione(Orologio::secondiMonotoni(), conByte ? double(*op.byteFatti) : *op.frazione,
                     conByte ? double(*op.byteTotali) : 1.0);
    op.ritmo = testoRitmo(m_stima, conByte);
}

void CentroOperazioni::aggiornaDaLavoro(const Avanzamento &avanzamento)
{
    {
        const std::lock_guard<std::mutex> blocco(m_mutexRapporto);
        const bool inViaggio = m_rapporto.has_value();
        (inViaggio ? *m_rapporto : m_rapporto.emplace()).unisci(avanzamento);
        if (inViaggio)
            return;
    }
    QPointer<CentroOperazioni> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self)
                self->applicaRapporto();
        },
        Qt::QueuedConnection);
}

void CentroOperazioni::applicaRapporto()
{
    std::optional<Avanzamento> r;
    {
        const std::lock_guard<std::mutex> blocco(m_mutexRapporto);
        r = std::exchange(m_rapporto, std::nullopt);
    }
    if (r)
        aggiorna(*r);
}

Riferisci versoCentro(CentroOperazioni *centro)
{
    QPointer<CentroOperazioni> c(centro);
    return [c](const Avanzamento &avanzamento) {
        // The centre lives as long as the application; the pointer only guards
        // the tests' short-lived ones.
        if (CentroOperazioni *centro = c.data())
            centro->aggiornaDaLavoro(avanzamento);
    };
}
