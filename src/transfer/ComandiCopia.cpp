#include "transfer/ComandiCopia.h"

#include "comune/ElencoChiavette.h"
#include "operations/AlertPresenter.h"
#include "settings/AppSettings.h"
#include "transfer/FileCopyService.h"

namespace {
QCoro::Task<> copiaUltima(const ElencoChiavette &chiavette, std::optional<QSet<QString>> estensioni,
                          Servizi servizi)
{
    // Read before the first suspension: the list reference is not kept.
    const std::optional<USBDrive> drive = chiavette.lastDrive();
    if (!drive) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Nessuna USB"),
                                     QStringLiteral("Non ci sono USB inserite."), StileAvviso::informativo);
        co_return;
    }
    const QString sorgente = drive->path();
    const QString destinazione = servizi.settings->destinationPath();
    co_await FileCopyService::copia(sorgente, destinazione, std::move(estensioni), servizi);
}
} // namespace

QCoro::Task<> copiaTutto(const ElencoChiavette &chiavette, Servizi servizi)
{
    return copiaUltima(chiavette, std::nullopt, servizi);
}

QCoro::Task<> copiaFiltrato(const ElencoChiavette &chiavette, CategoriaFile categoria, Servizi servizi)
{
    return copiaUltima(chiavette, insiemeEstensioni(categoria), servizi);
}
