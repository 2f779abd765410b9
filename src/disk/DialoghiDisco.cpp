#include "disk/DialoghiDisco.h"

#include "operations/AlertPresenter.h"

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

std::optional<QString> chiediNuovoNome(AlertPresenter &avvisi, const USBDrive &drive)
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
    const RispostaAvviso risposta = avvisi.presenta(richiesta);
    if (risposta.pulsante != 0)
        return std::nullopt;
    return nomeVolumeValido(risposta.testoCampo);
}

bool confermaCancellazione(AlertPresenter &avvisi, const USBDrive &drive)
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
    const RispostaAvviso risposta = avvisi.presenta(richiesta);
    if (risposta.pulsante != 0)
        return false;
    if (risposta.testoCampo == drive.name)
        return true;
    avvisi.mostraAvviso(
        QStringLiteral("Nome non corrispondente"),
        QStringLiteral("Il testo digitato non corrisponde a \"%1\". Operazione annullata.").arg(drive.name),
        StileAvviso::avvertenza);
    return false;
}

void avvisaDiscoRifiutato(AlertPresenter &avvisi, const USBDrive &drive)
{
    avvisi.mostraAvviso(
        QStringLiteral("Operazione rifiutata"),
        QStringLiteral("\"%1\" non risulta un disco esterno e rimovibile. Per sicurezza non procedo.")
            .arg(drive.name),
        StileAvviso::critico);
}
