#pragma once

#include <QColor>
#include <QList>
#include <QString>

// One entry of the guide or of the troubleshooting list.
struct VoceGuida {
    QString icona; // symbol name
    QColor colore; // tint of the symbol and of the circle behind it
    QString titolo;
    QString testo;
};

QList<VoceGuida> vociGuida();    // "Guida alle funzioni", in page order
QList<VoceGuida> vociProblemi(); // "Risoluzione problemi", in page order
