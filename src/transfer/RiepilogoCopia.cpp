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

QString nuoveImmagini(qint64 n)
{
    return conNumero(n, QStringLiteral("nuova immagine"), QStringLiteral("nuove immagini"));
}

} // namespace

QString FileCopyService::testoCopiaInterrotta(const EsitoCopia &esito, const QString &cartella)
{
    // Not copied: what the stop left out, what failed before it, and what
    // failed its proof; a file the archive held already is neither.
    const qint64 nonCopiati = esito.interrotti + esito.falliti.size() + esito.nonVerificati.size();
    QString testo =
        testoInterruzione(QStringLiteral("Copia"), esito.verificati, nonCopiati, true) + QLatin1Char('.');
    if (esito.giaPresenti > 0)
        testo += QStringLiteral(" %1 in %2.")
                     .arg(conNumero(esito.giaPresenti, QStringLiteral("file era già"),
                                    QStringLiteral("file erano già")),
                          cartella);
    testo += QStringLiteral("\n\nNella cartella sono rimaste solo copie intere e verificate: nessun file a "
                            "metà. Per copiare il resto, avvia di nuovo la copia: i file già copiati "
                            "vengono riconosciuti e saltati.");
    if (!esito.falliti.isEmpty())
        testo += QStringLiteral("\n\n❌ Non copiati per un errore:\n") + primeRighe(esito.falliti);
    if (!esito.manifesto.percorso.isEmpty())
        testo +=
            QStringLiteral("\n\nManifesto SHA-256 per ricontrollare l'archivio: ") + esito.manifesto.percorso;
    return nomeLeggibile(testo);
}

QString FileCopyService::testoRiepilogo(const EsitoCopia &esito, const QString &cartella)
{
    QString testo = QStringLiteral("File copiati: %1").arg(esito.copiati);
    // "All" only when every file under the stick was read and copied.
    if (esito.copiati > 0 && esito.nonVerificati.isEmpty() && esito.errori == 0) {
        testo += esito.verificati == 1
                     ? QStringLiteral("\n✓ Verifica integrità: il file è identico all'originale.")
                     : QStringLiteral("\n✓ Verifica integrità: tutti i %1 file sono identici agli originali.")
                           .arg(esito.verificati);
    } else if (esito.copiati > 0 && esito.nonVerificati.isEmpty()) {
        testo +=
            (esito.verificati == 1
                 ? QStringLiteral("\n✓ Verifica integrità: il file copiato è identico all'originale")
                 : QStringLiteral("\n✓ Verifica integrità: i %1 file copiati sono identici agli originali")
                       .arg(esito.verificati)) +
            QStringLiteral(", ma non tutti i file della chiavetta sono stati copiati (vedi errori).");
    }
    if (esito.copiati > 0 && !esito.nonVerificati.isEmpty()) {
        testo += QStringLiteral("\n\n❌ ATTENZIONE: %1 la verifica di integrità (possibile corruzione):\n")
                     .arg(conNumero(esito.nonVerificati.size(), QStringLiteral("file NON ha superato"),
                                    QStringLiteral("file NON hanno superato")));
        testo += esito.nonVerificati.first(qMin(nomiMostrati, esito.nonVerificati.size()))
                     .join(QStringLiteral(", "));
        testo += QStringLiteral("\nNon cancellare gli originali dalla chiavetta e riprova la copia.");
    }
    if (esito.rinominati > 0) {
        testo += QStringLiteral("\n\n⚠️ %1 con data e ora (entrambe le versioni mantenute):")
                     .arg(conNumero(esito.rinominati,
                                    QStringLiteral("file era già presente nella destinazione ed è stato "
                                                   "rinominato"),
                                    QStringLiteral("file erano già presenti nella destinazione e sono stati "
                                                   "rinominati")));
        testo += QStringLiteral("\n\n");
        testo += esito.nomiRinominati.first(qMin(nomiMostrati, esito.nomiRinominati.size()))
                     .join(QStringLiteral(", "));
        if (esito.nomiRinominati.size() > nomiMostrati)
            testo += QStringLiteral(" e altri %1...").arg(esito.nomiRinominati.size() - nomiMostrati);
    }
    if (esito.giaPresenti > 0)
        testo += QStringLiteral("\n\n%1 in %2, %3.")
                     .arg(conNumero(esito.giaPresenti, QStringLiteral("file era già"),
                                    QStringLiteral("file erano già")),
                          cartella.isEmpty() ? QStringLiteral("archivio") : cartella,
                          esito.giaPresenti == 1 ? QStringLiteral("identico") : QStringLiteral("identici"));
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
            "Copia in %1%2: %3 copiati, %4 verificati, %5 rinominati, %6 errori, %7 verifiche fallite")
            .arg(AppSettings::folderName(destinazione),
                 esito.interrotti > 0 ? QStringLiteral(" interrotta") : QString(),
                 QString::number(esito.copiati), QString::number(esito.verificati),
                 QString::number(esito.rinominati), QString::number(esito.errori),
                 QString::number(esito.nonVerificati.size())) +
        (esito.giaPresenti > 0 ? QStringLiteral("; %1 già presenti e identici").arg(esito.giaPresenti)
                               : QString()) +
        (esito.interrotti > 0 ? QStringLiteral("; %1 non copiati per l'interruzione").arg(esito.interrotti)
                              : QString()) +
        cartelleInRiga(esito.cartelleNonLette) +
        righeInRegistro(esito.falliti, QStringLiteral("non copiati")) + manifestoInRiga(esito.manifesto));
}

