#pragma once

#include "platform/Espulsore.h"

#include <functional>
#include <QDBusConnection>

// Ejects through UDisks2: flushes the volume, unmounts every mounted file
// system of the stick's drive, then powers the drive off when it can. Without
// UDisks2 (or for a volume it does not manage) a process running as root
// falls back to a plain unmount.
class UDisksEspulsore : public Espulsore {
public:
    explicit UDisksEspulsore(QDBusConnection bus);

    QCoro::Task<EsitoEspulsione> espelli(QString puntoMontaggio) override;

    // Tests run as root but must be able to see the refusal a desktop user gets.
    void setSmontaggioDiretto(bool consentito) { m_smontaggioDiretto = consentito; }

private:
    QDBusConnection m_bus;
    bool m_smontaggioDiretto;
};
