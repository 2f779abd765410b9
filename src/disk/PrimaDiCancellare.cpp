#include "disk/PrimaDiCancellare.h"

#include "settings/AppSettings.h"
#include "transfer/ControlloArchivio.h"
#include "transfer/FileCopyService.h"

namespace {
QCoro::Task<> nulla()
{
    co_return;
}

QCoro::Task<Scelta> subito(Scelta scelta)
{
    co_return scelta;
}
} // namespace

// Each wait is on a task named at function scope, and a step not taken awaits
// a task that is already done: GCC 12 mishandles temporaries inside a
// co_await expression and objects of a nested block across a suspension.
QCoro::Task<Scelta> controllaEChiedi(USBDrive drive, Servizi s, std::function<bool()> bloccata,
                                     std::function<Scelta(const PremessaArchivio &)> chiedi)
{
    if (bloccata())
        co_return Scelta::annulla;
    const QString archivio = s.settings ? s.settings->destinationPath() : QString();
    QCoro::Task<std::optional<EsitoControlloArchivio>> lavoro =
        controllaArchivioConScheda(drive.name, drive.path(), archivio, s);
    const std::optional<EsitoControlloArchivio> controllo = co_await lavoro;
    if (!controllo || bloccata())
        co_return Scelta::annulla;

    const Scelta scelta = chiedi(premessaArchivio(*controllo, AppSettings::folderName(archivio)));
    const bool copiaPrima = scelta == Scelta::copiaPrima;
    QCoro::Task<> copia =
        copiaPrima ? FileCopyService::copia(drive.path(), archivio, std::nullopt, s) : nulla();
    co_await copia;
    QCoro::Task<Scelta> ancora = copiaPrima ? controllaEChiedi(drive, s, bloccata, chiedi) : subito(scelta);
    co_return co_await ancora;
}
