#pragma once

#include "platform/CartellaArchivio.h"
#include "platform/IdentitaChiavetta.h"
#include "platform/InfoVolume.h"
#include "platform/Notificatore.h"
#include "platform/PercorsiStrumenti.h"
#include "platform/PrimitiveFile.h"
#include "platform/Processi.h"
#include "platform/TestiPiattaforma.h"

#include <memory>

class Appunti;
class AperturaDesktop;
class Espulsore;
class FonteVolumi;

// Everything Tessera needs from the operating system, in one bundle. A port
// to another system implements, in platform/<os>/, the interfaces named here
// with its own creaPiattaforma(), and the plain functions of the headers
// included above: the file primitives of the copies and checks
// (PrimitiveFile.h), what a volume is (InfoVolume.h), who a stick is
// (IdentitaChiavetta.h), child processes and thread priority (Processi.h), the
// tools' paths (PercorsiStrumenti.h), the default archive folder
// (CartellaArchivio.h) and the texts that name the system (TestiPiattaforma.h).
// CMake compiles only that folder. Nothing outside platform/ calls the system
// in a way of its own.
struct Piattaforma {
    Piattaforma();
    Piattaforma(Piattaforma &&) noexcept;
    Piattaforma &operator=(Piattaforma &&) noexcept;
    ~Piattaforma();

    std::unique_ptr<FonteVolumi> volumi;       // mounted volumes and their comings and goings
    std::unique_ptr<Espulsore> espulsore;      // unmounts and powers off a stick
    std::unique_ptr<Notificatore> notifiche;   // desktop notifications
    std::unique_ptr<Appunti> appunti;          // the clipboard
    std::unique_ptr<AperturaDesktop> apritore; // folders, files and web addresses
    PercorsiStrumenti strumenti;               // the disk utility and the USB profiler
};

// The live services of this operating system. `avvisoDiRiserva` shows a
// notification as a modal alert when the desktop cannot show it.
Piattaforma creaPiattaforma(AvvisoDiRiserva avvisoDiRiserva);
