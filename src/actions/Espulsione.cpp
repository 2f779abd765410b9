#include "actions/Espulsione.h"

#include "actions/ComandiAzioni.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/Registro.h"
#include "platform/Notificatore.h"
#include "platform/TestiPiattaforma.h"

QCoro::Task<EsitoEspulsione> espelliEAnnuncia(Servizi servizi, USBDrive drive)
{
    const EsitoEspulsione esito = co_await servizi.espulsore->espelli(drive.path());
    if (esito.ok) {
        registra(QStringLiteral("Espulsa %1: si può rimuovere").arg(drive.name));
        co_await servizi.notifiche->notifica(QStringLiteral("Puoi rimuovere «%1»").arg(drive.name),
                                             QStringLiteral("La chiavetta è stata espulsa in sicurezza."));
    }
    co_return esito;
}

QCoro::Task<> espelli(Servizi servizi, USBDrive drive)
{
    const EsitoEspulsione esito = co_await espelliEAnnuncia(servizi, drive);
    if (esito.ok)
        co_return;
    servizi.avvisi->mostraAvviso(QStringLiteral("Impossibile espellere %1").arg(drive.name),
                                 testoPiattaforma(TestoPiattaforma::espulsioneNonRiuscita) +
                                     esito.descrizione,
                                 StileAvviso::avvertenza);
}
