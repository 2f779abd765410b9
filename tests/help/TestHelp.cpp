#include "comune/Marchio.h"
#include "help/AiutoStato.h"
#include "help/AiutoView.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QPushButton>
#include <QTest>

class TestHelp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pagesListTheirEntriesInOrder()
    {
        AiutoStato stato;
        AiutoView view(stato, nullptr);
        QStringList picker;
        for (SezioneAiuto s : tutteLeSezioni())
            picker << view.pulsanteSezione(s)->text();
        QCOMPARE(picker,
                 (QStringList{"Guida alle funzioni", "Risoluzione problemi", "Chi siamo", "Avvertenze"}));

        auto titoli = [&](SezioneAiuto s) {
            QStringList t;
            for (RigaVoceGuida *r : view.pagina(s)->findChildren<RigaVoceGuida *>())
                t << r->voce().titolo;
            return t;
        };
        const QStringList guida = titoli(SezioneAiuto::guida), problemi = titoli(SezioneAiuto::problemi);
        QCOMPARE(guida.size(), 13);
        QCOMPARE(guida.last(), QStringLiteral("Registro operazioni (Impostazioni)"));
        QCOMPARE(problemi.size(), 6);
        QCOMPARE(problemi.first(), QStringLiteral("L'espulsione non riesce"));
    }

    // Each page rendered; the page chosen is kept across closing and reopening.
    void pagesRenderedAndSectionKept()
    {
        TestEnv env;
        AiutoStato stato;
        {
            AiutoView view(stato, &env.apritore);
            view.show();
            QCOMPARE(view.size(), QSize(540, 480));
            QCOMPARE(view.sezioneMostrata(), SezioneAiuto::guida); // first opening after launch
            const char *file[] = {"aiuto-guida.png", "aiuto-problemi.png", "aiuto-chi-siamo.png",
                                  "aiuto-avvertenze.png"};
            for (SezioneAiuto s : tutteLeSezioni()) {
                QTest::mouseClick(view.pulsanteSezione(s), Qt::LeftButton);
                QVERIFY(view.grab().save(QDir(TestSupport::artifactsDir()).filePath(file[int(s)])));
                if (s == SezioneAiuto::chiSiamo)
                    QTest::mouseClick(view.findChild<QPushButton *>("visitaSito"), Qt::LeftButton);
            }
        }
        QCOMPARE(env.apritore.aperti, QList<QUrl>{Marchio::homePage()});
        AiutoView riaperta(stato, nullptr);
        QCOMPARE(riaperta.sezioneMostrata(), SezioneAiuto::avvertenze);
        QVERIFY(riaperta.pulsanteSezione(SezioneAiuto::avvertenze)->isChecked());
        stato.setSezione(SezioneAiuto::problemi); // chosen from the panel while open
        QCOMPARE(riaperta.sezioneMostrata(), SezioneAiuto::problemi);
    }
};

QTEST_MAIN(TestHelp)
#include "TestHelp.moc"
