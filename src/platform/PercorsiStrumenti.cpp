#include "platform/PercorsiStrumenti.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
#ifndef Q_OS_MACOS
QString strumento(const QString &nome)
{
    const QString installato = QDir(QCoreApplication::applicationDirPath())
                                   .filePath(QStringLiteral(TESSERA_LIBEXEC_RELATIVE "/") + nome);
    if (QFileInfo(installato).isExecutable())
        return QDir::cleanPath(installato);
    return QDir(QStringLiteral(TESSERA_BUILD_TOOLS_DIR)).filePath(nome);
}
#endif
} // namespace

PercorsiStrumenti percorsiStrumenti()
{
#ifdef Q_OS_MACOS
    return {QStringLiteral("/usr/sbin/diskutil"), QStringLiteral("/usr/sbin/system_profiler")};
#else
    return {strumento(QStringLiteral("tessera-diskutil")),
            strumento(QStringLiteral("tessera-system-profiler"))};
#endif
}
