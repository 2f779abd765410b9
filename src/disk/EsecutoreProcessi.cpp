#include "disk/EsecutoreProcessi.h"

#include "disk/TestoDiskutil.h"
#include "operations/Orologio.h"
#include "platform/OperazioniFile.h"
#include "platform/Processi.h"

#include <cstring>
#include <fcntl.h>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace {
ErroreAvvio erroreAvvio(const QString &programma, int e)
{
    return ErroreAvvio{programma, QString::fromLocal8Bit(std::strerror(e))};
}
} // namespace

EsecutoreProcessi::EsecutoreProcessi(QString programmaDiskutil, QString fileTraccia)
    : m_diskutil(std::move(programmaDiskutil)), m_traccia(std::move(fileTraccia))
{
}

void EsecutoreProcessi::traccia(const QString &testo) const
{
    const QByteArray dati = testo.toUtf8();
    // The trace lives in a shared folder, where anyone may have planted
    // something under its name first: a link to one of the user's files
    // (O_NOFOLLOW), a FIFO that would hold every disk operation (O_NONBLOCK,
    // then refused), or a file of their own that would read what is traced.
    // Only a regular file of this user is written; otherwise no trace.
    const int fd = ::open(QFile::encodeName(m_traccia).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return;
    }
    if ((st.st_mode & 077) != 0) // left readable by others by an earlier version
        ::fchmod(fd, 0600);
    scriviTutto(fd, dati);
    ::close(fd);
}

Risultato<QString> EsecutoreProcessi::eseguiDiskutil(const QStringList &argomenti, Riferisci riferisci)
{
    if (riferisci) {
        const QString quando = Orologio::adesso().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        traccia(QStringLiteral("\n===== %1 +0000 — avvio: %2 %3 =====\n")
                    .arg(quando, m_diskutil, argomenti.join(' ')));
    }
    QByteArray raccolti;
    const EsitoProcesso esito =
        eseguiProcesso(m_diskutil, argomenti, bool(riferisci), [&](const QByteArray &pezzo) {
            raccolti += pezzo;
            if (!riferisci)
                return;
            const QString testo =
                QString::fromUtf8(pezzo); // replaces what is not UTF-8: the trace is never empty
            traccia(QStringLiteral("[chunk %1 byte] %2\n").arg(pezzo.size()).arg(testo));
            for (double p : DiskUtil::trovaPercentuali(testo)) {
                traccia(QStringLiteral("  → percentuale riconosciuta: %1\n").arg(DiskUtil::testoNumero(p)));
                riferisci({.frazione = p / 100});
            }
        });
    if (esito.erroreAvvio != 0)
        return erroreAvvio(m_diskutil, esito.erroreAvvio);

    const QString output = DiskUtil::decodificaUtf8(raccolti);
    if (esito.uscita != 0)
        return DiskUtilErrore::comandoFallito(argomenti.join(' '), esito.uscita, output);
    return output;
}

Risultato<QString> EsecutoreProcessi::eseguiStrumento(const QString &percorso, const QStringList &argomenti)
{
    QByteArray raccolti;
    const EsitoProcesso esito =
        eseguiProcesso(percorso, argomenti, false, [&](const QByteArray &pezzo) { raccolti += pezzo; });
    if (esito.erroreAvvio != 0)
        return erroreAvvio(percorso, esito.erroreAvvio);
    const QString output = DiskUtil::decodificaUtf8(raccolti);
    if (esito.uscita != 0)
        return DiskUtilErrore::comandoFallito((QStringList{percorso} + argomenti).join(' '), esito.uscita,
                                              output);
    return output;
}
