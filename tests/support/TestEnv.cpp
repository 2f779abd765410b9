#include "support/TestEnv.h"

#include "operations/Registro.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <unistd.h>

TestEnv::TestEnv()
{
    QDir().mkpath(path(QStringLiteral("data")));
    impostaCartellaDatiRegistro(path(QStringLiteral("data")));
    auto store = std::make_unique<QSettings>(settingsFile(), QSettings::IniFormat);
    store->setValue(AppSettings::key, path(QStringLiteral("Archivio")));
    store->sync();
    settings = std::make_unique<AppSettings>(std::move(store));
    servizi.avvisi = &avvisi;
    servizi.notifiche = &notifiche;
    servizi.apritore = &apritore;
    servizi.centro = &centro;
    servizi.erase = &erase;
    servizi.settings = settings.get();
    servizi.diag = &diag;
    servizi.disco = &disco;
}

TestEnv::~TestEnv()
{
    impostaCartellaDatiRegistro(QString());
}

QString TestEnv::path(const QString &relative) const
{
    return relative.isEmpty() ? dir.path() : QDir(dir.path()).filePath(relative);
}

QString TestEnv::logFile() const
{
    return path(QStringLiteral("data/Orvala Tessera/registro_operazioni.log"));
}

QStringList TestEnv::logLines() const
{
    const QString text = QString::fromUtf8(TestSupport::readFile(logFile()));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool TestSupport::isRoot()
{
    return ::geteuid() == 0;
}

QString TestSupport::artifactsDir()
{
    QString dir = qEnvironmentVariable("TESSERA_TEST_ARTIFACTS");
    if (dir.isEmpty())
        dir = QDir::current().filePath(QStringLiteral("test-artifacts"));
    QDir().mkpath(dir);
    return dir;
}

bool TestSupport::writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(content) == content.size();
}

QByteArray TestSupport::readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
