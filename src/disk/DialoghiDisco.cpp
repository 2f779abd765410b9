#include "disk/DialoghiDisco.h"

#include "disk/ControlloDisco.h"
#include "operations/PresentatoreAvvisi.h"
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
    // "Copia prima" is offered only when it has something to copy, and never
    // onto the stick itself.
    const bool copiaPrima = !esito.daCopiare.isEmpty();
    if (!esito.archivioInutilizzabile.isEmpty()) {
        return {
            QStringLiteral("Impossibile confrontare la chiavetta con %1 (%2): nessun file della chiavetta "
                           "risulta già al sicuro.")
                    .arg(cartella, esito.archivioInutilizzabile) +
                (copiaPrima
                     ? QStringLiteral("\n\n«Copia prima» copia tutti i file della chiavetta in %1 e poi "
                                      "ripete il controllo.")
                           .arg(cartella)
                     : QString()),
            copiaPrima};
    }
    const bool nienteDaDire = esito.nonLetti.isEmpty() && esito.volumiNonControllati.isEmpty();
    if (esito.file == 0 && nienteDaDire && esito.nascosti > 0)
        return {
            QStringLiteral("Sulla chiavetta ci sono solo file nascosti (il loro nome inizia con un punto): "
                           "la copia non li archivia, quindi non sono in %1. Se servono, salvali a mano "
                           "prima di procedere.")
                .arg(cartella),
            false};
    if (esito.file == 0 && nienteDaDire)
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
    const qsizetype v = esito.volumiNonControllati.size();
    if (v > 0) {
        paragrafi << (v == 1 ? QStringLiteral("1 volume di questo disco non si può controllare, ma verrà "
                                              "cancellato anch'esso: nulla di ciò che contiene risulta al "
                                              "sicuro.")
                             : QStringLiteral("%1 volumi di questo disco non si possono controllare, ma "
                                              "verranno cancellati anch'essi: nulla di ciò che contengono "
                                              "risulta al sicuro.")
                                   .arg(QString::number(v))) +
                         QLatin1Char('\n') + alcuni(esito.volumiNonControllati, 3, QStringLiteral("\n"));
    }
    if (esito.cartelleArchivioNonLette > 0)
        paragrafi << QStringLiteral("Alcune cartelle di %1 non si possono leggere: i file che contengono non "
                                    "contano.")
                         .arg(cartella);
    if (copiaPrima)
        paragrafi << QStringLiteral("«Copia prima» copia in %1 solo i file che mancano o che non si sono "
                                    "potuti leggere, poi ripete il controllo.")
                         .arg(cartella);
    return {paragrafi.join(QStringLiteral("\n\n")), copiaPrima};
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

SceltaNome chiediNuovoNome(PresentatoreAvvisi &avvisi, const USBDrive &drive,
                           const PremessaArchivio &premessa)
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

Scelta confermaCancellazione(PresentatoreAvvisi &avvisi, const USBDrive &drive,
                             const PremessaArchivio &premessa)
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

void avvisaDiscoRifiutato(PresentatoreAvvisi &avvisi, const USBDrive &drive, const EsitoControllo &controllo,
                          const QString &cartella)
{
    using Rifiuto = EsitoControllo::Rifiuto;
    const QString nome = drive.name;
    QString testo;
    switch (controllo.rifiuto) {
    case Rifiuto::nessuno:
        return;
    case Rifiuto::nonEsternoRimovibile:
        testo = QStringLiteral("\"%1\" non risulta un disco esterno e rimovibile.").arg(nome);
        break;
    case Rifiuto::discoDelSistema:
        testo = QStringLiteral("\"%1\" si trova sullo stesso disco del sistema in uso.").arg(nome);
        break;
    case Rifiuto::discoDellArchivio:
        testo =
            QStringLiteral("La cartella %1, dove vengono archiviate le copie, si trova sullo stesso disco di "
                           "\"%2\": verrebbe cancellata anche lei.")
                .arg(cartella, nome);
        break;
    case Rifiuto::sistemaIgnoto:
        testo =
            QStringLiteral("Non è stato possibile stabilire su quale disco si trova il sistema, quindi non "
                           "si può escludere che sia quello di \"%1\".")
                .arg(nome);
        break;
    case Rifiuto::archivioIgnoto:
        testo =
            QStringLiteral("Non è stato possibile stabilire su quale disco si trova la cartella %1, quindi "
                           "non si può escludere che sia quello di \"%2\".")
                .arg(cartella, nome);
        break;
    }
    testo += QStringLiteral(" Per sicurezza non procedo.");
    if (!controllo.dettaglio.isEmpty())
        testo += QStringLiteral("\n\nDettagli: ") + controllo.dettaglio;
    avvisi.mostraAvviso(QStringLiteral("Operazione rifiutata"), testo, StileAvviso::critico);
}
