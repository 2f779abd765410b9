#pragma once

#include <QString>

// The detail line of a card that goes through a list: "{k} di {n} — {nome}",
// with the stray bytes of a file name written out.
QString dettaglioAvanzamento(qint64 k, qint64 n, const QString &nome);
