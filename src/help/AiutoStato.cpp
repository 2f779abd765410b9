#include "help/AiutoStato.h"

QList<SezioneAiuto> tutteLeSezioni()
{
    return {SezioneAiuto::guida, SezioneAiuto::problemi, SezioneAiuto::chiSiamo, SezioneAiuto::avvertenze};
}

QString etichetta(SezioneAiuto sezione)
{
    switch (sezione) {
    case SezioneAiuto::guida:
        return QStringLiteral("Guida alle funzioni");
    case SezioneAiuto::problemi:
        return QStringLiteral("Risoluzione problemi");
    case SezioneAiuto::chiSiamo:
        return QStringLiteral("Chi siamo");
    case SezioneAiuto::avvertenze:
        return QStringLiteral("Avvertenze");
    }
    return QString();
}

AiutoStato &AiutoStato::shared()
{
    static AiutoStato *istanza = new AiutoStato;
    return *istanza;
}

AiutoStato::AiutoStato(QObject *parent) : QObject(parent) {}

void AiutoStato::setSezione(SezioneAiuto sezione)
{
    if (sezione == m_sezione)
        return;
    m_sezione = sezione;
    Q_EMIT sezioneChanged(sezione);
}
