#include "operations/Avanzamento.h"

#include "comune/NomiFile.h"

QString dettaglioAvanzamento(qint64 k, qint64 n, const QString &nome)
{
    return QStringLiteral("%1 di %2 — %3").arg(QString::number(k), QString::number(n), nomeLeggibile(nome));
}

void Avanzamento::unisci(const Avanzamento &nuovo)
{
    if (nuovo.frazione)
        frazione = nuovo.frazione;
    if (nuovo.dettaglio)
        dettaglio = nuovo.dettaglio;
    if (nuovo.titolo)
        titolo = nuovo.titolo;
    if (nuovo.byteFatti)
        byteFatti = nuovo.byteFatti;
    if (nuovo.byteTotali)
        byteTotali = nuovo.byteTotali;
}
