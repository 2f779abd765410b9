#include "transfer/FileCopyService.h"

#include "comune/Colori.h"
#include "comune/NomiFile.h"
#include "operations/AlertPresenter.h"
#include "operations/Avanzamento.h"
#include "operations/CentroOperazioni.h"
#include "operations/Impegni.h"
#include "operations/PrioritaLavoro.h"
#include "operations/Registro.h"
#include "platform/Notifier.h"
#include "platform/OperazioniFile.h"
#include "settings/AppSettings.h"
#include "transfer/CategoriaFile.h"
#include "transfer/Digest.h"
#include "transfer/ElencoFalliti.h"
#include "transfer/GiaInArchivio.h"
#include "transfer/LottoCopie.h"
#include "transfer/VisitaCartelle.h"

#include <memory>
#include <QCoro/QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/qtconcurrenttask.h>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace {

constexpr qsizetype nomiMostrati = 8;

// Read-ahead of the verification: how many pairs, and how many bytes in all,
// may be on their way from the disk while one pair is hashed.
constexpr qsizetype coppieAnticipate = 16;
constexpr qint64 byteAnticipoMassimo = qint64(96) << 20;

// The log names every folder left unread, not just how many.
QString cartelleInRiga(const QStringList &cartelle)
{
    if (cartelle.isEmpty())
        return {};
    return QStringLiteral("; cartelle non lette: ") + cartelle.join(QStringLiteral("; "));
}

// A copy placed by a batch: where from, where it landed, how big.
struct Coppia {
    QString sorgente;
    QString destinazione;
    qint64 dimensione = 0;
};

// Proves each copy by hashing both sides as read back from the media. The
// disk fetches a few pairs ahead while one pair is hashed. `prima` runs
// before each pair, `dopo` gets the digest both sides share, or none when
// they differ or one could not be read.
void verificaCoppie(const QList<Coppia> &coppie, const std::function<void(qsizetype)> &prima,
                    const std::function<void(qsizetype, const std::optional<QString> &)> &dopo)
{
    const qsizetype m = coppie.size();
    qsizetype anticipate = 0;
    qint64 byteAnticipati = 0;
    for (qsizetype j = 0; j < m; ++j) {
        const Coppia &c = coppie.at(j);
        while (anticipate < m && (anticipate == j || (anticipate - j < coppieAnticipate &&
                                                      byteAnticipati < byteAnticipoMassimo))) {
            const Coppia &prossima = coppie.at(anticipate++);
            anticipaLettura(prossima.sorgente);
            anticipaLettura(prossima.destinazione);
            byteAnticipati += qMin(prossima.dimensione, byteAnticipati) * 2;
        }
        if (prima)
            prima(j);
        const std::optional<QString> a = hashSHA256Anticipato(c.sorgente);
        const std::optional<QString> b = a ? hashSHA256Anticipato(c.destinazione) : std::nullopt;
        dopo(j, a && b && *a == *b ? a : std::nullopt);
        byteAnticipati -= qMin(c.dimensione, byteAnticipati) * 2;
    }
}

Avanzamento versoCentro(CentroOperazioni *centro)
{
    QPointer<CentroOperazioni> c(centro);
    return
        [c](std::optional<double> frazione, std::optional<QString> dettaglio, std::optional<QString> titolo) {
            // The centre lives as long as the application; the pointer only guards
            // the tests' short-lived ones.
            if (CentroOperazioni *centro = c.data())
                centro->aggiornaDaLavoroFrequente(frazione, dettaglio, titolo);
        };
}

// "“DCIM/IMG_0001.JPG”: reason": where on the stick, so the practice can tell
// whose images did not arrive.
QString rigaFallito(const QString &sorgente, const QString &file, const QString &motivo)
{
    const QString radice = conBarra(sorgente);
    const QString relativo = file.startsWith(radice) ? file.mid(radice.size()) : nomeDi(file);
    return nomeLeggibile(QStringLiteral("“%1”: %2").arg(relativo, motivo));
}

