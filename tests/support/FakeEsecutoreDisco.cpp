#include "support/FakeEsecutoreDisco.h"

void FakeEsecutoreDisco::rispondi(const QStringList &prefisso, Risultato<QString> esito,
                                  QList<double> percentuali)
{
    QMutexLocker lock(&m_mutex);
    m_regole.append(Regola{prefisso, std::move(esito), std::move(percentuali)});
}

QList<FakeEsecutoreDisco::Chiamata> FakeEsecutoreDisco::chiamate() const
{
    QMutexLocker lock(&m_mutex);
    return m_chiamate;
}

QList<QStringList> FakeEsecutoreDisco::argomentiChiamate() const
{
    QList<QStringList> tutti;
    for (const Chiamata &c : chiamate())
        tutti.append(c.argomenti);
    return tutti;
}

Risultato<QString> FakeEsecutoreDisco::eseguiDiskutil(const QStringList &argomenti, Progresso progresso)
{
    std::optional<Regola> regola;
    {
        QMutexLocker lock(&m_mutex);
        m_chiamate.append(Chiamata{argomenti, bool(progresso)});
        for (auto it = m_regole.crbegin(); it != m_regole.crend(); ++it) {
            if (argomenti.mid(0, it->prefisso.size()) == it->prefisso) {
                regola = *it;
                break;
            }
        }
    }
    if (durante)
        durante(argomenti);
    if (!regola)
        return DiskUtilErrore::comandoFallito(argomenti.join(' '), 1,
                                              QStringLiteral("nessuna risposta prevista"));
    if (progresso) {
        for (double p : regola->percentuali)
            progresso(p);
    }
    return regola->esito;
}

Risultato<QString> FakeEsecutoreDisco::eseguiStrumento(const QString &percorso, const QStringList &argomenti)
{
    return eseguiDiskutil(QStringList{percorso} + argomenti);
}

QString FakeEsecutoreDisco::reportInfo(const QVariantMap &chiavi)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                 "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                 "<plist version=\"1.0\">\n<dict>\n");
    for (auto it = chiavi.cbegin(); it != chiavi.cend(); ++it) {
        xml += QStringLiteral("\t<key>%1</key>\n").arg(it.key().toHtmlEscaped());
        switch (it->typeId()) {
        case QMetaType::Bool:
            xml += it->toBool() ? QStringLiteral("\t<true/>\n") : QStringLiteral("\t<false/>\n");
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
            xml += QStringLiteral("\t<integer>%1</integer>\n").arg(it->toLongLong());
            break;
        default:
            xml += QStringLiteral("\t<string>%1</string>\n").arg(it->toString().toHtmlEscaped());
        }
    }
    return xml + QStringLiteral("</dict>\n</plist>\n");
}

QString FakeEsecutoreDisco::reportInfo(const QString &disco, bool interno, bool rimovibile)
{
    return reportInfo({{QStringLiteral("ParentWholeDisk"), disco},
                       {QStringLiteral("Internal"), interno},
                       {QStringLiteral("RemovableMedia"), rimovibile}});
}
