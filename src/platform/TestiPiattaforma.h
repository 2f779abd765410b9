#pragma once

#include <QString>
#include <span>

// The few texts that name the operating system's own programs, keys and
// settings. Each system keeps its wording in one table (platform/<os>/); the
// rest of the program asks for a text by its key and never names a system.
enum class TestoPiattaforma {
    apriUltimaUSB,                // panel button and guide title
    guidaListaUSB,                // guide: the list of sticks
    guidaApriUltimaUSB,           // guide: opening the last stick
    guidaNotaAppunti,             // guide: the clipboard note
    guidaManifesto,               // guide: re-checking the archive with a manifest
    cartellaDati,                 // where Tessera keeps its own files, as the user would type it
    mostraNascosti,               // how the file manager shows hidden folders such as the manifests'
    problemaEspulsione,           // troubleshooting: eject fails
    problemaAutorizzazioneTitolo, // troubleshooting: access to removable volumes
    problemaAutorizzazione,
    problemaNotifiche,             // troubleshooting: notifications
    problemaChiavettaAssente,      // troubleshooting: the stick is not listed
    espulsioneNonRiuscita,         // eject alert, before the system's own reason
    espulsioneDopoNotaNonRiuscita, // eject alert after a note, between the stick's name and the reason
    conteggio
};

struct VoceTestoPiattaforma {
    TestoPiattaforma chiave;
    const char *testo; // UTF-8
};

// This system's wording of `chiave`.
QString testoPiattaforma(TestoPiattaforma chiave);

// The tables themselves, one per system: a build carries its own, the tests
// both.
std::span<const VoceTestoPiattaforma> testiLinux();
std::span<const VoceTestoPiattaforma> testiMacOS();
// The table of the system this build is for, defined beside creaPiattaforma().
std::span<const VoceTestoPiattaforma> testiDiQuestoSistema();
