#include "support/TestEnv.h"

#include "operations/Registro.h"

#include <fcntl.h>
#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <unistd.h>

TestEnv::TestEnv()
{
    QDir().mkpath(path("data"));
    impostaCartellaDatiRegistro(path("data"));
    QDir().mkpath(path("Archivio")); // a folder the user chose: the settings never make it
    auto store = std::make_unique<QSettings>(settingsFile(), QSettings::IniFormat);
    store->setValue(AppSettings::key, path("Archivio"));
    store->sync();
    impostazioni = std::make_unique<AppSettings>(std::move(store));
    // In declaration order; every field has its own type, so a change there fails to compile.
    servizi = {&avvisi,        &notifiche,         &apritore,    &centro,
               &cancellazione, impostazioni.get(), &diagnostica, &disco};
}

TestEnv::~TestEnv()
{
    impostaCartellaDatiRegistro(QString());
}

QStringList TestEnv::logLines() const
{
    QStringList righe = QString::fromUtf8(TestSupport::readFile(logFile())).split(u'\n');
    if (righe.last().isEmpty())
        righe.removeLast();
    return righe;
}

bool TestSupport::isRoot()
{
    return ::geteuid() == 0;
}

QString TestSupport::artifactsDir()
{
    const QString dir =
        qEnvironmentVariable("TESSERA_TEST_ARTIFACTS", QDir::current().filePath("test-artifacts"));
    QDir().mkpath(dir);
    return dir;
}

bool TestSupport::writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray TestSupport::readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TestSupport::writeFileBytes(const QString &cartella, const QByteArray &nome, const QByteArray &content)
{
    const QByteArray percorso = QFile::encodeName(cartella) + '/' + nome;
    QDir().mkpath(QFile::decodeName(percorso.left(percorso.lastIndexOf('/'))));
    const int fd = ::open(percorso.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

QByteArray TestSupport::sha256Hex(const QByteArray &dati)
{
    return QCryptographicHash::hash(dati, QCryptographicHash::Sha256).toHex();
}

bool TestSupport::esegui(const QString &programma, const QStringList &argomenti, QString *uscita)
{
    QProcess p;
    p.start(programma, argomenti);
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (uscita)
        *uscita = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return ok;
}
