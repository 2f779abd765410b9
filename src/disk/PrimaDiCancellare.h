#pragma once

#include "comune/USBDrive.h"
#include "disk/DialoghiDisco.h"
#include "operations/Servizi.h"

#include <functional>
#include <QCoro/QCoroTask>

// Before a stick is wiped. First the disk: one the safety rule refuses is
// refused at once, with the reason, before anything is read, and one that
// cannot be identified at all goes to `nonRiuscita` with the reason. Then,
// under a card the user may cancel, whether the files of every volume of that
// disk are already in the archive folder; then the wipe's question, with the
// answer on top. "Copia prima" copies into the archive the files the check
// found missing or unreadable, then checks and asks again. `bloccata` tells
// whether other work keeps the wipe from starting, and says so; it is asked
// before each check and again after it. Main thread; the answer is annulla
// when the user cancelled anywhere or the wipe may not start.
QCoro::Task<Scelta> controllaEChiedi(USBDrive drive, Servizi servizi, std::function<bool()> bloccata,
                                     std::function<Scelta(const PremessaArchivio &)> chiedi,
                                     std::function<QCoro::Task<>(QString)> nonRiuscita);

// A wipe that failed: one log line "{operazione} di "{nome}" NON riuscita: {errore}"
// and one notification titled `titolo`.
QCoro::Task<> segnalaNonRiuscita(QString operazione, QString titolo, QString nome, Servizi servizi,
                                 QString errore);
