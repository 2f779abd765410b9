#include "settings/Interruttore.h"
#include "settings/SettingsView.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <sys/stat.h>
#include <unistd.h>

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

    // A file edited by hand or left by another version: only true/false/1/0
    // set the switch, only an absolute folder is taken, and the file is made
    // or closed down to its owner alone, and stays so through later saves.
    void fileIsReadStrictlyAndKeptPrivate_data()
    {
        QTest::addColumn<QByteArray>("righe"); // null: no file yet; "@" is the test folder
        QTest::addColumn<uint>("proprietario");
        QTest::addColumn<bool>("importa");
        QTest::addColumn<QString>("cartella"); // empty: the default one
        QTest::addColumn<uint>("modo");
        const auto riga = [](const char *nome, const QByteArray &righe, bool importa,
                             const QString &cartella = {}, uint proprietario = 0, uint modo = 0600) {
            QTest::newRow(nome) << righe << proprietario << importa << cartella << modo;
        };
        riga("no file", QByteArray(), false);
        riga("true, absolute folder", "autoImportEnabled=true\ndestinationFolderPath=@/Arch", true, "@/Arch");
        riga("1", "autoImportEnabled=1", true);
        riga("false", "autoImportEnabled=false", false);
        riga("0", "autoImportEnabled=0", false);
        riga("banana", "autoImportEnabled=banana", false);
        riga("huge number", "autoImportEnabled=99999999999999999999", false);
        riga("2", "autoImportEnabled=2", false);
        riga("empty folder", "destinationFolderPath=", false);
        riga("relative folder", "destinationFolderPath=Ecografie/2024", false);
        riga("someone else's file", "autoImportEnabled=true", true, {}, 65534, 0644);
    }
    void fileIsReadStrictlyAndKeptPrivate()
    {
        QFETCH(QByteArray, righe);
        QFETCH(uint, proprietario);
        QFETCH(bool, importa);
        QFETCH(QString, cartella);
        QFETCH(uint, modo);
        const QString file = m_env->path("prefs/tessera.ini");
        if (!righe.isNull()) {
            QVERIFY(TestSupport::writeFile(file, "[General]\n" +
                                                     righe.replace('@', m_env->path("").toUtf8()) + "\n"));
            QVERIFY(::chmod(QFile::encodeName(file), 0644) == 0 &&
                    ::chown(QFile::encodeName(file), proprietario, proprietario) == 0);
        }
        AppSettings s(std::make_unique<QSettings>(file, QSettings::IniFormat));
        QCOMPARE(s.autoImport(), importa);
        QCOMPARE(s.destinationPath(),
                 cartella.isEmpty() ? predefinita : cartella.replace('@', m_env->path("")));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(file), &st) == 0);
        QCOMPARE(st.st_mode & 07777, modo);
        if (proprietario == 0) {
            s.setAutoImport(!importa);
            QVERIFY(::stat(QFile::encodeName(file), &st) == 0);
            QCOMPARE(st.st_mode & 07777, 0600u);
        }
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
