#include "platform/AperturaDesktopQt.h"
#include "platform/linux/FonteVolumiLinux.h"
#include "platform/linux/NotificatoreFreedesktop.h"
#include "platform/linux/UDisksEspulsore.h"
#include "platform/Piattaforma.h"
#include "platform/QtAppunti.h"
#include "platform/TestiPiattaforma.h"

Piattaforma creaPiattaforma(AvvisoDiRiserva avvisoDiRiserva)
{
    Piattaforma p;
    p.volumi = std::make_unique<FonteVolumiLinux>();
    p.espulsore = std::make_unique<UDisksEspulsore>(QDBusConnection::systemBus());
    p.notifiche =
        std::make_unique<NotificatoreFreedesktop>(QDBusConnection::sessionBus(), std::move(avvisoDiRiserva));
    p.appunti = std::make_unique<QtAppunti>();
    p.apritore = std::make_unique<AperturaDesktopQt>();
    p.strumenti = percorsiStrumenti();
    return p;
}

std::span<const VoceTestoPiattaforma> testiDiQuestoSistema()
{
    return testiLinux();
}
