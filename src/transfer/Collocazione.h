#pragma once

#include "settings/ChiaviImpostazioni.h"

#include <QDate>
#include <QString>

// Where each file of one copy or import lands in the archive folder: side by
// side in it, or below a folder of its own for the stick and the day, with the
// folders it had on the stick ("2026-12-07 ECO 1/PAZ0001/IM01.dcm"). The one
// rule the copy and the import share. The day is fixed when the run starts,
// so a copy that goes on past midnight stays in one folder.
class Collocazione {
public:
    // Everything side by side in `archivio`; no stick known.
    Collocazione(const QString &archivio); // NOLINT(google-explicit-constructor): the common case

    // The files of the stick mounted at `sorgente`, named `chiavetta`, copied
    // on `giorno`, laid out as `ordine` says.
    Collocazione(OrdineArchivio ordine, const QString &archivio, const QString &sorgente,
                 const QString &chiavetta, const QDate &giorno);

    const QString &archivio() const { return m_archivio; }
    // Where `file` of the stick goes, before a taken name is dealt with.
    QString destinazione(const QString &file) const;
    // Its path below the stick's root; empty when it is not under it.
    QString relativoSullaChiavetta(const QString &file) const;
    // Whether `nome`, in the archive folder, is one of the folders this
    // stick's copies take, on any day.
    bool cartellaDellaChiavetta(const QString &nome) const;

private:
    QString m_archivio;
    QString m_sorgente;     // with a final "/"; empty when no stick is known
    QString m_chiavetta;    // made fit for a folder's name
    QString m_cartellaOggi; // empty: side by side
};

// A stick's name as a folder's name on any disk or network share the archive
// may be on: no "/", "\\" or the other characters such shares refuse, no
// control characters or stray bytes, no leading full stop (the folder would
// be hidden, and left out of every check), not too long, never empty.
QString nomeCartellaChiavetta(const QString &chiavetta);
