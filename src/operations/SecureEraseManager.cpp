#include "operations/SecureEraseManager.h"

#include "operations/Orologio.h"
#include "operations/Percentuale.h"

SecureEraseManager &SecureEraseManager::shared()
{
    static SecureEraseManager *instance = new SecureEraseManager;
    return *instance;
}

SecureEraseManager::SecureEraseManager(QObject *parent) : QObject(parent) {}

QString SecureEraseManager::descrizione() const
{
    switch (m_fase) {
    case Fase::inattivo:
        return QString();
    case Fase::verifica:
        return QStringLiteral("Verifica del disco \"%1\"…").arg(m_nomeVolume);
    case Fase::cancellazione:
        return QStringLiteral("Cancellazione sicura di \"%1\" in corso…").arg(m_nomeVolume);
    case Fase::formattazione:
        return QStringLiteral("Riformattazione di \"%1\"…").arg(m_nomeVolume);
    }
    return QString();
}

std::optional<QString> SecureEraseManager::ritmo() const
{
    return m_fase == Fase::cancellazione ? testoRitmo(m_stima, false) : std::nullopt;
}

void SecureEraseManager::avvia(const QString &nome)
{
    setNomeVolume(nome);
    setPercentuale(std::nullopt);
    setFase(Fase::verifica);
}

void SecureEraseManager::impostaFase(Fase f)
{
    setFase(f);
    if (f == Fase::formattazione)
        setPercentuale(std::nullopt);
}

void SecureEraseManager::azzera()
{
    setFase(Fase::inattivo);
    setPercentuale(std::nullopt);
    setNomeVolume(QString());
}

void SecureEraseManager::registraPercentuale(double p)
{
    if (percentualeAccettata(p, m_percentuale))
        setPercentuale(p);
}

void SecureEraseManager::aggiorna(const Avanzamento &avanzamento)
{
    if (!avanzamento.frazione)
        return;
    m_stima.campione(Orologio::secondiMonotoni(), *avanzamento.frazione, 1.0);
    registraPercentuale(*avanzamento.frazione * 100);
}

void SecureEraseManager::setFase(Fase f)
{
    if (f == m_fase)
        return;
    m_fase = f;
    m_stima.azzera();
    Q_EMIT faseChanged();
}

void SecureEraseManager::setPercentuale(std::optional<double> p)
{
    if (p == m_percentuale)
        return;
    m_percentuale = p;
    Q_EMIT percentualeChanged();
}

void SecureEraseManager::setNomeVolume(const QString &nome)
{
    if (nome == m_nomeVolume)
        return;
    m_nomeVolume = nome;
    Q_EMIT nomeVolumeChanged();
}
