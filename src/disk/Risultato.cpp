#include "disk/Risultato.h"

#include "disk/TestoDiskutil.h"

DiskUtilErrore DiskUtilErrore::comandoFallito(QString comando, int uscita, QString output)
{
    DiskUtilErrore e;
    e.m_caso = Caso::comandoFallito;
    e.m_comando = std::move(comando);
    e.m_uscita = uscita;
    e.m_output = std::move(output);
    return e;
}

DiskUtilErrore DiskUtilErrore::infoNonLeggibili()
{
    return DiskUtilErrore();
}

QString DiskUtilErrore::descrizione() const
{
    switch (m_caso) {
    case Caso::comandoFallito: {
        // The tool's own last words say what went wrong; its command line
        // would tell the user nothing.
        const QString coda = DiskUtil::ultimiCaratteri(m_output, 300).trimmed();
        return QStringLiteral("lo strumento dei dischi ha segnalato un errore (codice %1)")
                   .arg(QString::number(m_uscita)) +
               (coda.isEmpty() ? QStringLiteral(".") : QStringLiteral(":\n") + coda);
    }
    case Caso::infoNonLeggibili:
        return QStringLiteral(
            "Impossibile leggere le informazioni del disco: la risposta dello strumento dei "
            "dischi non è comprensibile.");
    }
    return QString();
}

QString ErroreAvvio::descrizione() const
{
    return QStringLiteral("Impossibile avviare %1: %2").arg(programma, motivo);
}

QString descrizione(const ErroreStrumento &errore)
{
    return std::visit([](const auto &e) { return e.descrizione(); }, errore);
}
