#include "help/ContenutoAiuto.h"

#include "comune/Colori.h"
#include "comune/Marchio.h"
#include "platform/TestiPiattaforma.h"

namespace {
// The folder name "Ecografie" in the guide is the default archive folder's
// name, written as fixed text: the guide does not follow the user's choice.

// The panel's everyday commands.
QList<VoceGuida> vociGiornaliere()
{
    return {
        {QStringLiteral("externaldrive.fill"), Colori::coloreMarchio(), QStringLiteral("Lista USB inserite"),
         testoPiattaforma(TestoPiattaforma::guidaListaUSB)},
        {QStringLiteral("folder.fill"), Colori::blue(), testoPiattaforma(TestoPiattaforma::apriUltimaUSB),
         testoPiattaforma(TestoPiattaforma::guidaApriUltimaUSB)},
        {QStringLiteral("note.text.badge.plus"), Colori::yellow(),
         QStringLiteral("Apri ultima USB + nota appunti"),
         testoPiattaforma(TestoPiattaforma::guidaNotaAppunti)},
        {QStringLiteral("square.and.arrow.down"), Colori::orange(),
         QStringLiteral("Copia appunti ed espelli (.txt)"),
         QStringLiteral("Come sopra, ma dopo aver salvato la nota espelle automaticamente la chiavetta: un "
                        "gesto solo per consegnare la chiavetta pronta.")},
        {QStringLiteral("textformat"), Colori::purple(),
         QStringLiteral("Copia appunti formattati ed espelli (.rtf)"),
         QStringLiteral(
             "Se gli appunti contengono formattazione (grassetti, colori), salva un file RTF che la "
             "conserva; altrimenti passa da solo al testo semplice. Poi espelle la chiavetta.")},
        {QStringLiteral("doc.on.doc.fill"), Colori::green(), QStringLiteral("Copia tutto in Ecografie"),
         QStringLiteral("Copia tutti i file della chiavetta nella cartella di destinazione (configurabile "
                        "nelle Impostazioni). Al termine ogni file viene riverificato con hash SHA-256: la "
                        "certezza che nulla si sia corrotto durante la copia. Con più chiavette inserite "
                        "copia l'ultima, e lo dice. Durante la copia vedi velocità e tempo rimanente; "
                        "\"Annulla\" la ferma subito e tiene solo i file già copiati e verificati. Dal "
                        "riepilogo finale apri la cartella con un clic.")},
        {QStringLiteral("line.3.horizontal.decrease.circle.fill"), Colori::mint(),
         QStringLiteral("Copia filtrato"),
         QStringLiteral("Come 'Copia tutto', ma solo per una categoria: video, documenti o immagini. Utile "
                        "quando sulla chiavetta c'è materiale misto.")},
        {QStringLiteral("arrow.triangle.2.circlepath"), Colori::indigo(),
         QStringLiteral("Sincronizza due USB"),
         QStringLiteral(
             "Allinea il contenuto di due chiavette in entrambe le direzioni. I file identici (verificati "
             "con hash) vengono saltati; in caso di conflitto vengono mantenute entrambe le versioni, con "
             "la data e l'ora nel nome. Prima di scrivere ti mostra il riepilogo e chiede conferma.")},
    };
}

// Looking after the sticks and the archive.
QList<VoceGuida> vociCura()
{
    return {
        {QStringLiteral("stethoscope"), Colori::teal(), QStringLiteral("Diagnostica USB"),
         QStringLiteral(
             "La 'visita medica' della chiavetta: Info (file system, capacità e tipo di connessione USB "
             "2.0/3.x), Verifica (controllo integrità del file system), Ripara (tenta di correggere i danni "
             "trovati), Velocità (misura i MB/s reali in scrittura e lettura con 32 MB di prova) e Capacità "
             "(scopre le chiavette false, qui sotto).")},
        {QStringLiteral("externaldrive.badge.questionmark"), Colori::purple(),
         QStringLiteral("Verifica capacità reale (Diagnostica)"),
         QStringLiteral(
             "Scopre le chiavette che mentono sulla loro capacità, false o usurate: accettano più dati di "
             "quanti ne tengano e le immagini scritte per ultime vanno perse senza avviso. Riempie lo spazio "
             "libero con file di prova, li rilegge dalla chiavetta e dice quanti GB tiene davvero, quanti "
             "dati ha perso e a che velocità scrive e legge; poi toglie tutti i file di prova, anche se "
             "premi "
             "\"Annulla\". Prima di iniziare dice quanto durerà (per una chiavetta grande e lenta anche "
             "ore): non rimuovere la chiavetta finché non è finita. I file già presenti non vengono toccati, "
             "ma su una chiavetta falsa possono rovinarsi: copiali prima nell'archivio.")},
        {QStringLiteral("list.bullet.rectangle"), Colori::teal(), QStringLiteral("Storico delle chiavette"),
         QStringLiteral(
             "%1 ricorda per ogni chiavetta (riconosciuta dal numero di serie, o altrimenti dal file "
             "system, o dal nome e dalla dimensione) i risultati nel tempo: test di velocità, verifiche "
             "della "
             "capacità, verifiche e riparazioni del file system, formattazioni e cancellazioni (riuscite "
             "o no) e gli errori di lettura durante copie e importazioni, cioè quanti file della chiavetta "
             "non si sono potuti leggere. Una copia senza errori viene annotata solo se la precedente ne "
             "aveva, e toglie l'avviso. Li vedi in Diagnostica USB, scheda \"Storico "
             "della "
             "chiavetta\". Se una chiavetta ha dato errori di lettura nell'ultimo uso, ha perso dati nella "
             "verifica della capacità o legge a meno di metà della sua velocità iniziale, la sua riga nel "
             "pannello lo dice in arancione. Lo storico è un piccolo file leggibile solo da te, %2; non "
             "contiene nomi di file né di pazienti.")
             .arg(Marchio::nomeProdotto, testoPiattaforma(TestoPiattaforma::cartellaDati) +
                                             QStringLiteral("/storico_chiavette.tsv"))},
        {QStringLiteral("sparkles"), Colori::orange(), QStringLiteral("Prepara chiavetta (formatta rapida)"),
         QStringLiteral("Formattazione FAT32 veloce (~10 secondi) con il nome che scegli tu: la chiavetta "
                        "risulta vuota e pronta per l'ecografo. NON sovrascrive i dati: per le chiavette con "
                        "dati sensibili usa la cancellazione sicura.")},
        {QStringLiteral("trash.fill"), Colori::red(), QStringLiteral("Cancella tutto e formatta (sicuro)"),
         QStringLiteral("Sovrascrive l'intera chiavetta con zeri e poi la riformatta FAT32: i dati non sono "
                        "più recuperabili via software. Richiede la digitazione del nome esatto del volume e "
                        "rifiuta i dischi interni. Può durare 15–40+ minuti; il progresso è visibile nel "
                        "pannello e l'esito arriva con una notifica.")},
        {QStringLiteral("tray.and.arrow.down.fill"), Colori::coloreMarchio(),
         QStringLiteral("Importazione automatica (Impostazioni)"),
         QStringLiteral("Se attivata, appena inserisci una chiavetta le immagini non ancora presenti in "
                        "Ecografie vengono copiate e verificate da sole, con notifica finale. Spenta di "
                        "default: attivala solo se vuoi che ogni chiavetta inserita venga importata.")},
        {QStringLiteral("folder.fill"), Colori::blue(),
         QStringLiteral("Come ordinare l'archivio (Impostazioni)"),
         QStringLiteral(
             "\"Tutto in un'unica cartella\" (la scelta iniziale) mette ogni file direttamente in "
             "Ecografie: due IM01.dcm di pazienti diversi diventano IM01.dcm e IM01 con data e ora nel "
             "nome. \"Una cartella per chiavetta e giorno, con le sue sottocartelle\" tiene le cartelle "
             "della chiavetta dentro una cartella con la data e il nome della chiavetta, per esempio "
             "Ecografie/2026-12-07 ECO 1/PAZ0001/IM01.dcm. Vale per copie, importazione automatica, "
             "manifesti, Verifica archivio e controllo prima di cancellare. Cambiare scelta non sposta i "
             "file già archiviati, e un file che l'archivio ha già con lo stesso nome e lo stesso "
             "contenuto (nella cartella unica o in quella di un altro giorno della stessa chiavetta) non "
             "viene copiato di nuovo.")},
        {QStringLiteral("list.bullet.rectangle"), Colori::gray(),
         QStringLiteral("Registro operazioni (Impostazioni)"),
         QStringLiteral("Ogni copia, importazione, sincronizzazione, formattazione e cancellazione viene "
                        "annotata con data e ora in un file di testo consultabile: utile per ricostruire "
                        "cosa è successo, anche ai fini privacy.")},
        {QStringLiteral("checkmark.circle.fill"), Colori::teal(),
         QStringLiteral("Verifica archivio (Impostazioni o Diagnostica)"),
         QStringLiteral(
             "Rilegge dal disco ogni file elencato nei manifesti dell'archivio e lo confronta con "
             "l'impronta SHA-256 presa quando è stato copiato: dice quanti file sono identici, quali sono "
             "cambiati (un disco che si sta rovinando), quali mancano e quanti file dell'archivio nessun "
             "manifesto elenca. Non ripara e non tocca nulla: per ogni file cambiato o mancante dice da "
             "quale "
             "chiavetta e da quale copia viene, così puoi recuperarne una copia buona; l'elenco completo è "
             "nel registro operazioni. Mostra velocità e tempo rimanente e si ferma con \"Annulla\". Se "
             "l'archivio non viene verificato da più di 30 giorni, il pannello lo ricorda con una riga "
             "discreta e il pulsante \"Verifica ora\". I manifesti sono nella cartella nascosta "
             ".tessera-manifest dell'archivio: %1.")
             .arg(testoPiattaforma(TestoPiattaforma::mostraNascosti))},
        {QStringLiteral("checkmark.circle.fill"), Colori::green(),
         QStringLiteral("Ricontrollare l'archivio (manifesto SHA-256)"),
         testoPiattaforma(TestoPiattaforma::guidaManifesto)},
    };
}
} // namespace

