#pragma once

#include <QList>
#include <QString>

// A manifest: the list of the files one copy or import put into the archive
// and proved, each with its SHA-256, in the format `sha256sum -c` reads. Run
// in the archive folder, `sha256sum -c .tessera-manifest/<file>` re-checks the
// archive at any later time, without this program.

// One proven file: its name relative to the archive folder (stray bytes as
// codificaNome carries them) and its digest, 64 lower-case hex digits.
struct VoceManifesto {
    QString nome;
    QString sha256;
};

// Where the manifest went, or why it could not be written. Both empty when
// there was nothing to list.
struct EsitoManifesto {
    QString percorso; // relative to the archive folder: ".tessera-manifest/<stamp>_<stick>.sha256"
    QString errore;   // the reason in words, e.g. "spazio esaurito sul disco"

    friend bool operator==(const EsitoManifesto &, const EsitoManifesto &) = default;
};

// The folder of the manifests, directly in the archive folder. Hidden: the
// listings of copy, import and sync never enter it.
inline constexpr char cartellaManifesti[] = ".tessera-manifest";

// Blocking, for worker threads. Writes the manifest of `voci` (in any order;
// the lines come out sorted by name) into the manifest folder of `archivio`,
// named "<yyyy-MM-dd_HH-mm-ss>_<stick>.sha256" after the current local time
// and `chiavetta`. It appears whole or not at all, and never takes the place
// of an existing manifest: one made in the same second gets "_1", "_2"...
// Nothing is written for an empty list.
EsitoManifesto scriviManifesto(const QString &archivio, const QString &chiavetta,
                               const QList<VoceManifesto> &voci);
