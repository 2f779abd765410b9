#include "comune/Colori.h"
#include "comune/Marchio.h"
#include "operations/CentroOperazioni.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/Orologio.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/PrioritaLavoro.h"
#include "operations/Registro.h"
#include "settings/AppSettings.h"
#include "transfer/ComandiTrasferimento.h"
#include "transfer/ElencoFalliti.h"
#include "transfer/FileCopyService.h"
#include "transfer/VerificaArchivio.h"

#include <memory>
#include <QCoro/QCoroFuture>
#include <QLocale>
#include <QPointer>
#include <QtConcurrent/qtconcurrenttask.h>

// The flow of "Verifica archivio" and the words it reports with.

namespace {

// "“IMG_0001.jpg”: cambiato — dalla chiavetta “ECO 1”, archiviato il ...": what
// the practice needs to go and fetch a good copy.
QStringList righeDaRecuperare(const EsitoVerificaArchivio &e)
{
    QStringList righe;
    for (const FileDaRecuperare &f : e.cambiati)
        righe << QStringLiteral("“%1”: cambiato — %2").arg(f.nome, f.origine);
    for (const FileDaRecuperare &f : e.mancanti)
        righe << QStringLiteral("“%1”: mancante — %2").arg(f.nome, f.origine);
    for (const FileDaRecuperare &f : e.nonLeggibili)
        righe << QStringLiteral("“%1”: non leggibile (%2) — %3").arg(f.nome, f.motivo, f.origine);
    return righe;
}

// For the log: the manifest by its own name, which the practice can open.
QStringList righeRegistro(const QList<FileDaRecuperare> &file)
{
    QStringList righe;
    for (const FileDaRecuperare &f : file) {
        const QString motivo = f.motivo.isEmpty() ? QString() : QStringLiteral(": ") + f.motivo;
        righe << QStringLiteral("“%1”%2 (manifesto %3)").arg(f.nome, motivo, f.manifesto);
    }
    return righe;
}

bool daRecuperare(const EsitoVerificaArchivio &e)
{
    return !e.cambiati.isEmpty() || !e.mancanti.isEmpty() || !e.nonLeggibili.isEmpty();
}

} // namespace

QString testoEsitoVerifica(const EsitoVerificaArchivio &e, const QString &cartella)
{
    if (!e.archivioInutilizzabile.isEmpty())
        return QStringLiteral("Non si può aprire la cartella %1: %2. Se è su un disco esterno o in rete, "
                              "collegalo e riprova.")
            .arg(cartella, e.archivioInutilizzabile);
    QString testo;
    if (e.manifesti == 0) {
        testo =
            QStringLiteral("In %1 non c'è ancora nessun manifesto da verificare: ogni copia e importazione "
                           "ne lascia uno. Se l'archivio è su un disco esterno o in rete, controlla che sia "
                           "collegato.")
                .arg(cartella);
    } else if (!daRecuperare(e)) {
        testo = QStringLiteral("✓ Tutti i %1 file elencati nei manifesti sono identici a quando sono stati "
                               "archiviati.")
                    .arg(e.identici);
    } else {
        testo = QStringLiteral("File identici: %1 · cambiati: %2 · mancanti: %3 · non leggibili: %4\n\n"
                               "❌ Questi file non sono più come quando sono stati archiviati. %5 non li ha "
                               "toccati: recuperane una copia buona dalla chiavetta indicata o dal backup.\n")
                    .arg(e.identici)
                    .arg(e.cambiati.size())
                    .arg(e.mancanti.size())
                    .arg(e.nonLeggibili.size())
                    .arg(Marchio::nomeProdotto) +
                primeRighe(righeDaRecuperare(e));
    }
    if (!e.altrove.isEmpty())
        testo +=
            QStringLiteral("\n\n%1 file elencati non sono più al loro posto o sono cambiati, ma una copia "
                           "identica è nell'archivio con un altro nome: di loro non si è perso nulla.")
                .arg(e.altrove.size());
    if (!e.nonCoperti.isEmpty())
        testo +=
            QStringLiteral("\n\n%1 file dell'archivio non compaiono in nessun manifesto (archiviati prima "
                           "dei manifesti, o aggiunti a mano): non si possono verificare.")
                .arg(e.nonCoperti.size());
    if (!e.problemiManifesti.isEmpty())
        testo += QStringLiteral(
                     "\n\n⚠️ Manifesti con righe non valide o illeggibili: %1. Quelle righe non sono "
                     "state prese per buone.")
                     .arg(e.problemiManifesti.size());
    if (!e.cartelleNonLette.isEmpty())
        testo += QStringLiteral("\n\n⚠️ Cartelle dell'archivio che non si sono potute leggere:\n") +
                 primeRighe(e.cartelleNonLette);
    if (e.problemi() || !e.nonCoperti.isEmpty() || !e.altrove.isEmpty())
        testo +=
            QStringLiteral("\n\nL'elenco completo è nel registro operazioni (Impostazioni → Apri registro "
                           "operazioni).");
    return testo;
}

