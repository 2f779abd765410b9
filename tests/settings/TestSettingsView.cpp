#include "settings/SettingsView.h"
#include "support/TestEnv.h"
#include "ui/Interruttore.h"
#include "ui/SchedaProgresso.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTextEdit>
#include <unistd.h>

namespace {
const QString predefinita = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + "/Ecografie";
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
    // is written again without a change signal; a chosen folder that went
    // away is never made again (a share not mounted), the default one is.
    void storeRules()
    {
        const QString file = m_env->path("nuovo.ini"), archivio = m_env->path("Archivio Ecografie");
        auto apri = [&] {
            return std::make_unique<AppSettings>(std::make_unique<QSettings>(file, QSettings::IniFormat));
        };
        auto s = apri();
        QCOMPARE(s->destinationPath(), predefinita);
        QVERIFY(!s->autoImport() && QSettings(file, QSettings::IniFormat).allKeys().isEmpty());
        QCOMPARE(s->ordineArchivio(), OrdineArchivio::unicaCartella);
        s->setDestinationPath(archivio);
        s->setAutoImport(true);
        s->setOrdineArchivio(OrdineArchivio::perChiavettaEGiorno);
        s.reset();
        QVERIFY(QDir(archivio).removeRecursively());
        s = apri();
        QCOMPARE(s->destinationPath(), archivio);
        QVERIFY(s->autoImport() && !QDir(archivio).exists() && !s->isDefaultDestination());
        QCOMPARE(s->ordineArchivio(), OrdineArchivio::perChiavettaEGiorno);
        QSettings(file, QSettings::IniFormat).setValue(AppSettings::keyOrdine, "perGiorno"); // not ours
        QCOMPARE(apri()->ordineArchivio(), OrdineArchivio::unicaCartella);

        QSignalSpy percorso(s.get(), &AppSettings::destinationPathChanged);
        QSignalSpy importa(s.get(), &AppSettings::autoImportChanged);
        QVERIFY(QDir(archivio).removeRecursively());
        QSettings(file, QSettings::IniFormat).clear();
        s->setDestinationPath(archivio);
        s->setAutoImport(true);
        QCOMPARE(percorso.count() + importa.count(), 0);
        QVERIFY(!QDir(archivio).exists());
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
        QTest::addColumn<bool>("importa");
        QTest::addColumn<QString>("cartella"); // empty: the default one
        QTest::addColumn<uint>("proprietario");
        QTest::newRow("no file") << QByteArray() << false << "" << 0u;
        QTest::newRow("true") << QByteArray("autoImportEnabled=true\ndestinationFolderPath=@/A") << true
                              << "@/A" << 0u;
        QTest::newRow("1") << QByteArray("autoImportEnabled=1") << true << "" << 0u;
        QTest::newRow("banana") << QByteArray("autoImportEnabled=banana") << false << "" << 0u;
        QTest::newRow("huge number") << QByteArray("autoImportEnabled=99999999999999999999") << false << ""
                                     << 0u;
        QTest::newRow("empty folder") << QByteArray("destinationFolderPath=") << false << "" << 0u;
        QTest::newRow("relative folder") << QByteArray("destinationFolderPath=Eco/2024") << false << "" << 0u;
        QTest::newRow("someone else's file") << QByteArray("autoImportEnabled=1") << true << "" << 65534u;
    }
    void fileIsReadStrictlyAndKeptPrivate()
    {
        QFETCH(QByteArray, righe);
        QFETCH(bool, importa);
        QFETCH(QString, cartella);
        QFETCH(uint, proprietario);
        const QString file = m_env->path("prefs/tessera.ini"), qui = m_env->path("");
        const auto privato = [&] {
            return QFileInfo::exists(file) && !(QFileInfo(file).permissions() & 0x0077);
        };
        if (!righe.isNull()) {
            QVERIFY(TestSupport::writeFile(file, "[General]\n" + righe.replace('@', qui.toUtf8()) + "\n"));
            QVERIFY(::chown(QFile::encodeName(file), proprietario, proprietario) == 0);
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        }
        AppSettings s(std::make_unique<QSettings>(file, QSettings::IniFormat));
        QCOMPARE(s.autoImport(), importa);
        QCOMPARE(s.destinationPath(), cartella.isEmpty() ? predefinita : cartella.replace('@', qui));
        QCOMPARE(privato(), proprietario == 0); // another user's file is left as it is
        s.setAutoImport(!importa);
        QCOMPARE(privato(), proprietario == 0); // a save keeps the mode
    }

