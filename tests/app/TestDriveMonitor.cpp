#include "app/USBMonitor.h"
#include "support/FakeVolumeSource.h"
#include "support/TestEnv.h"

#include <QSignalSpy>
#include <QTest>

class TestDriveMonitor : public QObject {
    Q_OBJECT

    static QStringList names(const USBMonitor &m)
    {
        QStringList out;
        for (const auto &d : m.drives())
            out << d.name;
        return out;
    }

private Q_SLOTS:
    void startupScanListsRemovableInOrder()
    {
        TestEnv env;
        env.settings->setAutoImport(true);
        FakeVolumeSource src;
        src.add({"/media/A", true, QString("ALFA")});
        src.add({"/", false, QString("root")});
        src.add({"/media/B", std::nullopt, QString("unreadable")}); // unreadable flag = not removable
        src.add({"/media/C", true, std::nullopt});                  // no name: last path component
        src.add({"/media/H", true, QString("HIDDEN"), true});
        const QDateTime before = QDateTime::currentDateTime();
        USBMonitor m(&src, env.settings.get());
        int imports = 0;
        m.setAutoImportHandler([&](const USBDrive &) { ++imports; });

        QCOMPARE(names(m), (QStringList{"ALFA", "C"}));
        QVERIFY(m.drives().at(0).insertedAt >= before);
        QCOMPARE(m.drives().at(1).url, QUrl::fromLocalFile("/media/C"));
        QCOMPARE(m.lastDrive()->name, QString("C"));
        QCoreApplication::processEvents();
        QCOMPARE(imports, 0); // sticks found at start-up are never imported
    }

    void mountAppendsOnLaterTurnAndImportsOnce()
    {
        TestEnv env;
        env.settings->setAutoImport(true);
        FakeVolumeSource src;
        src.add({"/media/A", true, QString("A")});
        USBMonitor m(&src, env.settings.get());
        QList<USBDrive> imported;
        m.setAutoImportHandler([&](const USBDrive &d) { imported << d; });
        QSignalSpy changed(&m, &USBMonitor::drivesChanged);

        src.mount({"/media/B", true, QString("B")});
        QCOMPARE(m.drives().size(), 1); // not inside the event callback
        QVERIFY(changed.wait());
        QCOMPARE(names(m), (QStringList{"A", "B"}));
        QTRY_COMPARE(imported.size(), 1);
        QCOMPARE(imported.first(), m.drives().last());

        // A second mount event for a listed URL changes nothing and imports nothing.
        src.mount({"/media/B", true, QString("B")});
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QCOMPARE(m.drives().size(), 2);
        QCOMPARE(imported.size(), 1);

        // Not removable, or removable unknown: ignored.
        src.mount({"/mnt/nfs", false, QString("nfs")});
        src.mount({"/mnt/odd", std::nullopt, QString("odd")});
        QCoreApplication::processEvents();
        QCOMPARE(m.drives().size(), 2);
    }

    void autoImportOnlyWhenSwitchedOnAtArrival()
    {
        TestEnv env;
        FakeVolumeSource src;
        USBMonitor m(&src, env.settings.get());
        int imports = 0;
        m.setAutoImportHandler([&](const USBDrive &) { ++imports; });
        src.mount({"/media/A", true, QString("A")});
        QTRY_COMPARE(m.drives().size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(imports, 0);
    }

    void unmountRechecksAndKeepsOrder()
    {
        TestEnv env;
        FakeVolumeSource src;
        src.add({"/media/A", true, QString("A")});
        src.add({"/media/B", true, QString("B")});
        src.add({"/media/C", true, QString("C")});
        USBMonitor m(&src, env.settings.get());
        QCOMPARE(m.lastDrive()->name, QString("C"));

        src.unmount("/media/B");
        QTRY_COMPARE(names(m), (QStringList{"A", "C"}));

        // A volume that was never listed going away still triggers the re-check.
        src.add({"/media/img", false, QString("disk image")});
        src.unmount("/media/img");
        QCoreApplication::processEvents();
        QCOMPARE(names(m), (QStringList{"A", "C"}));

        src.unmount("/media/C");
        QTRY_COMPARE(m.lastDrive()->name, QString("A"));
        src.unmount("/media/A");
        QTRY_VERIFY(!m.lastDrive().has_value());
    }

    void reinsertionGetsNewIdentityAtTheEnd()
    {
        TestEnv env;
        FakeVolumeSource src;
        src.add({"/media/A", true, QString("A")});
        src.add({"/media/B", true, QString("B")});
        USBMonitor m(&src, env.settings.get());
        const USBDrive first = m.drives().first();

        src.unmount("/media/A");
        QTRY_COMPARE(m.drives().size(), 1);
        QTest::qWait(5); // so the new insertion time is visibly later
        src.mount({"/media/A", true, QString("A")});
        QTRY_COMPARE(names(m), (QStringList{"B", "A"}));
        const USBDrive again = m.drives().last();
        QVERIFY(again.id != first.id);
        QVERIFY(again.insertedAt > first.insertedAt);
        QVERIFY(!(again == first));
    }

    void hiddenVolumeListedOnMountDroppedAtNextRecheck()
    {
        TestEnv env;
        FakeVolumeSource src;
        src.add({"/media/A", true, QString("A")});
        src.add({"/run/H", true, QString("H"), true});
        USBMonitor m(&src, env.settings.get());
        QCOMPARE(names(m), QStringList{"A"});

        src.unmount("/run/H");
        src.mount({"/run/H", true, QString("H"), true});
        QTRY_COMPARE(names(m), (QStringList{"A", "H"}));

        // Any unmount re-checks without hidden volumes, so H leaves too.
        src.add({"/media/other", false, std::nullopt});
        src.unmount("/media/other");
        QTRY_COMPARE(names(m), QStringList{"A"});
    }
};

QTEST_GUILESS_MAIN(TestDriveMonitor)
#include "TestDriveMonitor.moc"
