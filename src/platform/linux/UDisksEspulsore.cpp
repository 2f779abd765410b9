#include "platform/linux/UDisksEspulsore.h"

#include "comune/NomiFile.h"
#include "platform/linux/ProcessiAperti.h"

#include <cerrno>
#include <fcntl.h>
#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroFuture>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QtConcurrent/QtConcurrentRun>
#include <sys/mount.h>
#include <unistd.h>

namespace {
const QString servizio = QStringLiteral("org.freedesktop.UDisks2");
const QString ifaceBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString ifaceFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString ifaceDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");

// Unmounting waits for the stick to take every dirty page: give slow sticks time.
constexpr int attesaSmontaggioMs = 10 * 60 * 1000;

struct Blocco {
    QString oggetto;
    QString drive; // "/" when the block belongs to no drive (loop devices)
    QStringList puntiMontaggio;
};

struct Dispositivi {
    QList<Blocco> blocchi;
    QHash<QString, bool> puoSpegnere; // drive object -> CanPowerOff
};

QStringList puntiDa(const QVariant &valore)
{
    // aay: byte strings ending in NUL.
    QList<QByteArray> grezzi;
    if (valore.canConvert<QDBusArgument>())
        valore.value<QDBusArgument>() >> grezzi;
    QStringList punti;
    for (QByteArray b : std::as_const(grezzi)) {
        while (b.endsWith('\0'))
            b.chop(1);
        punti.append(QDir::cleanPath(decodificaNome(b)));
    }
    return punti;
}

Dispositivi leggiOggetti(const QDBusMessage &risposta)
{
    Dispositivi d;
    if (risposta.arguments().isEmpty())
        return d;
    const QDBusArgument arg = risposta.arguments().constFirst().value<QDBusArgument>();
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath percorso;
        QMap<QString, QVariantMap> interfacce;
        arg.beginMapEntry();
        arg >> percorso >> interfacce;
        arg.endMapEntry();
        if (interfacce.contains(ifaceDrive))
            d.puoSpegnere.insert(percorso.path(),
                                 interfacce.value(ifaceDrive).value(QStringLiteral("CanPowerOff")).toBool());
        if (interfacce.contains(ifaceBlock) && interfacce.contains(ifaceFilesystem)) {
            const QVariant drive = interfacce.value(ifaceBlock).value(QStringLiteral("Drive"));
            d.blocchi.append(
                {percorso.path(),
                 drive.canConvert<QDBusObjectPath>() ? drive.value<QDBusObjectPath>().path()
                                                     : QStringLiteral("/"),
                 puntiDa(interfacce.value(ifaceFilesystem).value(QStringLiteral("MountPoints")))});
        }
    }
    arg.endMap();
    return d;
}

QVariantMap senzaDomande()
{
    // A password prompt popping up from a tray click would be wrong: fail instead.
    return {{QStringLiteral("auth.no_user_interaction"), true}};
}

QCoro::Task<QDBusMessage> chiama(QDBusConnection bus, QDBusMessage messaggio, int attesaMs = -1)
{
    const QDBusPendingCall chiamata = bus.asyncCall(messaggio, attesaMs);
    co_return co_await chiamata;
}

