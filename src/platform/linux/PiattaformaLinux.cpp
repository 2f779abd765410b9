#include "platform/linux/FreedesktopNotifier.h"
#include "platform/linux/LinuxVolumeSource.h"
#include "platform/linux/UDisksEspulsore.h"
#include "platform/Piattaforma.h"
#include "platform/QtAppunti.h"
#include "platform/QtDesktopOpener.h"
#include "platform/TestiPiattaforma.h"

Piattaforma creaPiattaforma(AvvisoDiRiserva avvisoDiRiserva)
{
    Piattaforma p;
    p.volumi = std::make_unique<LinuxVolumeSource>();
    p.espulsore = std::make_unique<UDisksEspulsore>(QDBusConnection::systemBus());
    p.notifiche =
        std::make_unique<FreedesktopNotifier>(QDBusConnection::sessionBus(), std::move(avvisoDiRiserva));
    p.appunti = std::make_unique<QtAppunti>();
    p.apritore = std::make_unique<QtDesktopOpener>();
    p.strumenti = percorsiStrumenti();
    return p;
}

std::span<const VoceTestoPiattaforma> testiDiQuestoSistema()
{
    return testiLinux();
}
