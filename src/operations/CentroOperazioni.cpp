#include "operations/CentroOperazioni.h"

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
    // A report still on its way belongs to the card that goes: it must not
    // reach the next one.
    if (!operazione) {
        const std::lock_guard<std::mutex> blocco(m_mutexRapporto);
        m_rapporto.reset();
    }
    m_attuale = std::move(operazione);
    Q_EMIT attualeChanged();
}

void CentroOperazioni::aggiorna(std::optional<double> frazione, std::optional<QString> dettaglio,
                                std::optional<QString> titolo)
{
    if (!m_attuale)
        return;
    Operazione op = *m_attuale;
    if (frazione)
        op.frazione = *frazione > 0 ? std::min(*frazione, 1.0) : 0.0; // NaN lands on 0 too
    if (dettaglio)
        op.dettaglio = *dettaglio;
    if (titolo)
        op.titolo = *titolo;
    setAttuale(op);
}

void CentroOperazioni::aggiornaDaLavoro(std::optional<double> frazione, std::optional<QString> dettaglio,
                                        std::optional<QString> titolo)
{
    QPointer<CentroOperazioni> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, frazione, dettaglio, titolo] {
            if (self)
                self->aggiorna(frazione, dettaglio, titolo);
        },
        Qt::QueuedConnection);
}

void CentroOperazioni::aggiornaDaLavoroFrequente(std::optional<double> frazione,
                                                 std::optional<QString> dettaglio,
                                                 std::optional<QString> titolo)
{
    {
        const std::lock_guard<std::mutex> blocco(m_mutexRapporto);
        const bool inViaggio = m_rapporto.has_value();
        Rapporto &r = inViaggio ? *m_rapporto : m_rapporto.emplace();
        if (frazione)
            r.frazione = frazione;
        if (dettaglio)
            r.dettaglio = std::move(dettaglio);
        if (titolo)
            r.titolo = std::move(titolo);
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
    std::optional<Rapporto> r;
    {
        const std::lock_guard<std::mutex> blocco(m_mutexRapporto);
        r = std::exchange(m_rapporto, std::nullopt);
    }
    if (r)
        aggiorna(r->frazione, std::move(r->dettaglio), std::move(r->titolo));
}

SchedaTenuta::SchedaTenuta(CentroOperazioni *centro, CentroOperazioni::Operazione operazione)
    : m_centro(centro)
{
    if (m_centro)
        m_centro->setAttuale(std::move(operazione));
}

void SchedaTenuta::rilascia()
{
    // Once: by then another flow may hold the card.
    if (m_centro)
        m_centro->setAttuale(std::nullopt);
    m_centro = nullptr;
}
