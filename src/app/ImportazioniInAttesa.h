#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"

#include <functional>
#include <QList>
#include <QObject>

class ElencoChiavette;

// Automatic imports that have to wait. A stick that arrives while a copy, a
// sync, another import, a quick format or a secure erase holds the way is
// imported as soon as that work ends (if it is still inserted and the switch
// still on) instead of being skipped without a word; the wait is logged.
// Main thread only.
class ImportazioniInAttesa : public QObject {
    Q_OBJECT
public:
    using Importa = std::function<void(const USBDrive &)>;

    ImportazioniInAttesa(const Servizi &servizi, const ElencoChiavette *chiavette, Importa importa,
                         QObject *parent = nullptr);

    // A stick that has just arrived: imported now, or once the way is free.
    void arrivata(const USBDrive &drive);
    qsizetype inAttesa() const { return m_coda.size(); }

private:
    void riprova();

    Servizi m_servizi;
    const ElencoChiavette *m_chiavette;
    Importa m_importa;
    QList<USBDrive> m_coda;
};
