#include "support/BusDiProva.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>
#include <QUuid>

BusDiProva::~BusDiProva()
{
    for (QProcess &p : m_mocks) {
        p.kill();
        p.waitForFinished();
    }
    if (!m_nome.isEmpty())
        QDBusConnection::disconnectFromBus(m_nome);
    m_daemon.kill();
    m_daemon.waitForFinished();
}

bool BusDiProva::start()
{
    // The session bus's rules without its service folders, so that a call
    // that should find nobody never starts a real desktop service.
    const QString conf = m_dir.filePath("bus.conf");
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                               "<auth>EXTERNAL</auth><policy context=\"default\">"
                               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                               "<allow own=\"*\"/></policy></busconfig>")
                    .arg(m_dir.path())
                    .toUtf8()) < 0) {
        m_error = "cannot write " + conf;
        return false;
    }
    f.close();
    m_daemon.start("dbus-daemon", {"--config-file=" + conf, "--nofork", "--print-address=1"});
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(10000)) {
            m_error = "dbus-daemon gave no address: " + m_daemon.errorString() +
                      QString::fromLocal8Bit(m_daemon.readAllStandardError());
            return false;
        }
    }
    m_indirizzo = QString::fromUtf8(m_daemon.readLine()).trimmed();
    m_nome = "dbusmock-fixture-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDBusConnection::connectToBus(m_indirizzo, m_nome).isConnected()) {
        m_error = "cannot connect to " + m_indirizzo + ": " + connection().lastError().message();
        return false;
    }
    return true;
}

bool BusDiProva::startMock(const QString &busName, const QStringList &args)
{
    QProcess &mock = m_mocks.emplace_back();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_indirizzo);
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", m_indirizzo);
    mock.setProcessEnvironment(env);
    mock.setProcessChannelMode(QProcess::MergedChannels);
    // The Debian module lives beside the system interpreter, not beside whatever python3 is first in PATH.
    mock.start("/usr/bin/python3", QStringList{"-m", "dbusmock", "-l", mockLog(busName)} + args);
    const bool preso = QTest::qWaitFor(
        [&] {
            return mock.state() == QProcess::NotRunning ||
                   connection().interface()->isServiceRegistered(busName).value();
        },
        15000);
    if (preso && mock.state() != QProcess::NotRunning)
        return true;
    m_error = "dbusmock did not take " + busName + ": " + QString::fromLocal8Bit(mock.readAll());
    return false;
}

bool BusDiProva::addMethod(const QString &busName, const QString &path, const QString &interface,
                           const QString &name, const QString &inSig, const QString &outSig,
                           const QString &code)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(busName, path, "org.freedesktop.DBus.Mock", "AddMethod");
    call.setArguments({interface, name, inSig, outSig, code});
    const QDBusMessage risposta = connection().call(call, QDBus::Block, 10000);
    if (risposta.type() != QDBusMessage::ErrorMessage)
        return true;
    m_error = "AddMethod: " + risposta.errorMessage();
    return false;
}
