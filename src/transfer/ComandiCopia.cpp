#include "transfer/ComandiCopia.h"

#include "app/USBMonitor.h"
#include "operations/AlertPresenter.h"
#include "settings/AppSettings.h"
#include "transfer/FileCopyService.h"

namespace {
QCoro::Task<> copiaUltima(USBMonitor &monitor, std::optional<QSet<QString>> estensioni, Servizi servizi)
{
    // Read before the first suspension: the monitor reference is not kept.
    const std::optional<USBDrive> drive = monitor.lastDrive();
    if (!drive) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Nessuna USB"),
                                     QStringLiteral("Non ci sono USB inserite."), StileAvviso::informativo);
        co_return;
    }
    const QString sorgente = drive->path();
    const QString destinazione = servizi.settings->destinationPath();
    co_await FileCopyService::shared().copia(sorgente, destinazione, std::move(estensioni), servizi);
}
} // namespace

QCoro::Task<> copiaTutto(USBMonitor &monitor, Servizi servizi)
{
    return copiaUltima(monitor, std::nullopt, servizi);
}

QCoro::Task<> copiaFiltrato(USBMonitor &monitor, CategoriaFile categoria, Servizi servizi)
{
    return copiaUltima(monitor, insiemeEstensioni(categoria), servizi);
}
