#include "settings/AppSettings.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestAppSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file() const { return m_dir.filePath("prefs.ini"); }
    std::unique_ptr<AppSettings> open() const
    {
        return std::make_unique<AppSettings>(std::make_unique<QSettings>(file(), QSettings::IniFormat));
    }
    QVariant stored(const QString &key) const { return QSettings(file(), QSettings::IniFormat).value(key); }

private Q_SLOTS:
    void init() { QFile::remove(file()); }

    void defaultsWriteNothing()
    {
        auto s = open();
        QCOMPARE(s->destinationPath(),
                 QDir::homePath() + "/Library/Mobile Documents/com~apple~CloudDocs/Ecografie");
        QVERIFY(!s->autoImport());
        QVERIFY(!stored(AppSettings::key).isValid());
        QVERIFY(!stored(AppSettings::keyAutoImport).isValid());
    }

    void valuesPersistAndAMissingFolderIsMadeAgain()
    {
        const QString archive = m_dir.filePath("Archivio Ecografie");
        {
            auto s = open();
            s->setDestinationPath(archive);
            s->setAutoImport(true);
        }
        QVERIFY(QDir(archive).removeRecursively());
        auto again = open();
        QCOMPARE(again->destinationPath(), archive);
        QVERIFY(again->autoImport());
        QVERIFY(QDir(archive).exists());
        again->resetDestinationPath();
        QCOMPARE(stored(AppSettings::key).toString(), AppSettings::defaultDestinationPath());
    }

    void sameValueWritesAgainWithoutSignal()
    {
        const QString archive = m_dir.filePath("A/B");
        auto s = open();
        s->setDestinationPath(archive);
        QSignalSpy pathSpy(s.get(), &AppSettings::destinationPathChanged);
        QSignalSpy autoSpy(s.get(), &AppSettings::autoImportChanged);
        QVERIFY(QDir(archive).removeRecursively());
        QSettings(file(), QSettings::IniFormat).remove(AppSettings::key);

        s->setDestinationPath(archive);
        s->setAutoImport(false);
        QCOMPARE(pathSpy.count() + autoSpy.count(), 0);
        QVERIFY(QDir(archive).exists());
        QCOMPARE(stored(AppSettings::key).toString(), archive);
        QCOMPARE(stored(AppSettings::keyAutoImport).toBool(), false);
        QVERIFY(stored(AppSettings::keyAutoImport).isValid());
        s->setAutoImport(true);
        QCOMPARE(autoSpy.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "TestAppSettings.moc"
