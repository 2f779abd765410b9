#include "platform/CartellaArchivio.h"

#include <QDir>

namespace CartellaArchivioSistema {

// "Ecografie" at the top of the user's cloud-synchronised documents.
QString predefinita()
{
    return QDir(QDir::homePath())
        .absoluteFilePath(QStringLiteral("Library/Mobile Documents/com~apple~CloudDocs/Ecografie"));
}

QString precedente()
{
    return QString();
}

} // namespace CartellaArchivioSistema