QList<VoceGuida> vociGuida()
{
    return vociGiornaliere() + vociCura();
}

QList<VoceGuida> vociProblemi()
{
    return {
        {QStringLiteral("eject.fill"), Colori::orange(), QStringLiteral("L'espulsione non riesce"),
         testoPiattaforma(TestoPiattaforma::problemaEspulsione)},
        {QStringLiteral("lock.shield"), Colori::blue(),
         testoPiattaforma(TestoPiattaforma::problemaAutorizzazioneTitolo),
         testoPiattaforma(TestoPiattaforma::problemaAutorizzazione)},
        {QStringLiteral("bell.badge"), Colori::red(), QStringLiteral("Le notifiche non arrivano"),
         testoPiattaforma(TestoPiattaforma::problemaNotifiche)},
        {QStringLiteral("percent"), Colori::indigo(),
         QStringLiteral("La percentuale non compare durante un'operazione"),
         QStringLiteral(
             "L'operazione procede comunque (la barra resta animata): alcune chiavette o versioni di sistema "
             "non comunicano il progresso. Attendi la notifica finale; non scollegare la chiavetta.")},
        {QStringLiteral("externaldrive.badge.questionmark"), Colori::gray(),
         QStringLiteral("La chiavetta non compare nella lista"),
         testoPiattaforma(TestoPiattaforma::problemaChiavettaAssente)},
        {QStringLiteral("exclamationmark.triangle.fill"), Colori::orange(),
         QStringLiteral("Una chiavetta ha una riga arancione nel pannello"),
         QStringLiteral("%1 ricorda che ha dato errori di lettura, ha perso dati nella verifica della "
                        "capacità o legge molto più lentamente di un tempo: segni di una memoria che si sta "
                        "rovinando. Copia subito il contenuto nell'archivio, controlla che le immagini si "
                        "aprano e sostituisci la chiavetta. I dettagli sono in Diagnostica USB, scheda "
                        "\"Storico della chiavetta\".")
             .arg(Marchio::nomeProdotto)},
        {QStringLiteral("checkmark.circle.fill"), Colori::red(),
         QStringLiteral("La verifica dell'archivio segnala file cambiati o mancanti"),
         QStringLiteral(
             "Quel file nell'archivio non è più quello copiato: il disco si può rovinare, o il file è "
             "stato modificato, spostato o cancellato. Non cancellare nulla. Prendi la chiavetta "
             "indicata (o il backup dello studio) e copia di nuovo il file con \"Copia tutto\": arriva "
             "accanto al vecchio (o nella cartella di oggi, se l'archivio ha una cartella per chiavetta "
             "e giorno), con un suo manifesto. Se ricapita, fai controllare il disco del "
             "computer.")},
        {QStringLiteral("tortoise.fill"), Colori::green(), QStringLiteral("La copia è molto lenta"),
         QStringLiteral("Apri Diagnostica USB → Info e Velocità: se la connessione è USB 2.0 o la scrittura "
                        "è sotto i 5 MB/s, il collo di bottiglia è la chiavetta o la porta, non l'app. Le "
                        "chiavette economiche scrivono anche a 3–5 MB/s.")},
    };
}
