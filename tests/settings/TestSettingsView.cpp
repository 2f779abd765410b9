#include "settings/Interruttore.h"
#include "settings/SettingsView.h"
#include "support/TestEnv.h"

#include <functional>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace {
const QString predefinita = QDir::homePath() + "/Library/Mobile Documents/com~apple~CloudDocs/Ecografie";
}

// The settings store, and the window on it.
class TestSettingsView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<SettingsView> m_view;

    QString testoPercorso() const { return m_view->findChild<QTextEdit *>("percorso")->toPlainText(); }
    QString spiegazione() const { return m_view->findChild<QLabel *>("spiegazioneImport")->text(); }
    void premi(const char *nome)
    {
        QTest::mouseClick(m_view->findChild<QAbstractButton *>(nome), Qt::LeftButton);
    }
    QVariant salvato(const QString &chiave, const QString &file = {}) const
    {
        return QSettings(file.isEmpty() ? m_env->settingsFile() : file, QSettings::IniFormat).value(chiave);
    }
    std::unique_ptr<AppSettings> apri(const QString &file) const
    {
        return std::make_unique<AppSettings>(std::make_unique<QSettings>(file, QSettings::IniFormat));
    }

    // Clicks "scegliCartella" and runs `azione` on the modal chooser once it
    // is open; whatever `azione` does, the chooser is closed afterwards.
    bool scegli(const std::function<void(QFileDialog *)> &azione)
    {
        bool aperta = false;
        QTimer::singleShot(0, this, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible()) {
                    aperta = true;
                    azione(d);
                    d->reject();
                }
            }
        });
        premi("scegliCartella");
        return aperta;
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
        auto s = apri(file);
        QCOMPARE(s->destinationPath(), predefinita);
        QVERIFY(!s->autoImport() && QSettings(file, QSettings::IniFormat).allKeys().isEmpty());
        s->setDestinationPath(archivio);
        s->setAutoImport(true);
        s.reset();
        QVERIFY(QDir(archivio).removeRecursively());
        s = apri(file);
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
        QVERIFY(spiegazione().contains(" presenti in Ecografie vengono copiate"));
        QVERIFY(m_view->grab().save(QDir(TestSupport::artifactsDir()).filePath("settings-default.png")));
        premi("apriRegistro");
        QCOMPARE(m_env->apritore.aperti.value(0).toLocalFile(), m_env->logFile());
    }

    void chooserSetsTheFolderAndCancelChangesNothing()
    {
        const QString altra = m_env->path("Referti 2024"), archivio = m_env->path("Archivio");
        m_env->settings->setDestinationPath(altra);
        QVERIFY(scegli([&](QFileDialog *d) {
            QCOMPARE(d->windowTitle(), QString("Scegli cartella di destinazione"));
            QCOMPARE(QDir(d->directory()).absolutePath(), altra);
            d->setDirectory(archivio);
            static_cast<QDialog *>(d)->accept(); // QFileDialog::accept, which checks the choice
        }));
        QCOMPARE(testoPercorso(), archivio);
        QCOMPARE(salvato(AppSettings::key).toString(), archivio);
        QVERIFY(spiegazione().contains(" in Archivio vengono"));
        QVERIFY(scegli([](QFileDialog *d) { d->reject(); }));
        QCOMPARE(salvato(AppSettings::key).toString(), archivio);
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
        QCOMPARE(m_view->width(), 400);
        QVERIFY2(casella->document()->size().height() <= casella->viewport()->height(), "no line is cut off");
        QVERIFY(m_view->grab().save(QDir(TestSupport::artifactsDir()).filePath("settings-long-path.png")));
    }
};

QTEST_MAIN(TestSettingsView)
#include "TestSettingsView.moc"