const QString nonCorrisponde = QStringLiteral("la copia non corrisponde all'originale (verifica SHA-256)");

// Why the archive folder cannot be used, for the user; empty when it is there
// or is the default one, which is made on first use. A folder the user chose
// that is gone is a disk unplugged or a network share not mounted: one made
// in its place on this computer would take the copies where the practice does
// not look, and a later mount would hide them.
QString archivioNonRaggiungibile(const QString &cartella, const AppSettings *settings)
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

// The archive is flat: a copy's name relative to it is its file name.
VoceManifesto voceManifesto(const Coppia &coppia, const QString &sha256)
{
    return {nomeDi(coppia.destinazione), sha256};
}

// What the log line adds about the manifest; nothing when none was due.
QString manifestoInRiga(const EsitoManifesto &manifesto)
{
    if (!manifesto.percorso.isEmpty())
        return QStringLiteral("; manifesto: ") + manifesto.percorso;
    if (!manifesto.errore.isEmpty())
        return QStringLiteral("; manifesto non scritto: ") + manifesto.errore;
    return {};
}

} // namespace

QCoro::Task<> FileCopyService::copia(QString sorgente, QString destinazione,
                                     std::optional<QSet<QString>> estensioni, Servizi servizi,
                                     std::optional<QStringList> soloFile)
{
    const QString nonRaggiungibile = archivioNonRaggiungibile(destinazione, servizi.settings);
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
    SchedaTenuta scheda(servizi.centro, {QStringLiteral("Copia in %1…").arg(cartella), std::nullopt,
                                         std::nullopt, QStringLiteral("doc.on.doc.fill"), Colori::green()});
    const Avanzamento avanzamento = versoCentro(servizi.centro);
    // Named, not a temporary inside the co_await: GCC 12 mishandles the
    // destruction of such temporaries in coroutines.
    // The stick's mount point carries its name.
    const QString chiavetta = nomeDi(QDir::cleanPath(sorgente));
    QFuture<EsitoCopia> lavoro =
        QtConcurrent::task([sorgente, estensioni, destinazione, avanzamento, chiavetta, soloFile] {
            const PrioritaLavoro sottofondo;
            QList<VoceManifesto> verificati;
            EsitoCopia esito =
                eseguiCopia(sorgente, estensioni, destinazione, avanzamento, &verificati, soloFile);
            // Whatever happens to it, the copies stand as they are.
            esito.manifesto = scriviManifesto(destinazione, chiavetta, verificati);
            return esito;
        })
            .withPriority(prioritaCopia)
            .spawn();
    const EsitoCopia esito = co_await lavoro;
    scheda.rilascia();

    // "Completata" only when nothing failed; "non riuscita" when nothing of
    // the stick is in the archive either.
    const bool fallito = esito.errori > 0 || !esito.nonVerificati.isEmpty();
    const bool nulla = esito.verificati + esito.giaPresenti == 0;
    servizi.avvisi->mostraAvviso(!fallito ? QStringLiteral("Copia completata")
                                 : nulla  ? QStringLiteral("Copia non riuscita")
                                          : QStringLiteral("Copia completata con errori"),
                                 testoRiepilogo(esito, cartella),
                                 !fallito ? StileAvviso::informativo
                                 : nulla  ? StileAvviso::critico
                                          : StileAvviso::avvertenza);
    registra(rigaRegistro(destinazione, esito));
}

