#include "platform/PercorsiStrumenti.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString strumento(const QString &nome)
{
    const QString installato = QDir(QCoreApplication::applicationDirPath())
                                   .filePath(QStringLiteral(TESSERA_LIBEXEC_RELATIVE "/") + nome);
    if (QFileInfo(installato).isExecutable())
        return QDir::cleanPath(installato);
    return QDir(QStringLiteral(TESSERA_BUILD_TOOLS_DIR)).filePath(nome);
}
} // namespace

PercorsiStrumenti percorsiStrumenti()
{
    return {strumento(QStringLiteral("tessera-diskutil")),
            strumento(QStringLiteral("tessera-system-profiler"))};
}
