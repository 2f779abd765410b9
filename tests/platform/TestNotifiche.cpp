#include "platform/linux/NotificatoreFreedesktop.h"
#include "support/BusDiProva.h"
#include "support/ControlloCiclo.h"
#include "support/TestEnv.h"

#include <QCoro/QCoroTask>
#include <QDBusMessage>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString nome = "org.freedesktop.Notifications", percorso = "/org/freedesktop/Notifications";

// A notification server on a private bus; `capacita`, when given, replaces
// the template's capabilities (which include body-markup).
bool avvia(BusDiProva &bus, const QString &capacita = QString())
{
    QStringList args{"--template", "notification_daemon"};
    if (!capacita.isNull())
        args << "-p" << QString(R"({"capabilities": "%1"})").arg(capacita);
    return bus.start() && bus.startMock(nome, args);
}

// The arguments of each Notify the server received, as its log writes them.
QStringList notify(BusDiProva &bus)
{
    QStringList out;
    for (const QString &riga : QString::fromUtf8(TestSupport::readFile(bus.mockLog(nome))).split('\n'))
        if (riga.section(' ', 1, 1) == "Notify" && riga.section(' ', 2, 2) != "raised:")
            out << riga.section(' ', 2);
    return out;
}
// The server says the user did something to notification `id`.
void segnale(BusDiProva &bus, const QString &nomeSegnale, const QString &firma, const QVariantList &argomenti)
{
    QDBusMessage emetti =
        QDBusMessage::createMethodCall(nome, percorso, "org.freedesktop.DBus.Mock", "EmitSignal");
    emetti.setArguments({nome, nomeSegnale, firma, argomenti});
    QCOMPARE(bus.connection().call(emetti, QDBus::Block, 10000).type(), QDBusMessage::ReplyMessage);
}
} // namespace

