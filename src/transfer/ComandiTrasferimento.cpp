#include "transfer/ComandiTrasferimento.h"

#include "comune/Colori.h"
#include "comune/ElencoChiavette.h"
#include "operations/CentroOperazioni.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/PrioritaLavoro.h"
#include "operations/Registro.h"
#include "operations/StoricoChiavette.h"
#include "platform/AperturaDesktop.h"
#include "platform/Notificatore.h"
#include "platform/OperazioniFile.h"
#include "settings/AppSettings.h"
#include "transfer/CloneUSBService.h"
#include "transfer/FileCopyService.h"

#include <QCoro/QCoroFuture>
#include <QtConcurrent/qtconcurrenttask.h>

namespace {
QCoro::Task<> copiaUltima(Servizi servizi, const ElencoChiavette *chiavette,
                          std::optional<QSet<QString>> estensioni)
{
    const std::optional<USBDrive> drive = ultimaChiavettaOAvviso(chiavette, servizi);
    if (!drive)
        co_return;
    const QString sorgente = drive->path();
    const QString destinazione = servizi.impostazioni->destinationPath();
    co_await FileCopyService::copia(servizi, sorgente, destinazione, std::move(estensioni));
}
} // namespace

QCoro::Task<> copiaTutto(Servizi servizi, const ElencoChiavette *chiavette)
{
    return copiaUltima(servizi, chiavette, std::nullopt);
}

QCoro::Task<> copiaFiltrato(Servizi servizi, const ElencoChiavette *chiavette, CategoriaFile categoria)
{
    return copiaUltima(servizi, chiavette, insiemeEstensioni(categoria));
}

QCoro::Task<> importaAutomaticamente(Servizi servizi, USBDrive drive)
{
    const QString nome = drive.name;
    if (impegnoBloccante(Avvio::importazioneAutomatica, statoImpegni(servizi))) {
        registra(QStringLiteral("Auto-importazione da %1 saltata: altra operazione in corso").arg(nome));
        co_return;
    }
    const QString destinazione = servizi.impostazioni->destinationPath();
    const QString nonRaggiungibile =
        FileCopyService::archivioNonRaggiungibile(destinazione, servizi.impostazioni);
    if (!nonRaggiungibile.isEmpty()) {
        registra(QStringLiteral("Auto-importazione da %1 fallita: %2").arg(nome, nonRaggiungibile));
        const QString titolo = QStringLiteral("Importazione automatica non riuscita");
        co_await servizi.notifiche->notifica(titolo, nonRaggiungibile, Urgenza::critica);
        co_return;
    }
    if (!creaCartella(destinazione)) {
        registra(QStringLiteral("Auto-importazione da %1 fallita: destinazione non accessibile").arg(nome));
        co_return;
    }

    std::stop_source stop;
    CentroOperazioni::Operazione op{QStringLiteral("Importazione automatica da %1…").arg(nome), std::nullopt,
                                    std::nullopt, QStringLiteral("tray.and.arrow.down.fill"),
                                    Colori::coloreMarchio()};
    op.annulla = annullaCon(stop);
    ImpegnoTenuto scheda(servizi.centro, op);
    const QString sorgente = drive.path();
    const QSet<QString> immagini = insiemeEstensioni(CategoriaFile::immagini);
    const Riferisci avanzamento = versoCentro(servizi.centro);
    const Collocazione dove =
        FileCopyService::collocazione(servizi.impostazioni, destinazione, sorgente, nome);
    const std::stop_token token = stop.get_token();
    QFuture<EsitoImportazione> lavoro =
        QtConcurrent::task([drive, sorgente, dove, immagini, avanzamento, nome, token] {
            const PrioritaLavoro sottofondo;
            // Read before the copies: a stick that fails may be gone by their end.
            const IdentitaChiavetta identita = leggiIdentitaChiavetta(drive);
            QList<VoceManifesto> verificati;
            EsitoImportazione esito = FileCopyService::eseguiImportazione(sorgente, dove, immagini,
                                                                          avanzamento, &verificati, token);
            esito.manifesto = scriviManifesto(dove.archivio(), nome, verificati);
            StoricoChiavette::shared().registra(identita, {.tipo = EventoChiavetta::Tipo::importazione,
                                                           .riuscito = esito.illeggibili == 0,
                                                           .illeggibili = int(esito.illeggibili)});
            return esito;
        })
            .withPriority(FileCopyService::prioritaImportazione)
            .spawn();
    const EsitoImportazione esito = co_await lavoro;
    scheda.rilascia();

    registra(FileCopyService::rigaRegistroImportazione(nome, esito));
    const bool interrotta = esito.interrotti > 0;
    const bool fallito = !interrotta && (esito.errori > 0 || esito.corrotti > 0);
    if (esito.nuovi == 0 && !fallito && !interrotta)
        co_return;
    // The same rule as the copy's summary: a failure is never told as a
    // success, and a stop asked for is neither.
    const QString titolo = interrotta ? QStringLiteral("Importazione interrotta")
                           : !fallito ? QStringLiteral("Importazione automatica")
                           : esito.nuovi + esito.saltati == 0
                               ? QStringLiteral("Importazione automatica non riuscita")
                               : QStringLiteral("Importazione automatica con errori");
    const QString corpo = FileCopyService::corpoNotifica(nome, esito);
    std::optional<AzioneNotifica> apri;
    if (esito.nuovi > 0 && servizi.apritore) {
        AperturaDesktop *apritore = servizi.apritore;
        apri =
            AzioneNotifica{QStringLiteral("Apri %1").arg(AppSettings::folderName(destinazione)),
                           [apritore, destinazione] { apritore->apri(QUrl::fromLocalFile(destinazione)); }};
    }
    co_await servizi.notifiche->notifica(titolo, corpo, fallito ? Urgenza::critica : Urgenza::normale,
                                         std::move(apri));
}

QCoro::Task<> sincronizzaChiavette(Servizi servizi, const ElencoChiavette *chiavette,
                                   std::optional<USBDrive> a, std::optional<USBDrive> b)
{
    const QList<USBDrive> drives = chiavette ? chiavette->drives() : QList<USBDrive>();
    if (!a && !drives.isEmpty())
        a = drives.at(0);
    if (!b && drives.size() >= 2)
        b = drives.at(1);
    if (!a || !b) {
        servizi.avvisi->mostraAvviso(
            QStringLiteral("Servono 2 USB"),
            QStringLiteral("Per clonare servono due USB collegate contemporaneamente. "
                           "Attualmente ne sono collegate %1.")
                .arg(drives.size()),
            StileAvviso::informativo);
        co_return;
    }
    if (a->url == b->url) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Errore"),
                                     QStringLiteral("Non puoi clonare una USB con se stessa."),
                                     StileAvviso::informativo);
        co_return;
    }
    const USBDrive primo = *a;
    const USBDrive secondo = *b;
    co_await CloneUSBService::sincronizza(servizi, primo, secondo);
}
