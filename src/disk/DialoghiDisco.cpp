#include "disk/DialoghiDisco.h"

#include "operations/AlertPresenter.h"
#include "transfer/ControlloArchivio.h"

namespace {

// The first `quanti` entries, then how many more.
QString alcuni(const QStringList &voci, qsizetype quanti, const QString &separatore)
{
    QString testo = voci.first(qMin(quanti, voci.size())).join(separatore);
    if (voci.size() > quanti)
        testo += QStringLiteral(" e altri %1").arg(voci.size() - quanti);
    return testo;
}

// The check's paragraph, then the dialog's own text; "Copia prima" goes first.
RichiestaAvviso conPremessa(RichiestaAvviso richiesta, const PremessaArchivio &premessa)
{
    if (!premessa.testo.isEmpty())
        richiesta.testo = premessa.testo + QStringLiteral("\n\n") + richiesta.testo;
    if (premessa.copiaPrima)
        richiesta.pulsanti.prepend(QStringLiteral("Copia prima"));
    return richiesta;
}

Scelta scelta(const RispostaAvviso &risposta, const PremessaArchivio &premessa)
{
    const int procedi = premessa.copiaPrima ? 1 : 0;
    if (premessa.copiaPrima && risposta.pulsante == 0)
        return Scelta::copiaPrima;
    return risposta.pulsante == procedi ? Scelta::procedi : Scelta::annulla;
}

} // namespace

PremessaArchivio premessaArchivio(const EsitoControlloArchivio &esito, const QString &cartella)
{
    const QString copiaPrima =
        QStringLiteral("«Copia prima» copia la chiavetta in %1 e poi ripete il controllo.").arg(cartella);
    if (!esito.archivioInutilizzabile.isEmpty()) {
        return {
            QStringLiteral("Impossibile confrontare la chiavetta con %1 (%2): nessun file della chiavetta "
                           "risulta già al sicuro.")
                    .arg(cartella, esito.archivioInutilizzabile) +
                QStringLiteral("\n\n") + copiaPrima,
            true};
    }
    if (esito.file == 0 && esito.nonLetti.isEmpty())
        return {QStringLiteral("La chiavetta è vuota: non ci sono file da mettere al sicuro."), false};
    if (esito.alSicuro()) {
        return {esito.file == 1
                    ? QStringLiteral("L'unico file della chiavetta è già in %1 (verificato con SHA-256).")
                          .arg(cartella)
                    : QStringLiteral("Tutti i %1 file sono già in %2 (verificati con SHA-256).")
                          .arg(QString::number(esito.file), cartella),
                false};
    }
    QStringList paragrafi;
    const qsizetype m = esito.mancanti.size();
    if (m > 0) {
        paragrafi
            << (m == 1 ? QStringLiteral("1 file non è ancora in %1.").arg(cartella)
                       : QStringLiteral("%1 file non sono ancora in %2.").arg(QString::number(m), cartella)) +
                   QLatin1Char('\n') + alcuni(esito.mancanti, 5, QStringLiteral(", "));
    }
    const qsizetype k = esito.nonLetti.size();
    if (k > 0) {
        paragrafi << (k == 1
                          ? QStringLiteral("1 file o cartella della chiavetta non si può leggere: non si sa "
                                           "se è già in %1.")
                                .arg(cartella)
                          : QStringLiteral(
                                "%1 file o cartelle della chiavetta non si possono leggere: non si "
                                "sa se sono già in %2.")
                                .arg(QString::number(k), cartella)) +
                         QLatin1Char('\n') + alcuni(esito.nonLetti, 3, QStringLiteral("\n"));
    }
    if (esito.cartelleArchivioNonLette > 0)
        paragrafi << QStringLiteral("Alcune cartelle di %1 non si possono leggere: i file che contengono non "
                                    "contano.")
                         .arg(cartella);
    paragrafi << copiaPrima;
    return {paragrafi.join(QStringLiteral("\n\n")), true};
}

QString nomeVolumeValido(const QString &nome)
{
    QString etichetta;
    for (const QChar c : nome.toUpper()) {
        if ((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            etichetta += c;
        if (etichetta.size() == 11)
            break;
    }
    return etichetta.isEmpty() ? QStringLiteral("USB") : etichetta;
}

SceltaNome chiediNuovoNome(AlertPresenter &avvisi, const USBDrive &drive, const PremessaArchivio &premessa)
{
    RichiestaAvviso richiesta;
    richiesta.titolo = QStringLiteral("Preparare \"%1\" per il riuso?").arg(drive.name);
    richiesta.testo = QStringLiteral(
        "Formattazione rapida FAT32: l'indice dei file viene svuotato in pochi secondi e la chiavetta "
        "risulta vuota.\n\n"
        "ATTENZIONE: i dati NON vengono sovrascritti. Se la chiavetta contiene dati sensibili di "
        "pazienti, usa invece \"Cancella tutto e formatta (sicuro)\".\n\n"
        "Nome del nuovo volume (max 11 caratteri, lettere e numeri):");
    richiesta.stile = StileAvviso::avvertenza;
    richiesta.pulsanti = {QStringLiteral("Formatta"), QStringLiteral("Annulla")};
    richiesta.campo = CampoTesto{nomeVolumeValido(drive.name), QString()};
    const RispostaAvviso risposta = avvisi.presenta(conPremessa(richiesta, premessa));
    const Scelta s = scelta(risposta, premessa);
    return {s, s == Scelta::procedi ? nomeVolumeValido(risposta.testoCampo) : QString()};
}

Scelta confermaCancellazione(AlertPresenter &avvisi, const USBDrive &drive, const PremessaArchivio &premessa)
{
    RichiestaAvviso richiesta;
    richiesta.titolo = QStringLiteral("Cancellare definitivamente \"%1\"?").arg(drive.name);
    richiesta.testo =
        QStringLiteral(
            "TUTTI i dati sulla chiavetta verranno sovrascritti con zeri e il volume verrà riformattato "
            "(FAT32). L'operazione può richiedere 10–20+ minuti e NON è annullabile.\n\n"
            "Nota: la sovrascrittura rende i dati irrecuperabili via software; su memorie flash non è però "
            "una garanzia assoluta a livello hardware. Il software può commettere errori: verifica sempre "
            "personalmente l'esito (vedi Aiuto → Avvertenze).\n\n"
            "Per confermare, digita esattamente il nome del volume:  ") +
        drive.name;
    richiesta.stile = StileAvviso::critico;
    richiesta.pulsanti = {QStringLiteral("Cancella tutto"), QStringLiteral("Annulla")};
    richiesta.campo = CampoTesto{QString(), drive.name};
    const RispostaAvviso risposta = avvisi.presenta(conPremessa(richiesta, premessa));
    const Scelta s = scelta(risposta, premessa);
    if (s != Scelta::procedi || risposta.testoCampo == drive.name)
        return s;
    avvisi.mostraAvviso(
        QStringLiteral("Nome non corrispondente"),
        QStringLiteral("Il testo digitato non corrisponde a \"%1\". Operazione annullata.").arg(drive.name),
        StileAvviso::avvertenza);
    return Scelta::annulla;
}

void avvisaDiscoRifiutato(AlertPresenter &avvisi, const USBDrive &drive)
{
    avvisi.mostraAvviso(
        QStringLiteral("Operazione rifiutata"),
        QStringLiteral("\"%1\" non risulta un disco esterno e rimovibile. Per sicurezza non procedo.")
            .arg(drive.name),
        StileAvviso::critico);
}
