#include "operations/CentroOperazioni.h"

#include <algorithm>
#include <QPointer>

CentroOperazioni &CentroOperazioni::shared()
{
    static CentroOperazioni *instance = new CentroOperazioni;
    return *instance;
}

CentroOperazioni::CentroOperazioni(QObject *parent) : QObject(parent) {}

void CentroOperazioni::setAttuale(std::optional<Operazione> operazione)
{
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
