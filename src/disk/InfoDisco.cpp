#include "disk/InfoDisco.h"

#include "disk/PropertyList.h"

namespace {
std::optional<bool> booleano(const QVariantMap &report, const QString &chiave)
{
    const auto it = report.constFind(chiave);
    if (it == report.cend() || it->typeId() != QMetaType::Bool)
        return std::nullopt;
    return it->toBool();
}
} // namespace

Risultato<QVariantMap> leggiReportDisco(const QString &testo)
{
    const std::optional<QVariant> radice = leggiPlist(testo.toUtf8());
    if (!radice || radice->typeId() != QMetaType::QVariantMap)
        return DiskUtilErrore::infoNonLeggibili();
    const QVariantMap report = radice->toMap();
    if (report.value(QStringLiteral("ParentWholeDisk")).typeId() != QMetaType::QString)
        return DiskUtilErrore::infoNonLeggibili();
    return report;
}

Risultato<InfoDisco> interpretaInfoDisco(const QString &testo)
{
    const Risultato<QVariantMap> report = leggiReportDisco(testo);
    if (!report)
        return report.errore();
    InfoDisco info;
    info.discoIntero = report->value(QStringLiteral("ParentWholeDisk")).toString();
    info.interno = booleano(*report, QStringLiteral("Internal")).value_or(true);
    info.rimovibile = booleano(*report, QStringLiteral("RemovableMedia"))
                          .value_or(booleano(*report, QStringLiteral("Removable")).value_or(false));
    return info;
}

Risultato<InfoDisco> leggiInfoDisco(EsecutoreDisco &esecutore, const QString &percorso)
{
    const Risultato<QString> output =
        esecutore.eseguiDiskutil({QStringLiteral("info"), QStringLiteral("-plist"), percorso});
    if (!output)
        return output.errore();
    return interpretaInfoDisco(output.valore());
}

Risultato<QList<VolumeDisco>> interpretaVolumiDisco(const QString &testo, const QString &discoIntero)
{
    const std::optional<QVariant> radice = leggiPlist(testo.toUtf8());
    if (!radice || radice->typeId() != QMetaType::QVariantMap)
        return DiskUtilErrore::infoNonLeggibili();
    const QVariant dischi = radice->toMap().value(QStringLiteral("AllDisksAndPartitions"));
    if (dischi.typeId() != QMetaType::QVariantList)
        return DiskUtilErrore::infoNonLeggibili();
    const auto testoDi = [](const QVariantMap &m, const QString &chiave) {
        const QVariant v = m.value(chiave);
        return v.typeId() == QMetaType::QString ? v.toString() : QString();
    };
    const auto volume = [&](const QVariantMap &m) {
        return VolumeDisco{testoDi(m, QStringLiteral("DeviceIdentifier")),
                           testoDi(m, QStringLiteral("MountPoint")),
                           testoDi(m, QStringLiteral("VolumeName"))};
    };
    for (const QVariant &d : dischi.toList()) {
        const QVariantMap disco = d.toMap();
        if (testoDi(disco, QStringLiteral("DeviceIdentifier")) != discoIntero)
            continue;
        const QVariant partizioni = disco.value(QStringLiteral("Partitions"));
        if (partizioni.typeId() != QMetaType::QVariantList) {
            // No partition table: the disk is its one volume, if it holds a file system.
            const bool fileSystem = !testoDi(disco, QStringLiteral("Content")).isEmpty() ||
                                    !testoDi(disco, QStringLiteral("MountPoint")).isEmpty();
            return fileSystem ? QList<VolumeDisco>{volume(disco)} : QList<VolumeDisco>{};
        }
        QList<VolumeDisco> volumi;
        for (const QVariant &p : partizioni.toList()) {
            if (p.typeId() != QMetaType::QVariantMap ||
                testoDi(p.toMap(), QStringLiteral("DeviceIdentifier")).isEmpty())
                return DiskUtilErrore::infoNonLeggibili();
            volumi.append(volume(p.toMap()));
        }
        return volumi;
    }
    return DiskUtilErrore::infoNonLeggibili();
}

Risultato<QList<VolumeDisco>> leggiVolumiDisco(EsecutoreDisco &esecutore, const QString &discoIntero)
{
    const Risultato<QString> output =
        esecutore.eseguiDiskutil({QStringLiteral("list"), QStringLiteral("-plist"), discoIntero});
    if (!output)
        return output.errore();
    return interpretaVolumiDisco(output.valore(), discoIntero);
}
