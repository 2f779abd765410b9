#include "app/QuillonApp.h"
#include "app/ShellRules.h"
#include "app/TrayIconPainter.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

class TestShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void trayTextFollowsErasePhase_data()
    {
        QTest::addColumn<SecureEraseManager::Fase>("fase");
        QTest::addColumn<double>("percentuale"); // < 0: none
        QTest::addColumn<QString>("testo");
        QTest::addColumn<bool>("uscita");
        using F = SecureEraseManager::Fase;
        QTest::newRow("idle") << F::inattivo << -1.0 << QString() << true;
        QTest::newRow("idle, stale percentage") << F::inattivo << 50.0 << QString() << true;
        QTest::newRow("verifying") << F::verifica << -1.0 << QString("…") << false;
        QTest::newRow("erasing 37.9") << F::cancellazione << 37.9 << QString("37%") << false;
        QTest::newRow("erasing 0") << F::cancellazione << 0.0 << QString("0%") << false;
        QTest::newRow("erasing 100") << F::cancellazione << 100.0 << QString("100%") << false;
        QTest::newRow("formatting") << F::formattazione << -1.0 << QString("…") << false;
    }
    void trayTextFollowsErasePhase()
    {
        QFETCH(SecureEraseManager::Fase, fase);
        QFETCH(double, percentuale);
        QFETCH(QString, testo);
        QFETCH(bool, uscita);
        const auto p = percentuale < 0 ? std::nullopt : std::optional<double>(percentuale);
        QCOMPARE(testoIconaVassoio(fase, p), testo);
        const RegolaUscita regola = regolaUscita(fase);
        QCOMPARE(regola.abilitata, uscita);
        QCOMPARE(regola.tooltip, uscita ? QString("Esci da Orvala – Tessera")
                                        : QString("Non puoi uscire durante la cancellazione sicura"));
    }

    void trayIconLooksRendered()
    {
        const QImage idle = disegnaIconaVassoio(QString(), 64);
        const QImage wait = disegnaIconaVassoio(QStringLiteral("…"), 64);
        const QImage pct = disegnaIconaVassoio(QStringLiteral("37%"), 64);
        QVERIFY(idle != wait);
        QVERIFY(wait != pct);
        QCOMPARE(pct.size(), QSize(64, 64));
        const QString dir = TestSupport::artifactsDir();
        QVERIFY(idle.save(QDir(dir).filePath("tray-idle.png")));
        QVERIFY(wait.save(QDir(dir).filePath("tray-waiting.png")));
        QVERIFY(pct.save(QDir(dir).filePath("tray-37.png")));
    }

    void windowsAreSingleInstance()
    {
        QuillonApp app;
        app.apriFinestra(Finestre::diagnostica);
        app.apriFinestra(Finestre::diagnostica);
        app.apriFinestra(Finestre::aiuto);
        QStringList titles;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && !w->windowTitle().isEmpty() &&
                w->windowTitle() != QStringLiteral("Tessera"))
                titles << w->windowTitle();
        }
        titles.sort();
        QCOMPARE(titles, (QStringList{"Aiuto", "Diagnostica USB"}));
    }
};

QTEST_MAIN(TestShell)
#include "TestShell.moc"
