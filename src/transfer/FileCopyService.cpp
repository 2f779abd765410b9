#include "transfer/FileCopyService.h"

#include "comune/Colori.h"
#include "comune/NomiFile.h"
#include "operations/CentroOperazioni.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/Orologio.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/PrioritaLavoro.h"
#include "operations/Registro.h"
#include "operations/StoricoChiavette.h"
#include "platform/AperturaDesktop.h"
#include "platform/OperazioniFile.h"
#include "settings/AppSettings.h"
#include "transfer/CopieInArchivio.h"
#include "transfer/VisitaCartelle.h"

#include <algorithm>
#include <cerrno>
#include <QCoro/QCoroFuture>
#include <QDir>
#include <QFileInfo>
#include <QtConcurrent/qtconcurrenttask.h>
#include <sys/stat.h>

namespace {

// "“DCIM/IMG_0001.JPG”: reason": where on the stick, so the practice can tell
// whose images did not arrive.
QString rigaFallito(const QString &sorgente, const QString &file, const QString &motivo)
{
    const QString radice = conBarra(sorgente);
    const QString relativo = file.startsWith(radice) ? file.mid(radice.size()) : nomeDi(file);
    return nomeLeggibile(QStringLiteral("“%1”: %2").arg(relativo, motivo));
}

const QString nonCorrisponde = QStringLiteral("la copia non corrisponde all'originale (verifica SHA-256)");

// Only the files whose extension (any case) is one of `estensioni`.
void tieniEstensioni(QStringList &file, const QSet<QString> &estensioni)
{
    file.removeIf([&](const QString &f) {
        const QString ext = QFileInfo(f).suffix().toLower();
        return ext.isEmpty() || !estensioni.contains(ext);
    });
}

// What the copy and the import note alike: a file left out, named with
// where it is on the stick and why; a proven copy, in the manifest, named
// from the archive folder as `sha256sum -c` run there finds it.
void annota(const FileArchiviato &f, const QString &sorgente, const QString &archivio, QStringList &falliti,
            QList<VoceManifesto> *verificati)
{
    const QString radice = conBarra(archivio);
    if (f.esito == FileArchiviato::Esito::nonCopiato)
        falliti.append(rigaFallito(sorgente, f.sorgente, f.motivo));
    else if (f.esito == FileArchiviato::Esito::verificato && verificati)
        verificati->append(
            {f.destinazione.startsWith(radice) ? f.destinazione.mid(radice.size()) : nomeDi(f.destinazione),
             f.sha256});
}

// The folders the stick answered with an input/output error count among
// what it could not read.
qint64 illeggibili(const QList<CartellaNonLetta> &nonLette)
{
    return std::count_if(nonLette.cbegin(), nonLette.cend(),
                         [](const CartellaNonLetta &c) { return c.errore == EIO; });
}

void conta(EsitoCopia &esito, const FileArchiviato &f, const QString &sorgente, const QString &archivio,
           QList<VoceManifesto> *verificati)
{
    using enum FileArchiviato::Esito;
    annota(f, sorgente, archivio, esito.falliti, verificati);
    esito.illeggibili += f.illeggibile;
    esito.giaPresenti += f.esito == giaPresente;
    esito.errori += f.esito == nonCopiato;
    esito.copiati += f.esito == collocato;
    esito.verificati += f.esito == verificato;
    esito.interrotti += f.esito == interrotto;
    // A copy placed, then taken away again unproven, is not in the archive.
    esito.copiati -= f.esito == interrotto && !f.destinazione.isEmpty();
    if (f.esito == collocato && f.rinominato) {
        ++esito.rinominati;
        esito.nomiRinominati.append(nomeDi(f.sorgente));
    }
    if (f.esito == nonVerificato)
        esito.nonVerificati.append(nomeDi(f.sorgente));
}

// An import names an image that failed its proof among the failures too.
void conta(EsitoImportazione &esito, const FileArchiviato &f, const QString &sorgente,
           const QString &archivio, QList<VoceManifesto> *verificati)
{
    using enum FileArchiviato::Esito;
    annota(f, sorgente, archivio, esito.falliti, verificati);
    esito.illeggibili += f.illeggibile;
    esito.saltati += f.esito == giaPresente;
    esito.errori += f.esito == nonCopiato;
    esito.nuovi += f.esito == verificato;
    esito.corrotti += f.esito == nonVerificato;
    esito.interrotti += f.esito == interrotto;
    if (f.esito == nonVerificato)
        esito.falliti.append(rigaFallito(sorgente, f.sorgente, nonCorrisponde));
}

// Hands the files to `copie` in order, telling the card which file it is at
// and the bytes done of all there are, within a large file too (a few times a
// second), until the list ends or `stop` is requested. Returns how many files
// it never reached.
qsizetype copiaInOrdine(CopieInArchivio &copie, const QStringList &file, const QList<qint64> &dimensioni,
                        const Riferisci &riferisci, const std::stop_token &stop)
{
    qint64 totale = 0;
    for (const qint64 d : dimensioni)
        totale += d;
    const qsizetype n = file.size();
    qint64 elaborati = 0;
    double ultimoRapporto = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (stop.stop_requested())
            return n - i;
        const auto avanzamento = [&](qint64 fatti) -> Avanzamento {
            return {.frazione = totale > 0 ? double(fatti) / double(totale) : double(i) / double(n),
                    .byteFatti = fatti,
                    .byteTotali = totale};
        };
        if (riferisci) {
            Avanzamento a = avanzamento(elaborati);
            a.dettaglio = dettaglioAvanzamento(i + 1, n, nomeDi(file.at(i)));
            riferisci(a);
        }
        const LottoCopie::Passo passo = [&](qint64 copiati) {
            const double ora = Orologio::secondiMonotoni();
            if (riferisci && copiati > 0 && ora - ultimoRapporto >= 0.2) {
                ultimoRapporto = ora;
                // A file that grew since it was listed must not run past the next one's start.
                riferisci(avanzamento(elaborati + qMin(copiati, dimensioni.at(i))));
            }
            return !stop.stop_requested();
        };
        copie.aggiungi(file.at(i), dimensioni.at(i), passo);
        elaborati += dimensioni.at(i);
    }
    return 0;
}

