#include "app/SpazioVolume.h"

#include <QFile>
#include <sys/statvfs.h>

std::optional<CapacitaVolume> leggiCapacita(const QString &percorso)
{
    struct statvfs s {};
    if (percorso.isEmpty() || ::statvfs(QFile::encodeName(percorso).constData(), &s) != 0)
        return std::nullopt;
    const qint64 blocco = qint64(s.f_frsize ? s.f_frsize : s.f_bsize);
    // f_bavail, not f_bfree: the blocks reserved for root are no use to the practice's staff.
    return CapacitaVolume{qint64(s.f_blocks) * blocco, qint64(s.f_bavail) * blocco};
}

std::optional<SpazioVolume> spazioDa(const std::optional<CapacitaVolume> &capacita, const QLocale &locale)
{
    if (!capacita || capacita->totale <= 0)
        return std::nullopt;
    const qint64 usati = capacita->totale - capacita->disponibile;
    return SpazioVolume{double(usati) / double(capacita->totale), formattaByte(capacita->disponibile, locale),
                        formattaByte(capacita->totale, locale)};
}
