#include "disk/DiskUtil.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QtConcurrent>
#include <QTextBoundaryFinder>

DiskUtilErrore DiskUtilErrore::comandoFallito(QString comando, int uscita, QString output)
{
    DiskUtilErrore e;
    e.m_caso = Caso::comandoFallito;
    e.m_comando = std::move(comando);
    e.m_uscita = uscita;
    e.m_output = std::move(output);
    return e;
}

DiskUtilErrore DiskUtilErrore::infoNonLeggibili()
{
    return DiskUtilErrore();
}

QString DiskUtilErrore::descrizione() const
{
    switch (m_caso) {
    case Caso::comandoFallito:
        return QStringLiteral("diskutil %1 è terminato con codice %2.\n%3")
            .arg(m_comando, QString::number(m_uscita), DiskUtil::ultimiCaratteri(m_output, 300));
    case Caso::infoNonLeggibili:
        return QStringLiteral("Impossibile leggere le informazioni del disco da diskutil.");
    }
    return QString();
}

QString ErroreAvvio::descrizione() const
{
    return QStringLiteral("Impossibile avviare %1: %2").arg(programma, motivo);
}

QString descrizione(const ErroreStrumento &errore)
{
    return std::visit([](const auto &e) { return e.descrizione(); }, errore);
}

QFuture<Risultato<QString>> eseguiDiskutilInSottofondo(EsecutoreDisco *esecutore,
                                                       const QStringList &argomenti,
                                                       EsecutoreDisco::Progresso progresso)
{
    return QtConcurrent::run([=] { return esecutore->eseguiDiskutil(argomenti, progresso); });
}

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
