#include "comune/Dimensioni.h"

QString formattaByte(qint64 byte, const QLocale &locale)
{
    QString testo = locale.formattedDataSize(byte, 1, QLocale::DataSizeSIFormat);
    // "10 GB", not "10,0 GB": a zero decimal says nothing.
    const QString zero = locale.decimalPoint() + locale.zeroDigit() + QLatin1Char(' ');
    const qsizetype i = testo.indexOf(zero);
    if (i > 0)
        testo.remove(i, zero.size() - 1);
    return testo;
}
