#include "platform/CartellaArchivio.h"

#include <QDir>
#include <QStandardPaths>

namespace CartellaArchivioSistema {

// The desktop's own pictures folder (~/Immagini on an Italian desktop): where
// the file manager and the photo programs look, and where a backup of the
// home folder finds it. It is on this computer's disk only.
QString predefinita()
{
    QString immagini = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (immagini.isEmpty())
        immagini = QDir::homePath();
    return QDir(immagini).absoluteFilePath(QStringLiteral("Ecografie"));
}

// Versions up to 1.0 used the Mac's cloud folder path here too, where it was
// just a folder in the home directory.
QString precedente()
{
    return QDir(QDir::homePath())
        .absoluteFilePath(QStringLiteral("Library/Mobile Documents/com~apple~CloudDocs/Ecografie"));
}

} // namespace CartellaArchivioSistema
