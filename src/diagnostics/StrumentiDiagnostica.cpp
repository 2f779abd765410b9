#include "diagnostics/StrumentiDiagnostica.h"

#include "comune/Dimensioni.h"
#include "diagnostics/VelocitaConnessione.h"
#include "disk/InfoDisco.h"
#include "platform/PercorsiStrumenti.h"

#include <limits>
#include <QLocale>

namespace StrumentiDiagnostica {

namespace {
using Tipo = RigaRapporto::Tipo;

qint64 dimensione(const QVariant &valore)
{
    switch (valore.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return valore.toLongLong();
    case QMetaType::ULongLong: {
        const qulonglong v = valore.toULongLong();
        return v <= qulonglong(std::numeric_limits<qint64>::max()) ? qint64(v) : 0;
    }
    default:
        return 0;
    }
}

QString testo(const QVariantMap &report, const QString &chiave)
{
    const QVariant v = report.value(chiave);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}
} // namespace

Risultato<DettagliVolume> dettagliDaReport(const QString &output)
{
    const Risultato<QVariantMap> report = leggiReportDisco(output);
    if (!report)
        return report.errore();
    DettagliVolume d;
    d.discoIntero = testo(*report, QStringLiteral("ParentWholeDisk"));
    d.fileSystem = testo(*report, QStringLiteral("FilesystemName"));
    if (report->value(QStringLiteral("FilesystemName")).typeId() != QMetaType::QString)
        d.fileSystem = report->value(QStringLiteral("FilesystemType")).typeId() == QMetaType::QString
                           ? testo(*report, QStringLiteral("FilesystemType"))
                           : QStringLiteral("sconosciuto");
    d.capacita = dimensione(report->value(QStringLiteral("TotalSize")));
    return d;
}

Risultato<DettagliVolume> leggiDettagliVolume(EsecutoreDisco &disco, const QString &percorso)
{
    const Risultato<QString> output =
        disco.eseguiDiskutil({QStringLiteral("info"), QStringLiteral("-plist"), percorso});
    if (!output)
        return output.errore();
    return dettagliDaReport(output.valore());
}

std::optional<QString> velocitaConnessione(EsecutoreDisco &disco, const QString &discoIntero)
{
    const Risultato<QString> output = disco.eseguiStrumento(
        percorsiStrumenti().systemProfiler, {QStringLiteral("SPUSBDataType"), QStringLiteral("-json")});
    if (!output)
        return std::nullopt;
    return velocitaDaProfilo(output.valore(), discoIntero);
}

Risultato<QString> verificaVolume(EsecutoreDisco &disco, const QString &percorso, Riferisci riferisci)
{
    return disco.eseguiDiskutil({QStringLiteral("verifyVolume"), percorso}, std::move(riferisci));
}

Risultato<QString> riparaVolume(EsecutoreDisco &disco, const QString &percorso, Riferisci riferisci)
{
    return disco.eseguiDiskutil({QStringLiteral("repairVolume"), percorso}, std::move(riferisci));
}

Righe righeDettagli(const Risultato<DettagliVolume> &dettagli)
{
    if (!dettagli)
        return {{Tipo::errore,
                 QStringLiteral("Impossibile leggere le informazioni: ") + dettagli.descrizioneErrore()}};
    return {{Tipo::info,
             QStringLiteral("File system: %1 · Capacità: %2 · Disco: %3")
                 .arg(dettagli->fileSystem, formattaByte(dettagli->capacita), dettagli->discoIntero)}};
}

Righe righeConnessione(const std::optional<QString> &etichetta)
{
    if (!etichetta)
        return {
            {Tipo::avviso, QStringLiteral("Tipo di connessione USB non rilevabile per questo dispositivo.")}};
    Righe righe{{Tipo::info, QStringLiteral("Connessione: ") + *etichetta}};
    if (etichetta->startsWith(QStringLiteral("USB 1")))
        righe.append(
            {Tipo::avviso, QStringLiteral("Connessione molto lenta: se possibile usa un'altra porta o "
                                          "chiavetta.")});
    return righe;
}

namespace {
// The checker ran and its answer is no: the one failure that says something
// about the file system. Any other (the tool refused the disk, the stick is
// gone, the tool could not start) says nothing of it, and a repair or an
// erase would meet the same refusal.
bool controlloEseguito(const Risultato<QString> &esito)
{
    const DiskUtilErrore *e = esito.erroreDisco();
    return e && e->caso() == DiskUtilErrore::Caso::comandoFallito && e->uscita() == uscitaProblemiTrovati;
}
} // namespace

Righe righeVerifica(const Risultato<QString> &esito)
{
    if (!esito && !controlloEseguito(esito))
        return {
            {Tipo::errore, QStringLiteral("La verifica non è stata eseguita: ") + esito.descrizioneErrore()}};
    if (!esito)
        return {
            {Tipo::errore, QStringLiteral("La verifica ha trovato problemi: ") + esito.descrizioneErrore()},
            {Tipo::avviso,
             QStringLiteral("Prova il pulsante \"Ripara\". Se la riparazione fallisce, copia i "
                            "file recuperabili e usa \"Cancella tutto e formatta (sicuro)\".")}};
    // Success is the exit status; the checker's phrase only picks the friendlier wording.
    const QString &output = esito.valore();
    if (output.contains(QStringLiteral("appears to be OK"), Qt::CaseInsensitive) ||
        output.contains(QStringLiteral("sembra essere corretto"), Qt::CaseInsensitive))
        return {{Tipo::ok, QStringLiteral("Nessun danno rilevato: il file system è integro.")}};
    return {{Tipo::ok, QStringLiteral("Verifica completata senza errori.")}};
}

Righe righeRiparazione(const Risultato<QString> &esito)
{
    if (!esito && !controlloEseguito(esito))
        return {{Tipo::errore,
                 QStringLiteral("La riparazione non è stata eseguita: ") + esito.descrizioneErrore()}};
    if (!esito)
        return {
            {Tipo::errore, QStringLiteral("Riparazione non riuscita: ") + esito.descrizioneErrore()},
            {Tipo::avviso, QStringLiteral("Copia subito i file importanti, poi riformatta la chiavetta con "
                                          "\"Cancella tutto e formatta (sicuro)\".")}};
    return {{Tipo::ok, QStringLiteral("Riparazione completata. Esegui di nuovo \"Verifica\" per conferma.")}};
}

} // namespace StrumentiDiagnostica
