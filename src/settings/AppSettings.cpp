#include "settings/AppSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
void createFolder(const QString &path)
{
    if (!path.isEmpty())
        QDir().mkpath(path); // best effort: the copy reports an unusable folder itself
}
} // namespace

AppSettings &AppSettings::shared()
{
    static AppSettings *instance =
        new AppSettings(std::make_unique<QSettings>(QStringLiteral("Orvala"), QStringLiteral("Tessera")));
    return *instance;
}

AppSettings::AppSettings(std::unique_ptr<QSettings> store, QObject *parent)
    : QObject(parent), m_store(std::move(store))
{
    const QVariant stored = m_store->value(key);
    m_destinationPath = stored.isValid() ? stored.toString() : defaultDestinationPath();
    m_autoImport = m_store->value(keyAutoImport, false).toBool();
    createFolder(m_destinationPath);
}

AppSettings::~AppSettings() = default;

QString AppSettings::defaultDestinationPath()
{
    static const QString path =
        QDir(QDir::homePath())
            .absoluteFilePath(QStringLiteral("Library/Mobile Documents/com~apple~CloudDocs/Ecografie"));
    return path;
}

void AppSettings::setDestinationPath(const QString &path)
{
    const bool changed = path != m_destinationPath;
    m_destinationPath = path;
    m_store->setValue(key, path);
    m_store->sync();
    createFolder(path);
    if (changed)
        Q_EMIT destinationPathChanged(path);
}

void AppSettings::setAutoImport(bool on)
{
    const bool changed = on != m_autoImport;
    m_autoImport = on;
    m_store->setValue(keyAutoImport, on);
    m_store->sync();
    if (changed)
        Q_EMIT autoImportChanged(on);
}

QString AppSettings::folderName(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return QFileInfo(p).fileName();
}