class TestNotifiche : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // File and stick names reach the body; a markup-reading server must show
    // them as they are. A server that refuses a notification gets no alert.
    void eachCallPostsANewNotificationWithSound_data()
    {
        QTest::addColumn<QString>("capacita"); // null = the template's own
        QTest::addColumn<QString>("corpo");
        QTest::addColumn<bool>("rifiuta");
        const QString grezzo = "Copiati 3 file da R&D <USB> in Ecografie";
        QTest::newRow("markup") << QString() << "Copiati 3 file da R&amp;D &lt;USB&gt; in Ecografie" << false;
        QTest::newRow("plain") << "body sound" << grezzo << false;
        QTest::newRow("refused") << "body sound" << grezzo << true;
    }
    void eachCallPostsANewNotificationWithSound()
    {
        QFETCH(QString, capacita);
        QFETCH(QString, corpo);
        QFETCH(bool, rifiuta);
        BusDiProva bus;
        QVERIFY2(avvia(bus, capacita), qPrintable(bus.error()));
        if (rifiuta)
            QVERIFY2(
                bus.addMethod(nome, percorso, nome, "Notify", "susssasa{sv}i", "u",
                              "raise dbus.exceptions.DBusException('quota', "
                              "name='org.freedesktop.Notifications.Error.ExcessNotificationGeneration')"),
                qPrintable(bus.error()));
        QStringList avvisi;
        NotificatoreFreedesktop notifier(bus.connection(),
                                         [&](const QString &t, const QString &, Urgenza) { avvisi << t; });

        for (const Urgenza u : {Urgenza::normale, Urgenza::critica})
            QCoro::waitFor(
                notifier.notifica("Importazione automatica", "Copiati 3 file da R&D <USB> in Ecografie", u));

        const QStringList ricevute = notify(bus);
        QCOMPARE(ricevute.size(), 2);
        QVERIFY2(ricevute[0].contains("\"urgency\": 1") && ricevute[1].contains("\"urgency\": 2"),
                 qPrintable(ricevute.join('\n')));
        for (const QString &n : ricevute) {
            // app name, replaces-id 0 (a new notification, not an update), an icon, title, body
            QVERIFY2(n.startsWith("\"Tessera\" 0 \"") && !n.startsWith("\"Tessera\" 0 \"\""), qPrintable(n));
            QVERIFY2(n.contains("\" \"Importazione automatica\" \"" + corpo + "\" [] {"), qPrintable(n));
            QVERIFY2(n.contains("\"sound-name\": \"message-new-instant\""), qPrintable(n));
            QVERIFY2(n.contains("\"desktop-entry\": \"tessera\""), qPrintable(n));
        }
        QCOMPARE(TestSupport::readFile(bus.mockLog(nome)).count("Notify raised"), rifiuta ? 2 : 0);
        QVERIFY(avvisi.isEmpty());
    }

    // "Apri Ecografie" rides on a notification only to a server that shows
    // buttons. Its press comes back by the notification's id and runs once;
    // another id, another key or a notification already closed run nothing.
    void actionRunsOnceWhenItsButtonIsPressed_data()
    {
        QTest::addColumn<QString>("capacita");
        QTest::newRow("buttons shown") << "body actions";
        QTest::newRow("no buttons") << "body";
    }
    void actionRunsOnceWhenItsButtonIsPressed()
    {
        QFETCH(QString, capacita);
        BusDiProva bus;
        QVERIFY2(avvia(bus, capacita), qPrintable(bus.error()));
        NotificatoreFreedesktop notifier(bus.connection(), [](const QString &, const QString &, Urgenza) {});
        int aperture = 0;
        const AzioneNotifica apri{"Apri Ecografie", [&] { ++aperture; }};
        for (const char *corpo : {"3 nuove immagini", "1 nuova immagine"})
            QCoro::waitFor(notifier.notifica("Importazione automatica", corpo, Urgenza::normale, apri));
        const bool pulsanti = capacita.contains("actions");
        for (const QString &n : notify(bus))
            QVERIFY2(n.contains("[\"apri\", \"Apri Ecografie\"]") == pulsanti, qPrintable(n));

        segnale(bus, "NotificationClosed", "uu", {2u, 2u});
        const std::pair<uint, const char *> premuti[] = {
            {7, "apri"}, {1, "default"}, {2, "apri"}, {1, "apri"}, {1, "apri"}};
        for (const auto &[id, chiave] : premuti)
            segnale(bus, "ActionInvoked", "us", {id, QString(chiave)});
        QTest::qWait(300);
        QCOMPARE(aperture, pulsanti ? 1 : 0);
    }

    // Not "authorised": nothing answers in time, so the outcome becomes an
    // alert; meanwhile the main loop keeps turning.
    void withoutAnsweringServerTheAlertCarriesTheSameTexts_data()
    {
        QTest::addColumn<bool>("conServer");
        QTest::newRow("no server on the bus") << false;
        QTest::newRow("server slower than the wait") << true;
    }
    void withoutAnsweringServerTheAlertCarriesTheSameTexts()
    {
        QFETCH(bool, conServer);
        BusDiProva bus;
        QVERIFY2(conServer ? avvia(bus) : bus.start(), qPrintable(bus.error()));
        if (conServer)
            QVERIFY2(bus.addMethod(nome, percorso, nome, "GetServerInformation", "", "ssss",
                                   "time.sleep(2)\nret = ('mock-notify', 'test vendor', '1.0', '1.2')"),
                     qPrintable(bus.error()));
        QList<QStringList> avvisi;
        NotificatoreFreedesktop notifier(
            bus.connection(),
            [&](const QString &t, const QString &c, Urgenza u) {
                avvisi << QStringList{t, c, u == Urgenza::critica ? "critica" : "normale"};
            },
            300ms);
        const ControlloCiclo ciclo(10ms);

        bool finita = false;
        QCoro::connect(notifier.notifica("Chiavetta pronta", "La chiavetta ECO è pronta.", Urgenza::critica),
                       this, [&] { finita = true; });
        QVERIFY(!finita); // handed back at the first D-Bus call
        QTRY_VERIFY_WITH_TIMEOUT(finita, 10000);

        QCOMPARE(avvisi, QList<QStringList>{
                             QStringList({"Chiavetta pronta", "La chiavetta ECO è pronta.", "critica"})});
        if (conServer) // 0.3 s of waiting at one tick per 10 ms; a blocked loop counts none
            QVERIFY2(ciclo.battiti() >= 10, qPrintable(QString::number(ciclo.battiti())));
    }
};

QTEST_GUILESS_MAIN(TestNotifiche)
#include "TestNotifiche.moc"
