#pragma once

#include "comune/USBDrive.h"
#include "disk/ControlloDisco.h"
#include "disk/DialoghiDisco.h"
#include "operations/Servizi.h"
#include "platform/IdentitaChiavetta.h"

#include <functional>
#include <optional>
#include <QCoro/QCoroTask>

// How a wipe names itself when it fails: "Formattazione rapida" in the log,
// "Formattazione non riuscita" as the notification's title.
struct NomeCancellazione {
    QString operazione;
    QString titoloNonRiuscita;
};

// Before a stick is wiped. First the disk: one the safety rule refuses is
// refused at once, with the reason, before anything is read, and one that
// cannot be identified at all is reported with segnalaNonRiuscita(). Then,
// under a card the user may cancel, whether the files of every volume of that
// disk are already in the archive folder; then the wipe's question, with the
// answer on top. "Copia prima" copies into the archive the files the check
// found missing or unreadable, then checks and asks again. `bloccata` tells
// whether other work keeps the wipe from starting, and says so; it is asked
// before each check and again after it. Main thread; the answer is annulla
// when the user cancelled anywhere or the wipe may not start.
QCoro::Task<Scelta> controllaEChiedi(Servizi servizi, USBDrive drive, NomeCancellazione nome,
                                     std::function<bool()> bloccata,
                                     std::function<Scelta(const PremessaArchivio &)> chiedi);

class ImpegnoTenuto;

// A wipe's disk, made ready for the work: who the stick is, read before the
// work gives it a new volume, and the disk tool's check of the whole disk (an
// error when the tool could not tell).
struct DiscoDaCancellare {
    IdentitaChiavetta chiavetta;
    Risultato<EsitoControllo> controllo;
};

// Reads both in the background. A disk the check refuses gives nullopt:
// `presa` is released first, then the refusal is told with its reason. Main
// thread.
QCoro::Task<std::optional<DiscoDaCancellare>> preparaDisco(Servizi servizi, USBDrive drive,
                                                           ImpegnoTenuto &presa);

// A wipe that failed: one log line "{operazione} di "{chiavetta}" NON
// riuscita: {errore}" and one notification.
QCoro::Task<> segnalaNonRiuscita(Servizi servizi, NomeCancellazione nome, QString chiavetta, QString errore);
