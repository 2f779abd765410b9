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