EsitoCopia FileCopyService::eseguiCopia(const QString &sorgente,
                                        const std::optional<QSet<QString>> &estensioni,
                                        const QString &destinazione, const Avanzamento &avanzamento,
                                        QList<VoceManifesto> *verificati,
                                        const std::optional<QStringList> &soloFile)
{
    const auto riferisci = [&](std::optional<double> f, std::optional<QString> d, std::optional<QString> t) {
        if (avanzamento)
            avanzamento(f, std::move(d), std::move(t));
    };

    QList<CartellaNonLetta> nonLette;
    QStringList file = soloFile ? *soloFile : elencaFile(sorgente, &nonLette);
    if (estensioni) {
        file.removeIf([&](const QString &f) {
            const QString ext = QFileInfo(f).suffix().toLower();
            return ext.isEmpty() || !estensioni->contains(ext);
        });
    }
    QList<qint64> dimensioni;
    qint64 totale = 0;
    for (const QString &f : std::as_const(file)) {
        dimensioni.append(dimensione(f).value_or(0));
        totale += dimensioni.last();
    }

    // Failures met while listing and writing; the batches keep the rest.
    EsitoCopia esito;
    // Whatever those folders hold was neither copied nor verified.
    esito.cartelleNonLette = descriviNonLette(nonLette);
    esito.errori = nonLette.size();
    // The flow has already refused a chosen folder that is gone; one that goes
    // away from here on is not made again (LottoCopie::creaCartelle).
    creaCartella(destinazione);
    GiaInArchivio archiviati(destinazione);

    // Copies wait in a batch until it is flushed; only then is each known to
    // be on the disk, under which name. A flushed batch is verified by a
    // thread of its own while the next one is being written, so the disk
    // reads one back while it writes the other. One batch at a time is behind:
    // the memory and the open files stay those of two batches.
    EsitoCopia esitoLotti; // touched by one thread at a time: the one behind, or this one after join
    QStringList collocati; // final paths of the batch behind, likewise
    qsizetype verificatiDietro = 0;
    const auto completaLotto = [&](LottoCopie &lotto, const QList<Coppia> &inAttesa) {
        QList<Coppia> coppie;
        const QList<EsitoCopiaFile> risultati = lotto.completa();
        for (qsizetype k = 0; k < risultati.size() && k < inAttesa.size(); ++k) {
            const EsitoCopiaFile &r = risultati.at(k);
            if (!r.ok) {
                ++esitoLotti.errori;
                esitoLotti.falliti.append(rigaFallito(sorgente, inAttesa.at(k).sorgente, r.motivo));
                continue;
            }
            if (r.giaPresente) {
                ++esitoLotti.giaPresenti;
                continue;
            }
            ++esitoLotti.copiati;
            collocati.append(r.destinazione);
            coppie.append({inAttesa.at(k).sorgente, r.destinazione, inAttesa.at(k).dimensione});
            if (r.destinazione != inAttesa.at(k).destinazione) {
                ++esitoLotti.rinominati;
                esitoLotti.nomiRinominati.append(nomeDi(inAttesa.at(k).sorgente));
            }
        }
        return coppie;
    };
    const auto registraVerifica = [&esitoLotti, verificati](const QList<Coppia> &coppie, qsizetype j,
                                                            const std::optional<QString> &sha256) {
        if (!sha256) {
            esitoLotti.nonVerificati.append(nomeDi(coppie.at(j).sorgente));
            return;
        }
        ++esitoLotti.verificati;
        if (verificati)
            verificati->append(voceManifesto(coppie.at(j), *sha256));
    };

    auto lotto = std::make_unique<LottoCopie>();
    lotto->creaCartelle(false);
    QList<Coppia> inAttesa;             // source and plain target of each file in the batch
    QSet<QString> nomiInAttesa, dietro; // plain targets in the batch, and in the one behind
    std::thread lavoroDietro;
    const auto attendiDietro = [&] {
        if (lavoroDietro.joinable())
            lavoroDietro.join();
        for (const QString &c : std::as_const(collocati))
            archiviati.aggiungi(c);
        collocati.clear();
        dietro.clear();
    };
    const auto consegna = [&] {
        attendiDietro();
        lavoroDietro = std::thread([&, l = std::move(lotto), attesa = std::move(inAttesa)]() mutable {
            const PrioritaLavoro sottofondo;
            const QList<Coppia> coppie = completaLotto(*l, attesa);
            l.reset();
            verificaCoppie(coppie, {}, [&](qsizetype j, const std::optional<QString> &sha256) {
                registraVerifica(coppie, j, sha256);
            });
            verificatiDietro += coppie.size();
        });
        lotto = std::make_unique<LottoCopie>();
        lotto->creaCartelle(false);
        inAttesa.clear();
        dietro = std::exchange(nomiInAttesa, {});
    };

    const qsizetype n = file.size();
    qint64 elaborati = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QString &f = file.at(i);
        const QString nome = nomeDi(f);
        const double frazione =
            totale > 0 ? double(elaborati) / double(totale) : double(i) / double(qMax(n, 1));
        riferisci(frazione, dettaglioAvanzamento(i + 1, n, nome), std::nullopt);
        elaborati += dimensioni.at(i);

        const QString piano = dentro(destinazione, nome);
        // A file of the same name still on its way must be in place before
        // this one can be found already archived.
        if (nomiInAttesa.contains(piano) || dietro.contains(piano)) {
            consegna();
            attendiDietro();
        }
        if (!archiviati.trova(f, dimensioni.at(i)).isEmpty()) {
            ++esito.giaPresenti;
            continue;
        }
        const EsitoCopiaFile r = lotto->aggiungi(f, piano);
        if (r.ok) {
            inAttesa.append({f, piano, dimensioni.at(i)});
            nomiInAttesa.insert(piano);
        } else {
            ++esito.errori;
            esito.falliti.append(rigaFallito(sorgente, f, r.motivo));
        }
        if (lotto->pieno())
            consegna();
    }
    attendiDietro();

    // The last batch, and what is still to verify, in front of the user.
    const QList<Coppia> ultime = completaLotto(*lotto, inAttesa);
    lotto.reset();
    const qsizetype m = verificatiDietro + ultime.size();
    if (m > 0) {
        riferisci(double(verificatiDietro) / double(m), std::nullopt, QStringLiteral("Verifica copia…"));
        verificaCoppie(
            ultime,
            [&](qsizetype j) {
                const qsizetype indice = verificatiDietro + j;
                riferisci(double(indice) / double(m),
                          QStringLiteral("Verifica ") +
                              dettaglioAvanzamento(indice + 1, m, nomeDi(ultime.at(j).sorgente)),
                          std::nullopt);
            },
            [&](qsizetype j, const std::optional<QString> &sha256) { registraVerifica(ultime, j, sha256); });
    }

    esitoLotti.errori += esito.errori;
    esitoLotti.giaPresenti += esito.giaPresenti;
    esitoLotti.falliti = esito.falliti + esitoLotti.falliti;
    esitoLotti.cartelleNonLette = esito.cartelleNonLette;
    return esitoLotti;
}

