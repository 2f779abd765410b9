#include "disk/EsecutoreDisco.h"

#include <QtConcurrent>

QFuture<Risultato<QString>> eseguiDiskutilInSottofondo(EsecutoreDisco *esecutore,
                                                       const QStringList &argomenti,
                                                       EsecutoreDisco::Progresso progresso)
{
    return QtConcurrent::run([=] { return esecutore->eseguiDiskutil(argomenti, progresso); });
}
