#include "comune/Dimensioni.h"
#include "comune/Marchio.h"
#include "diagnostics/VerificaCapacita.h"

#include <QLocale>

// What the capacity check says: in the report, in the log, and how long it will take.

namespace StrumentiDiagnostica {

namespace {
using Fine = EsitoCapacita::Fine;

QString quanto(qint64 byte)
{
    return formattaByte(byte, QLocale());
}
} // namespace

Righe righeCapacita(const EsitoCapacita &e)
{
    using T = RigaRapporto::Tipo;
    Righe righe;
    switch (e.fine) {
    case Fine::pocoSpazio:
        righe.append({T::avviso, QStringLiteral("Spazio libero insufficiente per la verifica: restano %1, ne "
                                                "servono almeno %2. La verifica controlla lo spazio libero: "
                                                "copia i file nell'archivio, svuota la chiavetta e riprova.")
                                     .arg(quanto(e.libero), quanto(spazioMinimoCapacita))});
        break;
    case Fine::annullata:
        righe.append({T::info, QStringLiteral("Verifica annullata.")});
        break;
    case Fine::interrotta:
        righe.append({T::errore, QStringLiteral("Verifica interrotta: %1.").arg(e.errore)});
        break;
    case Fine::completata:
        if (e.falsa()) {
            righe.append({T::errore, QStringLiteral("Capacità falsa o memoria difettosa: dei %1 scritti, %2 "
                                                    "sono tornati rovinati o mancanti.")
                                         .arg(quanto(e.scritti), quanto(e.persi()))});
            righe.append(
                {T::avviso, QStringLiteral("Capacità reale utilizzabile: circa %1 dei %2 dichiarati. "
                                           "Non usarla per le ecografie: copiane il contenuto e "
                                           "sostituiscila. Se c'erano immagini non ancora "
                                           "archiviate, controllale: potrebbero essersi rovinate.")
                                .arg(quanto(e.utilizzabili()), quanto(e.dichiarati))});
        } else {
            righe.append({T::ok, QStringLiteral("Capacità reale confermata: %1 di spazio libero scritti e "
                                                "riletti senza errori (capacità dichiarata %2).")
                                     .arg(quanto(e.scritti), quanto(e.dichiarati))});
        }
        righe.append(
            {T::info,
             QStringLiteral("Velocità durante la verifica: scrittura %1 MB/s · lettura %2 MB/s")
                 .arg(QLocale().toString(e.scrittura, 'f', 1), QLocale().toString(e.lettura, 'f', 1))});
        break;
    }
    if (!e.pulita)
        righe.append({T::avviso,
                      QStringLiteral("Non è stato possibile togliere i file di prova (cartella nascosta %1): "
                                     "%2 li toglierà alla prossima verifica della capacità su questa "
                                     "chiavetta.")
                          .arg(cartellaVerificaCapacita, Marchio::nomeProdotto)});
    else if (e.fine != Fine::pocoSpazio)
        righe.append({T::info, QStringLiteral("I file di prova sono stati tolti dalla chiavetta.")});
    return righe;
}

QString rigaRegistroCapacita(const QString &nome, const EsitoCapacita &e)
{
    QString esito;
    switch (e.fine) {
    case Fine::pocoSpazio:
        esito = QStringLiteral("non eseguita, spazio libero insufficiente (%1)").arg(quanto(e.libero));
        break;
    case Fine::annullata:
        esito = QStringLiteral("annullata");
        break;
    case Fine::interrotta:
        esito = QStringLiteral("interrotta: %1").arg(e.errore);
        break;
    case Fine::completata:
        esito =
            e.falsa()
                ? QStringLiteral("CAPACITÀ FALSA, persi %1 su %2 scritti, utilizzabili circa %3")
                      .arg(quanto(e.persi()), quanto(e.scritti), quanto(e.utilizzabili()))
                : QStringLiteral("capacità reale, %1 scritti e riletti senza errori").arg(quanto(e.scritti));
        esito += QStringLiteral(", scrittura %1 MB/s, lettura %2 MB/s")
                     .arg(QLocale().toString(e.scrittura, 'f', 1), QLocale().toString(e.lettura, 'f', 1));
        break;
    }
    if (!e.pulita)
        esito += QStringLiteral(", file di prova rimasti sulla chiavetta");
    return QStringLiteral("Verifica capacità \"%1\": %2").arg(nome, esito);
}

} // namespace StrumentiDiagnostica
