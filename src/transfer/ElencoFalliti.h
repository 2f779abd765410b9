#pragma once

#include <QString>
#include <QStringList>

// The files an operation could not handle, one "“name”: reason" line each:
// the practice must be able to tell which patient's images did not arrive.

// The first few lines, for an alert: "e altri N..." stands for the rest.
QString primeRighe(const QStringList &righe);

// Every line, for the log: "; {etichetta}: a; b; ...". Too many for one line
// go to a file beside the log (readable by its owner only) that the line
// names instead. Empty when there are none. Main thread or any other.
QString righeInRegistro(const QStringList &righe, const QString &etichetta);

// "1 file copiato", "3 file copiati": the count with the word that agrees with it.
QString conNumero(qint64 n, const QString &singolare, const QString &plurale);

// A run the user stopped with "Annulla": "Copia interrotta: 3 file copiati e
// verificati, 1 non copiato". `operazione` is the run's noun ("Copia",
// "Importazione", "Sincronizzazione"); `verificati` when the files done were
// proven by their digests too.
QString testoInterruzione(const QString &operazione, qint64 fatti, qint64 nonFatti, bool verificati);
