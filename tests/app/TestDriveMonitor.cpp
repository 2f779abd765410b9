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
    void startupListsRemovableInOrderAndImportsNothing()
    {
        TestEnv env;
        env.settings->setAutoImport(true);
        FakeVolumeSource src;
        src.add({"/media/A", true, QString("ALFA")});
        src.add({"/", false, QString("root")});
        src.add({"/media/B", std::nullopt, QString("unreadable")}); // unknown counts as not removable
        src.add({"/media/C", true, std::nullopt});                  // no name: last path component
        src.add({"/media/H", true, QString("HIDDEN"), true});
        USBMonitor m(&src, env.settings.get());
        int imports = 0;
        m.setAutoImportHandler([&](const USBDrive &) { ++imports; });
        QCOMPARE(names(m), (QStringList{"ALFA", "C"}));
        QCOMPARE(m.lastDrive()->url, QUrl::fromLocalFile("/media/C"));
        QCoreApplication::processEvents();
        QCOMPARE(imports, 0);
    }

    void mountAppendsAndImportsOnceWhileSwitchedOn()
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

        // A second mount of a listed URL, or a volume not known removable: nothing.
        src.mount({"/media/B", true, QString("B")});
        src.mount({"/mnt/nfs", false, QString("nfs")});
        src.mount({"/mnt/odd", std::nullopt, QString("odd")});
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QCOMPARE(names(m), (QStringList{"A", "B"}));
        QCOMPARE(imported.size(), 1);

        env.settings->setAutoImport(false);
        src.mount({"/media/C", true, QString("C")});
        QTRY_COMPARE(m.drives().size(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(imported.size(), 1);
    }

    void unmountRechecksAndReinsertionIsANewStick()
    {
        TestEnv env;
        FakeVolumeSource src;
        for (const char *n : {"A", "B", "C"})
            src.add({QStringLiteral("/media/%1").arg(n), true, QString(n)});
        USBMonitor m(&src, env.settings.get());
        const USBDrive b = m.drives()[1];

        src.unmount("/media/B");
        QTRY_COMPARE(names(m), (QStringList{"A", "C"}));
        // A volume that was never listed going away still re-checks, and changes nothing.
        src.add({"/media/img", false, QString("disk image")});
        src.unmount("/media/img");
        QCoreApplication::processEvents();
        QCOMPARE(names(m), (QStringList{"A", "C"}));

        QTest::qWait(5); // so the new insertion time is visibly later
        src.mount({"/media/B", true, QString("B")});
        QTRY_COMPARE(names(m), (QStringList{"A", "C", "B"}));
        QVERIFY(m.lastDrive()->id != b.id);
        QVERIFY(m.lastDrive()->insertedAt > b.insertedAt);

        src.unmount("/media/B");
        QTRY_COMPARE(m.lastDrive()->name, QString("C"));
        src.unmount("/media/C");
        src.unmount("/media/A");
        QTRY_VERIFY(!m.lastDrive().has_value());
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
