#include "comune/Colori.h"
#include "operations/CentroOperazioni.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/PresentatoreAvvisi.h"
#include "operations/PrioritaLavoro.h"
#include "operations/Registro.h"
#include "transfer/CloneUSBService.h"
#include "transfer/ElencoFalliti.h"

#include <QCoro/QCoroFuture>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>

// The sync as the user meets it: analysis, confirmation, execution, log line
// and result alert.

namespace {
const QString iconaSync = QStringLiteral("arrow.triangle.2.circlepath");

// What will be left out, and a stick too small for what it is to receive
// (the user may still go on with what fits).
QString avvertenze(const PianoSincronizzazione &piano, const QString &nomeA, const QString &nomeB)
{
    QString testo;
    if (!piano.nonSincronizzati.isEmpty())
        testo += QStringLiteral("\n\u26A0\uFE0F %1 elementi non potranno essere sincronizzati e saranno "
                                "contati come errori:\n%2\n")
                     .arg(QString::number(piano.nonSincronizzati.size()), primeRighe(piano.nonSincronizzati));
    const auto spazio = [&](const QString &nome, qint64 servono, const std::optional<qint64> &liberi) {
        if (!liberi || servono <= *liberi)
            return;
        const QLocale locale;
        const auto byte = [&](qint64 n) { return locale.formattedDataSize(n, 1, QLocale::DataSizeSIFormat); };
        testo += QStringLiteral("\n\u26A0\uFE0F Su %1 mancano %2: servono %3, liberi %4. Se procedi, verrà "
                                "copiato solo ciò che ci sta.\n")
                     .arg(nome, byte(servono - *liberi), byte(servono), byte(*liberi));
    };
    spazio(nomeB, piano.byteVersoB, piano.liberiB);
    spazio(nomeA, piano.byteVersoA, piano.liberiA);
    return testo;
}

QString domanda(const PianoSincronizzazione &piano, const QString &nomeA, const QString &nomeB)
{
    const QString attenzione = avvertenze(piano, nomeA, nomeB);
    return QStringLiteral(
               "Sincronizzazione bidirezionale tra:\n\u2022 %1\n\u2022 %2\n\nOperazioni previste:\n"
               "\u2022 %3 file da copiare verso %2\n\u2022 %4 file da copiare verso %1\n"
               "\u2022 %5 conflitti (file con stesso nome ma contenuto diverso)\n"
               "\u2022 %6 file già identici (saranno saltati)\n%7\n"
               "I conflitti verranno risolti mantenendo entrambe le versioni: la copia ricevuta avrà "
               "data e ora aggiunte al nome.\n%8%9Procedere?")
        .arg(nomeA, nomeB, QString::number(piano.copyAtoB.size()), QString::number(piano.copyBtoA.size()),
             QString::number(piano.conflicts.size()), QString::number(piano.identical),
             piano.conflittiGiaRisolti == 0
                 ? QString()
                 : QStringLiteral("\u2022 %1 conflitti già risolti in una sincronizzazione precedente "
                                  "(saranno saltati)\n")
                       .arg(piano.conflittiGiaRisolti),
             attenzione, attenzione.isEmpty() ? QString() : QStringLiteral("\n"));
}

QString rigaRegistro(const PianoSincronizzazione &piano, const EsitoSincronizzazione &esito,
                     const QString &nomeA, const QString &nomeB)
{
    return QStringLiteral(
               "Sincronizzazione %1 \u2194 %2%3: %4+%5 file copiati, %6 conflitti risolti, %7 errori")
               .arg(nomeA, nomeB, esito.interrotti > 0 ? QStringLiteral(" interrotta") : QString(),
                    QString::number(esito.copiedAtoB), QString::number(esito.copiedBtoA),
                    QString::number(esito.conflictsResolved), QString::number(esito.errors)) +
           (esito.interrotti > 0
                ? QStringLiteral(", %1 non sincronizzati per l'interruzione").arg(esito.interrotti)
                : QString()) +
           righeInRegistro(esito.falliti, QStringLiteral("non riusciti")) +
           righeInRegistro(piano.nonSincronizzati, QStringLiteral("non sincronizzati"));
}

// "Completata" only when nothing failed; "non riuscita" when nothing is in
// sync either.
void mostraEsito(PresentatoreAvvisi &avvisi, const PianoSincronizzazione &piano,
                 const EsitoSincronizzazione &esito, const QString &nomeA, const QString &nomeB)
{
    if (esito.interrotti > 0) {
        // Stopped on request: neither a success nor a failure. A conflict
        // counts as one file, as in the confirmation.
        QString testo = testoInterruzione(QStringLiteral("Sincronizzazione"),
                                          esito.copiedAtoB + esito.copiedBtoA + esito.conflictsResolved,
                                          esito.interrotti + esito.errors, false) +
                        QStringLiteral(".\n\nSulle chiavette sono rimaste solo copie intere. Per "
                                       "sincronizzare il resto, avvia di nuovo la sincronizzazione.");
        if (!esito.falliti.isEmpty())
            testo +=
                QStringLiteral("\n\n\u26A0\uFE0F Non copiati per un errore:\n") + primeRighe(esito.falliti);
        avvisi.mostraAvviso(QStringLiteral("Sincronizzazione interrotta"), testo, StileAvviso::informativo);
        return;
    }
    const QString copiato = QStringLiteral("file copiato"), copiati = QStringLiteral("file copiati");
    const bool fallita = esito.errors > 0;
    const bool nulla = esito.copiedAtoB + esito.copiedBtoA + esito.conflictsResolved + piano.identical +
                           piano.conflittiGiaRisolti ==
                       0;
    QString testo = QStringLiteral("%1\n\n\u2022 %2 in %3\n\u2022 %4 in %5\n"
                                   "\u2022 %6 (entrambe le versioni mantenute con data e ora)\n"
                                   "\u2022 %7\n")
                        .arg(!fallita ? QStringLiteral("Sincronizzazione completata.")
                             : nulla  ? QStringLiteral("Sincronizzazione non riuscita.")
                                      : QStringLiteral("Sincronizzazione completata con errori."),
                             conNumero(esito.copiedAtoB, copiato, copiati), nomeB,
                             conNumero(esito.copiedBtoA, copiato, copiati), nomeA,
                             conNumero(esito.conflictsResolved, QStringLiteral("conflitto risolto"),
                                       QStringLiteral("conflitti risolti")),
                             conNumero(piano.identical, QStringLiteral("file era già identico"),
                                       QStringLiteral("file erano già identici")));
    if (esito.errors >= 1)
        testo += QStringLiteral("\n\u26A0\uFE0F Errori durante la copia: %1").arg(esito.errors);
    if (!esito.falliti.isEmpty())
        testo += QLatin1Char('\n') + primeRighe(esito.falliti);
    if (!piano.nonSincronizzati.isEmpty())
        testo += QStringLiteral("\nNon sincronizzati:\n") + primeRighe(piano.nonSincronizzati);
    avvisi.mostraAvviso(QStringLiteral("Sincronizzazione USB"), testo,
                        !fallita ? StileAvviso::informativo
                        : nulla  ? StileAvviso::critico
                                 : StileAvviso::avvertenza);
}
} // namespace

