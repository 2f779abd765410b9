#include "diagnostics/ComandiDiagnostica.h"

#include "comune/Dimensioni.h"
#include "comune/Marchio.h"
#include "diagnostics/MisuraVelocita.h"
#include "diagnostics/StrumentiDiagnostica.h"
#include "diagnostics/VerificaCapacita.h"
#include "operations/DiagnosticaManager.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/Registro.h"
#include "operations/StimaTempo.h"
#include "operations/StoricoChiavette.h"

#include <QCoreApplication>
#include <QCoro/QCoroFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

using namespace StrumentiDiagnostica;
using Op = DiagnosticaManager::Operazione;
using Tipo = RigaRapporto::Tipo;

namespace {
void aggiungiTutte(DiagnosticaManager *diag, const Righe &righe)
{
    for (const auto &[tipo, testo] : righe)
        diag->aggiungi(tipo, testo);
}

// On a worker: the history is synced to disk, and the window must not wait for that.
QCoro::Task<> annota(IdentitaChiavetta chiavetta, EventoChiavetta evento)
{
    QFuture<bool> scrittura = QtConcurrent::run(
        [chiavetta, evento] { return StoricoChiavette::shared().registra(chiavetta, evento); });
    co_await scrittura;
}

using Lavoro = Risultato<QString> (*)(EsecutoreDisco &, const QString &, Riferisci);

// Another check or an erase keeps a check from starting, without a word: the
// window shows what runs.
bool libera(Avvio avvio, const Servizi &servizi)
{
    return servizi.diagnostica && !impegnoBloccante(avvio, statoImpegni(servizi));
}
} // namespace

// The futures are named before each co_await, and pairs are taken apart only
// after it (README, "GCC 12 and coroutines"). The manager may be gone after a
// wait only in the tests.

QCoro::Task<> diagnosticaInfo(Servizi servizi, USBDrive drive)
{
    QPointer<DiagnosticaManager> diag = servizi.diagnostica;
    EsecutoreDisco *disco = servizi.disco;
    if (!libera(Avvio::infoDiagnostica, servizi))
        co_return;
    ImpegnoTenuto controllo(diag, Op::info);
    diag->aggiungi(Tipo::info, QStringLiteral("— Info su \"%1\" —").arg(drive.name));

    const QString percorso = drive.path();
    QFuture<Risultato<DettagliVolume>> lettura =
        QtConcurrent::run([disco, percorso] { return leggiDettagliVolume(*disco, percorso); });
    const Risultato<DettagliVolume> dettagli = co_await lettura;
    if (!diag)
        co_return;
    aggiungiTutte(diag, righeDettagli(dettagli));
    if (!dettagli)
        co_return;

    const QString discoIntero = dettagli->discoIntero;
    QFuture<std::optional<QString>> ricerca =
        QtConcurrent::run([disco, discoIntero] { return velocitaConnessione(*disco, discoIntero); });
    const std::optional<QString> etichetta = co_await ricerca;
    if (!diag)
        co_return;
    aggiungiTutte(diag, righeConnessione(etichetta));
}

