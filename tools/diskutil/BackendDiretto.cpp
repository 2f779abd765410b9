#include "BackendDiretto.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString errore()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Runs a helper program; on failure, what it printed is the message.
Backend::Esito esegui(const QString &programma, const QStringList &argomenti, const QByteArray &ingresso = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(programma, argomenti);
    if (!p.waitForStarted(10000))
        return Backend::Esito::fallito(
            QStringLiteral("Impossibile avviare %1: %2").arg(programma, p.errorString()));
    if (!ingresso.isEmpty())
        p.write(ingresso);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QString detto = QString::fromLocal8Bit(p.readAll()).trimmed();
        return Backend::Esito::fallito(
            QStringLiteral("%1 non è riuscito (codice %2): %3").arg(programma).arg(p.exitCode()).arg(detto));
    }
    return Backend::Esito::riuscito();
}

// Opens the whole disk for this program alone: the kernel refuses while any
// of its partitions is mounted or otherwise held.
int apriEsclusivo(const QString &nodo, int modo)
{
    int fd;
    do {
        fd = ::open(QFile::encodeName(nodo).constData(), modo | O_EXCL | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The safety check judged the disk sysfs describes; the node in /dev must be
// that very device, not one renamed, renumbered or planted in its place.
std::optional<Backend::Esito> altroDispositivo(int fd, const QString &nodo, const Disco &disco)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode) &&
        QStringLiteral("%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev)) == disco.numero)
        return std::nullopt;
    return Backend::Esito::rifiutato(
        QStringLiteral("Rifiutato: %1 non è il disco controllato (il sistema lo descrive come %2).")
            .arg(nodo, disco.numero));
}

QString nodoPartizione(const QString &disco)
{
    // sdb -> sdb1, loop3 / nvme0n1 / mmcblk0 -> ...p1: the kernel's own rule.
    return QStringLiteral("/dev/") + disco +
           (disco.back().isDigit() ? QStringLiteral("p1") : QStringLiteral("1"));
}

} // namespace

Backend::Esito BackendDiretto::smonta(const Disco &disco)
{
    // Before anything is unmounted; the writes check again on their own descriptor.
    const QString nodo = QStringLiteral("/dev/") + disco.nome;
    const int fd = ::open(QFile::encodeName(nodo).constData(), O_RDONLY | O_CLOEXEC);
    const std::optional<Esito> estraneo =
        fd < 0
            ? std::optional(Esito::fallito(QStringLiteral("Impossibile aprire %1: %2").arg(nodo, errore())))
            : altroDispositivo(fd, nodo, disco);
    if (fd >= 0)
        ::close(fd);
    if (estraneo)
        return *estraneo;
    QList<Montaggio> montaggi = m_vista.montaggiDi(disco);
    // Deepest first, so nested mounts come off before their parents.
    std::sort(montaggi.begin(), montaggi.end(), [](const Montaggio &a, const Montaggio &b) {
        return a.puntoMontaggio.size() > b.puntoMontaggio.size();
    });
    for (const Montaggio &m : std::as_const(montaggi)) {
        if (::umount2(QFile::encodeName(m.puntoMontaggio).constData(), 0) != 0 && errno != EINVAL &&
            errno != ENOENT)
            return Esito::fallito(
                QStringLiteral("Impossibile smontare %1: %2. Chiudi i file aperti sulla chiavetta e riprova.")
                    .arg(m.puntoMontaggio, errore()));
    }
    return Esito::riuscito();
}

Backend::Esito BackendDiretto::formattaFat32(const Disco &disco, const QString &etichetta,
                                             const Avanzamento &avanzamento)
{
    const QString nodo = QStringLiteral("/dev/") + disco.nome;
    const int prova = apriEsclusivo(nodo, O_RDONLY);
    if (prova < 0)
        return Esito::fallito(QStringLiteral("Il disco %1 è ancora in uso: %2").arg(nodo, errore()));
    const std::optional<Esito> estraneo = altroDispositivo(prova, nodo, disco);
    ::close(prova);
    if (estraneo)
        return *estraneo;
    avanzamento(10);

    Esito e = esegui(QStringLiteral("sfdisk"),
                     {QStringLiteral("--wipe"), QStringLiteral("always"), QStringLiteral("--wipe-partitions"),
                      QStringLiteral("always"), QStringLiteral("-q"), nodo},
                     "label: dos\nstart=2048, type=c\n");
    if (!e.ok)
        return e;
    avanzamento(40);

    // The kernel may not read the new table by itself (loop devices without
    // partition scanning): tell it about the partition explicitly.
    const QString partizione = nodoPartizione(disco.nome);
    esegui(QStringLiteral("partx"), {QStringLiteral("-u"), nodo});
    if (!QFileInfo::exists(partizione))
        esegui(QStringLiteral("partx"), {QStringLiteral("-a"), nodo});
    const QDeadlineTimer attesa(10000);
    while (!QFileInfo::exists(partizione) && !attesa.hasExpired())
        QThread::msleep(50);
    if (!QFileInfo::exists(partizione))
        return Esito::fallito(QStringLiteral("La nuova partizione %1 non è comparsa.").arg(partizione));
    avanzamento(60);

    e = esegui(QStringLiteral("mkfs.fat"),
               {QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-n"), etichetta, partizione});
    if (!e.ok)
        return e;
    const int fd = ::open(QFile::encodeName(partizione).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    avanzamento(100);
    return Esito::riuscito();
}

Backend::Esito BackendDiretto::azzera(const Disco &disco, const Avanzamento &avanzamento)
{
    const QString nodo = QStringLiteral("/dev/") + disco.nome;
    const int fd = apriEsclusivo(nodo, O_WRONLY | O_DIRECT);
    if (fd < 0)
        return Esito::fallito(QStringLiteral("Impossibile aprire %1 in esclusiva: %2").arg(nodo, errore()));
    if (const std::optional<Esito> estraneo = altroDispositivo(fd, nodo, disco)) {
        ::close(fd);
        return *estraneo;
    }
    quint64 totale = 0;
    int settore = 512;
    if (::ioctl(fd, BLKGETSIZE64, &totale) != 0 || ::ioctl(fd, BLKSSZGET, &settore) != 0) {
        const QString m = errore();
        ::close(fd);
        return Esito::fallito(QStringLiteral("Impossibile leggere la dimensione di %1: %2").arg(nodo, m));
    }

    constexpr size_t blocco = 4 << 20;
    void *zeri = nullptr;
    if (::posix_memalign(&zeri, 4096, blocco) != 0) {
        ::close(fd);
        return Esito::fallito(QStringLiteral("Memoria insufficiente."));
    }
    std::memset(zeri, 0, blocco);

    avanzamento(0);
    int ultimo = 0;
    quint64 scritti = 0;
    Esito esito = Esito::riuscito();
    while (scritti < totale) {
        // The size is a whole number of sectors, so the last, shorter write
        // stays aligned as O_DIRECT requires.
        const size_t quanti = size_t(std::min<quint64>(blocco, totale - scritti));
        const ssize_t n = ::pwrite(fd, zeri, quanti, off_t(scritti));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || n % settore != 0) {
            esito = Esito::fallito(QStringLiteral("Scrittura interrotta dopo %1 byte su %2: %3")
                                       .arg(scritti)
                                       .arg(totale)
                                       .arg(n < 0 ? errore() : QStringLiteral("scrittura incompleta")));
            break;
        }
        scritti += quint64(n);
        const int percento = int(scritti * 100 / totale);
        if (percento != ultimo && percento < 100) {
            ultimo = percento;
            avanzamento(percento);
        }
    }
    std::free(zeri);
    if (esito.ok && ::fsync(fd) != 0)
        esito = Esito::fallito(
            QStringLiteral("Impossibile completare la scrittura su %1: %2").arg(nodo, errore()));
    ::close(fd);
    if (esito.ok)
        avanzamento(100);
    return esito;
}
