#include "actions/CloneUSBAction.h"

#include "comune/ElencoChiavette.h"
#include "operations/AlertPresenter.h"
#include "transfer/CloneUSBService.h"

namespace {
QCoro::Task<> clona(Servizi servizi, QPointer<ElencoChiavette> chiavette, std::optional<USBDrive> a,
                    std::optional<USBDrive> b)
{
    const QList<USBDrive> drives = chiavette ? chiavette->drives() : QList<USBDrive>();
    if (!a && !drives.isEmpty())
        a = drives.at(0);
    if (!b && drives.size() >= 2)
        b = drives.at(1);
    if (!a || !b) {
        servizi.avvisi->mostraAvviso(
            QStringLiteral("Servono 2 USB"),
            QStringLiteral("Per clonare servono due USB collegate contemporaneamente. "
                           "Attualmente ne sono collegate %1.")
                .arg(drives.size()),
            StileAvviso::informativo);
        co_return;
    }
    if (a->url == b->url) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Errore"),
                                     QStringLiteral("Non puoi clonare una USB con se stessa."),
                                     StileAvviso::informativo);
        co_return;
    }
    const USBDrive primo = *a;
    const USBDrive secondo = *b;
    co_await CloneUSBService::sincronizza(servizi, primo, secondo);
}
} // namespace

CloneUSBAction::CloneUSBAction(Servizi servizi, ElencoChiavette *chiavette, std::optional<USBDrive> driveA,
                               std::optional<USBDrive> driveB)
    : chiavette(chiavette), driveA(std::move(driveA)), driveB(std::move(driveB)), m_servizi(servizi)
{
}

QCoro::Task<> CloneUSBAction::perform()
{
    return clona(m_servizi, chiavette, driveA, driveB);
}
