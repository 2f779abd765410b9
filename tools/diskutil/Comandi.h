#pragma once

#include <QStringList>
#include <QTextStream>

// Exit codes of tessera-diskutil.
enum CodiceUscita {
    riuscito = 0,    // done
    fallito = 1,     // the work itself failed (busy volume, I/O error, service error...)
    usoErrato = 2,   // unknown command or malformed arguments
    rifiutato = 3,   // the safety check refused the disk
    nessunMezzo = 4, // neither UDisks2 nor root: nothing can do the work
    nonTrovato = 5,  // no disk or volume behind the given name or path
};

// Runs one command line (without the program name), printing to `out`.
int eseguiComando(const QStringList &argomenti, QTextStream &out);
