#pragma once

#include "disk/Risultato.h"

#include <functional>
#include <QFuture>
#include <QStringList>

// Runs the disk utility and other system tools. Calls block until the tool
// exits, so they belong on worker threads; implementations are thread-safe.
class EsecutoreDisco {
public:
    // Called on the runner's reading thread, once per percentage the tool prints.
    using Progresso = std::function<void(double)>;

    virtual ~EsecutoreDisco() = default;

    // `argomenti` without the program. With `progresso` the tool gets a terminal
    // and the exchange is traced in the diagnostic log.
    virtual Risultato<QString> eseguiDiskutil(const QStringList &argomenti, Progresso progresso = {}) = 0;
    virtual Risultato<QString> eseguiStrumento(const QString &percorso, const QStringList &argomenti) = 0;
};

// Runs the disk utility on the shared worker pool, for a main-thread flow to await.
QFuture<Risultato<QString>> eseguiDiskutilInSottofondo(EsecutoreDisco *esecutore,
                                                       const QStringList &argomenti,
                                                       EsecutoreDisco::Progresso progresso = {});