namespace {
QCoro::Task<> verificaORipara(Servizi servizi, USBDrive drive, bool ripara)
{
    QPointer<DiagnosticaManager> diag = servizi.diagnostica;
    EsecutoreDisco *disco = servizi.disco;
    if (!libera(ripara ? Avvio::riparazioneDiagnostica : Avvio::verificaDiagnostica, servizi))
        co_return;
    ImpegnoTenuto controllo(diag, ripara ? Op::riparazione : Op::verifica);
    if (ripara) {
        diag->aggiungi(Tipo::info, QStringLiteral("— Riparazione di \"%1\" —").arg(drive.name));
        diag->aggiungi(Tipo::info, QStringLiteral("Durante la riparazione la chiavetta viene smontata e "
                                                  "rimontata: è normale che sparisca per qualche secondo "
                                                  "dalla lista."));
    } else {
        diag->aggiungi(Tipo::info, QStringLiteral("— Verifica integrità di \"%1\" —").arg(drive.name));
    }

    const QString percorso = drive.path();
    const Lavoro lavoro = ripara ? &riparaVolume : &verificaVolume;
    const Riferisci progresso = versoManager(diag.data());
    // The identity is read first: a repair remounts the stick.
    QFuture<std::pair<IdentitaChiavetta, Risultato<QString>>> corsa = QtConcurrent::run([=] {
        const IdentitaChiavetta chiavetta = leggiIdentitaChiavetta(drive);
        return std::pair(chiavetta, lavoro(*disco, percorso, progresso));
    });
    const std::pair<IdentitaChiavetta, Risultato<QString>> fatto = co_await corsa;
    const IdentitaChiavetta &chiavetta = fatto.first;
    const Risultato<QString> &esito = fatto.second;
    if (!diag)
        co_return;
    aggiungiTutte(diag, ripara ? righeRiparazione(esito) : righeVerifica(esito));
    co_await annota(chiavetta,
                    {.tipo = ripara ? EventoChiavetta::Tipo::riparazione : EventoChiavetta::Tipo::verifica,
                     .riuscito = bool(esito)});
}
} // namespace

QCoro::Task<> diagnosticaVerifica(Servizi servizi, USBDrive drive)
{
    return verificaORipara(servizi, drive, false);
}

QCoro::Task<> diagnosticaRiparazione(Servizi servizi, USBDrive drive)
{
    return verificaORipara(servizi, drive, true);
}

QCoro::Task<> diagnosticaVelocita(Servizi servizi, USBDrive drive)
{
    QPointer<DiagnosticaManager> diag = servizi.diagnostica;
    if (!libera(Avvio::testVelocita, servizi))
        co_return;
    ImpegnoTenuto controllo(diag, Op::testVelocita);
    diag->aggiungi(Tipo::info,
                   QStringLiteral("— Test velocità di \"%1\" (32 MB di prova) —").arg(drive.name));

    QFuture<std::pair<IdentitaChiavetta, EsitoMisura>> misura = QtConcurrent::run(
        [drive] { return std::pair(leggiIdentitaChiavetta(drive), misuraVelocita(drive.path())); });
    const std::pair<IdentitaChiavetta, EsitoMisura> fatto = co_await misura;
    const IdentitaChiavetta &chiavetta = fatto.first;
    const EsitoMisura &esito = fatto.second;
    if (!diag)
        co_return;
    if (!esito.velocita) {
        diag->aggiungi(Tipo::errore, QStringLiteral("Test non riuscito: ") + esito.errore);
        co_return;
    }
    aggiungiTutte(diag, righeVelocita(*esito.velocita));
    co_await annota(chiavetta, {.tipo = EventoChiavetta::Tipo::testVelocita,
                                .scrittura = esito.velocita->scrittura,
                                .lettura = esito.velocita->lettura});
}

namespace {
RichiestaAvviso domandaCapacita(const QString &nome, const PreparazioneCapacita &p)
{
    const QLocale locale;
    QString durata = QStringLiteral("Con così poco spazio libero bastano pochi minuti.");
    if (p.velocita) {
        const double mb = p.libero / byteInUnMB;
        const double w = std::max(p.velocita->scrittura, 0.1), r = std::max(p.velocita->lettura, 0.1);
        durata =
            QStringLiteral("Durata stimata: %1 (scrittura %2 MB/s, lettura %3 MB/s, appena misurate).")
                .arg(testoDurata(mb / w + mb / r), locale.toString(w, 'f', 1), locale.toString(r, 'f', 1));
    }
    QString testo = QStringLiteral("%1 riempirà lo spazio libero (%2) con file di prova, li rileggerà dalla "
                                   "chiavetta e poi li toglierà. %3\n\nNon rimuovere la chiavetta finché la "
                                   "verifica non è finita. Puoi fermarla in ogni momento con \"Annulla\".")
                        .arg(Marchio::nomeProdotto, formattaByte(p.libero, locale), durata);
    if (p.contieneFile)
        testo += QStringLiteral("\n\nI file già presenti non vengono toccati, ma se la chiavetta è falsa "
                                "potrebbero rovinarsi: prima copiali nell'archivio.");
    return {QStringLiteral("Verificare la capacità reale di \"%1\"?").arg(nome),
            testo,
            p.contieneFile ? StileAvviso::avvertenza : StileAvviso::informativo,
            {QStringLiteral("Avvia la verifica"), QStringLiteral("Annulla")},
            std::nullopt};
}
} // namespace

