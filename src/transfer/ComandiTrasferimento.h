#pragma once

#include "comune/USBDrive.h"
#include "operations/Servizi.h"
#include "transfer/CategoriaFile.h"

#include <optional>
#include <QCoro/QCoroTask>

class ElencoChiavette;

// The commands of the file transfers, started through avviaFlusso(). Main
// thread; each ends after its last alert or notification, or at once when it
// refuses to start. The list of sticks is read before the first wait.

// "Copia tutto" and "Copia filtrato": the stick inserted last goes to the
// archive folder (FileCopyService::copia).
QCoro::Task<> copiaTutto(Servizi servizi, const ElencoChiavette *chiavette);
QCoro::Task<> copiaFiltrato(Servizi servizi, const ElencoChiavette *chiavette, CategoriaFile categoria);

// A stick that just arrived: its images go to the archive folder unless
// another operation or an erase is running, or the archive folder is not
// reachable; the new images go into a manifest, then one log line, and one
// notification when anything was imported or went wrong.
QCoro::Task<> importaAutomaticamente(Servizi servizi, USBDrive drive);

// "Verifica archivio", from the settings, the diagnostics or the panel's
// reminder: the archive folder of the settings re-read against its manifests
// (verificaArchivio) under the operation card, with "Annulla"; one log line
// naming every file that is not as archived, then the outcome. A run that went
// to its end over at least one manifest is remembered as the archive's last
// verification.
QCoro::Task<> verificaArchivioConScheda(Servizi servizi);

// "Clona USB": syncs two sticks (CloneUSBService::sincronizza). Missing ones
// are the first two inserted.
QCoro::Task<> sincronizzaChiavette(Servizi servizi, const ElencoChiavette *chiavette,
                                   std::optional<USBDrive> driveA = std::nullopt,
                                   std::optional<USBDrive> driveB = std::nullopt);
