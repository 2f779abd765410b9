#pragma once

#include <QString>

// Where this system keeps an archive folder that nobody chose. Each system has
// its own file (platform/<os>/CartellaArchivio.cpp); CMake builds that one.
namespace CartellaArchivioSistema {
// The folder used when none was chosen.
QString predefinita();
// Where earlier versions put that folder on this system; empty when it was
// the same place.
QString precedente();
} // namespace CartellaArchivioSistema