QCoro::Task<> diagnosticaCapacita(Servizi servizi, USBDrive drive)
{
    QPointer<DiagnosticaManager> diag = servizi.diagnostica;
    PresentatoreAvvisi *avvisi = servizi.avvisi;
    if (!diag)
        co_return;
    // Another check or an erase refuses it silently, as every check. A copy
    // or a sync shows its card in the panel, not here: the window says why
    // nothing started.
    const std::optional<Impegno> impegno = impegnoBloccante(Avvio::verificaCapacita, statoImpegni(servizi));
    if (impegno == Impegno::operazione) {
        diag->aggiungi(Tipo::avviso,
                       QStringLiteral("La verifica della capacità di \"%1\" non è partita: aspetta "
                                      "che finisca l'operazione in corso nel pannello, poi riprova.")
                           .arg(drive.name));
        co_return;
    }
    if (impegno)
        co_return;
    ImpegnoTenuto controllo(diag, Op::capacita);
    diag->aggiungi(Tipo::info, QStringLiteral("— Verifica capacità reale di \"%1\" —").arg(drive.name));

    const QString percorso = drive.path();
    QFuture<std::pair<IdentitaChiavetta, PreparazioneCapacita>> preparazione = QtConcurrent::run(
        [drive] { return std::pair(leggiIdentitaChiavetta(drive), preparaVerificaCapacita(drive.path())); });
    const std::pair<IdentitaChiavetta, PreparazioneCapacita> preparata = co_await preparazione;
    const IdentitaChiavetta &chiavetta = preparata.first;
    const PreparazioneCapacita &prep = preparata.second;
    if (!diag)
        co_return;
    if (!prep.errore.isEmpty()) {
        diag->aggiungi(Tipo::errore, QStringLiteral("Verifica non riuscita: ") + prep.errore);
        co_return;
    }
    // With too little room the check itself says so, without asking first.
    if (prep.libero >= spazioMinimoCapacita) {
        const RispostaAvviso risposta =
            avvisi ? avvisi->presenta(domandaCapacita(drive.name, prep)) : RispostaAvviso{-1};
        if (!diag)
            co_return;
        if (risposta.pulsante != 0) {
            diag->aggiungi(Tipo::info, QStringLiteral("Verifica annullata prima di cominciare."));
            co_return;
        }
    }

    std::stop_source fermo;
    diag->setAnnulla([fermo]() mutable { fermo.request_stop(); });
    // Quitting stops it as "Annulla" does; the program waits for the worker,
    // which removes its files first.
    const QMetaObject::Connection uscita =
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, diag,
                         [fermo]() mutable { fermo.request_stop(); });
    const Riferisci avanzamento = versoManager(diag.data());
    ParametriCapacita parametri;
    parametri.velocitaStimate = prep.velocita;
    const std::stop_token stop = fermo.get_token();
    QFuture<EsitoCapacita> lavoro = QtConcurrent::run([percorso, stop, avanzamento, parametri] {
        return verificaCapacita(percorso, stop, avanzamento, parametri);
    });
    const EsitoCapacita esito = co_await lavoro;
    QObject::disconnect(uscita);

    registra(rigaRegistroCapacita(drive.name, esito));
    if (diag)
        aggiungiTutte(diag, righeCapacita(esito));
    if (esito.fine == EsitoCapacita::Fine::completata)
        co_await annota(chiavetta, {.tipo = EventoChiavetta::Tipo::capacita,
                                    .riuscito = !esito.falsa(),
                                    .scrittura = esito.scrittura,
                                    .lettura = esito.lettura,
                                    .verificati = esito.scritti,
                                    .persi = esito.persi(),
                                    .utilizzabili = esito.utilizzabili()});
}
