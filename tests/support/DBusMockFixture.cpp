#include "support/DBusMockFixture.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QUuid>

namespace {
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// The session bus configuration without service directories, so that no real
// desktop service gets activated by a call that should find nobody.
const char *configurazione =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
} // namespace

DBusMockFixture::DBusMockFixture() = default;

DBusMockFixture::~DBusMockFixture()
{
    for (const QString &name : m_mocks.keys())
        stopMock(name);
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    if (m_daemon) {
        m_daemon->terminate();
        if (!m_daemon->waitForFinished(5000))
            m_daemon->kill();
        m_daemon->waitForFinished(5000);
    }
}

bool DBusMockFixture::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString conf = QDir(m_dir.path()).filePath(QStringLiteral("bus.conf"));
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(QString::fromLatin1(configurazione).arg(m_dir.path()).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(conf);
        return false;
    }
    f.close();

    m_daemon = std::make_unique<QProcess>();
    m_daemon->setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + conf, QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
    if (!m_daemon->waitForStarted(5000)) {
        m_error = QStringLiteral("dbus-daemon did not start: ") + m_daemon->errorString();
        return false;
    }
    while (!m_daemon->canReadLine()) {
        if (!m_daemon->waitForReadyRead(10000)) {
            m_error = QStringLiteral("dbus-daemon printed no address: ") +
                      QString::fromLocal8Bit(m_daemon->readAllStandardError());
            return false;
        }
    }
    m_address = QString::fromUtf8(m_daemon->readLine()).trimmed();
    m_connectionName =
        QStringLiteral("dbusmock-fixture-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!connection().isConnected()) {
        m_error =
            QStringLiteral("cannot connect to %1: %2").arg(m_address, connection().lastError().message());
        return false;
    }
    return true;
}

QDBusConnection DBusMockFixture::connection() const
{
    if (m_connectionName.isEmpty())
        return QDBusConnection(QString());
    QDBusConnection c(m_connectionName);
    if (c.isConnected())
        return c;
    return QDBusConnection::connectToBus(m_address, m_connectionName);
}

QString DBusMockFixture::mockLog(const QString &busName) const
{
    return QDir(m_dir.path()).filePath(busName + QStringLiteral(".log"));
}

bool DBusMockFixture::startMock(const QString &busName, const QStringList &args, int timeoutMs)
{
    if (m_address.isEmpty()) {
        m_error = QStringLiteral("the bus is not started");
        return false;
    }
    stopMock(busName);
    auto *mock = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    mock->setProcessEnvironment(env);
    mock->setProcessChannelMode(QProcess::MergedChannels);
    // The Debian module lives beside the system interpreter, not beside whatever python3 is first in PATH.
    mock->start(QStringLiteral("/usr/bin/python3"),
                QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("-l"),
                            mockLog(busName)} +
                    args);
    m_mocks.insert(busName, mock);

    QDBusConnectionInterface *bus = connection().interface();
    const bool ok = QTest::qWaitFor(
        [&] { return mock->state() == QProcess::NotRunning || bus->isServiceRegistered(busName).value(); },
        timeoutMs);
    if (!ok || mock->state() == QProcess::NotRunning) {
        m_error = QStringLiteral("dbusmock did not take %1: %2")
                      .arg(busName, QString::fromLocal8Bit(mock->readAll()));
        stopMock(busName);
        return false;
    }
    return true;
}

void DBusMockFixture::stopMock(const QString &busName)
{
    QProcess *mock = m_mocks.take(busName);
    if (!mock)
        return;
    if (mock->state() != QProcess::NotRunning) {
        mock->terminate();
        if (!mock->waitForFinished(5000))
            mock->kill();
        mock->waitForFinished(5000);
    }
    delete mock;
    // Until the bus has seen the name go, a client could still reach it.
    if (!m_connectionName.isEmpty()) {
        QDBusConnectionInterface *bus = connection().interface();
        const bool gone = QTest::qWaitFor([&] { return !bus->isServiceRegistered(busName).value(); }, 5000);
        if (!gone)
            m_error = QStringLiteral("%1 still owned after its mock stopped").arg(busName);
    }
}

bool DBusMockFixture::callMock(const QString &busName, const QString &path, const QString &method,
                               const QVariantList &args, QDBusMessage *reply)
{
    QDBusMessage call = QDBusMessage::createMethodCall(busName, path, mockInterface, method);
    call.setArguments(args);
    const QDBusMessage answer = connection().call(call, QDBus::Block, 10000);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        m_error = QStringLiteral("%1.%2: %3").arg(mockInterface, method, answer.errorMessage());
        return false;
    }
    if (reply)
        *reply = answer;
    return true;
}

bool DBusMockFixture::addMethod(const QString &busName, const QString &path, const QString &interface,
                                const QString &name, const QString &inSig, const QString &outSig,
                                const QString &code)
{
    return callMock(busName, path, QStringLiteral("AddMethod"), {interface, name, inSig, outSig, code});
}

bool DBusMockFixture::clearCalls(const QString &busName, const QString &path)
{
    return callMock(busName, path, QStringLiteral("ClearCalls"), {});
}

QList<QVariantList> DBusMockFixture::methodCalls(const QString &busName, const QString &path,
                                                 const QString &method)
{
    QDBusMessage reply;
    if (!callMock(busName, path, QStringLiteral("GetMethodCalls"), {method}, &reply) ||
        reply.arguments().isEmpty())
        return {};
    // a(tav): (timestamp, arguments) per call.
    QList<QVariantList> calls;
    const QDBusArgument arg = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
    arg.beginArray();
    while (!arg.atEnd()) {
        quint64 timestamp = 0;
        QVariantList argomenti;
        arg.beginStructure();
        arg >> timestamp;
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusVariant v;
            arg >> v;
            argomenti << v.variant();
        }
        arg.endArray();
        arg.endStructure();
        calls << argomenti;
    }
    arg.endArray();
    return calls;
}
