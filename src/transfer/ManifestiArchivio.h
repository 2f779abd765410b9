#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// Reading back the manifests that copies and imports leave in the archive
// (Manifesto.h writes them), line for line as `sha256sum -c` reads them. A
// manifest may have been edited by hand, damaged on the disk, or written by a
// version of this program from before a fix: every line that is not exactly
// a digest and a name is told apart and never believed.

// One file a manifest vouches for.
struct VoceLetta {
    QByteArray nome;   // relative to the archive, bytes as on the disk: no "./", "//" or "."
    QByteArray sha256; // 64 lower-case hex digits
};

struct RigaNonValida {
    qsizetype numero = 0; // from 1
    QString motivo;
};

struct ContenutoManifesto {
    QList<VoceLetta> voci;
    QList<RigaNonValida> nonValide;
};

// The lines of one manifest: "<digest>  <name>", "<digest> *<name>", or with a
// leading backslash when the name carries "\\", "\n" or "\r" written that way.
// Blank lines and "#" comments are passed over, as sha256sum does. A name that
// leads out of the archive ("/etc/x", "../x") is a bad line: the archive's
// manifests speak of the archive only. Pure.
ContenutoManifesto leggiRigheManifesto(const QByteArray &testo);

// Where the files of a manifest came from, as its name tells:
// "<yyyy-MM-dd_HH-mm-ss>_<stick>.sha256".
struct OrigineManifesto {
    QString file;      // the manifest's own name (decodificaNome)
    QString chiavetta; // empty when the name is not one this program gives
    QDateTime quando;  // from the name; else the file's modification time
};
OrigineManifesto origineManifesto(const QString &nomeFile, const QDateTime &modificato = {});
// "dalla chiavetta “ECO 1”, archiviato il 07/03/2024 alle 09:05", or
// "dal manifesto “nome”" for a name this program did not give.
QString descriviOrigine(const OrigineManifesto &origine);

struct ManifestoLetto {
    OrigineManifesto origine;
    ContenutoManifesto contenuto;
};

struct ManifestiArchivio {
    QList<ManifestoLetto> manifesti; // oldest first: a later listing of a name replaces an earlier one
    QStringList nonLetti;            // "“manifest”: reason"
};

// Blocking. Every "*.sha256" in the manifest folder of the archive open as
// `archivio` (a folder descriptor). A folder that is not there holds none.
// Each manifest is opened without following a link or waiting on a FIFO.
ManifestiArchivio leggiManifesti(int archivio);

// Blocking: whether the archive folder holds at least one manifest.
bool contieneManifesti(const QString &archivio);
