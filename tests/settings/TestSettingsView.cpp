#include "ui/Interruttore.h"
#include "settings/SettingsView.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

namespace {
const QString predefinita = QDir::homePath() + "/Library/Mobile Documents/com~apple~CloudDocs/Ecografie";
}

// The settings store, and the window on it.
class TestSettingsView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<SettingsView> m_view;

    QString testoPercorso() const { return m_view->findChild<QTextEdit *>("percorso")->toPlainText(); }
    void premi(const char *n) { QTest::mouseClick(m_view->findChild<QAbstractButton *>(n), Qt::LeftButton); }
    QVariant salvato(const QString &chiave, const QString &file = {}) const
    {
        return QSettings(file.isEmpty() ? m_env->settingsFile() : file, QSettings::IniFormat).value(chiave);
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_view = std::make_unique<SettingsView>(m_env->servizi, nullptr);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup()
    {
        m_view.reset();
        m_env.reset();
    }

    // Defaults are not written; values outlive the instance; an equal value
    // is written again without a change signal; a stored folder that was
    // removed is made again.
    void storeRules()
    {
        const QString file = m_env->path("nuovo.ini"), archivio = m_env->path("Archivio Ecografie");
        auto apri = [&] {
            return std::make_unique<AppSettings>(std::make_unique<QSettings>(file, QSettings::IniFormat));
        };
        auto s = apri();
        QCOMPARE(s->destinationPath(), predefinita);
        QVERIFY(!s->autoImport() && QSettings(file, QSettings::IniFormat).allKeys().isEmpty());
        s->setDestinationPath(archivio);
        s->setAutoImport(true);
        s.reset();
        QVERIFY(QDir(archivio).removeRecursively());
        s = apri();
        QCOMPARE(s->destinationPath(), archivio);
        QVERIFY(s->autoImport() && QDir(archivio).exists());

        QSignalSpy percorso(s.get(), &AppSettings::destinationPathChanged);
        QSignalSpy importa(s.get(), &AppSettings::autoImportChanged);
        QVERIFY(QDir(archivio).removeRecursively());
        QSettings(file, QSettings::IniFormat).clear();
        s->setDestinationPath(archivio);
        s->setAutoImport(true);
        QCOMPARE(percorso.count() + importa.count(), 0);
        QVERIFY(QDir(archivio).exists());
        QCOMPARE(salvato(AppSettings::key, file).toString(), archivio);
        QCOMPARE(salvato(AppSettings::keyAutoImport, file), QVariant(true));
        s->setAutoImport(false);
        QCOMPARE(importa.count(), 1);
    }

    void buttonsAndSwitchWriteTheSettings()
    {
        premi("importaAutomatico");
        QCOMPARE(salvato(AppSettings::keyAutoImport), QVariant(true));
        m_env->settings->setAutoImport(false); // the panel shares the same settings
        QVERIFY(!m_view->findChild<Interruttore *>("importaAutomatico")->isChecked());
        premi("reset");
        QCOMPARE(testoPercorso(), predefinita);
        QCOMPARE(salvato(AppSettings::key).toString(), predefinita);
        QVERIFY(m_view->findChild<QLabel *>("spiegazioneImport")->text().contains(" in Ecografie vengono"));
        QVERIFY(m_view->grab().save(QDir(TestSupport::artifactsDir()).filePath("settings-default.png")));
        premi("apriRegistro");
        QCOMPARE(m_env->apritore.aperti.value(0).toLocalFile(), m_env->logFile());
    }

    void longPathWrapsWhole()
    {
        const int altezzaBreve = m_view->height();
        // Words, then one name longer than the box, which has to break anywhere.
        const QString lungo =
            m_env->path("Studio Medico Associato/Ecografie ambulatoriali/Archivio digitale/"
                        "pazienti_esterni_convenzionati_primo_trimestre_duemilaventiquattro");
        m_env->settings->setDestinationPath(lungo);
        QCOMPARE(testoPercorso(), lungo);
        auto *casella = m_view->findChild<QTextEdit *>("percorso");
        QVERIFY2(m_view->height() > altezzaBreve, "the window grows with the wrapped path");
        QVERIFY2(casella->document()->size().height() <= casella->viewport()->height(), "no line is cut off");
        QVERIFY(m_view->grab().save(QDir(TestSupport::artifactsDir()).filePath("settings-long-path.png")));
    }
};

QTEST_MAIN(TestSettingsView)
#include "TestSettingsView.moc"
