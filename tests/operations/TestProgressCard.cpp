#include "operations/SchedaProgresso.h"
#include "settings/Aspetto.h"
#include "settings/Colori.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QTest>

namespace {
std::optional<double> opz(double v)
{
    return v < -5 ? std::nullopt : std::optional<double>(v);
}

// A card in a white frame the width of the panel's content, as the panel shows it.
QImage foto(SchedaProgresso &scheda)
{
    QWidget cornice;
    Aspetto::applicaTemaChiaro(&cornice);
    cornice.setFixedWidth(292 + 28);
    scheda.setParent(&cornice);
    scheda.setGeometry(14, 14, 292, scheda.heightForWidth(292));
    cornice.setFixedHeight(scheda.height() + 28);
    const QImage img = cornice.grab().toImage();
    scheda.setParent(nullptr); // the card belongs to the caller
    return img;
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
        QTest::newRow("zero") << 0.0 << "0%";
        QTest::newRow("0.379 truncates") << 0.379 << "37%";
        QTest::newRow("0.999 is not yet done") << 0.999 << "99%";
        QTest::newRow("one") << 1.0 << "100%";
        QTest::newRow("below zero") << -0.2 << "0%";
        QTest::newRow("above one") << 1.7 << "100%";
        // 29 / 100 is a hair below 0.29 in floating point: still 29.
        QTest::newRow("whole percent from the disk utility") << 29 / 100.0 << "29%";
        QTest::newRow("57 from the disk utility") << 57 / 100.0 << "57%";
    }
    void percentageIsTruncatedAndClamped()
    {
        QFETCH(double, frazione);
        QFETCH(QString, testo);
        QCOMPARE(SchedaProgresso::testoPercentuale(opz(frazione)), testo);
        SchedaProgresso scheda("Copia", std::nullopt, opz(frazione), "doc.on.doc.fill", Colori::green());
        QCOMPARE(scheda.indeterminato(), frazione < -5);
        if (frazione >= -5)
            QVERIFY(*scheda.frazione() >= 0 && *scheda.frazione() <= 1);
    }

    void longTextsKeepToTwoLines()
    {
        const QString nome = QStringLiteral("ECOGRAFIA_2024_03_18_PAZIENTE_ROSSI_MARIO_ADDOME_COMPLETO_SERIE_"
                                            "0003_IMMAGINE_0042_DEFINITIVA_CONTROLLATA.jpg");
        SchedaProgresso scheda(
            QStringLiteral("Importazione automatica da una chiavetta dal nome lunghissimo, "
                           "molto più lungo di quanto stia su due righe della scheda…"),
            QStringLiteral("12 di 340 — %1").arg(nome), 0.5, "tray.and.arrow.down.fill",
            Colori::coloreMarchio());
        scheda.resize(292, scheda.heightForWidth(292));
        const QStringList titolo = scheda.righeTitolo();
        QCOMPARE(titolo.size(), 2);
        QVERIFY(titolo.last().endsWith(QStringLiteral("…")));
        const QStringList dettaglio = scheda.righeDettaglio();
        QCOMPARE(dettaglio.size(), 2);
        const QString unito = dettaglio.join(QString());
        // Cut in the middle: the counter and the file's extension both survive.
        QVERIFY2(unito.startsWith(QStringLiteral("12 di 340 — ")), qPrintable(unito));
        QVERIFY2(unito.endsWith(QStringLiteral("CONTROLLATA.jpg")), qPrintable(unito));
        QVERIFY(unito.contains(QStringLiteral("…")));
        QVERIFY(foto(scheda).save(QDir(TestSupport::artifactsDir()).filePath("scheda-testi-lunghi.png")));

        // A sentence loses whole words from its middle.
        scheda.setDettaglio(
            QStringLiteral("Non scollegare la chiavetta. L'operazione continua anche a pannello "
                           "chiuso: riceverai una notifica al termine."));
        const QString frase = scheda.righeDettaglio().join(' ');
        QVERIFY2(frase.contains(QStringLiteral(" … ")), qPrintable(frase));
        QVERIFY(frase.startsWith(QStringLiteral("Non scollegare")));
        QVERIFY(frase.endsWith(QStringLiteral("al termine.")));
    }

    void detailLineTakesRoomOnlyWhenPresent()
    {
        SchedaProgresso senza("Copia in Ecografie…", std::nullopt, 0.3, "doc.on.doc.fill", Colori::green());
        SchedaProgresso con("Copia in Ecografie…", QStringLiteral("1 di 3 — a.jpg"), 0.3, "doc.on.doc.fill",
                            Colori::green());
        QVERIFY(con.heightForWidth(292) > senza.heightForWidth(292));
        QVERIFY(senza.righeDettaglio().isEmpty());
        QCOMPARE(senza.heightForWidth(292), 10 +
                                                qMax(30, QFontMetrics([] {
                                                             QFont f = Aspetto::callout();
                                                             f.setWeight(QFont::Medium);
                                                             return f;
                                                         }())
                                                                 .lineSpacing() +
                                                             5 + 6) +
                                                10);
    }

    void newFractionSlidesIntoPlace()
    {
        SchedaProgresso scheda("Sincronizzazione A ↔ B…", std::nullopt, std::nullopt,
                               "arrow.triangle.2.circlepath", Colori::indigo());
        scheda.setFrazione(0.2); // from indeterminate: no slide
        QVERIFY(!scheda.animazioneInCorso());
        QCOMPARE(scheda.frazioneMostrata(), 0.2);
        scheda.setFrazione(0.8);
        QVERIFY(scheda.animazioneInCorso());
        QVERIFY(scheda.frazioneMostrata() < 0.8);
        QCOMPARE(scheda.testoPercentuale(scheda.frazione()), "80%"); // the text jumps, the bar slides
        QTRY_VERIFY_WITH_TIMEOUT(!scheda.animazioneInCorso(), 2000);
        QCOMPARE(scheda.frazioneMostrata(), 0.8);
    }

    void fourStatesRendered_data()
    {
        QTest::addColumn<double>("frazione");
        QTest::addColumn<QString>("dettaglio");
        QTest::addColumn<QString>("file");
        QTest::newRow("indeterminate") << -10.0 << QString() << "scheda-indeterminata.png";
        QTest::newRow("zero") << 0.0 << QString() << "scheda-0.png";
        QTest::newRow("0.37 with detail")
            << 0.37 << QStringLiteral("12 di 32 — IMG_0042.jpg") << "scheda-37.png";
        QTest::newRow("done") << 1.0 << QString() << "scheda-100.png";
    }
    void fourStatesRendered()
    {
        QFETCH(double, frazione);
        QFETCH(QString, dettaglio);
        QFETCH(QString, file);
        SchedaProgresso scheda("Copia in Ecografie…",
                               dettaglio.isEmpty() ? std::nullopt : std::optional<QString>(dettaglio),
                               opz(frazione), "doc.on.doc.fill", Colori::green());
        const QImage img = foto(scheda);
        QVERIFY(img.save(QDir(TestSupport::artifactsDir()).filePath(file)));
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