// Pushes the volume's dirty pages out before anyone unmounts it.
void svuota(const QString &puntoMontaggio)
{
    const int fd = ::open(codificaNome(puntoMontaggio).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::syncfs(fd);
    ::close(fd);
}

QString conProgrammi(QString descrizione, const QString &puntoMontaggio)
{
    const QStringList programmi = programmiCheUsano(puntoMontaggio);
    if (!programmi.isEmpty())
        descrizione +=
            QStringLiteral("\n\nProgrammi che usano la chiavetta: ") + programmi.join(QStringLiteral(", "));
    return descrizione;
}

// Blocking: unmounting waits for the volume's data to reach the stick.
EsitoEspulsione smontaDirettamente(const QString &puntoMontaggio)
{
    svuota(puntoMontaggio);
    if (::umount2(codificaNome(puntoMontaggio).constData(), 0) == 0)
        return {true, {}};
    const int errore = errno;
    QString descrizione = qt_error_string(errore);
    if (errore == EBUSY)
        descrizione = conProgrammi(descrizione, puntoMontaggio);
    return {false, descrizione};
}

// The references stay valid: the caller awaits this at once.
QCoro::Task<EsitoEspulsione> conUDisks(QDBusConnection bus, const Dispositivi &dispositivi,
                                       const Blocco &nostro, const QString &punto)
{
    co_await QtConcurrent::run(svuota, punto);

    // Our volume first: when it is busy the drive's other volumes stay as they were.
    QList<Blocco> daSmontare{nostro};
    if (nostro.drive != QStringLiteral("/")) {
        for (const Blocco &b : dispositivi.blocchi) {
            if (b.oggetto != nostro.oggetto && b.drive == nostro.drive && !b.puntiMontaggio.isEmpty())
                daSmontare.append(b);
        }
    }
    for (const Blocco &b : std::as_const(daSmontare)) {
        QDBusMessage smonta =
            QDBusMessage::createMethodCall(servizio, b.oggetto, ifaceFilesystem, QStringLiteral("Unmount"));
        smonta << senzaDomande();
        const QDBusMessage esito = co_await chiama(bus, smonta, attesaSmontaggioMs);
        if (esito.type() != QDBusMessage::ReplyMessage) {
            QString descrizione = esito.errorMessage();
            if (esito.errorName() == QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"))
                descrizione = conProgrammi(descrizione, b.puntiMontaggio.value(0, punto));
            co_return EsitoEspulsione{false, descrizione};
        }
    }

    if (nostro.drive != QStringLiteral("/") && dispositivi.puoSpegnere.value(nostro.drive)) {
        QDBusMessage spegni =
            QDBusMessage::createMethodCall(servizio, nostro.drive, ifaceDrive, QStringLiteral("PowerOff"));
        spegni << senzaDomande();
        // Every volume is already unmounted and flushed, so the stick is safe to
        // pull out even when the power-off is refused: not worth an alarm.
        const QDBusMessage ignorata = co_await chiama(bus, spegni);
        Q_UNUSED(ignorata);
    }
    co_return EsitoEspulsione{true, {}};
}

} // namespace

UDisksEspulsore::UDisksEspulsore(QDBusConnection bus)
    : m_bus(std::move(bus)), m_smontaggioDiretto(::geteuid() == 0)
{
}

QCoro::Task<EsitoEspulsione> UDisksEspulsore::espelli(QString puntoMontaggio)
{
    // Every await below is a plain statement on named values (README, "GCC 12
    // and coroutines").
    const QString punto = QDir::cleanPath(puntoMontaggio);
    QString senzaUDisks; // why UDisks2 cannot do it, the system's own words
    if (m_bus.isConnected()) {
        const QDBusMessage elenco = QDBusMessage::createMethodCall(
            servizio, QStringLiteral("/org/freedesktop/UDisks2"),
            QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
        const QDBusMessage risposta = co_await chiama(m_bus, elenco);
        if (risposta.type() == QDBusMessage::ReplyMessage) {
            const Dispositivi dispositivi = leggiOggetti(risposta);
            const auto nostro =
                std::find_if(dispositivi.blocchi.cbegin(), dispositivi.blocchi.cend(),
                             [&](const Blocco &b) { return b.puntiMontaggio.contains(punto); });
            if (nostro != dispositivi.blocchi.cend()) {
                const EsitoEspulsione esito = co_await conUDisks(m_bus, dispositivi, *nostro, punto);
                co_return esito;
            }
            senzaUDisks = QStringLiteral("UDisks2 non gestisce il volume %1.").arg(punto);
        } else {
            senzaUDisks = risposta.errorMessage();
        }
    } else {
        senzaUDisks = m_bus.lastError().message();
    }
    if (!m_smontaggioDiretto)
        co_return EsitoEspulsione{false, senzaUDisks};
    const EsitoEspulsione esito = co_await QtConcurrent::run(smontaDirettamente, punto);
    co_return esito;
}
