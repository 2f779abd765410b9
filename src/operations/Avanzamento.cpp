#include "operations/Avanzamento.h"

#include "comune/NomiFile.h"

QString dettaglioAvanzamento(qint64 k, qint64 n, const QString &nome)
{
    return QStringLiteral("%1 di %2 — %3").arg(QString::number(k), QString::number(n), nomeLeggibile(nome));
}
