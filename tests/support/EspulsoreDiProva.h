#pragma once

#include "platform/Espulsore.h"

#include <chrono>
#include <QCoro/QCoroTimer>
#include <QStringList>

// Answers every eject with `esito`, one event-loop turn later (like the real
// one, which waits for the system), and records what it was asked.
class EspulsoreDiProva : public Espulsore {
public:
    QCoro::Task<EsitoEspulsione> espelli(QString puntoMontaggio) override
    {
        richieste.append(puntoMontaggio);
        co_await QCoro::sleepFor(std::chrono::milliseconds(1));
        co_return esito;
    }

    EsitoEspulsione esito{true, {}};
    QStringList richieste;
};
