#pragma once

#include "disk/InfoDisco.h"

#include <QFuture>

// What the safety check found about the disk behind a volume.
struct EsitoControllo {
    // Why the disk may not be formatted or erased; the user is told this very reason.
    enum class Rifiuto {
        nessuno,              // it may
        nonEsternoRimovibile, // internal, or its medium is fixed
        discoDelSistema,      // it holds "/"
        discoDellArchivio,    // it holds the archive folder
        sistemaIgnoto,        // the disk of "/" could not be told: it may be this one
        archivioIgnoto,       // the disk of the archive folder could not be told
    };

    InfoDisco info;
    Rifiuto rifiuto = Rifiuto::nonEsternoRimovibile;
    QString dettaglio; // for the two unknowns: why the disk could not be told

    bool ammesso() const { return rifiuto == Rifiuto::nessuno; }
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
