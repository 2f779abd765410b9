#include "app/ImportazioniInAttesa.h"
#include "app/USBMonitor.h"
#include "support/TestEnv.h"
#include "support/VolumiDiProva.h"

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
    // Sticks found at start-up are listed in order but never imported; later
    // arrivals are appended, and imported once while the switch is on.
    void startupAndArrivals()
    {
        TestEnv env;
        env.impostazioni->setAutoImport(true);
        VolumiDiProva src;
        src.add({"/media/A", true, QString("ALFA")});
        src.add({"/", false, QString("root")});
        src.add({"/media/B", std::nullopt, QString("unreadable")}); // unknown counts as not removable
        src.add({"/media/C", true, std::nullopt});                  // no name: last path component
        src.add({"/media/H", true, QString("HIDDEN"), true});
        USBMonitor m(&src, env.impostazioni.get());
        QList<USBDrive> imported;
        m.setAutoImportHandler([&](const USBDrive &d) { imported << d; });
        QCOMPARE(names(m), (QStringList{"ALFA", "C"}));
        QCOMPARE(m.lastDrive()->url, QUrl::fromLocalFile("/media/C"));

        src.mount({"/media/D", true, QString("D")});
        QCOMPARE(m.drives().size(), 2); // not inside the event callback
        QTRY_COMPARE(imported.size(), 1);
        QCOMPARE(imported.first(), m.drives().last());

        // A second mount of a listed URL, a volume not known removable, or one
        // the file manager hides, as at start-up: nothing.
        src.mount({"/media/D", true, QString("D")});
        src.mount({"/media/.prep", true, QString("PREP"), true});
        src.mount({"/mnt/nfs", false, QString("nfs")});
        src.mount({"/mnt/odd", std::nullopt, QString("odd")});
        env.impostazioni->setAutoImport(false);
        src.mount({"/media/E", true, QString("E")});
        QTRY_COMPARE(names(m), (QStringList{"ALFA", "C", "D", "E"}));
        QCoreApplication::processEvents();
        QCOMPARE(imported.size(), 1);
    }

    // Any unmount re-checks the whole list; a stick put back is a new one at the end.
    void unmountRechecksAndReinsertionIsANewStick()
    {
        TestEnv env;
        VolumiDiProva src;
        for (const char *n : {"A", "B", "C"})
            src.add({QStringLiteral("/media/%1").arg(n), true, QString(n)});
        USBMonitor m(&src, env.impostazioni.get());
        const USBDrive b = m.drives()[1];

        src.unmount("/media/B");
        QTRY_COMPARE(names(m), (QStringList{"A", "C"}));
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

    // A stick that arrives while other work holds the way is imported when it
    // ends, unless it was taken out meanwhile; both waits are logged.
    void importWaitsForTheWorkUnderWay()
    {
        TestEnv env;
        env.impostazioni->setAutoImport(true);
        VolumiDiProva src;
        USBMonitor m(&src, env.impostazioni.get());
        QStringList importate;
        ImportazioniInAttesa attesa(env.servizi, &m, [&](const USBDrive &d) { importate << d.name; });
        m.setAutoImportHandler([&](const USBDrive &d) { attesa.arrivata(d); });
        env.centro.setAttuale(
            CentroOperazioni::Operazione{"Copia in Archivio…", {}, {}, "doc.on.doc.fill", {}});
        src.mount({"/media/A", true, QString("A")});
        src.mount({"/media/B", true, QString("B")});
        QTRY_COMPARE(attesa.inAttesa(), 2);
        src.unmount("/media/B");
        QTRY_COMPARE(m.drives().size(), 1);
        env.centro.setAttuale(std::nullopt);
        QTRY_COMPARE(importate, QStringList{"A"});
        QCOMPARE(attesa.inAttesa(), 0);
        QVERIFY(
            env.logLines().last().endsWith("] Auto-importazione da B annullata: chiavetta rimossa prima"));
        QVERIFY(env.logLines().first().endsWith("rimandata: altra operazione in corso; partirà al termine"));
    }
};

QTEST_GUILESS_MAIN(TestDriveMonitor)
#include "TestDriveMonitor.moc"