QString FileCopyService::rigaRegistroImportazione(const QString &nome, const EsitoImportazione &esito)
{
    return QStringLiteral("Auto-importazione da %1%2: %3, %4 già presenti, %5 errori, %6 verifiche fallite")
               .arg(nome, esito.interrotti > 0 ? QStringLiteral(" interrotta") : QString(),
                    nuoveImmagini(esito.nuovi), QString::number(esito.saltati), QString::number(esito.errori),
                    QString::number(esito.corrotti)) +
           (esito.interrotti > 0 ? QStringLiteral("; %1 non importate").arg(esito.interrotti) : QString()) +
           cartelleInRiga(esito.cartelleNonLette) +
           righeInRegistro(esito.falliti, QStringLiteral("non importate")) + manifestoInRiga(esito.manifesto);
}

QString FileCopyService::corpoNotifica(const QString &nome, const EsitoImportazione &esito)
{
    QString corpo =
        esito.interrotti > 0
            ? testoInterruzione(
                  QStringLiteral("Importazione"), esito.nuovi,
                  esito.interrotti + esito.errori - esito.cartelleNonLette.size() + esito.corrotti, true) +
                  QStringLiteral(" (da \"%1\").").arg(nome)
            : QStringLiteral("%1 da \"%2\".")
                  .arg(conNumero(esito.nuovi, QStringLiteral("nuova immagine importata e verificata"),
                                 QStringLiteral("nuove immagini importate e verificate")),
                       nome);
    if (esito.saltati > 0)
        corpo += QStringLiteral(" %1.").arg(
            conNumero(esito.saltati, QStringLiteral("già presente"), QStringLiteral("già presenti")));
    if (esito.errori > 0)
        corpo += QStringLiteral(" ⚠️ %1.")
                     .arg(conNumero(esito.errori, QStringLiteral("errore di copia"),
                                    QStringLiteral("errori di copia")));
    if (esito.corrotti > 0)
        corpo += QStringLiteral(" ⚠️ %1 la verifica.")
                     .arg(conNumero(esito.corrotti, QStringLiteral("file non ha superato"),
                                    QStringLiteral("file non hanno superato")));
    if (!esito.cartelleNonLette.isEmpty())
        corpo +=
            QStringLiteral(" Cartelle non lette: %1.").arg(esito.cartelleNonLette.join(QStringLiteral("; ")));
    if (!esito.manifesto.errore.isEmpty())
        corpo += QStringLiteral(" ⚠️ Manifesto SHA-256 non scritto: %1.").arg(esito.manifesto.errore);
    if (!esito.falliti.isEmpty())
        corpo += QLatin1Char('\n') + primeRighe(esito.falliti);
    return corpo;
}
