#pragma once

#include "disk/InfoDisco.h"

#include <QFuture>

// What the safety check found about the disk behind a volume.
struct EsitoControllo {
    InfoDisco info;
    bool ammesso = false; // the disk may be formatted or erased
};

// Reads the identity of the disk that holds `percorsoVolume` and decides
// whether it may be destroyed: only an external disk with a removable medium,
// and never the disk that holds the system ("/") or the archive folder, even
// when its report calls it external and removable, nor any disk while either
// of those cannot be told. Blocking.
Risultato<EsitoControllo> controllaDisco(EsecutoreDisco &esecutore, const QString &percorsoVolume,
                                         const QString &cartellaArchivio);

// The same on the shared worker pool, for a main-thread flow to await.
QFuture<Risultato<EsitoControllo>> controllaDiscoInSottofondo(EsecutoreDisco *esecutore,
                                                              const QString &percorsoVolume,
                                                              const QString &cartellaArchivio);
