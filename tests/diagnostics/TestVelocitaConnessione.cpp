#include "diagnostics/VelocitaConnessione.h"
#include "UsbTree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace StrumentiDiagnostica;

namespace {
QJsonValue json(const char *testo)
{
    const QJsonDocument d = QJsonDocument::fromJson(testo);
    return d.isObject() ? QJsonValue(d.object()) : QJsonValue(d.array());
}
} // namespace

class TestVelocitaConnessione : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cerca_data()
    {
        QTest::addColumn<QString>("albero");
        QTest::addColumn<QString>("disco");
        QTest::addColumn<std::optional<QString>>("velocita");
        const auto nessuna = std::optional<QString>();
        QTest::newRow("three hubs deep")
            << R"({"SPUSBDataType":[{"_name":"USB31Bus","_items":[{"_name":"Hub","device_speed":"super_speed",
                  "_items":[{"_name":"Hub","_items":[{"_name":"Hub","_items":[{"_name":"Stick",
                  "device_speed":"high_speed","Media":[{"bsd_name":"disk4","volumes":[{"bsd_name":"disk4s1"}]}]}]}]}]}]}]})"
            << "disk4" << std::optional<QString>("high_speed");
        QTest::newRow("second medium of a card reader")
            << R"([{"device_speed":"full_speed","Media":[{"bsd_name":"disk2"},{"bsd_name":"disk3"}]}])"
            << "disk3" << std::optional<QString>("full_speed");
        QTest::newRow("speed that is not text") << R"([{"device_speed":480,"Media":[{"bsd_name":"disk4"}]}])"
                                                << "disk4" << std::optional<QString>("sconosciuta");
        QTest::newRow("no speed at all") << R"({"Media":[{"bsd_name":"disk4"}]})"
                                         << "disk4" << std::optional<QString>("sconosciuta");
        QTest::newRow("partition name is not the disk")
            << R"([{"device_speed":"high_speed","Media":[{"bsd_name":"disk4s1"}]}])"
            << "disk4" << nessuna;
        QTest::newRow("disk is not a partition")
            << R"([{"device_speed":"high_speed","Media":[{"bsd_name":"disk4","volumes":[{"bsd_name":"disk4s1"}]}]}])"
            << "disk4s1" << nessuna;
        QTest::newRow("name compared exactly")
            << R"([{"device_speed":"high_speed","Media":[{"bsd_name":"DISK4"}]}])"
            << "disk4" << nessuna;
        QTest::newRow("Media that is not a list")
            << R"([{"device_speed":"high_speed","Media":{"bsd_name":"disk4"}}])"
            << "disk4" << nessuna;
        QTest::newRow("bsd_name that is not text")
            << R"([{"device_speed":"high_speed","Media":[{"bsd_name":4}, "disk4"]}])"
            << "4" << nessuna;
        QTest::newRow("other disk only") << R"([{"device_speed":"low_speed","Media":[{"bsd_name":"disk2"}]}])"
                                         << "disk4" << nessuna;
        QTest::newRow("empty tree") << "{}"
                                    << "disk4" << nessuna;
    }
    void cerca()
    {
        QFETCH(QString, albero);
        QFETCH(QString, disco);
        QFETCH(std::optional<QString>, velocita);
        QCOMPARE(cercaVelocita(json(albero.toUtf8().constData()), disco), velocita);
    }

    void etichette_data()
    {
        QTest::addColumn<QString>("grezza");
        QTest::addColumn<QString>("etichetta");
        QTest::newRow("low") << "low_speed"
                             << "USB 1.0 — 1,5 Mb/s (molto lenta)";
        QTest::newRow("full") << "full_speed"
                              << "USB 1.1 — 12 Mb/s (lenta)";
        QTest::newRow("high") << "high_speed"
                              << "USB 2.0 — 480 Mb/s (max reale ~35 MB/s)";
        QTest::newRow("super") << "super_speed"
                               << "USB 3.0 — 5 Gb/s (max reale ~400 MB/s)";
        QTest::newRow("super plus") << "super_speed_plus"
                                    << "USB 3.1/3.2 — 10 Gb/s o più";
        QTest::newRow("case matters") << "High_Speed"
                                      << "connessione: High_Speed";
        QTest::newRow("unknown") << "sconosciuta"
                                 << "connessione: sconosciuta";
        QTest::newRow("super prefix only") << "super_speed_plus_plus"
                                           << "connessione: super_speed_plus_plus";
    }
    void etichette()
    {
        QFETCH(QString, grezza);
        QFETCH(QString, etichetta);
        QCOMPARE(etichettaVelocita(grezza), etichetta);
    }

    void uscitaDelProfiler_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<std::optional<QString>>("etichetta");
        const auto nessuna = std::optional<QString>();
        QTest::newRow("empty") << "" << nessuna;
        QTest::newRow("garbage") << "Segmentation fault" << nessuna;
        QTest::newRow("cut short") << R"({"SPUSBDataType":[{"Media":[{"bsd_name":"sdb"})" << nessuna;
        QTest::newRow("bare number") << "42" << nessuna;
        QTest::newRow("found")
            << R"({"SPUSBDataType":[{"_items":[{"device_speed":"super_speed_plus","Media":[{"bsd_name":"sdb"}]}]}]})"
            << std::optional<QString>("USB 3.1/3.2 — 10 Gb/s o più");
    }
    void uscitaDelProfiler()
    {
        QFETCH(QString, output);
        QFETCH(std::optional<QString>, etichetta);
        QCOMPARE(velocitaDaProfilo(output, "sdb"), etichetta);
    }

    void reportDelSostitutoLinux()
    {
        // What the Linux stand-in prints is what the search understands.
        UsbDevice bus{.name = "usb2", .speed = "5000", .hub = true};
        UsbDevice hub{.name = "2-1", .speed = "5000", .hub = true};
        UsbDevice stick{.name = "2-1.3", .product = "Stick", .speed = "5000"};
        stick.disks = {{.name = "sdc", .sizeBytes = 1 << 30, .partitions = {"sdc1"}}};
        const QString output = QString::fromUtf8(QJsonDocument(usbReport({stick, hub, bus})).toJson());
        QCOMPARE(velocitaDaProfilo(output, "sdc"),
                 std::optional<QString>("USB 3.0 — 5 Gb/s (max reale ~400 MB/s)"));
        QCOMPARE(velocitaDaProfilo(output, "sdc1"), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestVelocitaConnessione)
#include "TestVelocitaConnessione.moc"
