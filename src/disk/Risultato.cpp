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
    case Caso::comandoFallito:
        return QStringLiteral("diskutil %1 è terminato con codice %2.\n%3")
            .arg(m_comando, QString::number(m_uscita), DiskUtil::ultimiCaratteri(m_output, 300));
    case Caso::infoNonLeggibili:
        return QStringLiteral("Impossibile leggere le informazioni del disco da diskutil.");
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
