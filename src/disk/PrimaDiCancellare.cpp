#include "disk/PrimaDiCancellare.h"

#include "disk/ControlloDisco.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/Registro.h"
#include "operations/StoricoChiavette.h"
#include "platform/Notificatore.h"
#include "settings/AppSettings.h"
#include "transfer/ControlloArchivio.h"
#include "transfer/FileCopyService.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QtConcurrent/QtConcurrentRun>

namespace {
QCoro::Task<> nulla()
{
    co_return;
}

QCoro::Task<Scelta> subito(Scelta scelta)
{
    co_return scelta;
}

// The disk behind the stick, whether it may be wiped, and its volumes.
struct Disco {
    EsitoControllo controllo;
    QList<VolumeDisco> volumi;
};

Risultato<Disco> esaminaDisco(EsecutoreDisco &esecutore, const QString &volume, const QString &archivio)
{
    const Risultato<EsitoControllo> controllo = controllaDisco(esecutore, volume, archivio);
    if (!controllo)
        return controllo.errore();
    if (!controllo->ammesso())
        return Disco{*controllo, {}};
    const Risultato<QList<VolumeDisco>> volumi = leggiVolumiDisco(esecutore, controllo->info.discoIntero);
    if (!volumi)
        return volumi.errore();
    return Disco{*controllo, *volumi};
}

// The wipe takes the whole disk: the chosen volume first, under the name the
// user knows, then every other one.
QList<VolumeDaControllare> daControllare(const USBDrive &drive, const QList<VolumeDisco> &volumi)
{
    QList<VolumeDaControllare> tutti{{drive.path(), drive.name}};
    for (const VolumeDisco &v : volumi) {
        if (v.puntoMontaggio.isEmpty() || QDir::cleanPath(v.puntoMontaggio) != QDir::cleanPath(drive.path()))
            tutti.append({v.puntoMontaggio, v.nome.isEmpty() ? v.identificatore : v.nome});
    }
    return tutti;
}
} // namespace

// Each wait is on a task named at function scope, and a step not taken awaits
// a task that is already done (README, "GCC 12 and coroutines").
QCoro::Task<Scelta> controllaEChiedi(Servizi s, USBDrive drive, NomeCancellazione nome,
                                     std::function<bool()> bloccata,
                                     std::function<Scelta(const PremessaArchivio &)> chiedi)
{
    if (bloccata())
        co_return Scelta::annulla;
    const QString archivio = s.impostazioni ? s.impostazioni->destinationPath() : QString();
    const QString cartella = AppSettings::folderName(archivio);
    EsecutoreDisco *esecutore = s.disco;
    const QString volume = drive.path();
    QFuture<Risultato<Disco>> esame = QtConcurrent::run(
        [esecutore, volume, archivio] { return esaminaDisco(*esecutore, volume, archivio); });
    const Risultato<Disco> disco = co_await esame;
    QCoro::Task<> avviso =
        disco ? nulla() : segnalaNonRiuscita(s, nome, drive.name, disco.descrizioneErrore());
    co_await avviso;
    if (!disco)
        co_return Scelta::annulla;
    if (!disco->controllo.ammesso()) {
        avvisaDiscoRifiutato(*s.avvisi, drive, disco->controllo, cartella);
        co_return Scelta::annulla;
    }
    if (bloccata())
        co_return Scelta::annulla;

    QCoro::Task<std::optional<EsitoControlloArchivio>> lavoro =
        controllaArchivioConScheda(drive.name, daControllare(drive, disco->volumi), archivio, s);
    const std::optional<EsitoControlloArchivio> controllo = co_await lavoro;
    if (!controllo || bloccata())
        co_return Scelta::annulla;
    // The archive lies on the stick after all (a path the disk utility could
    // not follow): the wipe would take it along.
    if (controllo->archivioSullaChiavetta) {
        avvisaDiscoRifiutato(*s.avvisi, drive,
                             {disco->controllo.info, EsitoControllo::Rifiuto::discoDellArchivio, {}},
                             cartella);
        co_return Scelta::annulla;
    }

    const Scelta scelta = chiedi(premessaArchivio(*controllo, cartella));
    const bool copiaPrima = scelta == Scelta::copiaPrima;
    QCoro::Task<> copia =
        copiaPrima ? FileCopyService::copia(s, drive.path(), archivio, std::nullopt, controllo->daCopiare)
                   : nulla();
    co_await copia;
    QCoro::Task<Scelta> ancora =
        copiaPrima ? controllaEChiedi(s, drive, nome, bloccata, chiedi) : subito(scelta);
    co_return co_await ancora;
}

QCoro::Task<> segnalaNonRiuscita(Servizi s, NomeCancellazione nome, QString chiavetta, QString errore)
{
    registra(QStringLiteral("%1 di \"%2\" NON riuscita: %3").arg(nome.operazione, chiavetta, errore));
    // Kept on screen until seen: the stick may be half-erased, or unusable.
    co_await s.notifiche->notifica(nome.titoloNonRiuscita,
                                   QStringLiteral("Errore su \"%1\": %2").arg(chiavetta, errore),
                                   Urgenza::critica);
}

QCoro::Task<std::optional<DiscoDaCancellare>> preparaDisco(Servizi s, USBDrive drive, ImpegnoTenuto &presa)
{
    QFuture<IdentitaChiavetta> lettura = identitaInSottofondo(drive);
    const IdentitaChiavetta chiavetta = co_await lettura;
    const QString archivio = s.impostazioni ? s.impostazioni->destinationPath() : QString();
    QFuture<Risultato<EsitoControllo>> lavoroControllo =
        controllaDiscoInSottofondo(s.disco, drive.path(), archivio);
    const Risultato<EsitoControllo> controllo = co_await lavoroControllo;
    if (controllo && !controllo->ammesso()) {
        presa.rilascia();
        avvisaDiscoRifiutato(*s.avvisi, drive, *controllo, AppSettings::folderName(archivio));
        co_return std::nullopt;
    }
    co_return DiscoDaCancellare{chiavetta, controllo};
}
