#pragma once

#include <list>
#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>

// A private D-Bus daemon with python3-dbusmock services on it, for tests of
// code that talks to desktop services (notifications, UDisks2, ...). It stands
// in for both the session and the system bus, never touches the real ones and
// activates nothing: a name is there only while a mock started here owns it.
class BusDiProva {
public:
    ~BusDiProva();

    bool start();
    QString error() const { return m_error; }
    QString address() const { return m_indirizzo; } // for child processes: DBUS_*_BUS_ADDRESS
    // The test's own connection to the private bus.
    QDBusConnection connection() const { return QDBusConnection(m_nome); }

    // Runs `python3 -m dbusmock <args>` on this bus and waits until it owns `busName`.
    bool startMock(const QString &busName, const QStringList &args);
    // Where that mock logs its calls, one line each: "<time> <method> <arguments>".
    QString mockLog(const QString &busName) const { return m_dir.filePath(busName + ".log"); }

    // org.freedesktop.DBus.Mock on an object of a running mock.
    bool addMethod(const QString &busName, const QString &path, const QString &interface, const QString &name,
                   const QString &inSig, const QString &outSig, const QString &code);

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    std::list<QProcess> m_mocks;
    QString m_indirizzo, m_nome, m_error;
};
