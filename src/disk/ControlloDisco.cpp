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
    using Rifiuto = EsitoControllo::Rifiuto;
    const Risultato<InfoDisco> info = leggiInfoDisco(esecutore, percorsoVolume);
    if (!info)
        return info.errore();
    EsitoControllo esito{
        info.valore(), info->esternoERimovibile() ? Rifiuto::nessuno : Rifiuto::nonEsternoRimovibile, {}};
    if (!esito.ammesso())
        return esito;

    struct Protetto {
        QString volume;
        Rifiuto suQuesto, ignoto;
    };
    QList<Protetto> protetti{
        {volumeCheContiene(QDir::rootPath()), Rifiuto::discoDelSistema, Rifiuto::sistemaIgnoto}};
    if (const QString volume = volumeCheContiene(QDir(cartellaArchivio).absolutePath());
        !cartellaArchivio.isEmpty() && volume != protetti.first().volume)
        protetti.append({volume, Rifiuto::discoDellArchivio, Rifiuto::archivioIgnoto});
    for (const Protetto &p : std::as_const(protetti)) {
        if (p.volume.isEmpty())
            continue;
        // When the disk of the system or of the archive cannot be told, it may
        // be this very disk: refuse rather than guess. A volume on no disk at
        // all (a network share, a RAM disk) is no danger.
        const Risultato<InfoDisco> altro = leggiInfoDisco(esecutore, p.volume);
        const DiskUtilErrore *errore = altro.erroreDisco();
        const bool suNessunDisco = errore && errore->caso() == DiskUtilErrore::Caso::comandoFallito &&
                                   errore->uscita() == uscitaNessunDisco;
        if (altro && altro->discoIntero == esito.info.discoIntero)
            esito.rifiuto = p.suQuesto;
        else if (!altro && !suNessunDisco)
            esito = {esito.info, p.ignoto, altro.descrizioneErrore()};
        if (!esito.ammesso())
            return esito;
    }
    return esito;
}

QFuture<Risultato<EsitoControllo>> controllaDiscoInSottofondo(EsecutoreDisco *esecutore,
                                                              const QString &percorsoVolume,
                                                              const QString &cartellaArchivio)
{
    return QtConcurrent::run([=] { return controllaDisco(*esecutore, percorsoVolume, cartellaArchivio); });
}
