#pragma once

#include "platform/Notifier.h"
#include "platform/PercorsiStrumenti.h"

#include <memory>

class Appunti;
class DesktopOpener;
class Espulsore;
class VolumeSource;

// Everything Tessera needs from the operating system, in one bundle. A port
// to another system implements the interfaces named here and its own
// creaPiattaforma() in platform/<os>/; CMake compiles only that folder.
struct Piattaforma {
    Piattaforma();
    Piattaforma(Piattaforma &&) noexcept;
    Piattaforma &operator=(Piattaforma &&) noexcept;
    ~Piattaforma();

    std::unique_ptr<VolumeSource> volumi;    // mounted volumes and their comings and goings
    std::unique_ptr<Espulsore> espulsore;    // unmounts and powers off a stick
    std::unique_ptr<Notifier> notifiche;     // desktop notifications
    std::unique_ptr<Appunti> appunti;        // the clipboard
    std::unique_ptr<DesktopOpener> apritore; // folders, files and web addresses
    PercorsiStrumenti strumenti;             // the disk utility and the USB profiler
};

// The live services of this operating system. `avvisoDiRiserva` shows a
// notification as a modal alert when the desktop cannot show it.
Piattaforma creaPiattaforma(AvvisoDiRiserva avvisoDiRiserva);
