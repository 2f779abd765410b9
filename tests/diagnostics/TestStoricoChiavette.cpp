#include "operations/Orologio.h"
#include "operations/StoricoChiavette.h"
#include "platform/linux/IdentitaLinux.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>
#include <QTest>
#include <sys/stat.h>

using Tipo = EventoChiavetta::Tipo;
using Eventi = QList<EventoChiavetta>;

namespace {
const QDateTime adesso(QDate(2025, 12, 7), QTime(10, 0));

EventoChiavetta evento(Tipo tipo, int giorno, bool riuscito = true, double lettura = 0, int illeggibili = 0)
{
    return {.tipo = tipo,
            .riuscito = riuscito,
            .illeggibili = illeggibili,
            .scrittura = lettura / 2,
            .lettura = lettura,
            .quando = QDateTime(QDate(2025, 12, giorno), QTime(9, 30))};
}

IdentitaChiavetta chiavetta(const QString &seriale)
{
    return {seriale, {}, QStringLiteral("ECO"), 16'000'000'000};
}
} // namespace

class TestStoricoChiavette : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
        Orologio::imposta([] { return adesso; });
    }
    void cleanup() { Orologio::imposta({}); }

    // The quiet line on the row, from the latest events of each kind.
    void avvertenze_data()
    {
        QTest::addColumn<Eventi>("eventi");
        QTest::addColumn<QString>("avvertenza"); // empty: none
        const QString sostituisci = ": copiane il contenuto e sostituiscila";
        QTest::newRow("clean copy") << Eventi{evento(Tipo::copia, 1)} << "";
        QTest::newRow("read errors in the last import")
            << Eventi{evento(Tipo::copia, 1), evento(Tipo::importazione, 3, false, 0, 2)}
            << "ha dato errori di lettura il 3 dic." + sostituisci;
        QTest::newRow("a clean copy since")
            << Eventi{evento(Tipo::importazione, 3, false, 0, 2), evento(Tipo::copia, 5)} << "";
        QTest::newRow("failed capacity check, before all else")
            << Eventi{evento(Tipo::capacita, 2, false), evento(Tipo::copia, 4, false, 0, 1)}
            << "ha perso dati nella verifica della capacità del 2 dic." + sostituisci;
        QTest::newRow("exactly half the first read speed")
            << Eventi{evento(Tipo::testVelocita, 1, true, 30), evento(Tipo::testVelocita, 6, true, 15)} << "";
        QTest::newRow("below half") << Eventi{evento(Tipo::testVelocita, 1, true, 30),
                                              evento(Tipo::testVelocita, 4, true, 40),
                                              evento(Tipo::testVelocita, 6, true, 14.9)}
                                    << "il 6 dic. leggeva a meno di metà della velocità iniziale" +
                                           sostituisci;
    }
    void avvertenze()
    {
        QFETCH(Eventi, eventi);
        QFETCH(QString, avvertenza);
        QCOMPARE(avvertenzaStorico(eventi).value_or(QString()), avvertenza);
    }

    // Written from many threads at once; a damaged line is dropped and the rest kept;
    // owner-only; each stick keeps its latest events and its first speed test.
    void fileRobusto()
    {
        TestEnv env;
        StoricoChiavette storico;
        QList<QFuture<void>> lavori;
        for (int t = 0; t < 8; ++t)
            lavori << QtConcurrent::run([&storico, t] {
                for (int i = 0; i < 10; ++i)
                    storico.registra(chiavetta(QString::number(t)), evento(Tipo::copia, 1 + i, false, 0, 1));
            });
        for (QFuture<void> &f : lavori)
            f.waitForFinished();
        const auto tutti = [&] {
            qsizetype n = 0;
            for (int t = 0; t < 8; ++t)
                n += storico.eventi(chiavetta(QString::number(t))).size();
            return n;
        };
        QCOMPARE(tutti(), 80);
        QCOMPARE(QFile(storico.file()).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(!TestSupport::readFile(storico.file()).contains("ECO")); // a label may be a patient's name

        QByteArray testo = TestSupport::readFile(storico.file());
        const qsizetype riga = testo.indexOf('\n', testo.indexOf("copia")) + 1; // the second event line
        testo[testo.indexOf("copia", riga) + 1] = 'X';
        testo.insert(riga, "garbage\tline\n\n");
        QVERIFY(TestSupport::writeFile(storico.file(), testo));
        QCOMPARE(tutti(), 79);

        const IdentitaChiavetta lenta = chiavetta("lenta");
        storico.registra(lenta, evento(Tipo::testVelocita, 1, true, 30));
        for (int i = 0; i < 40; ++i)
            storico.registra(lenta, evento(Tipo::verifica, 2));
        storico.registra(lenta, evento(Tipo::testVelocita, 3, true, 10));
        const Eventi tenuti = storico.eventi(lenta);
        QCOMPARE(tenuti.size(), 31);
        QCOMPARE(tenuti.first().lettura, 30.0);
        QVERIFY(avvertenzaStorico(tenuti));

        // A FIFO in the file's place neither hangs the reader nor stops the next record.
        QVERIFY(QFile::remove(storico.file()) && ::mkfifo(QFile::encodeName(storico.file()), 0600) == 0);
        QVERIFY(storico.eventi(lenta).isEmpty());
        QVERIFY(storico.registra(lenta, evento(Tipo::riparazione, 4)));
        QCOMPARE(storico.eventi(lenta).size(), 1);
    }

    // A copy or import that read everything is kept only after one that did
    // not: it takes the warning away, and daily copies do not crowd the rest out.
    void copieSenzaErrori()
    {
        TestEnv env;
        StoricoChiavette storico;
        const IdentitaChiavetta eco = chiavetta("eco");
        const auto tipi = [&] {
            QStringList r;
            for (const EventoChiavetta &e : storico.eventi(eco))
                r << QString::number(int(e.tipo)) + ":" + QString::number(e.illeggibili);
            return r.join(' ');
        };
        QVERIFY(storico.registra(eco, evento(Tipo::copia, 1)));
        QVERIFY(storico.registra(eco, evento(Tipo::importazione, 2, false, 0, 3)));
        QVERIFY(avvertenzaStorico(storico.eventi(eco)));
        for (int giorno : {3, 4})
            QVERIFY(storico.registra(eco, evento(Tipo::copia, giorno)));
        QCOMPARE(tipi(), QString("5:3 4:0"));
        QVERIFY(!avvertenzaStorico(storico.eventi(eco)));
    }

    // Who a stick is, from fixture trees like the system's: the serial wins and
    // survives a format; without one, the file system's UUID; else label and size.
    void identita_data()
    {
        QTest::addColumn<QByteArray>("udev");
        QTest::addColumn<bool>("seriale"); // the USB device has a serial in sysfs
        QTest::addColumn<QString>("chiave");
        QTest::newRow("serial") << QByteArray("E:ID_FS_UUID=AB12-CD34\nE:ID_FS_LABEL=ECO\n") << true
                                << "seriale:0781:5567:4C53000123:32000000000";
        QTest::newRow("formatted: new UUID and name")
            << QByteArray("E:ID_FS_UUID=99FF-0001\nE:ID_FS_LABEL=NUOVA\n") << true
            << "seriale:0781:5567:4C53000123:32000000000";
        QTest::newRow("UUID") << QByteArray("E:ID_FS_UUID=AB12-CD34\n") << false << "uuid:AB12-CD34";
        QTest::newRow("label and size")
            << QByteArray("E:ID_FS_LABEL=ECO\n") << false << "etichetta:ECO:31998975488";
    }
    void identita()
    {
        QFETCH(QByteArray, udev);
        QFETCH(bool, seriale);
        QFETCH(QString, chiave);
        QTemporaryDir radice;
        const QString sys = radice.filePath("sys"), usb = sys + "/devices/pci0000:00/usb2/2-1";
        const QString sdb = usb + "/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
        for (const auto &[file, testo] : std::initializer_list<std::pair<QString, QByteArray>>{
                 {usb + "/speed", "480"},
                 {usb + "/devnum", "3"},
                 {usb + "/idVendor", "0781"},
                 {usb + "/idProduct", "5567"},
                 {usb + "/serial", seriale ? "4C53000123\n" : ""},
                 {sdb + "/size", "62500000"},
                 {sdb + "/sdb1/partition", "1"},
                 {sdb + "/sdb1/size", "62497999"},
                 {radice.filePath("run/udev/data/b8:17"), udev},
                 {radice.filePath("proc/self/mountinfo"),
                  "40 22 8:17 / /media/anna/ECO rw - vfat /dev/sdb1 rw\n"}})
            QVERIFY(TestSupport::writeFile(file, testo));
        QDir().mkpath(sys + "/dev/block");
        QVERIFY(QFile::link(sdb + "/sdb1", sys + "/dev/block/8:17"));
        const IdentitaChiavetta id =
            identitaDaSistema("/media/anna/ECO", "ECO", radice.filePath("proc"), sys, radice.filePath("run"));
        QCOMPARE(id.chiave(), chiave);
    }
};

QTEST_GUILESS_MAIN(TestStoricoChiavette)
#include "TestStoricoChiavette.moc"
