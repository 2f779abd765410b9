#include "BackendUDisks2.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QEventLoop>
#include <QTimer>
#include <sys/sysmacros.h>

Q_DECLARE_METATYPE(BackendUDisks2::Interfacce)
Q_DECLARE_METATYPE(BackendUDisks2::Oggetti)

namespace {
const QString servizio = QStringLiteral("org.freedesktop.UDisks2");
const QString radice = QStringLiteral("/org/freedesktop/UDisks2");
const QString ifBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString ifPartition = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString ifFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString ifTable = QStringLiteral("org.freedesktop.UDisks2.PartitionTable");
const QString ifJob = QStringLiteral("org.freedesktop.UDisks2.Job");

constexpr int breve = 30 * 1000;
constexpr int formattazione = 10 * 60 * 1000;
// A zero pass over a large, slow stick takes hours; the call only answers at the end.
constexpr int cancellazione = 24 * 60 * 60 * 1000;

// Options every call carries: never let the service pop up a password prompt.
QVariantMap opzioni(QVariantMap altre = {})
{
    altre.insert(QStringLiteral("auth.no_user_interaction"), true);
    return altre;
}

// Byte-string properties end in a NUL byte.
QByteArray senzaNul(QByteArray b)
{
    while (b.endsWith('\0'))
        b.chop(1);
    return b;
}

bool haPuntiDiMontaggio(const QVariant &valore)
{
    if (valore.canConvert<QDBusArgument>()) {
        QList<QByteArray> punti;
        valore.value<QDBusArgument>() >> punti;
        return !punti.isEmpty();
    }
    return !valore.value<QList<QByteArray>>().isEmpty();
}

QList<QDBusObjectPath> percorsi(const QVariant &valore)
{
    if (valore.canConvert<QDBusArgument>()) {
        QList<QDBusObjectPath> lista;
        valore.value<QDBusArgument>() >> lista;
        return lista;
    }
    return valore.value<QList<QDBusObjectPath>>();
}

QString testoErrore(const QDBusError &e)
{
    if (e.name().endsWith(QLatin1String(".NotAuthorized")) ||
        e.name().endsWith(QLatin1String(".NotAuthorizedCanObtain")))
        return QStringLiteral("Permesso negato dal sistema: %1").arg(e.message());
    if (e.name() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
        return QStringLiteral("UDisks2 non ha risposto in tempo.");
    return e.message();
}
} // namespace

BackendUDisks2::BackendUDisks2(QDBusConnection bus) : m_bus(std::move(bus))
{
    qDBusRegisterMetaType<Interfacce>();
    qDBusRegisterMetaType<Oggetti>();
}

bool BackendUDisks2::disponibile()
{
    return m_bus.isConnected() && oggetti().has_value();
}

std::optional<BackendUDisks2::Oggetti> BackendUDisks2::oggetti(QString *errore)
{
    QDBusMessage m =
        QDBusMessage::createMethodCall(servizio, radice, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                       QStringLiteral("GetManagedObjects"));
    const QDBusReply<Oggetti> r = m_bus.call(m, QDBus::Block, 10000);
    if (!r.isValid()) {
        if (errore)
            *errore = testoErrore(r.error());
        return std::nullopt;
    }
    return r.value();
}

std::optional<QDBusObjectPath> BackendUDisks2::bloccoDelDisco(const Oggetti &tutti, const QString &nomeKernel)
{
    const QByteArray nodo = QByteArrayLiteral("/dev/") + nomeKernel.toUtf8();
    for (auto it = tutti.cbegin(); it != tutti.cend(); ++it) {
        const auto block = it->constFind(ifBlock);
        if (block != it->cend() && senzaNul(block->value(QStringLiteral("Device")).toByteArray()) == nodo)
            return it.key();
    }
    return std::nullopt;
}

std::optional<QDBusObjectPath> BackendUDisks2::bloccoDi(const Disco &disco, Esito *esito, Oggetti *tutti)
{
    QString errore;
    std::optional<Oggetti> letti = oggetti(&errore);
    if (!letti) {
        *esito = Esito::fallito(QStringLiteral("UDisks2 non risponde: %1").arg(errore));
        return std::nullopt;
    }
    std::optional<QDBusObjectPath> blocco = bloccoDelDisco(*letti, disco.nome);
    if (!blocco) {
        *esito = Esito::fallito(QStringLiteral("UDisks2 non conosce il disco /dev/%1.").arg(disco.nome));
        return std::nullopt;
    }
    // UDisks2 opens the device it knows by that name: it must be the one the
    // safety check judged, not one renamed or renumbered since.
    const quint64 numero =
        letti->value(*blocco).value(ifBlock).value(QStringLiteral("DeviceNumber")).toULongLong();
    if (QStringLiteral("%1:%2").arg(major(numero)).arg(minor(numero)) != disco.numero) {
        *esito = Esito::rifiutato(
            QStringLiteral("Rifiutato: /dev/%1 non è il disco controllato (il sistema lo descrive come %2).")
                .arg(disco.nome, disco.numero));
        return std::nullopt;
    }
    if (tutti)
        *tutti = std::move(*letti);
    return blocco;
}

Backend::Esito BackendUDisks2::smonta(const Disco &disco)
{
    Esito esito;
    Oggetti tutti;
    const std::optional<QDBusObjectPath> blocco = bloccoDi(disco, &esito, &tutti);
    if (!blocco)
        return esito;
    for (auto it = tutti.cbegin(); it != tutti.cend(); ++it) {
        const bool sulDisco =
            it.key() == *blocco ||
            it->value(ifPartition).value(QStringLiteral("Table")).value<QDBusObjectPath>() == *blocco;
        const auto fs = it->constFind(ifFilesystem);
        if (!sulDisco || fs == it->cend() || !haPuntiDiMontaggio(fs->value(QStringLiteral("MountPoints"))))
            continue;
        QDBusMessage m = QDBusMessage::createMethodCall(servizio, it.key().path(), ifFilesystem,
                                                        QStringLiteral("Unmount"));
        m << opzioni();
        const QDBusMessage r = m_bus.call(m, QDBus::Block, breve);
        if (r.type() == QDBusMessage::ErrorMessage)
            return Esito::fallito(
                QStringLiteral("Impossibile smontare %1: %2. Chiudi i file aperti sulla chiavetta e riprova.")
                    .arg(QString::fromUtf8(
                             senzaNul(it->value(ifBlock).value(QStringLiteral("Device")).toByteArray())),
                         r.errorMessage()));
    }
    return Esito::riuscito();
}

Backend::Esito BackendUDisks2::chiamaSeguendo(const QDBusObjectPath &oggetto, const QString &interfaccia,
                                              const QString &metodo, const QVariantList &argomenti,
                                              int timeoutMs, const Avanzamento &avanzamento,
                                              QDBusObjectPath *creato)
{
    QDBusMessage m = QDBusMessage::createMethodCall(servizio, oggetto.path(), interfaccia, metodo);
    m.setArguments(argomenti);
    QDBusPendingCallWatcher chiamata(m_bus.asyncCall(m, timeoutMs));

    int ultimo = -1;
    const auto segui = [&] {
        const std::optional<Oggetti> tutti = oggetti();
        if (!tutti || !avanzamento)
            return;
        for (const Interfacce &i : *tutti) {
            const auto job = i.constFind(ifJob);
            if (job == i.cend() || !percorsi(job->value(QStringLiteral("Objects"))).contains(oggetto) ||
                !job->value(QStringLiteral("ProgressValid")).toBool())
                continue;
            const int p = qBound(0, int(job->value(QStringLiteral("Progress")).toDouble() * 100), 99);
            if (p > ultimo) {
                ultimo = p;
                avanzamento(p);
            }
        }
    };
    QEventLoop attesa;
    QTimer orologio;
    QObject::connect(&orologio, &QTimer::timeout, &attesa, segui);
    QObject::connect(&chiamata, &QDBusPendingCallWatcher::finished, &attesa, &QEventLoop::quit);
    segui();
    if (!chiamata.isFinished()) {
        orologio.start(1000);
        attesa.exec();
    }
    const QDBusMessage risposta = chiamata.reply();
    if (risposta.type() == QDBusMessage::ErrorMessage)
        return Esito::fallito(testoErrore(QDBusError(risposta)));
    if (creato && !risposta.arguments().isEmpty())
        *creato = risposta.arguments().constFirst().value<QDBusObjectPath>();
    return Esito::riuscito();
}

Backend::Esito BackendUDisks2::formattaFat32(const Disco &disco, const QString &etichetta,
                                             const Avanzamento &avanzamento)
{
    Esito esito;
    const std::optional<QDBusObjectPath> blocco = bloccoDi(disco, &esito);
    if (!blocco)
        return esito;
    avanzamento(10);
    // The service does not refuse a disk with a mounted partition: smonta() ran first.
    Esito e = chiamaSeguendo(*blocco, ifBlock, QStringLiteral("Format"),
                             {QStringLiteral("dos"), opzioni({{QStringLiteral("tear-down"), true}})},
                             formattazione, {});
    if (!e.ok)
        return e;
    avanzamento(40);
    // UDisks2 2.9 picks FAT16 below 512 MiB, since it does not pass -F 32 to mkfs.
    QDBusObjectPath partizione;
    e = chiamaSeguendo(*blocco, ifTable, QStringLiteral("CreatePartitionAndFormat"),
                       {QVariant::fromValue(quint64(0)), QVariant::fromValue(quint64(0)),
                        QStringLiteral("0x0c"), QString(), opzioni(), QStringLiteral("vfat"),
                        opzioni({{QStringLiteral("label"), etichetta}})},
                       formattazione, {}, &partizione);
    if (!e.ok)
        return e;
    avanzamento(90);
    // As on the desktop, the fresh volume comes back mounted; a failure here
    // leaves a good volume that the user can still mount by hand.
    if (!partizione.path().isEmpty()) {
        QDBusMessage m = QDBusMessage::createMethodCall(servizio, partizione.path(), ifFilesystem,
                                                        QStringLiteral("Mount"));
        m << opzioni();
        m_bus.call(m, QDBus::Block, breve);
    }
    avanzamento(100);
    return Esito::riuscito();
}

Backend::Esito BackendUDisks2::azzera(const Disco &disco, const Avanzamento &avanzamento)
{
    Esito esito;
    const std::optional<QDBusObjectPath> blocco = bloccoDi(disco, &esito);
    if (!blocco)
        return esito;
    avanzamento(0);
    const Esito e = chiamaSeguendo(
        *blocco, ifBlock, QStringLiteral("Format"),
        {QStringLiteral("empty"), opzioni({{QStringLiteral("erase"), QStringLiteral("zero")}})},
        cancellazione, avanzamento);
    if (e.ok)
        avanzamento(100);
    return e;
}
