#include "operations/SchedaProgresso.h"
#include "settings/Aspetto.h"
#include "settings/Colori.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QTest>

namespace {
std::optional<double> opz(double v)
{
    return v < -5 ? std::nullopt : std::optional<double>(v);
}
} // namespace

class TestProgressCard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void percentageIsTruncatedAndClamped_data()
    {
        QTest::addColumn<double>("frazione"); // below -5: none
        QTest::addColumn<QString>("testo");
        QTest::newRow("none") << -10.0 << QString();
        QTest::newRow("0.379 truncates") << 0.379 << "37%";
        QTest::newRow("0.999 is not yet done") << 0.999 << "99%";
        QTest::newRow("below zero") << -0.2 << "0%";
        QTest::newRow("above one") << 1.7 << "100%";
        // 29 / 100 is a hair below 0.29 in floating point: still 29.
        QTest::newRow("whole percent from the disk utility") << 29 / 100.0 << "29%";
    }
    void percentageIsTruncatedAndClamped()
    {
        QFETCH(double, frazione);
        QFETCH(QString, testo);
        SchedaProgresso scheda("Copia", std::nullopt, opz(frazione), "doc.on.doc.fill", Colori::green());
        QCOMPARE(SchedaProgresso::testoPercentuale(scheda.frazione()), testo);
        QCOMPARE(scheda.indeterminato(), frazione < -5);
    }

    void longTextsKeepToTwoLinesCutInTheMiddle()
    {
        SchedaProgresso scheda(
            QStringLiteral("Importazione automatica da una chiavetta dal nome lunghissimo, "
                           "molto più lungo di quanto stia su due righe della scheda…"),
            QStringLiteral("12 di 340 — ECOGRAFIA_2024_03_18_PAZIENTE_ROSSI_MARIO_ADDOME_"
                           "COMPLETO_SERIE_0003_IMMAGINE_0042_DEFINITIVA_CONTROLLATA.jpg"),
            0.5, "tray.and.arrow.down.fill", Colori::coloreMarchio());
        scheda.resize(292, scheda.heightForWidth(292));
        QCOMPARE(scheda.righeTitolo().size(), 2);
        QVERIFY(scheda.righeTitolo().last().endsWith(QStringLiteral("…")));
        QCOMPARE(scheda.righeDettaglio().size(), 2);
        const QString unito = scheda.righeDettaglio().join(QString());
        // The counter and the file's extension both survive.
        QVERIFY2(unito.startsWith(QStringLiteral("12 di 340 — ")) && unito.contains(QStringLiteral("…")) &&
                     unito.endsWith(QStringLiteral("CONTROLLATA.jpg")),
                 qPrintable(unito));
    }

    void newFractionSlidesIntoPlace()
    {
        SchedaProgresso scheda("Sincronizzazione A ↔ B…", std::nullopt, std::nullopt,
                               "arrow.triangle.2.circlepath", Colori::indigo());
        scheda.setFrazione(0.2); // from indeterminate: no slide
        QCOMPARE(scheda.frazioneMostrata(), 0.2);
        scheda.setFrazione(0.8);
        QVERIFY(scheda.animazioneInCorso() && scheda.frazioneMostrata() < 0.8);
        QTRY_VERIFY_WITH_TIMEOUT(!scheda.animazioneInCorso(), 2000);
        QCOMPARE(scheda.frazioneMostrata(), 0.8);
    }

    void fourStatesRendered_data()
    {
        QTest::addColumn<double>("frazione");
        QTest::addColumn<QString>("dettaglio");
        QTest::newRow("indeterminata") << -10.0 << QString();
        QTest::newRow("0") << 0.0 << QString();
        QTest::newRow("37") << 0.37 << QStringLiteral("12 di 32 — IMG_0042.jpg");
        QTest::newRow("100") << 1.0 << QString();
    }
    void fourStatesRendered()
    {
        QFETCH(double, frazione);
        QFETCH(QString, dettaglio);
        // In a white frame the width of the panel's content, as the panel shows it.
        QWidget cornice;
        Aspetto::applicaTemaChiaro(&cornice);
        const auto testo = dettaglio.isEmpty() ? std::nullopt : std::optional(dettaglio);
        auto *scheda = new SchedaProgresso("Copia in Ecografie…", testo, opz(frazione), "doc.on.doc.fill",
                                           Colori::green(), &cornice);
        scheda->setGeometry(14, 14, 292, scheda->heightForWidth(292));
        cornice.setFixedSize(292 + 28, scheda->height() + 28);
        const QImage img = cornice.grab().toImage();
        QVERIFY(img.save(QDir(TestSupport::artifactsDir())
                             .filePath(QStringLiteral("scheda-%1.png").arg(QTest::currentDataTag()))));
        // The fill starts at the bar's leading end in the brand colour, even at 0 (the 6-point stub).
        if (frazione >= 0) {
            const int barraY = 14 + 10 + QFontMetrics(Aspetto::callout()).lineSpacing() + 5 + 3;
            const QColor c = img.pixelColor(14 + 50 + 3, barraY);
            QVERIFY2(c.blue() > c.red() + 60, qPrintable(c.name()));
        }
    }
};

QTEST_MAIN(TestProgressCard)
#include "TestProgressCard.moc"