QCoro::Task<> FileCopyService::importaAutomaticamente(USBDrive drive, Servizi servizi)
{
    const QString nome = drive.name;
    if (impegnoBloccante(Avvio::importazioneAutomatica, statoImpegni(servizi))) {
        registra(QStringLiteral("Auto-importazione da %1 saltata: altra operazione in corso").arg(nome));
        co_return;
    }
    const QString destinazione = servizi.settings->destinationPath();
    const QString nonRaggiungibile = archivioNonRaggiungibile(destinazione, servizi.settings);
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

    SchedaTenuta scheda(servizi.centro,
                        {QStringLiteral("Importazione automatica da %1…").arg(nome), std::nullopt,
                         std::nullopt, QStringLiteral("tray.and.arrow.down.fill"), Colori::coloreMarchio()});
    const QString sorgente = drive.path();
    const QSet<QString> immagini = insiemeEstensioni(CategoriaFile::immagini);
    const Avanzamento avanzamento = versoCentro(servizi.centro);
    QFuture<EsitoImportazione> lavoro =
        QtConcurrent::task([sorgente, destinazione, immagini, avanzamento, nome] {
            const PrioritaLavoro sottofondo;
            QList<VoceManifesto> verificati;
            EsitoImportazione esito =
                eseguiImportazione(sorgente, destinazione, immagini, avanzamento, &verificati);
            esito.manifesto = scriviManifesto(destinazione, nome, verificati);
            return esito;
        })
            .withPriority(prioritaImportazione)
            .spawn();
    const EsitoImportazione esito = co_await lavoro;
    scheda.rilascia();

    registra(rigaRegistroImportazione(nome, esito));
    const bool fallito = esito.errori > 0 || esito.corrotti > 0;
    if (esito.nuovi == 0 && !fallito)
        co_return;
    // The same rule as the copy's summary: a failure is never told as a success.
    const QString titolo = !fallito ? QStringLiteral("Importazione automatica")
                           : esito.nuovi + esito.saltati == 0
                               ? QStringLiteral("Importazione automatica non riuscita")
                               : QStringLiteral("Importazione automatica con errori");
    const QString corpo = corpoNotifica(nome, esito);
    co_await servizi.notifiche->notifica(titolo, corpo, fallito ? Urgenza::critica : Urgenza::normale);
}

