#pragma once

#include "comune/Marchio.h"

#include <QString>
#include <QVariant>

// Where the settings keep the user's choices. The disk utility's stand-in
// reads the archive folder from the same store to keep it from being erased,
// so both take the names and the fallback from here. The store is named after
// the maker and the program.
namespace ChiaviImpostazioni {
inline const QString &organizzazione = Marchio::produttore;
inline const QString &programma = Marchio::nomeProdotto;

inline const QString cartellaArchivio = QStringLiteral("destinationFolderPath");
inline const QString importazioneAutomatica = QStringLiteral("autoImportEnabled");

// The folder used when none was chosen: on Linux "Ecografie" in the desktop's
// pictures folder.
QString cartellaArchivioPredefinita();
// Where earlier versions put that folder, when it was elsewhere; else empty.
QString cartellaArchivioPrecedente();
// The archive folder a stored value names. A relative path would follow
// whatever folder the program was started from, and an empty one names no
// folder at all: both mean that none was chosen. Then an archive that an
// earlier version filled in its own default place stays the archive, so no
// practice finds its images stranded after an update; else the default.
QString cartellaArchivioDa(const QVariant &salvato);
} // namespace ChiaviImpostazioni
