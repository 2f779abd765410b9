#include "disk/ControlloDisco.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QtConcurrent>

namespace {
// The mount point of the volume that holds `percorso`, or would hold it once
// created (an archive folder may not exist yet).
QString volumeCheContiene(QString percorso)
{
    while (!percorso.isEmpty() && !QFileInfo::exists(percorso)) {
        const QString genitore = QFileInfo(percorso).absolutePath();
        if (genitore == percorso)
            break;
        percorso = genitore;
    }
    const QStorageInfo volume(percorso);
    return volume.isValid() ? volume.rootPath() : QString();
}
} // namespace

Risultato<EsitoControllo> controllaDisco(EsecutoreDisco &esecutore, const QString &percorsoVolume,
                                         const QString &cartellaArchivio)
{
    const Risultato<InfoDisco> info = leggiInfoDisco(esecutore, percorsoVolume);
    if (!info)
        return info.errore();
    EsitoControllo esito{info.valore(), info->esternoERimovibile()};
    if (!esito.ammesso)
        return esito;

    QStringList protetti{volumeCheContiene(QDir::rootPath())};
    if (!cartellaArchivio.isEmpty())
        protetti.append(volumeCheContiene(QDir(cartellaArchivio).absolutePath()));
    protetti.removeAll(QString());
    protetti.removeDuplicates();
    for (const QString &volume : std::as_const(protetti)) {
        // When the disk of the system or of the archive cannot be told, it may
        // be this very disk: refuse rather than guess. A volume on no disk at
        // all (a network share, a RAM disk) is no danger.
        const Risultato<InfoDisco> altro = leggiInfoDisco(esecutore, volume);
        const DiskUtilErrore *errore = altro.erroreDisco();
        const bool suNessunDisco = errore && errore->caso() == DiskUtilErrore::Caso::comandoFallito &&
                                   errore->uscita() == uscitaNessunDisco;
        if (altro ? altro->discoIntero == esito.info.discoIntero : !suNessunDisco)
            esito.ammesso = false;
    }
    return esito;
}

QFuture<Risultato<EsitoControllo>> controllaDiscoInSottofondo(EsecutoreDisco *esecutore,
                                                              const QString &percorsoVolume,
                                                              const QString &cartellaArchivio)
{
    return QtConcurrent::run([=] { return controllaDisco(*esecutore, percorsoVolume, cartellaArchivio); });
}
