#pragma once

#include "disk/EsecutoreDisco.h"
#include "operations/DiagnosticaManager.h"

#include <optional>
#include <QList>
#include <QString>
#include <utility>

// The blocking work of the diagnostic checks (for worker threads) and the
// report lines each result turns into (pure, for the main thread).
namespace StrumentiDiagnostica {

struct DettagliVolume {
    QString fileSystem;  // human-readable, or "sconosciuto"
    qint64 capacita = 0; // bytes, 0 when not reported
    QString discoIntero;
    friend bool operator==(const DettagliVolume &, const DettagliVolume &) = default;
};

using Riga = std::pair<RigaRapporto::Tipo, QString>;
using Righe = QList<Riga>;

// From the text of `info -plist`.
Risultato<DettagliVolume> dettagliDaReport(const QString &output);
Risultato<DettagliVolume> leggiDettagliVolume(EsecutoreDisco &disco, const QString &percorso);
// The link-speed label of the USB device holding `discoIntero`; none when the
// profiler fails or does not know the disk.
std::optional<QString> velocitaConnessione(EsecutoreDisco &disco, const QString &discoIntero);
Risultato<QString> verificaVolume(EsecutoreDisco &disco, const QString &percorso, Riferisci riferisci);
Risultato<QString> riparaVolume(EsecutoreDisco &disco, const QString &percorso, Riferisci riferisci);

Righe righeDettagli(const Risultato<DettagliVolume> &dettagli);
Righe righeConnessione(const std::optional<QString> &etichetta);
// The disk utility's exit status when a check or a repair ran and the file
// system is, or stays, damaged.
constexpr int uscitaProblemiTrovati = 1;
Righe righeVerifica(const Risultato<QString> &esito);
Righe righeRiparazione(const Risultato<QString> &esito);

} // namespace StrumentiDiagnostica
