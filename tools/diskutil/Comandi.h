#pragma once

#include "VistaSistema.h"

#include <QStringList>
#include <QTextStream>

// Exit codes of tessera-diskutil.
enum CodiceUscita {
    riuscito = 0,    // done
    fallito = 1,     // the work itself failed (busy volume, I/O error, service error...)
    usoErrato = 2,   // unknown command or malformed arguments
    rifiutato = 3,   // the safety check refused the disk
    nessunMezzo = 4, // neither UDisks2 nor root: nothing can do the work
    nonTrovato = 5,  // no disk or volume behind the given name or path (the app relies on this one)
    assente = 6,     // the path does not exist (a stick pulled out, its folder gone)
};

// How the destructive work is done: chosen by the tool itself, or forced by a test.
enum class SceltaBackend { automatica, udisks2, diretto };

// Runs one command line (without the program name), printing to `out`, on the
// real system.
int eseguiComando(const QStringList &argomenti, QTextStream &out);
// The same on a view of the caller's making: only for tests, never reachable
// from the installed program.
int eseguiComando(const QStringList &argomenti, QTextStream &out, const VistaSistema &vista,
                  SceltaBackend backend);
