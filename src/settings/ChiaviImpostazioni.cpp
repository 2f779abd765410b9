#include "settings/ChiaviImpostazioni.h"

#include "platform/CartellaArchivio.h"

#include <QDir>

namespace ChiaviImpostazioni {

QString testoOrdine(OrdineArchivio ordine)
{
    return ordine == OrdineArchivio::perChiavettaEGiorno ? QStringLiteral("perChiavettaEGiorno")
                                                         : QStringLiteral("tuttoInsieme");
}

OrdineArchivio ordineDa(const QVariant &salvato)
{
    return salvato.toString() == testoOrdine(OrdineArchivio::perChiavettaEGiorno)
               ? OrdineArchivio::perChiavettaEGiorno
               : OrdineArchivio::unicaCartella;
}

QString cartellaArchivioPredefinita()
{
    return CartellaArchivioSistema::predefinita();
}

QString cartellaArchivioPrecedente()
{
    const QString precedente = CartellaArchivioSistema::precedente();
    if (precedente.isEmpty() || precedente == cartellaArchivioPredefinita())
        return QString();
    return precedente;
}

QString cartellaArchivioDa(const QVariant &salvato)
{
    const QString testo = salvato.toString();
    if (QDir::isAbsolutePath(testo))
        return testo;
    // Earlier versions created their default folder at every start, so only
    // one with something in it holds an archive.
    const QString precedente = cartellaArchivioPrecedente();
    if (!precedente.isEmpty() &&
        !QDir(precedente).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        return precedente;
    return cartellaArchivioPredefinita();
}

} // namespace ChiaviImpostazioni
