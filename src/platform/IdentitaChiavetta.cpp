#include "platform/IdentitaChiavetta.h"

QString IdentitaChiavetta::chiave() const
{
    // The size keeps two sticks of one model that share a made-up serial
    // (many cheap ones say 0123456789ABCDEF) apart, unless they also share a size.
    if (!seriale.isEmpty())
        return QStringLiteral("seriale:%1:%2").arg(seriale).arg(dimensione);
    if (!uuid.isEmpty())
        return QStringLiteral("uuid:") + uuid;
    if (etichetta.isEmpty() && dimensione <= 0)
        return QString();
    return QStringLiteral("etichetta:%1:%2").arg(etichetta).arg(dimensione);
}
