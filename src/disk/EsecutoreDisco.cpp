#include "disk/EsecutoreDisco.h"

#include <QtConcurrent>

QFuture<Risultato<QString>> eseguiDiskutilInSottofondo(EsecutoreDisco *esecutore,
                                                       const QStringList &argomenti, Riferisci riferisci)
{
    return QtConcurrent::run([=] { return esecutore->eseguiDiskutil(argomenti, riferisci); });
}
