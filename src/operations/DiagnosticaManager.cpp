#include "operations/DiagnosticaManager.h"

#include "operations/Percentuale.h"

DiagnosticaManager::DiagnosticaManager(QObject *parent) : QObject(parent) {}

QString DiagnosticaManager::descrizione() const
{
    switch (m_operazione) {
    case Operazione::info:
        return QStringLiteral("Lettura informazioni…");
    case Operazione::verifica:
        return QStringLiteral("Verifica integrità in corso…");
    case Operazione::riparazione:
        return QStringLiteral("Riparazione in corso…");
    case Operazione::testVelocita:
        return QStringLiteral("Test di velocità in corso…");
    case Operazione::capacita:
        return QStringLiteral("Verifica della capacità reale in corso…");
    case Operazione::nessuna:
        break;
    }
    return QString();
}

void DiagnosticaManager::inizia(Operazione op)
{
    setOperazione(op);
    setPercentuale(std::nullopt);
}

void DiagnosticaManager::aggiungi(RigaRapporto::Tipo tipo, const QString &testo)
{
    m_rapporto.append(RigaRapporto{QUuid::createUuid(), tipo, testo});
    Q_EMIT rapportoChanged();
}

void DiagnosticaManager::termina()
{
    setOperazione(Operazione::nessuna);
    setPercentuale(std::nullopt);
    if (m_dettaglio || m_annulla) {
        m_dettaglio.reset();
        m_annulla = nullptr;
        Q_EMIT dettaglioChanged();
    }
}

void DiagnosticaManager::registraDettaglio(const QString &dettaglio)
{
    if (!inCorso() || m_dettaglio == dettaglio)
        return;
    m_dettaglio = dettaglio;
    Q_EMIT dettaglioChanged();
}

void DiagnosticaManager::setAnnulla(std::function<void()> annulla)
{
    if (!inCorso())
        return;
    m_annulla = std::move(annulla);
    Q_EMIT dettaglioChanged();
}

void DiagnosticaManager::annulla()
{
    // Taken first: the check may end, and release the manager, inside the call.
    if (std::function<void()> a = std::exchange(m_annulla, nullptr)) {
        Q_EMIT dettaglioChanged();
        a();
    }
}

void DiagnosticaManager::pulisci()
{
    m_rapporto.clear();
    Q_EMIT rapportoChanged();
}

void DiagnosticaManager::registraPercentuale(double p)
{
    if (percentualeAccettata(p, m_percentuale))
        setPercentuale(p);
}

void DiagnosticaManager::aggiorna(const Avanzamento &avanzamento)
{
    if (avanzamento.frazione)
        registraPercentuale(*avanzamento.frazione * 100);
    if (avanzamento.dettaglio)
        registraDettaglio(*avanzamento.dettaglio);
}

void DiagnosticaManager::setOperazione(Operazione op)
{
    if (op == m_operazione)
        return;
    m_operazione = op;
    Q_EMIT operazioneChanged();
}

void DiagnosticaManager::setPercentuale(std::optional<double> p)
{
    if (p == m_percentuale)
        return;
    m_percentuale = p;
    Q_EMIT percentualeChanged();
}
