#include "diagnostics/DiagnosticaUSB.h"

#include "diagnostics/MisuraVelocita.h"
#include "diagnostics/StrumentiDiagnostica.h"
#include "operations/DiagnosticaManager.h"

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

// Percentages come on the runner's reading thread; the manager takes them on
// its own, in the order they were printed, possibly after the check ended.
EsecutoreDisco::Progresso versoIlManager(DiagnosticaManager *diag)
{
    QPointer<DiagnosticaManager> guardia(diag);
    return [guardia](double p) {
        QMetaObject::invokeMethod(
            guardia.data(),
            [guardia, p] {
                if (guardia)
                    guardia->registraPercentuale(p);
            },
            Qt::QueuedConnection);
    };
}

using Lavoro = Risultato<QString> (*)(EsecutoreDisco &, const QString &, EsecutoreDisco::Progresso);
} // namespace

// Every action copies what it needs before its first suspension: the action
// value may be gone by the time the background work answers.

QCoro::Task<> InfoUSBDiagAction::perform()
{
    QPointer<DiagnosticaManager> diag = m_servizi.diag;
    EsecutoreDisco *disco = m_servizi.disco;
    const USBDrive drive = m_drive;
    if (!diag || !diag->inizia(Op::info))
        co_return;
    diag->aggiungi(Tipo::info, QStringLiteral("— Info su \"%1\" —").arg(drive.name));

    const QString percorso = drive.path();
    // Futures are named before co_await: GCC 12 destroys a lambda's captures
    // twice when the lambda is a temporary inside the co_await expression.
    QFuture<Risultato<DettagliVolume>> lettura =
        QtConcurrent::run([disco, percorso] { return leggiDettagliVolume(*disco, percorso); });
    const Risultato<DettagliVolume> dettagli = co_await lettura;
    if (!diag)
        co_return;
    aggiungiTutte(diag, righeDettagli(dettagli));
    if (!dettagli) {
        diag->termina();
        co_return;
    }

    const QString discoIntero = dettagli->discoIntero;
    QFuture<std::optional<QString>> ricerca =
        QtConcurrent::run([disco, discoIntero] { return velocitaConnessione(*disco, discoIntero); });
    const std::optional<QString> etichetta = co_await ricerca;
    if (!diag)
        co_return;
    aggiungiTutte(diag, righeConnessione(etichetta));
    diag->termina();
}

namespace {
QCoro::Task<> verificaORipara(QPointer<DiagnosticaManager> diag, EsecutoreDisco *disco, USBDrive drive,
                              bool ripara)
{
    if (!diag || !diag->inizia(ripara ? Op::riparazione : Op::verifica))
        co_return;
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
    const EsecutoreDisco::Progresso progresso = versoIlManager(diag);
    QFuture<Risultato<QString>> corsa =
        QtConcurrent::run([=] { return lavoro(*disco, percorso, progresso); });
    const Risultato<QString> esito = co_await corsa;
    if (!diag)
        co_return;
    aggiungiTutte(diag, ripara ? righeRiparazione(esito) : righeVerifica(esito));
    diag->termina();
}
} // namespace

QCoro::Task<> VerifyUSBAction::perform()
{
    return verificaORipara(m_servizi.diag, m_servizi.disco, m_drive, false);
}

QCoro::Task<> RepairUSBAction::perform()
{
    return verificaORipara(m_servizi.diag, m_servizi.disco, m_drive, true);
}

QCoro::Task<> SpeedTestUSBAction::perform()
{
    QPointer<DiagnosticaManager> diag = m_servizi.diag;
    const USBDrive drive = m_drive;
    if (!diag || !diag->inizia(Op::testVelocita))
        co_return;
    diag->aggiungi(Tipo::info,
                   QStringLiteral("— Test velocità di \"%1\" (32 MB di prova) —").arg(drive.name));

    const QString percorso = drive.path();
    QFuture<EsitoMisura> misura = QtConcurrent::run([percorso] { return misuraVelocita(percorso); });
    const EsitoMisura esito = co_await misura;
    if (!diag)
        co_return;
    if (esito.velocita)
        aggiungiTutte(diag, righeVelocita(*esito.velocita));
    else
        diag->aggiungi(Tipo::errore, QStringLiteral("Test non riuscito: ") + esito.errore);
    diag->termina();
}
