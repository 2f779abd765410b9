#include "comune/Marchio.h"
#include "help/AiutoStato.h"
#include "help/AiutoView.h"
#include "help/ContenutoAiuto.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QPushButton>
#include <QTest>

class TestHelp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each page rendered with every entry of its list, in order; the page chosen
    // is kept across closing and reopening.
    void pagesRenderedAndSectionKept()
    {
        TestEnv env;
        AiutoStato stato;
        {
            AiutoView view(stato, &env.apritore);
            view.show();
            QCOMPARE(view.sezioneMostrata(), SezioneAiuto::guida); // first opening after launch
            const char *file[] = {"aiuto-guida.png", "aiuto-problemi.png", "aiuto-chi-siamo.png",
                                  "aiuto-avvertenze.png"};
            for (SezioneAiuto s : tutteLeSezioni()) {
                QTest::mouseClick(view.barraSezioni(), Qt::LeftButton, {},
                                  view.barraSezioni()->tabRect(int(s)).center());
                QVERIFY(view.grab().save(QDir(TestSupport::artifactsDir()).filePath(file[int(s)])));
                QStringList righe, voci;
                for (RigaVoceGuida *r : view.pagina(s)->findChildren<RigaVoceGuida *>())
                    righe << r->voce().titolo;
                for (const VoceGuida &v : s == SezioneAiuto::guida      ? vociGuida()
                                          : s == SezioneAiuto::problemi ? vociProblemi()
                                                                        : QList<VoceGuida>())
                    voci << v.titolo;
                QCOMPARE(righe, voci);
                if (s == SezioneAiuto::chiSiamo)
                    QTest::mouseClick(view.findChild<QPushButton *>("visitaSito"), Qt::LeftButton);
            }
        }
        QCOMPARE(env.apritore.aperti, QList<QUrl>{Marchio::homePage()});
        AiutoView riaperta(stato, nullptr);
        QCOMPARE(riaperta.sezioneMostrata(), SezioneAiuto::avvertenze);
        QCOMPARE(riaperta.barraSezioni()->currentIndex(), int(SezioneAiuto::avvertenze));
        stato.setSezione(SezioneAiuto::problemi); // chosen from the panel while open
        QCOMPARE(riaperta.sezioneMostrata(), SezioneAiuto::problemi);
    }
};

QTEST_MAIN(TestHelp)
#include "TestHelp.moc"