    void buttonsAndSwitchWriteTheSettings()
    {
        premi("importaAutomatico");
        QCOMPARE(salvato(AppSettings::keyAutoImport), QVariant(true));
        m_env->impostazioni->setAutoImport(false); // the panel shares the same settings
        QVERIFY(!m_view->findChild<Interruttore *>("importaAutomatico")->isChecked());
        premi("ripristina");
        QCOMPARE(testoPercorso(), predefinita);
        QCOMPARE(salvato(AppSettings::key).toString(), predefinita);
        QVERIFY(m_view->findChild<QLabel *>("spiegazioneImport")->text().contains(" in Ecografie vengono"));
        QVERIFY(m_view->findChild<QLabel *>("notaCartella")
                    ->text()
                    .startsWith("È la cartella predefinita, in «"));
        QVERIFY(m_view->grab().save(QDir(TestSupport::artifactsDir()).filePath("settings-default.png")));
        premi("apriRegistro");
        QCOMPARE(m_env->apritore.aperti.value(0).toLocalFile(), m_env->logFile());

        auto *unica = m_view->findChild<QRadioButton *>("ordineUnicaCartella");
        QVERIFY(unica->isChecked());
        premi("ordinePerChiavetta");
        QCOMPARE(salvato(AppSettings::keyOrdine), QVariant("perChiavettaEGiorno"));
        m_env->impostazioni->setOrdineArchivio(OrdineArchivio::unicaCartella);
        QVERIFY(unica->isChecked());
    }

    // "Verifica archivio" starts the verification and its card shows here,
    // "Annulla" included. The day of the last one belongs to the folder it
    // verified, and survives a restart.
    void archiveVerification()
    {
        int avviate = 0;
        m_view = std::make_unique<SettingsView>(m_env->servizi, nullptr, [&] { ++avviate; });
        m_view->show();
        premi("verificaArchivio");
        QCOMPARE(avviate, 1);
        auto *scheda = m_view->findChild<SchedaProgresso *>("schedaOperazione");
        QVERIFY(scheda->isHidden());
        const int altezza = m_view->height();
        CentroOperazioni::Operazione op{"Verifica dell'archivio Archivio…", "12 di 480 — IMG_0042.jpg", 0.02,
                                        "checkmark.circle.fill", QColor(Qt::darkCyan)};
        op.annulla = std::make_shared<const std::function<void()>>([] {});
        m_env->centro.setAttuale(op);
        QVERIFY(!scheda->isHidden() && scheda->findChild<QPushButton *>("annullaScheda") &&
                m_view->height() > altezza);
        QVERIFY(m_view->grab().save(QDir(TestSupport::artifactsDir()).filePath("settings-verifica.png")));
        m_env->centro.setAttuale(std::nullopt);
        QVERIFY(scheda->isHidden() && m_view->height() == altezza);

        const QString prima = m_view->findChild<QLabel *>("ultimaVerifica")->text();
        const QDateTime quando(QDate(2024, 12, 1), QTime(8, 0));
        m_env->impostazioni->setUltimaVerificaArchivio(quando);
        QVERIFY(m_view->findChild<QLabel *>("ultimaVerifica")->text() != prima);
        const QString archivio = m_env->impostazioni->destinationPath();
        m_env->impostazioni->setDestinationPath(m_env->path("Altro"));
        QCOMPARE(m_env->impostazioni->ultimaVerificaArchivio(), std::nullopt);
        m_env->impostazioni->setDestinationPath(archivio);
        AppSettings riaperte(std::make_unique<QSettings>(m_env->settingsFile(), QSettings::IniFormat));
        QCOMPARE(riaperte.ultimaVerificaArchivio(), std::optional(quando));
    }

