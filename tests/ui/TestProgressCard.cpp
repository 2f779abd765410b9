#include "comune/Colori.h"
#include "support/TestEnv.h"
#include "ui/Aspetto.h"
#include "ui/SchedaProgresso.h"

#include <QDir>
#include <QTest>

class TestProgressCard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void percentageIsTruncatedAndClamped()
    {
        QCOMPARE(SchedaProgresso::testoPercentuale(29 / 100.0), "29%"); // a hair below 0.29 in floating point
        QCOMPARE(SchedaProgresso::testoPercentuale(-0.2), "0%");
        SchedaProgresso scheda("Copia", std::nullopt, 1.7, "doc.on.doc.fill", Colori::green());
        QCOMPARE(*scheda.frazione(), 1.0);
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
        QCOMPARE(scheda.righeDettaglio().size(), 2);
        // Cut in the middle: the counter and the file's extension both survive.
        const QString unito = scheda.righeDettaglio().join(QString());
        QVERIFY2(unito.startsWith("12 di 340 — ") && unito.endsWith("CONTROLLATA.jpg"), qPrintable(unito));
    }

    // Each state in a white frame the width of the panel's content. The fill
    // starts at the bar's leading end in the brand colour, even at 0 (the stub).
    void fourStatesRendered()
    {
        const std::optional<double> frazioni[] = {std::nullopt, 0.0, 0.37, 1.0};
        for (const auto &frazione : frazioni) {
            QWidget cornice;
            Aspetto::applicaTemaChiaro(&cornice);
            const auto dettaglio =
                frazione == 0.37 ? std::optional(QStringLiteral("12 di 32 — IMG_0042.jpg")) : std::nullopt;
            auto *scheda = new SchedaProgresso("Copia in Ecografie…", dettaglio, frazione, "doc.on.doc.fill",
                                               Colori::green(), &cornice);
            scheda->setGeometry(14, 14, 292, scheda->heightForWidth(292));
            cornice.setFixedSize(292 + 28, scheda->height() + 28);
            const QImage img = cornice.grab().toImage();
            const QString nome =
                frazione ? QString::number(qRound(*frazione * 100)) : QStringLiteral("indeterminata");
            QVERIFY(img.save(QDir(TestSupport::artifactsDir()).filePath("scheda-" + nome + ".png")));
            if (frazione) {
                const int barraY = 14 + 10 + QFontMetrics(Aspetto::callout()).lineSpacing() + 5 + 3;
                const QColor c = img.pixelColor(14 + 50 + 3, barraY);
                QVERIFY2(c.blue() > c.red() + 60, qPrintable(c.name()));
            }
        }
    }
};

QTEST_MAIN(TestProgressCard)
#include "TestProgressCard.moc"
