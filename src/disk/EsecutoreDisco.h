#pragma once

#include "disk/Risultato.h"
#include "operations/Avanzamento.h"

#include <functional>
#include <QFuture>
#include <QStringList>

// Runs the disk utility and other system tools. Calls block until the tool
// exits, so they belong on worker threads; implementations are thread-safe.
class EsecutoreDisco {
public:
    virtual ~EsecutoreDisco() = default;

    // `argomenti` without the program. With `riferisci` the tool gets a terminal,
    // the exchange is traced in the diagnostic log, and each percentage the tool
    // prints is reported as a fraction, on the runner's reading thread.
    virtual Risultato<QString> eseguiDiskutil(const QStringList &argomenti, Riferisci riferisci = {}) = 0;
    virtual Risultato<QString> eseguiStrumento(const QString &percorso, const QStringList &argomenti) = 0;
};

// Runs the disk utility on the shared worker pool, for a main-thread flow to await.
QFuture<Risultato<QString>>
eseguiDiskutilInSottofondo(EsecutoreDisco *esecutore, const QStringList &argomenti, Riferisci riferisci = {});
