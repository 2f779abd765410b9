#include "app/ColoredActionLabel.h"
#include "app/MenuBarView.h"
#include "app/QuillonApp.h"
#include "help/AiutoStato.h"
#include "help/AiutoView.h"
#include "settings/Icone.h"
#include "settings/Marchio.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

namespace {
QList<RigaVoceGuida *> vociDi(AiutoView &view, SezioneAiuto s)
{
    return view.pagina(s)->findChildren<RigaVoceGuida *>();
}
} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void sectionLabelsRoundTrip_data()
    {
        QTest::addColumn<QString>("testo");
        QTest::addColumn<int>("sezione"); // -1: none
        QTest::newRow("guide") << "Guida alle funzioni" << int(SezioneAiuto::guida);
        QTest::newRow("troubleshooting") << "Risoluzione problemi" << int(SezioneAiuto::problemi);
        QTest::newRow("about") << "Chi siamo" << int(SezioneAiuto::chiSiamo);
        QTest::newRow("warnings") << "Avvertenze" << int(SezioneAiuto::avvertenze);
        QTest::newRow("unknown") << "Contatti" << -1;
        QTest::newRow("case matters") << "chi siamo" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void sectionLabelsRoundTrip()
    {
        QFETCH(QString, testo);
        QFETCH(int, sezione);
        const auto s = sezioneDaEtichetta(testo);
        QCOMPARE(s.has_value(), sezione >= 0);
        if (s) {
            QCOMPARE(int(*s), sezione);
            QCOMPARE(etichetta(*s), testo);
        }
    }

    void pagesListTheirEntriesInOrder()
    {
        AiutoStato stato;
        AiutoView view(stato, nullptr);
        QCOMPARE(tutteLeSezioni().size(), 4);
        QStringList picker;
        for (SezioneAiuto s : tutteLeSezioni())
            picker << view.pulsanteSezione(s)->text();
        QCOMPARE(picker,
                 (QStringList{"Guida alle funzioni", "Risoluzione problemi", "Chi siamo", "Avvertenze"}));

        const QList<RigaVoceGuida *> guida = vociDi(view, SezioneAiuto::guida);
        QCOMPARE(guida.size(), 13);
        QCOMPARE(guida.first()->voce().titolo, QStringLiteral("Lista USB inserite"));
        QCOMPARE(guida[5]->voce().titolo, QStringLiteral("Copia tutto in Ecografie"));
        QCOMPARE(guida.last()->voce().titolo, QStringLiteral("Registro operazioni (Impostazioni)"));
        const QList<RigaVoceGuida *> problemi = vociDi(view, SezioneAiuto::problemi);
        QCOMPARE(problemi.size(), 6);
        QCOMPARE(problemi.first()->voce().titolo, QStringLiteral("L'espulsione non riesce"));
        QCOMPARE(problemi.last()->voce().titolo, QStringLiteral("La copia è molto lenta"));
        // Every entry's symbol has an icon.
        for (const auto &v : vociGuida() + vociProblemi())
            QVERIFY2(!Icone::file(v.icona).isEmpty(), qPrintable(v.icona));
    }

    void theGuideNamesTheDefaultFolderWhateverTheSettings()
    {
        // "Ecografie" is fixed text in the guide, not the chosen archive folder.
        int conEcografie = 0;
        for (const VoceGuida &v : vociGuida())
            conEcografie += (v.titolo + v.testo).contains(QStringLiteral("Ecografie"));
        QCOMPARE(conEcografie, 2);
    }

    void sectionIsKeptAcrossClosingAndReopening()
    {
        AiutoStato stato;
        {
            AiutoView view(stato, nullptr);
            QCOMPARE(view.sezioneMostrata(), SezioneAiuto::guida); // first opening after launch
            QTest::mouseClick(view.pulsanteSezione(SezioneAiuto::avvertenze), Qt::LeftButton);
            QCOMPARE(stato.sezione(), SezioneAiuto::avvertenze);
            QCOMPARE(view.sezioneMostrata(), SezioneAiuto::avvertenze);
        }
        AiutoView riaperta(stato, nullptr);
        QCOMPARE(riaperta.sezioneMostrata(), SezioneAiuto::avvertenze);
        QVERIFY(riaperta.pulsanteSezione(SezioneAiuto::avvertenze)->isChecked());

        // Assigned from outside while open: the page follows.
        stato.setSezione(SezioneAiuto::problemi);
        QCOMPARE(riaperta.sezioneMostrata(), SezioneAiuto::problemi);
        QVERIFY(riaperta.pulsanteSezione(SezioneAiuto::problemi)->isChecked());
    }

    void aboutPageOpensTheMakersSite()
    {
        TestEnv env;
        AiutoStato stato;
        stato.setSezione(SezioneAiuto::chiSiamo);
        AiutoView view(stato, &env.apritore);
        auto *visita = view.findChild<QPushButton *>("visitaSito");
        QCOMPARE(visita->text(), QStringLiteral("Visita %1").arg(Marchio::sito));
        QTest::mouseClick(visita, Qt::LeftButton);
        QCOMPARE(env.apritore.aperti, QList<QUrl>{Marchio::homePage()});
    }

    void warningsPageSaysWhatItMust()
    {
        AiutoStato stato;
        AiutoView view(stato, nullptr);
        const QString testo = view.findChild<QLabel *>("testoAvvertenze")->text();
        qsizetype ultimo = testo.indexOf(QStringLiteral("In particolare:"));
        QVERIFY(ultimo > 0);
        for (const char *titolo : {"Copie e importazioni", "Cancellazione sicura", "Formattazione rapida",
                                   "Diagnostica e test di velocità", "Responsabilità"}) {
            const qsizetype i = testo.indexOf(QString::fromUtf8(titolo), ultimo);
            QVERIFY2(i > ultimo, titolo); // present, and in order
            ultimo = i;
        }
    }

    void windowIsFixedAndPagesRendered()
    {
        AiutoStato stato;
        AiutoView view(stato, nullptr);
        view.show();
        QCOMPARE(view.size(), QSize(540, 480));
        QCOMPARE(view.minimumSize(), view.maximumSize());
        const char *file[] = {"aiuto-guida.png", "aiuto-problemi.png", "aiuto-chi-siamo.png",
                              "aiuto-avvertenze.png"};
        for (SezioneAiuto s : tutteLeSezioni()) {
            stato.setSezione(s);
            QCoreApplication::processEvents();
            QVERIFY(view.grab().save(QDir(TestSupport::artifactsDir()).filePath(file[int(s)])));
        }
    }

    // The panel's help menu opens the one help window at the chosen page.
    void panelOpensHelpAtTheChosenSection()
    {
        QuillonApp app;
        MenuBarView *pannello = nullptr;
        for (QWidget *w : QApplication::allWidgets()) {
            if (auto *p = qobject_cast<MenuBarView *>(w))
                pannello = p;
        }
        QVERIFY(pannello);
        QAction *problemi = nullptr;
        for (QAction *a : pannello->voce("aiuto")->menuVoci()->actions()) {
            if (a->text() == QStringLiteral("Risoluzione problemi"))
                problemi = a;
        }
        QVERIFY(problemi);
        problemi->trigger();
        QCOMPARE(AiutoStato::shared().sezione(), SezioneAiuto::problemi);
        AiutoView *view = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *v = qobject_cast<AiutoView *>(w); v && v->isVisible())
                view = v;
        }
        QVERIFY(view);
        QCOMPARE(view->windowTitle(), QStringLiteral("Aiuto"));
        QCOMPARE(view->sezioneMostrata(), SezioneAiuto::problemi);
    }
};

QTEST_MAIN(TestHelp)
#include "TestHelp.moc"
