#pragma once

#include <QCoro/QCoroTask>
#include <QString>

struct EsitoEspulsione {
    bool ok = false;
    QString descrizione; // the system's own words when !ok
};

// Unmounts a stick and, where the hardware allows it, powers it off so it can
// be pulled out. Runs on the main thread without blocking it.
class Espulsore {
public:
    virtual ~Espulsore() = default;
    virtual QCoro::Task<EsitoEspulsione> espelli(QString puntoMontaggio) = 0;
};
