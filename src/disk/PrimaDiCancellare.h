#pragma once

#include "comune/USBDrive.h"
#include "disk/DialoghiDisco.h"
#include "operations/Servizi.h"

#include <functional>
#include <QCoro/QCoroTask>

// Before a stick is wiped: checks, under a card the user may cancel, that its
// files are already in the archive folder, then asks the wipe's question with
// the answer on top. "Copia prima" copies the whole stick into the archive
// and then checks and asks again. `bloccata` tells whether other work keeps
// the wipe from starting, and says so; it is asked before each check and
// again after it, when the check's card is gone. Main thread; the answer is
// annulla when the user cancelled anywhere or the wipe may not start.
QCoro::Task<Scelta> controllaEChiedi(USBDrive drive, Servizi servizi, std::function<bool()> bloccata,
                                     std::function<Scelta(const PremessaArchivio &)> chiedi);