EsitoImportazione FileCopyService::eseguiImportazione(const QString &sorgente, const QString &destinazione,
                                                      const QSet<QString> &estensioni,
                                                      const Avanzamento &avanzamento,
                                                      QList<VoceManifesto> *verificati)
{
    QList<CartellaNonLetta> nonLette;
    QStringList file = elencaFile(sorgente, &nonLette);
    file.removeIf([&](const QString &f) {
        const QString ext = QFileInfo(f).suffix().toLower();
        return ext.isEmpty() || !estensioni.contains(ext);
    });

    EsitoImportazione esito;
    esito.cartelleNonLette = descriviNonLette(nonLette);
    esito.errori = nonLette.size();

    // The copies go through the same batches as a copy the user asked for;
    // each batch's images are verified right after it is flushed, while the
    // next batch is flushed behind.
    creaCartella(destinazione); // as in eseguiCopia
    GiaInArchivio archiviati(destinazione);
    LottoCopie lotto;
    lotto.creaCartelle(false);
    QList<Coppia> inAttesa, dietro; // source and plain target of each file waiting, and handed over
    QSet<QString> nomiInAttesa;     // of both
    const auto verifica = [&](const QList<Coppia> &lotti, const QList<EsitoCopiaFile> &risultati) {
        QList<Coppia> copiate;
        for (qsizetype k = 0; k < lotti.size(); ++k) {
            const EsitoCopiaFile r = risultati.value(k);
            if (r.ok && r.giaPresente) {
                ++esito.saltati;
            } else if (r.ok) {
                copiate.append({lotti.at(k).sorgente, r.destinazione, lotti.at(k).dimensione});
                archiviati.aggiungi(r.destinazione);
            } else {
                ++esito.errori;
                esito.falliti.append(rigaFallito(sorgente, lotti.at(k).sorgente, r.motivo));
            }
        }
        verificaCoppie(copiate, {}, [&](qsizetype j, const std::optional<QString> &sha256) {
            ++(sha256 ? esito.nuovi : esito.corrotti);
            if (!sha256)
                esito.falliti.append(rigaFallito(sorgente, copiate.at(j).sorgente, nonCorrisponde));
            if (sha256 && verificati)
                verificati->append(voceManifesto(copiate.at(j), *sha256));
        });
    };
    const auto raccogliDietro = [&] {
        const QList<EsitoCopiaFile> risultati = lotto.risultatiDietro();
        verifica(std::exchange(dietro, {}), risultati);
    };
    const auto consegna = [&] {
        const QList<EsitoCopiaFile> risultati = lotto.risultatiDietro();
        const QList<Coppia> precedenti = std::exchange(dietro, std::exchange(inAttesa, {}));
        lotto.completaDietro();
        verifica(precedenti, risultati);
        nomiInAttesa.clear();
        for (const Coppia &c : std::as_const(dietro))
            nomiInAttesa.insert(c.destinazione);
    };
    const auto svuota = [&] {
        raccogliDietro();
        const QList<EsitoCopiaFile> risultati = lotto.completa();
        verifica(std::exchange(inAttesa, {}), risultati);
        nomiInAttesa.clear();
    };

    const qsizetype n = file.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QString &f = file.at(i);
        const QString nome = nomeDi(f);
        if (avanzamento)
            avanzamento(double(i) / double(qMax(n, 1)), dettaglioAvanzamento(i + 1, n, nome), std::nullopt);

        const QString piano = dentro(destinazione, nome);
        // An image of the same name waiting in the batch must be in place
        // before this one can be found already archived.
        if (nomiInAttesa.contains(piano))
            svuota();
        const std::optional<qint64> suChiavetta = dimensione(f);
        if (suChiavetta && !archiviati.trova(f, *suChiavetta).isEmpty()) {
            ++esito.saltati;
            continue;
        }

        const EsitoCopiaFile r = lotto.aggiungi(f, piano);
        if (!r.ok) {
            ++esito.errori;
            esito.falliti.append(rigaFallito(sorgente, f, r.motivo));
            continue;
        }
        inAttesa.append({f, piano, suChiavetta.value_or(0)});
        nomiInAttesa.insert(piano);
        if (lotto.pieno())
            consegna();
    }
    svuota();
    return esito;
}

