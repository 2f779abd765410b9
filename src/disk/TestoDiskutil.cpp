#include "disk/TestoDiskutil.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

namespace DiskUtil {

QList<double> trovaPercentuali(const QString &testo)
{
    static const QRegularExpression percentuale(QStringLiteral("(\\d+(?:[.,]\\d+)?)\\s*%"));
    QList<double> trovate;
    auto it = percentuale.globalMatch(testo);
    while (it.hasNext()) {
        QString numero = it.next().captured(1);
        numero.replace(QLatin1Char(','), QLatin1Char('.'));
        // \d also matches other scripts' digits; the C locale refuses those.
        bool ok = false;
        const double valore = QLocale::c().toDouble(numero, &ok);
        if (ok)
            trovate.append(valore);
    }
    return trovate;
}

QString testoNumero(double valore)
{
    QString testo = QString::number(valore, 'g', QLocale::FloatingPointShortest);
    const bool haFrazione = testo.contains(QLatin1Char('.')) || testo.contains(QLatin1Char('e')) ||
                            testo.contains(QLatin1String("inf")) || testo.contains(QLatin1String("nan"));
    if (!haFrazione)
        testo += QStringLiteral(".0");
    return testo;
}

QString decodificaUtf8(const QByteArray &byte)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString testo = decoder.decode(byte);
    return decoder.hasError() ? QString() : testo;
}

QString ultimiCaratteri(const QString &testo, int quanti)
{
    QTextBoundaryFinder confini(QTextBoundaryFinder::Grapheme, testo);
    confini.toEnd();
    int inizio = testo.size();
    for (int i = 0; i < quanti; ++i) {
        const qsizetype precedente = confini.toPreviousBoundary();
        if (precedente < 0)
            return testo;
        inizio = int(precedente);
    }
    return testo.mid(inizio);
}

} // namespace DiskUtil
