#include "disk/ComandiDisco.h"
#include "disk/ControlloDisco.h"
#include "disk/DialoghiDisco.h"
#include "disk/DopoGliEventiInCoda.h"
#include "disk/PrimaDiCancellare.h"
#include "operations/CentroOperazioni.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/Registro.h"
#include "operations/SecureEraseManager.h"
#include "operations/StoricoChiavette.h"
#include "platform/Notificatore.h"
#include "settings/AppSettings.h"

#include <QCoro/QCoroFuture>

namespace {

void avvisaGiaInCorso(PresentatoreAvvisi &avvisi)
{
    avvisi.mostraAvviso(QStringLiteral("Operazione già in corso"),
                        QStringLiteral("È già in corso una cancellazione sicura. Attendi che finisca."),
                        StileAvviso::informativo);
}

// The erase's own words for the work that keeps it from starting.
void avvisaBloccata(PresentatoreAvvisi &avvisi, Impegno impegno)
{
    switch (impegno) {
    case Impegno::cancellazione:
        avvisaGiaInCorso(avvisi);
        return;
    case Impegno::diagnostica:
        avvisi.mostraAvviso(
            QStringLiteral("Diagnostica in corso"),
            QStringLiteral(
                "Attendi che la diagnostica USB finisca prima di avviare la cancellazione sicura."),
            StileAvviso::informativo);
        return;
    case Impegno::operazione:
        avvisi.mostraAvviso(QStringLiteral("Operazione in corso"),
                            QStringLiteral("C'è una copia o sincronizzazione in corso. Attendi che finisca "
                                           "prima di cancellare la chiavetta."),
                            StileAvviso::informativo);
        return;
    }
}

// Whether other work keeps the erase from starting; the user is told which.
bool avvisaSeBloccata(const Servizi &s)
{
    const std::optional<Impegno> impegno = impegnoBloccante(Avvio::cancellazioneSicura, statoImpegni(s));
    if (impegno)
        avvisaBloccata(*s.avvisi, *impegno);
    return impegno.has_value();
}

} // namespace

// Each piece of background work is a named future awaited at function scope
// (README, "GCC 12 and coroutines"). A step that is not run because an earlier
// one failed awaits a ready future carrying that failure, so the flow reads
// straight down.
QCoro::Task<> cancellaSicura(Servizi s, USBDrive drive)
{
    SecureEraseManager *erase = s.cancellazione;
    const auto bloccata = [s] { return avvisaSeBloccata(s); };
    const auto chiedi = [s, drive](const PremessaArchivio &premessa) {
        return confermaCancellazione(*s.avvisi, drive, premessa);
    };
    const NomeCancellazione parole{QStringLiteral("Cancellazione sicura"),
                                   QStringLiteral("Cancellazione non riuscita")};
    QCoro::Task<Scelta> domanda = controllaEChiedi(s, drive, parole, bloccata, chiedi);
    const Scelta risposta = co_await domanda;
    if (risposta != Scelta::procedi)
        co_return;

    co_await s.notifiche->richiediPermessoNotifiche();
    // The permission request may have let a second erase through the test
    // above; two erases at once would share, and reset, one manager.
    if (erase->inCorso()) {
        avvisaGiaInCorso(*s.avvisi);
        co_return;
    }
    ImpegnoTenuto cancellazione(erase, drive.name);
    const QString nome = nomeVolumeValido(drive.name);
    QCoro::Task<std::optional<DiscoDaCancellare>> preparazione = preparaDisco(s, drive, cancellazione);
    const std::optional<DiscoDaCancellare> pronto = co_await preparazione;
    if (!pronto)
        co_return;
    const IdentitaChiavetta &chiavetta = pronto->chiavetta;
    const Risultato<EsitoControllo> &controllo = pronto->controllo;
    const QString discoIntero = controllo ? controllo->info.discoIntero : QString();

    if (controllo)
        erase->impostaFase(SecureEraseManager::Fase::cancellazione);
    QFuture<Risultato<QString>> sovrascrittura =
        controllo
            ? eseguiDiskutilInSottofondo(s.disco,
                                         {QStringLiteral("secureErase"), QStringLiteral("0"), discoIntero},
                                         versoManager(erase))
            : QtFuture::makeReadyFuture(Risultato<QString>(controllo.errore()));
    const Risultato<QString> sovrascritta = co_await sovrascrittura;
    co_await DopoGliEventiInCoda{};

    if (sovrascritta)
        erase->impostaFase(SecureEraseManager::Fase::formattazione);
    QFuture<Risultato<QString>> formattazione =
        sovrascritta
            ? eseguiDiskutilInSottofondo(s.disco, {QStringLiteral("eraseDisk"), QStringLiteral("FAT32"), nome,
                                                   QStringLiteral("MBR"), discoIntero})
            : QtFuture::makeReadyFuture(sovrascritta);
    const Risultato<QString> esito = co_await formattazione;
    // Only a stick the disk work was run on has something to remember.
    QFuture<bool> annotazione =
        controllo ? registraInSottofondo(
                        chiavetta, {.tipo = EventoChiavetta::Tipo::cancellazione, .riuscito = bool(esito)})
                  : QtFuture::makeReadyFuture(false);
    co_await annotazione;

    cancellazione.rilascia();
    if (!esito) {
        QCoro::Task<> avviso = segnalaNonRiuscita(s, parole, drive.name, esito.descrizioneErrore());
        co_await avviso;
        co_return;
    }
    registra(QStringLiteral(
                 "Cancellazione sicura di \"%1\" completata: sovrascritta e riformattata come %2 (FAT32)")
                 .arg(drive.name, nome));
    co_await s.notifiche->notifica(
        QStringLiteral("Cancellazione completata"),
        QStringLiteral("\"%1\" è stata sovrascritta e riformattata come %2 (FAT32). I dati "
                       "non sono più recuperabili via software.")
            .arg(drive.name, nome));
}
