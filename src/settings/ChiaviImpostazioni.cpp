#include "settings/ChiaviImpostazioni.h"

#include <QDir>

namespace ChiaviImpostazioni {

QString cartellaArchivioPredefinita()
{
    static const QString percorso =
        QDir(QDir::homePath())
            .absoluteFilePath(QStringLiteral("Library/Mobile Documents/com~apple~CloudDocs/Ecografie"));
    return percorso;
}

QString cartellaArchivioDa(const QVariant &salvato)
{
    const QString testo = salvato.toString();
    return QDir::isAbsolutePath(testo) ? testo : cartellaArchivioPredefinita();
}

} // namespace ChiaviImpostazioni
