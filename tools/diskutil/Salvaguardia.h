#pragma once

#include "VistaSistema.h"

// The folders that must never vanish under an erase: the running system's own
// mount points, the user's home, and Tessera's archive folder as the user set it.
QStringList percorsiProtetti();
// The archive folder from Tessera's own settings file (its default when unset).
QString cartellaArchivio();

// Why `disco` must not be formatted or erased, or none when it may be. The last
// line of defence: it holds whatever the caller says.
std::optional<QString> motivoRifiuto(const VistaSistema &vista, const Disco &disco,
                                     const QStringList &protetti);