QString FileCopyService::testoRiepilogo(const EsitoCopia &esito, const QString &cartella)
{
    QString testo = QStringLiteral("File copiati: %1").arg(esito.copiati);
    // "All" only when every file under the stick was read and copied.
    if (esito.copiati > 0 && esito.nonVerificati.isEmpty() && esito.errori == 0) {
        testo += QStringLiteral("\n✓ Verifica integrità: tutti i %1 file sono identici agli originali.")
                     .arg(esito.verificati);
    } else if (esito.copiati > 0 && esito.nonVerificati.isEmpty()) {
        testo += QStringLiteral("\n✓ Verifica integrità: i %1 file copiati sono identici agli originali, "
                                "ma non tutti i file della chiavetta sono stati copiati (vedi errori).")
                     .arg(esito.verificati);
    }
    if (esito.copiati > 0 && !esito.nonVerificati.isEmpty()) {
        testo += QStringLiteral("\n\n❌ ATTENZIONE: %1 file NON hanno superato la verifica di integrità "
                                "(possibile corruzione):\n")
                     .arg(esito.nonVerificati.size());
        testo += esito.nonVerificati.first(qMin(nomiMostrati, esito.nonVerificati.size()))
                     .join(QStringLiteral(", "));
        testo += QStringLiteral("\nNon cancellare gli originali dalla chiavetta e riprova la copia.");
    }
    if (esito.rinominati > 0) {
        testo += QStringLiteral(
                     "\n\n⚠️ %1 file erano già presenti nella destinazione e sono stati rinominati con "
                     "timestamp (entrambe le versioni mantenute):")
                     .arg(esito.rinominati);
        testo += QStringLiteral("\n\n");
        testo += esito.nomiRinominati.first(qMin(nomiMostrati, esito.nomiRinominati.size()))
                     .join(QStringLiteral(", "));
        if (esito.nomiRinominati.size() > nomiMostrati)
            testo += QStringLiteral(" e altri %1...").arg(esito.nomiRinominati.size() - nomiMostrati);
    }
    if (esito.giaPresenti > 0)
        testo += QStringLiteral("\n\n%1 file erano già in %2, identici.")
                     .arg(QString::number(esito.giaPresenti),
                          cartella.isEmpty() ? QStringLiteral("archivio") : cartella);
    if (esito.errori > 0)
        testo += QStringLiteral("\n\n❌ Errori durante la copia: %1").arg(esito.errori);
    if (!esito.falliti.isEmpty())
        testo += QLatin1Char('\n') + primeRighe(esito.falliti);
    if (!esito.cartelleNonLette.isEmpty()) {
        testo += QStringLiteral("\nCartelle della chiavetta che non è stato possibile leggere (i file che "
                                "contengono non sono stati copiati):\n");
        testo += esito.cartelleNonLette.first(qMin(nomiMostrati, esito.cartelleNonLette.size()))
                     .join(QLatin1Char('\n'));
        if (esito.cartelleNonLette.size() > nomiMostrati)
            testo += QStringLiteral("\ne altre %1...").arg(esito.cartelleNonLette.size() - nomiMostrati);
    }
    if (!esito.manifesto.percorso.isEmpty())
        testo +=
            QStringLiteral("\n\nManifesto SHA-256 per ricontrollare l'archivio: ") + esito.manifesto.percorso;
    else if (!esito.manifesto.errore.isEmpty())
        testo += QStringLiteral("\n\n⚠️ Manifesto SHA-256 non scritto: %1. Le copie e la loro verifica "
                                "restano valide.")
                     .arg(esito.manifesto.errore);
    return nomeLeggibile(testo);
}

