#include "comune/NomiFile.h"
#include "settings/AppSettings.h"
#include "transfer/ElencoFalliti.h"
#include "transfer/FileCopyService.h"

// The texts of a copy's and an import's outcome: the summary alert, the log
// lines and the notification.

namespace {

constexpr qsizetype nomiMostrati = 8;

// The log names every folder left unread, not just how many.
QString cartelleInRiga(const QStringList &cartelle)
{
    if (cartelle.isEmpty())
        return {};
    return QStringLiteral("; cartelle non lette: ") + cartelle.join(QStringLiteral("; "));
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
