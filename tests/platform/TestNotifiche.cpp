#include "platform/linux/FreedesktopNotifier.h"
#include "support/DBusMockFixture.h"
#include "support/RecordingAlertPresenter.h"
#include "support/TestEnv.h"

#include <QCoro/QCoroTask>
#include <QDBusArgument>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {
const QString nome = QStringLiteral("org.freedesktop.Notifications");
const QString percorso = QStringLiteral("/org/freedesktop/Notifications");

QStringList argomentiServer(const QString &capacita = QString())
{
    QStringList args{QStringLiteral("--template"), QStringLiteral("notification_daemon")};
    if (!capacita.isNull())
        args << QStringLiteral("-p") << QStringLiteral(R"({"capabilities": "%1"})").arg(capacita);
    return args;
}

// Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
struct Notifica {
    QString app;
    uint sostituisce = 99;
    QString icona, titolo, corpo;
    QVariantMap hints;
};

QList<Notifica> notificheRicevute(DBusMockFixture &bus)
{
    QList<Notifica> out;
    for (const QVariantList &a : bus.methodCalls(nome, percorso, QStringLiteral("Notify"))) {
        if (a.size() != 8)
            continue;
        Notifica n;
        n.app = a.at(0).toString();
        n.sostituisce = a.at(1).toUInt();
        n.icona = a.at(2).toString();
        n.titolo = a.at(3).toString();
        n.corpo = a.at(4).toString();
        n.hints = qdbus_cast<QVariantMap>(a.at(6));
        out << n;
    }
    return out;
}

// Replaces GetServerInformation with one that keeps the server busy first.
bool serverLento(DBusMockFixture &bus, double secondi)
{
    return bus.addMethod(
        nome, percorso, nome, QStringLiteral("GetServerInformation"), QString(), QStringLiteral("ssss"),
        QStringLiteral("time.sleep(%1)\nret = ('mock-notify', 'test vendor', '1.0', '1.2')").arg(secondi));
}
} // namespace

