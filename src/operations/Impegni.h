#pragma once

#include <optional>

// The three things that keep other work from starting: a secure erase, a
// diagnostic check, and the card of the operation centre (copy, import, sync,
// quick format).
enum class Impegno { cancellazione, diagnostica, operazione };

struct StatoImpegni {
    bool cancellazione = false;
    bool diagnostica = false;
    bool operazione = false;
};

// Every way work starts, from the panel or on a stick's arrival.
enum class Avvio {
    copia,
    copiaFiltrata,
    importazioneAutomatica,
    sincronizzazione,
    formattazioneRapida,
    cancellazioneSicura,
    infoDiagnostica,
    verificaDiagnostica,
    riparazioneDiagnostica,
    testVelocita,
    verificaCapacita, // fills the stick: copies and syncs must not be meeting it
    verificaArchivio, // reads the whole archive, which copies and imports write into
    uscita,           // quitting the program
};

// What keeps `avvio` from starting now, the first in the order its flow tells
// them apart; none when it may start. Each flow keeps its own words for it.
std::optional<Impegno> impegnoBloccante(Avvio avvio, const StatoImpegni &stato);
