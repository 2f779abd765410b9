#include "settings/AppSettings.h"

#include <fcntl.h>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Only the default folder is ever made: a chosen one that is missing is a
// network share not mounted or a disk unplugged, and a folder made in its
// place would catch the archive on the local disk, hidden by the next mount.
void createDefaultFolder(const AppSettings &settings)
{
    if (settings.isDefaultDestination())
        QDir().mkpath(settings.destinationPath()); // best effort: the copy reports an unusable folder itself
}

// No folder was chosen. An archive taken over from an earlier version's
// default place is written down, so it stays the archive even once emptied;
// otherwise the empty folders that version made are taken away, so that
// nobody mistakes them for the archive.
void settleUnchosenFolder(QSettings &store, const QString &folder)
{
    const QString earlier = ChiaviImpostazioni::cartellaArchivioPrecedente();
    if (earlier.isEmpty())
        return;
    if (folder == earlier) {
        store.setValue(AppSettings::key, folder);
        store.sync();
        return;
    }
    // rmdir fails on a folder with anything in it; the walk stops at home.
    const QString home = QDir::homePath() + QLatin1Char('/');
    for (QString f = earlier; f.startsWith(home) && QDir().rmdir(f); f = QFileInfo(f).path()) {
    }
}

// A file edited by hand or by an older version may hold anything: only the
// four spellings a person would mean count, the rest leaves the default.
bool readSwitch(const QVariant &stored, bool fallback)
{
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    const QString text = stored.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

// The file names the practice's folders, so only its owner may read it. It is
// made before the first write so that every later save keeps its mode; one
// left readable by an older version is closed down, unless someone else owns it.
void keepPrivate(const QString &fileName)
{
    if (fileName.isEmpty())
        return;
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077))
        ::fchmod(fd, st.st_mode & 0700);
    ::close(fd);
}
} // namespace

AppSettings &AppSettings::shared()
{
    static AppSettings *instance = new AppSettings(
        std::make_unique<QSettings>(ChiaviImpostazioni::organizzazione, ChiaviImpostazioni::programma));
    return *instance;
}

AppSettings::AppSettings(std::unique_ptr<QSettings> store, QObject *parent)
    : QObject(parent), m_store(std::move(store))
{
    keepPrivate(m_store->fileName());
    const QVariant stored = m_store->value(key);
    m_destinationPath = ChiaviImpostazioni::cartellaArchivioDa(stored);
    m_autoImport = readSwitch(m_store->value(keyAutoImport), false);
    m_ordine = ChiaviImpostazioni::ordineDa(m_store->value(keyOrdine));
    if (!QDir::isAbsolutePath(stored.toString()))
        settleUnchosenFolder(*m_store, m_destinationPath);
    createDefaultFolder(*this);
}

AppSettings::~AppSettings() = default;

QString AppSettings::defaultDestinationPath()
{
    return ChiaviImpostazioni::cartellaArchivioPredefinita();
}

void AppSettings::setDestinationPath(const QString &path)
{
    const bool changed = path != m_destinationPath;
    m_destinationPath = path;
    m_store->setValue(key, path);
    keepPrivate(m_store->fileName());
    m_store->sync();
    createDefaultFolder(*this);
    if (changed)
        Q_EMIT destinationPathChanged(path);
}

bool AppSettings::isDefaultDestination() const
{
    return QDir::cleanPath(m_destinationPath) == QDir::cleanPath(defaultDestinationPath());
}

void AppSettings::setAutoImport(bool on)
{
    const bool changed = on != m_autoImport;
    m_autoImport = on;
    m_store->setValue(keyAutoImport, on);
    keepPrivate(m_store->fileName());
    m_store->sync();
    if (changed)
        Q_EMIT autoImportChanged(on);
}

void AppSettings::setOrdineArchivio(OrdineArchivio ordine)
{
    const bool changed = ordine != m_ordine;
    m_ordine = ordine;
    m_store->setValue(keyOrdine, ChiaviImpostazioni::testoOrdine(ordine));
    keepPrivate(m_store->fileName());
    m_store->sync();
    if (changed)
        Q_EMIT ordineArchivioChanged(ordine);
}

std::optional<QDateTime> AppSettings::ultimaVerificaArchivio() const
{
    if (QDir::cleanPath(m_store->value(keyCartellaVerificata).toString()) !=
        QDir::cleanPath(m_destinationPath))
        return std::nullopt;
    const QDateTime quando = QDateTime::fromString(m_store->value(keyUltimaVerifica).toString(), Qt::ISODate);
    return quando.isValid() ? std::optional(quando) : std::nullopt;
}

void AppSettings::setUltimaVerificaArchivio(const QDateTime &quando)
{
    m_store->setValue(keyUltimaVerifica, quando.toString(Qt::ISODate));
    m_store->setValue(keyCartellaVerificata, m_destinationPath);
    keepPrivate(m_store->fileName());
    m_store->sync();
    Q_EMIT ultimaVerificaArchivioChanged();
}

QString AppSettings::folderName(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return QFileInfo(p).fileName();
}