class TestNotifiche : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void identicalCallsPostTwoNotificationsWithSound()
    {
        DBusMockFixture bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        QVERIFY2(bus.startMock(nome, argomentiServer()), qPrintable(bus.error()));
        RecordingAlertPresenter avvisi;
        FreedesktopNotifier notifier(bus.connection(), avvisi);

        QCoro::waitFor(notifier.notifica("Chiavetta pronta", "ECO_2025 è pronta."));
        QCoro::waitFor(notifier.notifica("Chiavetta pronta", "ECO_2025 è pronta."));

        const QList<Notifica> ricevute = notificheRicevute(bus);
        QCOMPARE(ricevute.size(), 2);
        for (const Notifica &n : ricevute) {
            QCOMPARE(n.app, QString("Tessera"));
            QCOMPARE(n.sostituisce, 0u); // 0 = a new notification, not an update of the previous one
            QVERIFY(!n.icona.isEmpty());
            QCOMPARE(n.titolo, QString("Chiavetta pronta"));
            QCOMPARE(n.corpo, QString("ECO_2025 è pronta."));
            QCOMPARE(n.hints.value("sound-name").toString(), QString("message-new-instant"));
            QCOMPARE(n.hints.value("desktop-entry").toString(), QString("tessera"));
        }
        QVERIFY(avvisi.mostrati.isEmpty());
    }

    // File and stick names reach the body; a markup-reading server must show them as they are.
    void bodyIsEscapedOnlyForServersThatReadMarkup_data()
    {
        QTest::addColumn<QString>("capacita"); // null = the template's defaults, which include body-markup
        QTest::addColumn<QString>("atteso");
        const QString corpo = "Copiati 3 file da R&D <USB> in Ecografie";
        QTest::newRow("markup") << QString() << "Copiati 3 file da R&amp;D &lt;USB&gt; in Ecografie";
        QTest::newRow("plain") << "body sound" << corpo;
    }
    void bodyIsEscapedOnlyForServersThatReadMarkup()
    {
        QFETCH(QString, capacita);
        QFETCH(QString, atteso);
        DBusMockFixture bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        QVERIFY2(bus.startMock(nome, argomentiServer(capacita)), qPrintable(bus.error()));
        RecordingAlertPresenter avvisi;
        FreedesktopNotifier notifier(bus.connection(), avvisi);

        QCoro::waitFor(
            notifier.notifica("Importazione automatica", "Copiati 3 file da R&D <USB> in Ecografie"));

        const QList<Notifica> ricevute = notificheRicevute(bus);
        QCOMPARE(ricevute.size(), 1);
        QCOMPARE(ricevute.first().titolo, QString("Importazione automatica"));
        QCOMPARE(ricevute.first().corpo, atteso);
    }

    // Not "authorised": nothing answers in time, so the outcome becomes an alert.
    void withoutAnsweringServerTheAlertCarriesTheSameTexts_data()
    {
        QTest::addColumn<bool>("conServer");
        QTest::newRow("no server on the bus") << false;
        QTest::newRow("server slower than the wait") << true;
    }
    void withoutAnsweringServerTheAlertCarriesTheSameTexts()
    {
        QFETCH(bool, conServer);
        DBusMockFixture bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        if (conServer) {
            QVERIFY2(bus.startMock(nome, argomentiServer()), qPrintable(bus.error()));
            QVERIFY2(serverLento(bus, 2.0), qPrintable(bus.error()));
        }
        RecordingAlertPresenter avvisi;
        FreedesktopNotifier notifier(bus.connection(), avvisi, 300ms);

        QCoro::waitFor(notifier.notifica("Chiavetta pronta", "La chiavetta ECO è pronta."));

        QCOMPARE(avvisi.mostrati.size(), 1);
        const RichiestaAvviso &a = avvisi.mostrati.first();
        QCOMPARE(a.titolo, QString("Chiavetta pronta"));
        QCOMPARE(a.testo, QString("La chiavetta ECO è pronta."));
        QCOMPARE(a.stile, StileAvviso::informativo);
        QVERIFY(a.pulsanti.isEmpty()); // the single OK
        QVERIFY(!a.campo);
        if (conServer)
            QVERIFY(notificheRicevute(bus).isEmpty());
    }

    void failingNotifyShowsNothing()
    {
        DBusMockFixture bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        QVERIFY2(bus.startMock(nome, argomentiServer()), qPrintable(bus.error()));
        QVERIFY2(bus.addMethod(nome, percorso, nome, "Notify", "susssasa{sv}i", "u",
                               "raise dbus.exceptions.DBusException('quota', "
                               "name='org.freedesktop.Notifications.Error.ExcessNotificationGeneration')"),
                 qPrintable(bus.error()));
        RecordingAlertPresenter avvisi;
        FreedesktopNotifier notifier(bus.connection(), avvisi);

        QCoro::waitFor(notifier.notifica("Cancellazione non riuscita", "Il disco non risponde."));

        QCOMPARE(bus.methodCalls(nome, percorso, "Notify").size(), 1); // it was tried
        QVERIFY(TestSupport::readFile(bus.mockLog(nome)).contains("Notify raised"));
        QVERIFY(avvisi.mostrati.isEmpty());
    }

    void mainLoopKeepsTurningWhileTheServerThinks()
    {
        DBusMockFixture bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        QVERIFY2(bus.startMock(nome, argomentiServer()), qPrintable(bus.error()));
        QVERIFY2(serverLento(bus, 0.6), qPrintable(bus.error()));
        RecordingAlertPresenter avvisi;
        FreedesktopNotifier notifier(bus.connection(), avvisi, 10s);

        int battiti = 0;
        QTimer orologio;
        connect(&orologio, &QTimer::timeout, [&] { ++battiti; });
        orologio.start(10ms);
        bool finita = false;
        QCoro::connect(notifier.notifica("Aggiornamento disponibile", "È disponibile Tessera 1.1."), this,
                       [&] { finita = true; });
        QVERIFY(!finita); // handed back at the first D-Bus call
        QVERIFY(QTest::qWaitFor([&] { return finita; }, 10000));

        // 0.6 s of server time at one tick per 10 ms; a blocked loop counts none.
        // The margin is for a loaded machine.
        QVERIFY2(battiti >= 10, qPrintable(QString::number(battiti)));
        QCOMPARE(notificheRicevute(bus).size(), 1);
        QVERIFY(avvisi.mostrati.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestNotifiche)
#include "TestNotifiche.moc"
