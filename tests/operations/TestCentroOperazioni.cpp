#include "operations/CentroOperazioni.h"
#include "operations/Impegni.h"
#include "operations/ImpegnoTenuto.h"
#include "operations/StimaTempo.h"

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
    // A steady 10 MB/s: nothing is told for the first two seconds; then the
    // speed and the time left, which a stall of a second or a burst moves
    // only a little; work that goes back (a new phase) starts again.
    void speedAndTimeLeftSettleWithoutJumping()
    {
        constexpr double mb = 1e6, totale = 1000 * mb;
        StimaTempo s;
        double t = 0, fatti = 0;
        const auto per = [&](double secondi, double mbs) {
            for (const double fine = t + secondi; t < fine - 1e-9;) {
                t += 0.25;
                fatti += 0.25 * mbs * mb;
                s.campione(t, fatti, totale);
            }
        };
        per(1.75, 10);
        QVERIFY(!s.velocita() && !testoRitmo(s, true));
        per(28, 10);
        QCOMPARE(qRound(*s.velocita() / mb), 10);
        QCOMPARE(*testoRitmo(s, true), QString("10,0\u00A0MB/s · circa 2\u00A0min rimanenti"));
        QCOMPARE(*testoRitmo(s, false), QString("circa 2\u00A0min rimanenti"));
        per(1, 0);
        QVERIFY2(*s.velocita() > 7 * mb, qPrintable(QString::number(*s.velocita())));
        per(1, 60);
        QVERIFY2(*s.velocita() < 20 * mb, qPrintable(QString::number(*s.velocita())));
        s.campione(t + 0.5, 0, totale);
        QVERIFY(!s.velocita());
    }

    // Coarser as the time grows, so that the figure does not flicker.
    void timeLeftInWords()
    {
        const std::pair<double, const char *> casi[] = {
            {42, "meno di 1\u00A0min rimanente"},
            {150, "circa 3\u00A0min rimanenti"},
            {23 * 60 + 1, "circa 25\u00A0min rimanenti"},
            {80 * 60 + 5, "circa 1\u00A0h 20\u00A0min rimanenti"}};
        for (const auto &[secondi, testo] : casi)
            QCOMPARE(testoTempoRimanente(secondi), QString(testo));
    }
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
            centro.aggiorna({.frazione = p.frazione, .dettaglio = p.dettaglio, .titolo = p.titolo});
            QCOMPARE(centro.attuale(), std::optional(p.dopo));
        }
        QCOMPARE(cambi.count(), 5); // one observable change per report
    }

    // A worker reporting for every file: its reports are applied on the main
    // thread, merged into one with the newest of each field; one still pending
    // when its card goes never reaches the next card, nor brings the card back.
    void workerReportsMergeAndDieWithTheirCard()
    {
        CentroOperazioni centro;
        centro.setAttuale(copia());
        QSignalSpy cambi(&centro, &CentroOperazioni::attualeChanged);
        const Riferisci riferisci = versoCentro(&centro);
        QtConcurrent::run([&riferisci] {
            for (int k = 1; k <= 100; ++k)
                riferisci({.frazione = k / 100.0,
                           .dettaglio = QString("%1 di 100").arg(k),
                           .titolo = k == 1 ? OptS("Verifica…") : std::nullopt});
        }).waitForFinished();
        QCOMPARE(cambi.count(), 0); // posted, not applied from the worker
        QCoreApplication::sendPostedEvents();
        QCOMPARE(cambi.count(), 1);
        QCOMPARE(*centro.attuale(), copia(1.0, QString("100 di 100"), "Verifica…"));

        riferisci({.frazione = 0.5, .dettaglio = QString("vecchio")});
        centro.setAttuale(std::nullopt);
        centro.setAttuale(copia());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(*centro.attuale(), copia());
        riferisci({.frazione = 0.5});
        centro.setAttuale(std::nullopt);
        QCoreApplication::sendPostedEvents();
        centro.aggiorna({.frazione = 0.5});
        QVERIFY(!centro.occupato());
    }

    // The card is dropped on the way out; a hold already released leaves alone
    // the card another flow has claimed since.
    void schedaTenutaLasciaUnaVoltaSola()
    {
        CentroOperazioni centro;
        {
            ImpegnoTenuto scheda(&centro, copia());
            QCOMPARE(centro.attuale(), std::optional(copia()));
        }
        QVERIFY(!centro.occupato());
        ImpegnoTenuto prima(&centro, copia());
        prima.rilascia();
        centro.setAttuale(copia(0.5, {}, "Importazione…"));
        prima.rilascia();
        QCOMPARE(centro.attuale()->titolo, "Importazione…");
    }

    // Which busy flags each start respects, in the order its flow tells them
    // apart: c = secure erase, d = diagnostic check, o = the centre's card.
    void impegnoBloccante_data()
    {
        QTest::addColumn<Avvio>("avvio");
        QTest::addColumn<QString>("ordine");
        QTest::newRow("copy") << Avvio::copia << "o";
        QTest::newRow("filtered copy") << Avvio::copiaFiltrata << "o";
        QTest::newRow("sync") << Avvio::sincronizzazione << "o";
        QTest::newRow("automatic import") << Avvio::importazioneAutomatica << "oc";
        QTest::newRow("quick format") << Avvio::formattazioneRapida << "cdo";
        QTest::newRow("secure erase") << Avvio::cancellazioneSicura << "cdo";
        QTest::newRow("info") << Avvio::infoDiagnostica << "dc";
        QTest::newRow("verify") << Avvio::verificaDiagnostica << "dc";
        QTest::newRow("repair") << Avvio::riparazioneDiagnostica << "dc";
        QTest::newRow("speed test") << Avvio::testVelocita << "dc";
        QTest::newRow("capacity check") << Avvio::verificaCapacita << "dco";
        QTest::newRow("archive verification") << Avvio::verificaArchivio << "o";
        QTest::newRow("quit") << Avvio::uscita << "c";
    }
    void impegnoBloccante()
    {
        QFETCH(Avvio, avvio);
        QFETCH(QString, ordine);
        const QHash<QChar, Impegno> impegni{
            {'c', Impegno::cancellazione}, {'d', Impegno::diagnostica}, {'o', Impegno::operazione}};
        for (int bit = 0; bit < 8; ++bit) {
            const StatoImpegni stato{bool(bit & 1), bool(bit & 2), bool(bit & 4)};
            const QString attivi = QString(stato.cancellazione ? "c" : "") + (stato.diagnostica ? "d" : "") +
                                   (stato.operazione ? "o" : "");
            std::optional<Impegno> atteso;
            for (const QChar c : ordine) {
                if (!atteso && attivi.contains(c))
                    atteso = impegni.value(c);
            }
            QCOMPARE(::impegnoBloccante(avvio, stato), atteso);
        }
    }
};

QTEST_GUILESS_MAIN(TestCentroOperazioni)
#include "TestCentroOperazioni.moc"
