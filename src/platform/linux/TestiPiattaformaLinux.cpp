#include "platform/TestiPiattaforma.h"

#include <array>

// The macOS wording said in a Linux desktop's terms: the file manager, a
// text editor, Ctrl+C, the desktop's settings, and the app as the desktop
// lists it ("Tessera", the name in its .desktop file).
namespace {
using T = TestoPiattaforma;
constexpr std::array testi{
    VoceTestoPiattaforma{T::apriUltimaUSB, "Apri ultima USB nel gestore file"},
    VoceTestoPiattaforma{T::guidaListaUSB,
                         "Le chiavette compaiono in ordine di inserimento con l'orario e la barra dello "
                         "spazio (rossa se quasi piena). Un clic sulla riga apre la chiavetta nel gestore "
                         "file; l'icona ⏏︎ la espelle in sicurezza."},
    VoceTestoPiattaforma{T::guidaApriUltimaUSB,
                         "Apre nel gestore file l'ultima chiavetta inserita. Utile quando ne hai appena "
                         "collegata una e vuoi vederne subito il contenuto."},
    VoceTestoPiattaforma{
        T::guidaNotaAppunti,
        "Crea sulla chiavetta un file di testo con il contenuto degli appunti (quello che hai "
        "copiato con Ctrl+C) e lo apre nell'editor di testo. Utile per allegare referti o "
        "promemoria alle immagini."},
    VoceTestoPiattaforma{
        T::guidaManifesto,
        "Ogni copia e importazione lascia in Ecografie, nella cartella nascosta .tessera-manifest, "
        "l'elenco dei file verificati con la loro impronta SHA-256 (un file per operazione, con data, "
        "ora e nome della chiavetta). Per ricontrollare l'archivio quando vuoi: apri il Terminale, "
        "scrivi cd e uno spazio, trascina dentro la cartella Ecografie e premi Invio; poi scrivi "
        "sha256sum -c .tessera-manifest/ seguito dal nome del file (il tasto Tab lo completa) e premi "
        "Invio. OK accanto a un file: è identico a quando è stato copiato. NON RIUSCITO (o FAILED): "
        "il file è cambiato o rovinato; non cancellare gli originali e recuperane una copia buona."},
    VoceTestoPiattaforma{T::cartellaDati, "~/.local/share/Orvala Tessera"},
    VoceTestoPiattaforma{T::mostraNascosti, "nel gestore file le cartelle nascoste compaiono con Ctrl+H"},
    VoceTestoPiattaforma{
        T::problemaEspulsione,
        "Quasi sempre ci sono file aperti sulla chiavetta (un'anteprima, l'editor di testo, il "
        "gestore file che la sta indicizzando). Chiudi le app che la usano e riprova con ⏏︎. "
        "I file salvati restano comunque al sicuro sulla chiavetta."},
    VoceTestoPiattaforma{T::problemaAutorizzazioneTitolo,
                         "Il sistema chiede l'autorizzazione ai volumi rimovibili"},
    VoceTestoPiattaforma{T::problemaAutorizzazione,
                         "È una protezione normale del sistema: conferma con la tua password. Se l'accesso "
                         "resta negato, chiedi a chi amministra il computer di consentire agli utenti di "
                         "montare ed espellere i dischi rimovibili."},
    VoceTestoPiattaforma{
        T::problemaNotifiche,
        "Controlla nelle impostazioni del desktop → Notifiche → Tessera e attiva gli avvisi. "
        "In mancanza di autorizzazione l'app mostra comunque l'esito con una finestra."},
    VoceTestoPiattaforma{T::problemaChiavettaAssente,
                         "Scollegala e ricollegala, prova un'altra porta USB o un altro cavo/hub. Se non "
                         "compare nemmeno nel gestore file, prova la Diagnostica da un'altra chiavetta per "
                         "escludere problemi del computer, poi sospetta la chiavetta."},
    VoceTestoPiattaforma{T::espulsioneNonRiuscita,
                         "Il sistema non ha potuto espellere la USB. Probabilmente ci sono file aperti o "
                         "applicazioni che la stanno usando.\n\nDettagli: "},
    VoceTestoPiattaforma{T::espulsioneDopoNotaNonRiuscita,
                         ", ma il sistema non ha potuto espellere la chiavetta. Probabilmente ci sono file "
                         "aperti.\n\nChiudi le app che la usano e riprova con l'icona \u23CF\uFE0E.\n\n"
                         "Dettagli: "},
};
} // namespace

std::span<const VoceTestoPiattaforma> testiLinux()
{
    return testi;
}
