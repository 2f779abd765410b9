#pragma once

#include "disk/EsecutoreDisco.h"

#include <QVariant>

// Which whole disk holds a volume, and whether it may be erased.
struct InfoDisco {
    QString discoIntero; // the disk utility's name for it, e.g. disk4 or sdb
    bool interno = true;
    bool rimovibile = false;

    // Only an external disk with a removable medium may be formatted or erased.
    bool esternoERimovibile() const { return rimovibile && !interno; }

    friend bool operator==(const InfoDisco &, const InfoDisco &) = default;
};

// The exit status of Tessera's disk-utility stand-in when a path exists but
// lies on no disk (tmpfs, a network share, FUSE without a device).
constexpr int uscitaNessunDisco = 5;

// The report of `info -plist` as a dictionary, or infoNonLeggibili.
Risultato<QVariantMap> leggiReportDisco(const QString &testo);

// The identity in a report. Missing facts lean towards refusal: no "Internal"
// counts as internal, no removability as fixed.
Risultato<InfoDisco> interpretaInfoDisco(const QString &testo);

// Asks the disk utility about the volume mounted at `percorso`. Blocking.
Risultato<InfoDisco> leggiInfoDisco(EsecutoreDisco &esecutore, const QString &percorso);

// One volume of a whole disk, as the disk utility lists it.
struct VolumeDisco {
    QString identificatore; // e.g. sdb1
    QString puntoMontaggio; // empty when it is not mounted
    QString nome;           // its label, when it has one

    friend bool operator==(const VolumeDisco &, const VolumeDisco &) = default;
};

// The volumes in the report of `list -plist {discoIntero}`: the disk's
// partitions, or the disk itself when it holds a file system without a
// partition table. infoNonLeggibili when the report does not describe that disk.
Risultato<QList<VolumeDisco>> interpretaVolumiDisco(const QString &testo, const QString &discoIntero);
Risultato<QList<VolumeDisco>> leggiVolumiDisco(EsecutoreDisco &esecutore, const QString &discoIntero);
