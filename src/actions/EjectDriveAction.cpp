#include "actions/EjectDriveAction.h"

#include "operations/AlertPresenter.h"
#include "platform/Espulsore.h"
#include "platform/TestiPiattaforma.h"

namespace {
QCoro::Task<> espelli(Servizi servizi, USBDrive drive)
{
    const QString punto = drive.path();
    const EsitoEspulsione esito = co_await servizi.espulsore->espelli(punto);
    if (esito.ok)
        co_return;
    servizi.avvisi->mostraAvviso(QStringLiteral("Impossibile espellere %1").arg(drive.name),
                                 testoPiattaforma(TestoPiattaforma::espulsioneNonRiuscita) +
                                     esito.descrizione,
                                 StileAvviso::avvertenza);
}
} // namespace

QCoro::Task<> EjectDriveAction::perform()
{
    return espelli(m_servizi, drive);
}
