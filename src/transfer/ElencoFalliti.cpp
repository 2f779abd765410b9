#include "transfer/ElencoFalliti.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "operations/Registro.h"

#include <cerrno>
#include <fcntl.h>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace {
constexpr qsizetype righeMostrate = 8;
// Beyond this a log line would be too long to read: the lines go to a file.
constexpr qsizetype righeInUnaRiga = 50;

// A new file beside the log holding `testo`; its path, or empty.
QString scriviAccantoAlRegistro(const QByteArray &testo)
{
    const QString cartella = QFileInfo(urlRegistro()).absolutePath();
    const QString stamp = Orologio::timestamp();
    for (int k = 0; k < 100; ++k) {
        const QString percorso = QStringLiteral("%1/non_riusciti_%2%3.txt")
                                     .arg(cartella, stamp, k ? QStringLiteral("_%1").arg(k) : QString());
        const int fd =
            ::open(codificaNome(percorso).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return {};
        QFile file;
        const bool aperto = file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
        const bool scritto = aperto && file.write(testo) == testo.size() && file.flush();
        if (!aperto)
            ::close(fd);
        file.close();
        if (scritto)
            return percorso;
        ::unlink(codificaNome(percorso).constData());
        return {};
    }
    return {};
}
} // namespace

QString primeRighe(const QStringList &righe)
{
    QString testo = righe.first(qMin(righeMostrate, righe.size())).join(QLatin1Char('\n'));
    if (righe.size() > righeMostrate)
        testo += QStringLiteral("\ne altri %1...").arg(righe.size() - righeMostrate);
    return testo;
}

QString righeInRegistro(const QStringList &righe, const QString &etichetta)
{
    if (righe.isEmpty())
        return {};
    if (righe.size() > righeInUnaRiga) {
        const QString file =
            scriviAccantoAlRegistro((righe.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        if (!file.isEmpty())
            return QStringLiteral("; %1: %2, elenco completo in %3")
                .arg(etichetta, QString::number(righe.size()), file);
    }
    return QStringLiteral("; %1: %2").arg(etichetta, righe.join(QStringLiteral("; ")));
}

QString conNumero(qint64 n, const QString &singolare, const QString &plurale)
{
    return QStringLiteral("%1 %2").arg(QString::number(n), n == 1 ? singolare : plurale);
}

QString testoInterruzione(const QString &operazione, qint64 fatti, qint64 nonFatti, bool verificati)
{
    return QStringLiteral("%1 interrotta: %2, %3")
        .arg(operazione,
             verificati ? conNumero(fatti, QStringLiteral("file copiato e verificato"),
                                    QStringLiteral("file copiati e verificati"))
                        : conNumero(fatti, QStringLiteral("file copiato"), QStringLiteral("file copiati")),
             conNumero(nonFatti, QStringLiteral("non copiato"), QStringLiteral("non copiati")));
}