QString FileCopyService::rigaRegistro(const QString &destinazione, const EsitoCopia &esito)
{
    // One pass over every value: a "%2" in a folder name must stay as it is.
    return nomeLeggibile(
        QStringLiteral(
            "Copia in %1: %2 copiati, %3 verificati, %4 rinominati, %5 errori, %6 verifiche fallite")
            .arg(AppSettings::folderName(destinazione), QString::number(esito.copiati),
                 QString::number(esito.verificati), QString::number(esito.rinominati),
                 QString::number(esito.errori), QString::number(esito.nonVerificati.size())) +
        (esito.giaPresenti > 0 ? QStringLiteral("; %1 già presenti e identici").arg(esito.giaPresenti)
                               : QString()) +
        cartelleInRiga(esito.cartelleNonLette) +
        righeInRegistro(esito.falliti, QStringLiteral("non copiati")) + manifestoInRiga(esito.manifesto));
}

QString FileCopyService::rigaRegistroImportazione(const QString &nome, const EsitoImportazione &esito)
{
    return QStringLiteral(
               "Auto-importazione da %1: %2 nuove immagini, %3 già presenti, %4 errori, %5 verifiche "
               "fallite")
               .arg(nome, QString::number(esito.nuovi), QString::number(esito.saltati),
                    QString::number(esito.errori), QString::number(esito.corrotti)) +
           cartelleInRiga(esito.cartelleNonLette) +
           righeInRegistro(esito.falliti, QStringLiteral("non importate")) + manifestoInRiga(esito.manifesto);
}

QString FileCopyService::corpoNotifica(const QString &nome, const EsitoImportazione &esito)
{
    QString corpo = QStringLiteral("%1 nuove immagini importate e verificate da \"%2\".")
                        .arg(QString::number(esito.nuovi), nome);
    if (esito.saltati > 0)
        corpo += QStringLiteral(" %1 già presenti.").arg(esito.saltati);
    if (esito.errori > 0)
        corpo += QStringLiteral(" ⚠️ %1 errori di copia.").arg(esito.errori);
    if (esito.corrotti > 0)
        corpo += QStringLiteral(" ⚠️ %1 file non hanno superato la verifica.").arg(esito.corrotti);
    if (!esito.cartelleNonLette.isEmpty())
        corpo +=
            QStringLiteral(" Cartelle non lette: %1.").arg(esito.cartelleNonLette.join(QStringLiteral("; ")));
    if (!esito.manifesto.errore.isEmpty())
        corpo += QStringLiteral(" ⚠️ Manifesto SHA-256 non scritto: %1.").arg(esito.manifesto.errore);
    if (!esito.falliti.isEmpty())
        corpo += QLatin1Char('\n') + primeRighe(esito.falliti);
    return corpo;
}
