#include "platform/TestiPiattaforma.h"

#include <array>

namespace {
using T = TestoPiattaforma;
constexpr std::array testi{
    VoceTestoPiattaforma{T::apriUltimaUSB, "Apri ultima USB nel Finder"},
    VoceTestoPiattaforma{T::guidaListaUSB,
                         "Le chiavette compaiono in ordine di inserimento con l'orario e la barra dello "
                         "spazio (rossa se quasi piena). Un clic sulla riga apre la chiavetta nel Finder; "
                         "l'icona ⏏︎ la espelle in sicurezza."},
    VoceTestoPiattaforma{T::guidaApriUltimaUSB,
                         "Apre nel Finder l'ultima chiavetta inserita. Utile quando ne hai appena collegata "
                         "una e vuoi vederne subito il contenuto."},
    VoceTestoPiattaforma{
        T::guidaNotaAppunti,
        "Crea sulla chiavetta un file di testo con il contenuto degli appunti (quello che hai "
        "copiato con ⌘C) e lo apre in TextEdit. Utile per allegare referti o promemoria alle "
        "immagini."},
    VoceTestoPiattaforma{
        T::guidaManifesto,
        "Ogni copia e importazione lascia in Ecografie, nella cartella nascosta .tessera-manifest, "
        "l'elenco dei file verificati con la loro impronta SHA-256 (un file per operazione, con data, "
        "ora e nome della chiavetta). Per ricontrollare l'archivio quando vuoi: apri Terminale, "
        "scrivi cd e uno spazio, trascina dentro la cartella Ecografie e premi Invio; poi scrivi "
        "shasum -a 256 -c .tessera-manifest/ seguito dal nome del file (il tasto Tab lo completa) e "
        "premi Invio. OK accanto a un file: è identico a quando è stato copiato. FAILED: il file è "
        "cambiato o rovinato; non cancellare gli originali e recuperane una copia buona."},
    VoceTestoPiattaforma{T::cartellaDati, "~/Library/Application Support/Orvala Tessera"},
    VoceTestoPiattaforma{T::mostraNascosti, "nel Finder le cartelle nascoste compaiono con ⌘⇧."},
    VoceTestoPiattaforma{
        T::problemaEspulsione,
        "Quasi sempre ci sono file aperti sulla chiavetta (un'anteprima, TextEdit, il Finder "
        "che la sta indicizzando). Chiudi le app che la usano e riprova con ⏏︎. I file "
        "salvati restano comunque al sicuro sulla chiavetta."},
    VoceTestoPiattaforma{T::problemaAutorizzazioneTitolo,
                         "macOS chiede l'autorizzazione ai volumi rimovibili"},
    VoceTestoPiattaforma{
        T::problemaAutorizzazione,
        "È una protezione normale del sistema (compare al primo accesso): scegli Consenti. Se "
        "hai negato per errore: Impostazioni di Sistema → Privacy e Sicurezza → File e "
        "cartelle."},
    VoceTestoPiattaforma{
        T::problemaNotifiche,
        "Controlla Impostazioni di Sistema → Notifiche → Orvala – Tessera e attiva gli avvisi. "
        "In mancanza di autorizzazione l'app mostra comunque l'esito con una finestra."},
    VoceTestoPiattaforma{T::problemaChiavettaAssente,
                         "Scollegala e ricollegala, prova un'altra porta USB o un altro cavo/hub. Se non "
                         "compare nemmeno nel Finder, prova la Diagnostica da un'altra chiavetta per "
                         "escludere problemi del Mac, poi sospetta la chiavetta."},
    VoceTestoPiattaforma{T::espulsioneNonRiuscita,
                         "macOS non ha potuto espellere la USB. Probabilmente ci sono file aperti o "
                         "applicazioni che la stanno usando.\n\nDettagli: "},
    VoceTestoPiattaforma{T::espulsioneDopoNotaNonRiuscita,
                         ", ma macOS non ha potuto espellere la chiavetta. Probabilmente ci sono file "
                         "aperti.\n\nChiudi le app che la usano e riprova con l'icona \u23CF\uFE0E.\n\n"
                         "Dettagli: "},
};
} // namespace

std::span<const VoceTestoPiattaforma> testiMacOS()
{
    return testi;
}