    // A folder copies cannot go into is said at once, under its path.
    void unusableFolderIsWarned()
    {
        auto *avviso = m_view->findChild<QWidget *>("avvisoCartella");
        QVERIFY(!avviso->isVisible());
        m_env->impostazioni->setDestinationPath(m_env->path("non/montata"));
        QVERIFY(avviso->isVisible() && !QDir(m_env->path("non")).exists());
        QVERIFY(QDir().mkpath(m_env->path("sola lettura")));
        QFile::setPermissions(m_env->path("sola lettura"), QFile::ReadOwner | QFile::ExeOwner);
        m_env->impostazioni->setDestinationPath(m_env->path("sola lettura"));
        QCOMPARE(avviso->isVisible(), !TestSupport::isRoot()); // permissions do not stop root
    }

    // With no folder chosen: a fresh install gets "Ecografie" in the pictures
    // folder; an archive an earlier version filled in its own default place
    // stays the archive, written down; an empty one it left is taken away.
    void archiveOfAFreshInstallAndAfterAnUpdate_data()
    {
        QTest::addColumn<QByteArray>("vecchia"); // content of the earlier default; null: none
        QTest::newRow("fresh install") << QByteArray();
        QTest::newRow("earlier default, empty") << QByteArray("");
        QTest::newRow("earlier default with images") << QByteArray("IMG_0001.JPG");
    }
    void archiveOfAFreshInstallAndAfterAnUpdate()
    {
        QFETCH(QByteArray, vecchia);
        const QByteArray casaVera = qgetenv("HOME"), configVera = qgetenv("XDG_CONFIG_HOME");
        const auto ripristina = qScopeGuard([&] {
            qputenv("HOME", casaVera);
            configVera.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", configVera);
        });
        const QString casa = m_env->path("casa");
        qputenv("HOME", QFile::encodeName(casa));
        qunsetenv("XDG_CONFIG_HOME");
        QVERIFY(TestSupport::writeFile(casa + "/.config/user-dirs.dirs",
                                       "XDG_PICTURES_DIR=\"$HOME/Immagini\"\n"));
        const QString precedente = casa + "/Library/Mobile Documents/com~apple~CloudDocs/Ecografie";
        if (!vecchia.isNull())
            QVERIFY(QDir().mkpath(precedente));
        if (!vecchia.isEmpty())
            QVERIFY(TestSupport::writeFile(precedente + "/" + vecchia, "jpg"));

        const QString file = m_env->path("vergine.ini");
        AppSettings s(std::make_unique<QSettings>(file, QSettings::IniFormat));
        const bool tenuta = !vecchia.isEmpty();
        QCOMPARE(s.destinationPath(), tenuta ? precedente : casa + "/Immagini/Ecografie");
        QCOMPARE(s.isDefaultDestination(), !tenuta);
        QCOMPARE(salvato(AppSettings::key, file).toString(), tenuta ? precedente : QString());
        QCOMPARE(QDir(casa + "/Immagini/Ecografie").exists(), !tenuta);
        QCOMPARE(QDir(casa + "/Library").exists(), tenuta);
    }

    void longPathWrapsWhole()
    {
        const int altezzaBreve = m_view->height();
        // Words, then one name longer than the box, which has to break anywhere.
        const QString lungo =
            m_env->path("Studio Medico Associato/Ecografie ambulatoriali/Archivio digitale/"
                        "pazienti_esterni_convenzionati_primo_trimestre_duemilaventiquattro");
        m_env->impostazioni->setDestinationPath(lungo);
        QCOMPARE(testoPercorso(), lungo);
        auto *casella = m_view->findChild<QTextEdit *>("percorso");
        QVERIFY2(m_view->height() > altezzaBreve, "the window grows with the wrapped path");
        QVERIFY2(casella->document()->size().height() <= casella->viewport()->height(), "no line is cut off");
        QVERIFY(m_view->grab().save(QDir(TestSupport::artifactsDir()).filePath("settings-long-path.png")));
    }
};

QTEST_MAIN(TestSettingsView)
#include "TestSettingsView.moc"
