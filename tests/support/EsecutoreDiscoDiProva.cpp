#include "support/EsecutoreDiscoDiProva.h"

void EsecutoreDiscoDiProva::rispondi(const QStringList &prefisso, Risultato<QString> esito,
                                     QList<double> percentuali)
{
    QMutexLocker lock(&m_mutex);
    m_regole.append(Regola{prefisso, std::move(esito), std::move(percentuali)});
}

QList<EsecutoreDiscoDiProva::Chiamata> EsecutoreDiscoDiProva::chiamate() const
{
    QMutexLocker lock(&m_mutex);
    return m_chiamate;
}

QList<QStringList> EsecutoreDiscoDiProva::argomentiChiamate() const
{
    QList<QStringList> tutti;
    for (const Chiamata &c : chiamate())
        tutti.append(c.argomenti);
    return tutti;
}

Risultato<QString> EsecutoreDiscoDiProva::eseguiDiskutil(const QStringList &argomenti, Riferisci riferisci)
{
    std::optional<Regola> regola;
    {
        QMutexLocker lock(&m_mutex);
        m_chiamate.append(Chiamata{argomenti, bool(riferisci)});
        for (auto it = m_regole.crbegin(); it != m_regole.crend() && !regola; ++it)
            if (argomenti.mid(0, it->prefisso.size()) == it->prefisso)
                regola = *it;
    }
    if (durante)
        durante(argomenti);
    if (!regola)
        return DiskUtilErrore::comandoFallito(argomenti.join(' '), 1, "nessuna risposta prevista");
    for (double p : regola->percentuali)
        if (riferisci)
            riferisci({.frazione = p / 100});
    return regola->esito;
}

QString EsecutoreDiscoDiProva::reportInfo(const QVariantMap &chiavi)
{
    QString xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (auto it = chiavi.cbegin(); it != chiavi.cend(); ++it) {
        xml += QStringLiteral("<key>%1</key>").arg(it.key().toHtmlEscaped());
        if (it->typeId() == QMetaType::Bool)
            xml += it->toBool() ? "<true/>\n" : "<false/>\n";
        else if (it->typeId() == QMetaType::Int || it->typeId() == QMetaType::LongLong)
            xml += QStringLiteral("<integer>%1</integer>\n").arg(it->toLongLong());
        else
            xml += QStringLiteral("<string>%1</string>\n").arg(it->toString().toHtmlEscaped());
    }
    return xml + "</dict>\n</plist>\n";
}

QString EsecutoreDiscoDiProva::reportInfo(const QString &disco, bool interno, bool rimovibile)
{
    return reportInfo({{"ParentWholeDisk", disco}, {"Internal", interno}, {"RemovableMedia", rimovibile}});
}

QString EsecutoreDiscoDiProva::reportVolumi(const QString &disco,
                                            const QList<std::pair<QString, QString>> &partizioni)
{
    QString voci;
    for (const auto &[id, punto] : partizioni) {
        voci += "<dict><key>DeviceIdentifier</key><string>" + id + "</string>";
        if (!punto.isEmpty())
            voci += "<key>MountPoint</key><string>" + punto.toHtmlEscaped() + "</string>";
        voci += "</dict>";
    }
    return "<plist version=\"1.0\"><dict><key>AllDisksAndPartitions</key><array><dict><key>DeviceIdentifier"
           "</key><string>" +
           disco + "</string><key>Partitions</key><array>" + voci + "</array></dict></array></dict></plist>";
}
