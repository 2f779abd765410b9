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
inline const QString ordineArchivio = QStringLiteral("ordineArchivio");

// How copies and imports lay the archive out, stored under `ordineArchivio`
// by these names. Anything else stored (a file edited by hand, a later
// version's choice) reads as the default, everything side by side.
enum class OrdineArchivio {
    unicaCartella,       // "tuttoInsieme": every file directly in the archive folder
    perChiavettaEGiorno, // "perChiavettaEGiorno": "<day> <stick>/" with the stick's own folders
};
QString testoOrdine(OrdineArchivio ordine);
OrdineArchivio ordineDa(const QVariant &salvato);

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

using OrdineArchivio = ChiaviImpostazioni::OrdineArchivio;