// Awaits take named values only (README, "GCC 12 and coroutines").
QCoro::Task<> CloneUSBService::sincronizza(Servizi servizi, USBDrive driveA, USBDrive driveB)
{
    PresentatoreAvvisi &avvisi = *servizi.avvisi;
    const auto occupato = [&] {
        if (!impegnoBloccante(Avvio::sincronizzazione, statoImpegni(servizi)))
            return false;
        avvisi.mostraAvviso(
            QStringLiteral("Operazione in corso"),
            QStringLiteral("C'è già una copia o sincronizzazione in corso. Attendi che finisca."),
            StileAvviso::informativo);
        return true;
    };
    if (occupato())
        co_return;

    const QString nomeA = driveA.name, nomeB = driveB.name;
    const QString radiceA = driveA.path(), radiceB = driveB.path();
    const Riferisci progresso = versoCentro(servizi.centro);
    // One "Annulla" for the whole sync: the analysis' card and the execution's.
    std::stop_source stop;
    const auto annulla = annullaCon(stop);
    const std::stop_token token = stop.get_token();
    CentroOperazioni::Operazione opAnalisi{QStringLiteral("Analisi di %1 e %2\u2026").arg(nomeA, nomeB),
                                           std::nullopt, std::nullopt, iconaSync, Colori::indigo()};
    opAnalisi.annulla = annulla;
    ImpegnoTenuto analisi(servizi.centro, opAnalisi);
    const auto analizza = [=] {
        const PrioritaLavoro sottofondo;
        return pianifica(radiceA, radiceB, progresso, token);
    };
    QFuture<PianoSincronizzazione> lavoroAnalisi = QtConcurrent::run(analizza);
    const PianoSincronizzazione piano = co_await lavoroAnalisi;
    analisi.rilascia();
    // Also a stop that came as the analysis ended: the user asked to get out.
    if (piano.annullato || token.stop_requested()) {
        registra(
            QStringLiteral("Sincronizzazione %1 \u2194 %2 annullata durante l'analisi: nessun file copiato")
                .arg(nomeA, nomeB));
        avvisi.mostraAvviso(QStringLiteral("Sincronizzazione annullata"),
                            QStringLiteral("Sincronizzazione annullata: nessun file copiato."),
                            StileAvviso::informativo);
        co_return;
    }

    if (!conferma(avvisi, QStringLiteral("Conferma sincronizzazione"), domanda(piano, nomeA, nomeB)))
        co_return;
    // No card is held while the dialog is open, so an automatic import may
    // have claimed it meanwhile; taking it over would free its busy flag early.
    if (occupato())
        co_return;

    CentroOperazioni::Operazione op{QStringLiteral("Sincronizzazione %1 \u2194 %2\u2026").arg(nomeA, nomeB),
                                    std::nullopt, std::nullopt, iconaSync, Colori::indigo()};
    op.annulla = annulla;
    ImpegnoTenuto scheda(servizi.centro, op);
    const auto esegui = [=] {
        const PrioritaLavoro sottofondo;
        return eseguiPiano(piano, radiceA, radiceB, nomeA, nomeB, progresso, token);
    };
    QFuture<EsitoSincronizzazione> esecuzione = QtConcurrent::run(esegui);
    const EsitoSincronizzazione esito = co_await esecuzione;
    scheda.rilascia();

    registra(rigaRegistro(piano, esito, nomeA, nomeB));
    mostraEsito(avvisi, piano, esito, nomeA, nomeB);
}