QString rigaRegistroVerifica(const QString &cartella, const EsitoVerificaArchivio &e)
{
    if (!e.archivioInutilizzabile.isEmpty())
        return QStringLiteral("Verifica archivio %1 non riuscita: %2")
            .arg(cartella, e.archivioInutilizzabile);
    const QLocale c = QLocale::c();
    QString riga =
        QStringLiteral("Verifica archivio %1: %2 manifesti, %3 file elencati, %4 identici, ")
            .arg(cartella)
            .arg(e.manifesti)
            .arg(e.elencati)
            .arg(e.identici) +
        QStringLiteral("%1 cambiati, %2 mancanti, %3 non leggibili, %4 non coperti, ")
            .arg(e.cambiati.size())
            .arg(e.mancanti.size())
            .arg(e.nonLeggibili.size())
            .arg(e.nonCoperti.size()) +
        QStringLiteral("%1 problemi nei manifesti, %2 MB letti in %3 s")
            .arg(e.problemiManifesti.size())
            .arg(c.toString(double(e.byteLetti) / 1048576.0, 'f', 1), c.toString(e.secondi, 'f', 1));
    riga += righeInRegistro(righeRegistro(e.cambiati), QStringLiteral("cambiati"));
    riga += righeInRegistro(righeRegistro(e.mancanti), QStringLiteral("mancanti"));
    riga += righeInRegistro(righeRegistro(e.nonLeggibili), QStringLiteral("non leggibili"));
    QStringList altrove;
    for (const FileDaRecuperare &f : e.altrove)
        altrove << QStringLiteral("“%1” (manifesto %2), copia identica in “%3”")
                       .arg(f.nome, f.manifesto, f.motivo);
    riga += righeInRegistro(altrove, QStringLiteral("non al loro posto ma con una copia identica"));
    riga += righeInRegistro(e.problemiManifesti, QStringLiteral("problemi nei manifesti"));
    riga += righeInRegistro(e.cartelleNonLette, QStringLiteral("cartelle non lette"));
    riga += righeInRegistro(e.nonCoperti, QStringLiteral("non coperti da un manifesto"));
    return riga;
}

QCoro::Task<> verificaArchivioConScheda(Servizi servizi)
{
    const QString archivio = servizi.impostazioni->destinationPath();
    const QString cartella = AppSettings::folderName(archivio);
    if (impegnoBloccante(Avvio::verificaArchivio, statoImpegni(servizi))) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Operazione in corso"),
                                     QStringLiteral("C'è già una copia, un'importazione o una verifica in "
                                                    "corso. Attendi che finisca, poi riprova."),
                                     StileAvviso::informativo);
        co_return;
    }

    std::stop_source stop;
    CentroOperazioni::Operazione scheda{QStringLiteral("Verifica dell'archivio %1…").arg(cartella),
                                        QStringLiteral("Lettura dei manifesti…"), std::nullopt,
                                        QStringLiteral("checkmark.circle.fill"), Colori::teal()};
    scheda.annulla = annullaCon(stop);
    ImpegnoTenuto tenuta(servizi.centro, scheda);
    const Riferisci avanzamento = versoCentro(servizi.centro);
    const std::stop_token token = stop.get_token();
    QFuture<EsitoVerificaArchivio> lavoro = QtConcurrent::task([archivio, token, avanzamento] {
                                                const PrioritaLavoro sottofondo;
                                                return verificaArchivio(archivio, token, avanzamento);
                                            })
                                                .withPriority(FileCopyService::prioritaCopia)
                                                .spawn();
    const EsitoVerificaArchivio esito = co_await lavoro;
    tenuta.rilascia();
    if (esito.annullato) {
        registra(QStringLiteral("Verifica archivio %1 annullata").arg(cartella));
        co_return;
    }
    if (esito.archivioInutilizzabile.isEmpty() && esito.manifesti > 0)
        servizi.impostazioni->setUltimaVerificaArchivio(Orologio::adesso());
    // Logged before the alert: its lists are what the alert points to.
    registra(rigaRegistroVerifica(cartella, esito));

    const bool fallita = !esito.archivioInutilizzabile.isEmpty();
    servizi.avvisi->mostraAvviso(fallita ? QStringLiteral("Verifica dell'archivio non riuscita")
                                 : daRecuperare(esito)
                                     ? QStringLiteral("Verifica dell'archivio: file da recuperare")
                                     : QStringLiteral("Verifica dell'archivio completata"),
                                 testoEsitoVerifica(esito, cartella),
                                 fallita            ? StileAvviso::critico
                                 : esito.problemi() ? StileAvviso::avvertenza
                                                    : StileAvviso::informativo);
}