// The outcome of a copy. When the archive holds anything of the stick, a
// button beside "OK" opens the archive folder; "OK" stays the default and
// what Escape answers.
void mostraEsitoCopia(const Servizi &servizi, const QString &destinazione, const EsitoCopia &esito)
{
    const QString cartella = AppSettings::folderName(destinazione);
    RichiestaAvviso richiesta;
    if (esito.interrotti > 0) {
        // Stopped on request: neither a success nor a failure.
        richiesta = {QStringLiteral("Copia interrotta"),
                     FileCopyService::testoCopiaInterrotta(esito, cartella), StileAvviso::informativo};
    } else {
        // "Completata" only when nothing failed; "non riuscita" when nothing
        // of the stick is in the archive either.
        const bool fallito = esito.errori > 0 || !esito.nonVerificati.isEmpty();
        const bool nulla = esito.verificati + esito.giaPresenti == 0;
        richiesta = {!fallito ? QStringLiteral("Copia completata")
                     : nulla  ? QStringLiteral("Copia non riuscita")
                              : QStringLiteral("Copia completata con errori"),
                     FileCopyService::testoRiepilogo(esito, cartella),
                     !fallito ? StileAvviso::informativo
                     : nulla  ? StileAvviso::critico
                              : StileAvviso::avvertenza};
    }
    const bool daVedere = esito.copiati + esito.giaPresenti > 0 && servizi.apritore;
    if (daVedere) {
        richiesta.pulsanti = {QStringLiteral("OK"), QStringLiteral("Apri %1").arg(cartella)};
        richiesta.pulsanteEsc = 0;
    }
    if (servizi.avvisi->presenta(richiesta).pulsante == 1 && daVedere)
        servizi.apritore->apri(QUrl::fromLocalFile(destinazione));
}

QList<qint64> dimensioniDi(const QStringList &file)
{
    QList<qint64> dimensioni;
    dimensioni.reserve(file.size());
    for (const QString &f : file)
        dimensioni.append(dimensione(f).value_or(0));
    return dimensioni;
}

} // namespace

Collocazione FileCopyService::collocazione(const AppSettings *settings, const QString &archivio,
                                           const QString &sorgente, const QString &chiavetta)
{
    const OrdineArchivio ordine = settings ? settings->ordineArchivio() : OrdineArchivio::unicaCartella;
    return Collocazione(ordine, archivio, sorgente, chiavetta, Orologio::adesso().date());
}

QString FileCopyService::archivioNonRaggiungibile(const QString &cartella, const AppSettings *settings)
{
    struct stat info;
    const int errore = ::stat(codificaNome(cartella).constData(), &info) == 0 ? 0 : errno;
    const bool predefinita = settings && settings->isDefaultDestination() &&
                             QDir::cleanPath(cartella) == QDir::cleanPath(settings->destinationPath());
    if (errore == 0 || predefinita)
        return {};
    const QString perche =
        errore == ENOENT ? QStringLiteral("la cartella non esiste") : descrizioneErrore(errore);
    return QStringLiteral("%1 non è raggiungibile: %2. Collega il disco o la cartella di rete e riprova.")
        .arg(AppSettings::folderName(cartella), perche);
}

