#include "comune/Colori.h"
#include "disk/ComandiDisco.h"
#include "disk/ControlloDisco.h"
#include "disk/DialoghiDisco.h"
#include "disk/DopoGliEventiInCoda.h"
#include "disk/PrimaDiCancellare.h"
#include "operations/CentroOperazioni.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/Registro.h"
#include "operations/StoricoChiavette.h"
#include "platform/Notificatore.h"
#include "settings/AppSettings.h"

#include <QCoro/QCoroFuture>

// Each piece of background work is a named future awaited at function scope
// (README, "GCC 12 and coroutines").
QCoro::Task<> formattaRapida(Servizi s, USBDrive drive)
{
    const auto bloccata = [s] {
        if (!impegnoBloccante(Avvio::formattazioneRapida, statoImpegni(s)))
            return false;
        s.avvisi->mostraAvviso(
            QStringLiteral("Operazione in corso"),
            QStringLiteral("Attendi che l'operazione attuale finisca prima di formattare."),
            StileAvviso::informativo);
        return true;
    };
    auto scelto = std::make_shared<QString>();
    const auto chiedi = [s, drive, scelto](const PremessaArchivio &premessa) {
        const SceltaNome risposta = chiediNuovoNome(*s.avvisi, drive, premessa);
        *scelto = risposta.nome;
        return risposta.scelta;
    };
    const NomeCancellazione parole{QStringLiteral("Formattazione rapida"),
                                   QStringLiteral("Formattazione non riuscita")};
    QCoro::Task<Scelta> domanda = controllaEChiedi(s, drive, parole, bloccata, chiedi);
    const Scelta risposta = co_await domanda;
    if (risposta != Scelta::procedi)
        co_return;
    const QString nome = *scelto;

    ImpegnoTenuto scheda(s.centro, {QStringLiteral("Preparazione di \"%1\"…").arg(drive.name), std::nullopt,
                                    std::nullopt, QStringLiteral("sparkles"), Colori::orange()});
    QCoro::Task<std::optional<DiscoDaCancellare>> preparazione = preparaDisco(s, drive, scheda);
    const std::optional<DiscoDaCancellare> pronto = co_await preparazione;
    if (!pronto)
        co_return;
    const IdentitaChiavetta &chiavetta = pronto->chiavetta;
    const Risultato<EsitoControllo> &controllo = pronto->controllo;

    QFuture<Risultato<QString>> lavoro =
        controllo ? eseguiDiskutilInSottofondo(s.disco,
                                               {QStringLiteral("eraseDisk"), QStringLiteral("FAT32"), nome,
                                                QStringLiteral("MBR"), controllo->info.discoIntero},
                                               versoCentro(s.centro))
                  : QtFuture::makeReadyFuture(Risultato<QString>(controllo.errore()));
    const Risultato<QString> esito = co_await lavoro;
    co_await DopoGliEventiInCoda{};
    // Only a stick the disk work was run on has something to remember.
    QFuture<bool> annotazione =
        controllo ? registraInSottofondo(
                        chiavetta, {.tipo = EventoChiavetta::Tipo::formattazione, .riuscito = bool(esito)})
                  : QtFuture::makeReadyFuture(false);
    co_await annotazione;

    scheda.rilascia();
    if (!esito) {
        QCoro::Task<> avviso = segnalaNonRiuscita(s, parole, drive.name, esito.descrizioneErrore());
        co_await avviso;
        co_return;
    }
    registra(QStringLiteral("Formattazione rapida di \"%1\" completata: nuovo nome %2 (FAT32)")
                 .arg(drive.name, nome));
    co_await s.notifiche->notifica(
        QStringLiteral("Chiavetta pronta"),
        QStringLiteral("\"%1\" è stata formattata come %2 (FAT32) ed è pronta all'uso.")
            .arg(drive.name, nome));
}
