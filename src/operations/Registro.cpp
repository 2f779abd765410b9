#include "operations/Registro.h"

#include "comune/Marchio.h"
#include "operations/Orologio.h"
#include "platform/AperturaDesktop.h"

#include <cerrno>
#include <fcntl.h>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QStandardPaths>
#include <QUrl>
#include <unistd.h>

namespace {
QMutex cartellaMutex;
QString &cartellaDati()
{
    static QString c;
    return c;
}
} // namespace

void impostaCartellaDatiRegistro(const QString &cartella)
{
    QMutexLocker lock(&cartellaMutex);
    cartellaDati() = cartella;
}

QString cartellaDatiProgramma()
{
    QString base;
    {
        QMutexLocker lock(&cartellaMutex);
        base = cartellaDati();
    }
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString cartella =
        QDir(base).filePath(QStringLiteral("%1 %2").arg(Marchio::produttore, Marchio::nomeProdotto));
    QDir().mkpath(cartella);
    return cartella;
}

QString urlRegistro()
{
    return QDir(cartellaDatiProgramma()).filePath(QStringLiteral("registro_operazioni.log"));
}

void registra(const QString &testo)
{
    const QString riga = QLatin1Char('[') +
                         Orologio::adesso().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                         QStringLiteral("] ") + testo + QLatin1Char('\n');
    const QByteArray dati = riga.toUtf8();
    const QByteArray percorso = QFile::encodeName(urlRegistro());
    // O_APPEND makes the single write land at the end even if another process
    // appends too; nothing is ever truncated or replaced. The log names
    // patients' sticks, so only its owner may read it.
    const int fd = ::open(percorso.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    ssize_t scritti = 0;
    do {
        scritti = ::write(fd, dati.constData(), size_t(dati.size()));
    } while (scritti < 0 && errno == EINTR);
    ::close(fd);
}

void apriRegistro(AperturaDesktop &opener)
{
    if (!QFile::exists(urlRegistro()))
        registra(QStringLiteral("Registro creato"));
    opener.apri(QUrl::fromLocalFile(urlRegistro()));
}
