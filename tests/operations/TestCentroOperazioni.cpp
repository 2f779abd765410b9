#include "operations/CentroOperazioni.h"

#include <cmath>
#include <QSignalSpy>
#include <QtConcurrent>
#include <QTest>

using Operazione = CentroOperazioni::Operazione;
using OptD = std::optional<double>;
using OptS = std::optional<QString>;

namespace {
Operazione copia(OptD frazione = std::nullopt, OptS dettaglio = std::nullopt, QString titolo = "Copia…")
{
    return Operazione{titolo, dettaglio, frazione, "doc.on.doc.fill", QColor(Qt::green)};
}
} // namespace

class TestCentroOperazioni : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aggiornaClampsAndKeepsWhatIsNotGiven()
    {
        CentroOperazioni centro;
        centro.setAttuale(copia(0.5, "2 di 4"));
        QSignalSpy cambi(&centro, &CentroOperazioni::attualeChanged);
        const struct {
            OptD frazione;
            OptS dettaglio, titolo;
            Operazione dopo;
        } passi[] = {
            {-0.2, {}, {}, copia(0.0, "2 di 4")},
            {1.7, {}, {}, copia(1.0, "2 di 4")},
            // 0 of 0 bytes weighted: a NaN must not reach the card's arithmetic.
            {NAN, {}, {}, copia(0.0, "2 di 4")},
            {{}, "3 di 4", {}, copia(0.0, "3 di 4")},
            {0.37, {}, "Verifica copia…", copia(0.37, "3 di 4", "Verifica copia…")},
        };
        for (const auto &p : passi) {
            centro.aggiorna(p.frazione, p.dettaglio, p.titolo);
            QCOMPARE(centro.attuale(), std::optional(p.dopo));
        }
        QCOMPARE(cambi.count(), 5); // one observable change per report
    }

    // Reports from background work are applied on the main thread, in order, and
    // those still queued when the operation ends do not bring the card back.
    void workerReportsArriveInOrderAndNotAfterTheEnd()
    {
        CentroOperazioni centro;
        centro.setAttuale(copia());
        QList<double> viste;
        connect(&centro, &CentroOperazioni::attualeChanged, this, [&] {
            QCOMPARE(QThread::currentThread(), thread());
            if (centro.attuale())
                viste << centro.attuale()->frazione.value_or(-1);
        });
        const auto posta = [&centro] {
            QtConcurrent::run([&centro] {
                for (int k = 1; k <= 100; ++k)
                    centro.aggiornaDaLavoro(k / 100.0);
            }).waitForFinished();
        };
        posta();
        QVERIFY(viste.isEmpty()); // posted, not applied from the worker
        QTRY_COMPARE(viste.size(), 100);
        QVERIFY(std::is_sorted(viste.begin(), viste.end()));

        posta();
        centro.setAttuale(std::nullopt);
        QSignalSpy cambi(&centro, &CentroOperazioni::attualeChanged);
        QCoreApplication::sendPostedEvents();
        centro.aggiorna(0.5, QString("1 di 2"), QString("Copia…"));
        QVERIFY(!centro.occupato());
        QCOMPARE(cambi.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCentroOperazioni)
#include "TestCentroOperazioni.moc"
