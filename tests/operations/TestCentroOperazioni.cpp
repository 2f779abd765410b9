#include "operations/CentroOperazioni.h"

#include <cmath>
#include <limits>
#include <QSignalSpy>
#include <QtConcurrent>
#include <QTest>
#include <QThread>

using Operazione = CentroOperazioni::Operazione;
using OptD = std::optional<double>;
using OptS = std::optional<QString>;
Q_DECLARE_METATYPE(OptD)
Q_DECLARE_METATYPE(OptS)

namespace {
Operazione copia(OptD frazione = std::nullopt, OptS dettaglio = std::nullopt)
{
    return Operazione{"Copia in Ecografie…", dettaglio, frazione, "doc.on.doc.fill", QColor(Qt::green)};
}
} // namespace

class TestCentroOperazioni : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aggiornaClampsAndKeepsWhatIsNotGiven_data()
    {
        QTest::addColumn<Operazione>("prima");
        QTest::addColumn<OptD>("frazione");
        QTest::addColumn<OptS>("dettaglio");
        QTest::addColumn<OptS>("titolo");
        QTest::addColumn<Operazione>("dopo");
        const OptD no;
        const OptS nessuno;
        const Operazione inCorso = copia(0.5, QString("2 di 4 — b.jpg"));

        QTest::newRow("-0.2 becomes 0") << copia() << OptD(-0.2) << nessuno << nessuno << copia(0.0);
        QTest::newRow("1.7 becomes 1") << copia() << OptD(1.7) << nessuno << nessuno << copia(1.0);
        QTest::newRow("0.37 stored") << copia() << OptD(0.37) << nessuno << nessuno << copia(0.37);
        // 0 of 0 bytes weighted: a NaN must not reach the card's arithmetic.
        QTest::newRow("NaN becomes 0")
            << copia() << OptD(std::numeric_limits<double>::quiet_NaN()) << nessuno << nessuno << copia(0.0);
        QTest::newRow("infinity becomes 1")
            << copia() << OptD(std::numeric_limits<double>::infinity()) << nessuno << nessuno << copia(1.0);
        QTest::newRow("only detail keeps fraction and title")
            << inCorso << no << OptS("3 di 4 — c.jpg") << nessuno << copia(0.5, QString("3 di 4 — c.jpg"));
        QTest::newRow("only fraction keeps detail")
            << inCorso << OptD(0.75) << nessuno << nessuno << copia(0.75, QString("2 di 4 — b.jpg"));
        Operazione verifica = copia(0.0, QString("4 di 4 — d.jpg"));
        verifica.titolo = "Verifica copia…";
        QTest::newRow("verification phase: title and 0, detail kept")
            << copia(1.0, QString("4 di 4 — d.jpg")) << OptD(0.0) << nessuno << OptS("Verifica copia…")
            << verifica;
    }
    void aggiornaClampsAndKeepsWhatIsNotGiven()
    {
        QFETCH(Operazione, prima);
        QFETCH(OptD, frazione);
        QFETCH(OptS, dettaglio);
        QFETCH(OptS, titolo);
        QFETCH(Operazione, dopo);
        CentroOperazioni centro;
        centro.setAttuale(prima);
        QSignalSpy cambi(&centro, &CentroOperazioni::attualeChanged);

        centro.aggiorna(frazione, dettaglio, titolo);

        QVERIFY(centro.attuale().has_value());
        QCOMPARE(*centro.attuale(), dopo);
        QCOMPARE(cambi.count(), 1); // one observable change, whatever changed
    }

    void reportsWhileIdleChangeNothing()
    {
        CentroOperazioni centro;
        QSignalSpy cambi(&centro, &CentroOperazioni::attualeChanged);

        centro.aggiorna(0.5, QString("1 di 2 — a.jpg"), QString("Copia in Ecografie…"));
        centro.aggiorna(std::nullopt, std::nullopt, QString("Verifica copia…"));

        QVERIFY(!centro.attuale().has_value());
        QVERIFY(!centro.occupato());
        QCOMPARE(cambi.count(), 0);
    }

    // Reports from background work are applied on the main thread, in the order sent.
    void workerReportsArriveOnTheMainThreadInOrder()
    {
        CentroOperazioni centro;
        centro.setAttuale(copia());
        QList<double> viste;
        bool semprePrincipale = true;
        connect(&centro, &CentroOperazioni::attualeChanged, this, [&] {
            semprePrincipale = semprePrincipale && QThread::currentThread() == thread();
            if (centro.attuale() && centro.attuale()->frazione)
                viste << *centro.attuale()->frazione;
        });
        constexpr int n = 200;
        QtConcurrent::run([&centro] {
            for (int k = 1; k <= n; ++k)
                centro.aggiornaDaLavoro(double(k) / n, QStringLiteral("%1 di %2 — f.jpg").arg(k).arg(n));
        }).waitForFinished();
        QVERIFY(viste.isEmpty()); // posted, not applied from the worker

        QTRY_COMPARE(viste.size(), n);
        QVERIFY(semprePrincipale);
        QVERIFY(std::is_sorted(viste.begin(), viste.end()));
        QCOMPARE(centro.attuale()->dettaglio, OptS("200 di 200 — f.jpg"));
    }

    // The operation ends while its last reports are still queued: they must not bring the card back.
    void lateWorkerReportsAfterTheEndAreDropped()
    {
        CentroOperazioni centro;
        centro.setAttuale(copia());
        QtConcurrent::run([&centro] {
            for (int k = 0; k < 50; ++k)
                centro.aggiornaDaLavoro(k / 50.0, QStringLiteral("file %1").arg(k));
        }).waitForFinished();

        centro.setAttuale(std::nullopt);
        QSignalSpy cambi(&centro, &CentroOperazioni::attualeChanged);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(&centro);

        QVERIFY(!centro.occupato());
        QCOMPARE(cambi.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCentroOperazioni)
#include "TestCentroOperazioni.moc"
