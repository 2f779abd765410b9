#pragma once

#include <memory>
#include <QDBusConnection>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

class QProcess;

// A private D-Bus daemon with python3-dbusmock services on it, for tests of
// code that talks to desktop services (notifications, UDisks2, ...). It stands
// in for both the session and the system bus, never touches the real ones and
// activates nothing: a name is there only while a mock started here owns it.
//
//     DBusMockFixture bus;
//     QVERIFY2(bus.start(), qPrintable(bus.error()));
//     QVERIFY2(bus.startMock("org.freedesktop.Notifications", {"--template", "notification_daemon"}),
//              qPrintable(bus.error()));
//     SomeClient client(bus.connection());
class DBusMockFixture {
public:
    DBusMockFixture();
    ~DBusMockFixture(); // stops the mocks, closes the connections, stops the bus
    DBusMockFixture(const DBusMockFixture &) = delete;
    DBusMockFixture &operator=(const DBusMockFixture &) = delete;

    bool start();
    QString address() const { return m_address; }
    QString error() const { return m_error; }

    // The test's own connection to the private bus (one per fixture).
    QDBusConnection connection() const;

    // Runs `/usr/bin/python3 -m dbusmock <args>` with DBUS_SESSION_BUS_ADDRESS and
    // DBUS_SYSTEM_BUS_ADDRESS pointing here, and waits until it owns `busName`.
    // The mock's log (-l) is added automatically; see mockLog().
    bool startMock(const QString &busName, const QStringList &args, int timeoutMs = 15000);
    void stopMock(const QString &busName);
    QString mockLog(const QString &busName) const;

    // org.freedesktop.DBus.Mock on an object of a running mock.
    bool addMethod(const QString &busName, const QString &path, const QString &interface, const QString &name,
                   const QString &inSig, const QString &outSig, const QString &code);
    // The arguments of every logged call of `method`, D-Bus variants unwrapped.
    QList<QVariantList> methodCalls(const QString &busName, const QString &path, const QString &method);
    bool clearCalls(const QString &busName, const QString &path);

private:
    bool callMock(const QString &busName, const QString &path, const QString &method,
                  const QVariantList &args, QDBusMessage *reply = nullptr);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_daemon;
    QHash<QString, QProcess *> m_mocks;
    QString m_address;
    QString m_connectionName;
    QString m_error;
};
