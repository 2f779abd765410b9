#pragma once

#include <functional>
#include <QByteArray>
#include <QString>
#include <QStringList>

// Child processes and the threads that wait for them. Defined once per
// operating system, in platform/<os>/.

// A program run to its end, or one that could not start.
struct EsitoProcesso {
    int uscita = -1;     // its exit status; negative: killed by that signal
    int erroreAvvio = 0; // the errno that kept it from starting; 0 when it ran
};

// Runs `programma` with `argomenti` as they are (no shell) and hands each
// piece of what it prints, standard output and error together, to `pezzo` as
// it comes, on the calling thread. With `terminale` the program gets a
// terminal of its own, so it prints its progress as it would for a person.
// A grandchild that keeps the output open does not hold the call: once the
// program is gone, only what is already pending is read. Blocking.
EsitoProcesso eseguiProcesso(const QString &programma, const QStringList &argomenti, bool terminale,
                             const std::function<void(const QByteArray &)> &pezzo);

// The calling thread's scheduling priority ("nice" value: higher yields more),
// and a change of it for that thread alone.
int prioritaThread();
void impostaPrioritaThread(int priorita);