QCoro::Task<> FileCopyService::copia(Servizi servizi, QString sorgente, QString destinazione,
                                     std::optional<QSet<QString>> estensioni,
                                     std::optional<QStringList> soloFile)
{
    const QString nonRaggiungibile = archivioNonRaggiungibile(destinazione, servizi.impostazioni);
    if (!nonRaggiungibile.isEmpty()) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Copia non riuscita"), nonRaggiungibile,
                                     StileAvviso::critico);
        co_return;
    }
    QString errore;
    if (!creaCartella(destinazione, &errore)) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Errore"),
                                     QStringLiteral("Impossibile accedere alla cartella di destinazione:\n") +
                                         errore,
                                     StileAvviso::avvertenza);
        co_return;
    }
    if (impegnoBloccante(estensioni ? Avvio::copiaFiltrata : Avvio::copia, statoImpegni(servizi))) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Operazione in corso"),
                                     QStringLiteral("C'è già una copia o sincronizzazione in corso. "
                                                    "Attendi che finisca."),
                                     StileAvviso::informativo);
        co_return;
    }

    const QString cartella = AppSettings::folderName(destinazione);
    // The stick's mount point carries its name. The work is a named future
    // (README, "GCC 12 and coroutines").
    const QString chiavetta = nomeDi(QDir::cleanPath(sorgente));
    const Collocazione dove = collocazione(servizi.impostazioni, destinazione, sorgente, chiavetta);
    std::stop_source stop;
    CentroOperazioni::Operazione op{QStringLiteral("Copia da «%1» in %2…").arg(chiavetta, cartella),
                                    std::nullopt, std::nullopt, QStringLiteral("doc.on.doc.fill"),
                                    Colori::green()};
    op.annulla = annullaCon(stop);
    ImpegnoTenuto scheda(servizi.centro, op);
    const Riferisci avanzamento = versoCentro(servizi.centro);
    const std::stop_token token = stop.get_token();
    QFuture<EsitoCopia> lavoro =
        QtConcurrent::task([sorgente, estensioni, dove, avanzamento, chiavetta, soloFile, token] {
            const PrioritaLavoro sottofondo;
            // Read before the copy: a stick that fails may be gone by its end.
            const IdentitaChiavetta identita =
                leggiIdentitaChiavetta({QUuid(), QUrl::fromLocalFile(sorgente), chiavetta, QDateTime()});
            QList<VoceManifesto> verificati;
            EsitoCopia esito =
                eseguiCopia(sorgente, estensioni, dove, avanzamento, &verificati, soloFile, token);
            // Whatever happens to it, the copies stand as they are.
            esito.manifesto = scriviManifesto(dove.archivio(), chiavetta, verificati);
            StoricoChiavette::shared().registra(identita, {.tipo = EventoChiavetta::Tipo::copia,
                                                           .riuscito = esito.illeggibili == 0,
                                                           .illeggibili = int(esito.illeggibili)});
            return esito;
        })
            .withPriority(prioritaCopia)
            .spawn();
    const EsitoCopia esito = co_await lavoro;
    scheda.rilascia();
    mostraEsitoCopia(servizi, destinazione, esito);
    registra(rigaRegistro(destinazione, esito));
}

EsitoCopia FileCopyService::eseguiCopia(const QString &sorgente,
                                        const std::optional<QSet<QString>> &estensioni,
                                        const Collocazione &destinazione, const Riferisci &riferisci,
                                        QList<VoceManifesto> *verificati,
                                        const std::optional<QStringList> &soloFile, std::stop_token stop)
{
    QList<CartellaNonLetta> nonLette;
    QStringList file = soloFile ? *soloFile : elencaFile(sorgente, &nonLette);
    if (estensioni)
        tieniEstensioni(file, *estensioni);

    EsitoCopia esito;
    // Whatever those folders hold was neither copied nor verified.
    esito.cartelleNonLette = descriviNonLette(nonLette);
    esito.errori = nonLette.size();
    esito.illeggibili = illeggibili(nonLette);
    // The flow has already refused a chosen folder that is gone; one that goes
    // away from here on is not made again.
    const QString &archivio = destinazione.archivio();
    creaCartella(archivio);
    CopieInArchivio copie(
        destinazione, [&](const FileArchiviato &f) { conta(esito, f, sorgente, archivio, verificati); },
        stop);
    esito.interrotti += copiaInOrdine(copie, file, dimensioniDi(file), riferisci, stop);
    // The last batch, and what is still to verify, in front of the user.
    copie.completa(riferisci);
    return esito;
}

EsitoImportazione FileCopyService::eseguiImportazione(const QString &sorgente,
                                                      const Collocazione &destinazione,
                                                      const QSet<QString> &estensioni,
                                                      const Riferisci &riferisci,
                                                      QList<VoceManifesto> *verificati, std::stop_token stop)
{
    QList<CartellaNonLetta> nonLette;
    QStringList file = elencaFile(sorgente, &nonLette);
    tieniEstensioni(file, estensioni);

    EsitoImportazione esito;
    esito.cartelleNonLette = descriviNonLette(nonLette);
    esito.errori = nonLette.size();
    esito.illeggibili = illeggibili(nonLette);
    const QString &archivio = destinazione.archivio();
    creaCartella(archivio); // as in eseguiCopia
    // Each batch's images are proven right after it is flushed, while the
    // next batch is written.
    CopieInArchivio copie(
        destinazione, [&](const FileArchiviato &f) { conta(esito, f, sorgente, archivio, verificati); },
        stop);
    esito.interrotti += copiaInOrdine(copie, file, dimensioniDi(file), riferisci, stop);
    copie.completa();
    return esito;
}
