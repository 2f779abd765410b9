#include "Comandi.h"
#include "disk/InfoDisco.h"
#include "InfoVolume.h"
#include "Salvaguardia.h"
#include "support/TestEnv.h"
#include "SysfsFinto.h"
#include "VistaSistema.h"

#include <csignal>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {
const QString strumento = QStringLiteral(TESSERA_BUILD_TOOLS_DIR "/tessera-diskutil");
}

// The stand-in's readers, safety rule and command line on views of the test's
// own making, and its UDisks2 backend against a fake UDisks2 service.
class TestDiskutilStandIn : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void mountinfoLines()
    {
        const QList<Montaggio> m =
            leggiMountinfo(QStringLiteral("36 35 8:17 / /media/u/My\\040Stick\\134x rw,nosuid shared:1 "
                                          "master:2 - vfat /dev/sdb1 rw,fmask=0022\n"
                                          "rotta\n"
                                          "40 35 0:45 / /run/user/1000 rw - tmpfs tmpfs rw\n"));
        QCOMPARE(m.size(), 2);
        QCOMPARE(m[0].numero, QString("8:17"));
        QCOMPARE(m[0].puntoMontaggio, QString("/media/u/My Stick\\x"));
        QCOMPARE(m[0].tipoFs, QString("vfat"));
        QCOMPARE(m[0].sorgente, QString("/dev/sdb1"));
        QCOMPARE(m[1].tipoFs, QString("tmpfs"));
    }

    void safetyRule_data()
    {
        QTest::addColumn<QString>("disco");
        QTest::addColumn<QString>("motivo"); // empty: allowed
        QTest::newRow("fixed disk") << "sda"
                                    << "non è un disco rimovibile né collegato via USB";
        QTest::newRow("USB disk that says removable=0") << "sdu"
                                                        << "";
        QTest::newRow("removable medium") << "sdr"
                                          << "";
        QTest::newRow("holds /") << "sds"
                                 << "contiene \"/\"";
        QTest::newRow("holds / through a stacked volume") << "sdl"
                                                          << "contiene \"/\"";
        QTest::newRow("holds the archive") << "sdk"
                                           << "contiene \"" + m_dir.filePath("mnt/Ecografie") + "\"";
    }
    void safetyRule()
    {
        QFETCH(QString, disco);
        QFETCH(QString, motivo);
        QDir().mkpath(m_dir.filePath("mnt"));
        QDir().mkpath(m_dir.filePath("altro"));
        SysfsFinto f;
        f.disco("sda", "8:0", false);
        f.disco("sdu", "8:16", false, true);
        f.partizione("sdu", "sdu1", "8:17");
        f.disco("sdr", "8:32", true);
        f.disco("sds", "8:48", true, true);
        f.partizione("sds", "sds1", "8:49");
        f.disco("sdl", "8:64", true);
        f.partizione("sdl", "sdl1", "8:65");
        f.sopra("sdl1", "dm-0", "253:0");
        f.disco("sdk", "8:80", true);
        f.partizione("sdk", "sdk1", "8:81");
        const QString root = disco == QLatin1String("sds")   ? "8:49"
                             : disco == QLatin1String("sdl") ? "253:0"
                                                             : "254:0";
        f.montaggi({{root, "/", "/dev/root"},
                    {"8:81", m_dir.filePath("mnt"), "/dev/sdk1"},
                    {"8:17", m_dir.filePath("altro"), "/dev/sdu1"}});
        const VistaSistema vista(f.sys(), f.proc());
        const std::optional<Disco> d = vista.disco(disco);
        QVERIFY(d);
        const auto rifiuto = motivoRifiuto(vista, *d, {"/", "/home", m_dir.filePath("mnt/Ecografie")});
        if (motivo.isEmpty())
            QVERIFY2(!rifiuto, qPrintable(rifiuto.value_or(QString())));
        else
            QVERIFY2(rifiuto && rifiuto->contains(motivo), qPrintable(rifiuto.value_or("(ammesso)")));
    }

    void onlyWholeDisksAreTargets()
    {
        SysfsFinto f;
        f.disco("sdu", "8:16", true, true);
        f.partizione("sdu", "sdu1", "8:17");
        const VistaSistema vista(f.sys(), f.proc());
        QVERIFY(vista.disco("sdu"));
        QVERIFY(vista.disco("/dev/sdu"));
        QCOMPARE(vista.disco("sdu")->partizioni, QStringList{"sdu1"});
        QVERIFY(vista.disco("sdu")->numeri.contains("8:17"));
        for (const QString &no : {"sdu1", "/dev/sdu1", "../sdu", "", "sdz"})
            QVERIFY2(!vista.disco(no), qPrintable(no));
    }

    // What the stand-in reports is what the application's reader and safety rule expect.
    void reportReadBackByTheApplication_data()
    {
        QTest::addColumn<bool>("usb");
        QTest::addColumn<bool>("rimovibile");
        QTest::addColumn<bool>("ammesso");
        QTest::newRow("USB stick") << true << false << true;
        QTest::newRow("card reader") << false << true << true;
        QTest::newRow("internal disk") << false << false << false;
    }
    void reportReadBackByTheApplication()
    {
        QFETCH(bool, usb);
        QFETCH(bool, rimovibile);
        QFETCH(bool, ammesso);
        QDir().mkpath(m_dir.filePath("Chiavetta & Co"));
        SysfsFinto f;
        f.disco("sdu", "8:16", rimovibile, usb);
        f.partizione("sdu", "sdu1", "8:17", 2048);
        f.montaggi({{"254:0", "/", "/dev/vda"}, {"8:17", m_dir.filePath("Chiavetta & Co"), "/dev/sdu1"}});
        const std::optional<InfoVolume> info =
            leggiInfoVolume(VistaSistema(f.sys(), f.proc()), m_dir.filePath("Chiavetta & Co/cartella"));
        QVERIFY(info);
        const QString plist = comePlist(*info);
        const Risultato<InfoDisco> letto = interpretaInfoDisco(plist);
        QVERIFY(letto.ok());
        QCOMPARE(letto->discoIntero, QString("sdu"));
        QCOMPARE(letto->esternoERimovibile(), ammesso);
        const QVariantMap report = leggiReportDisco(plist).valore();
        QCOMPARE(report.value("FilesystemType").toString(), QString("ext4"));
        QCOMPARE(report.value("TotalSize").toLongLong(), 2048LL * 512);
        QCOMPARE(report.value("VolumeName").toString(), QString("Chiavetta & Co"));
        QCOMPARE(report.value("MountPoint").toString(), m_dir.filePath("Chiavetta & Co"));
    }

    void commandLineAnswers_data()
    {
        QTest::addColumn<QStringList>("argomenti");
        QTest::addColumn<int>("codice");
        QTest::addColumn<QString>("detto");
        QTest::newRow("no command") << QStringList{} << int(usoErrato) << "Uso:";
        QTest::newRow("unknown") << QStringList{"partitionDisk", "sdu"} << int(usoErrato) << "Uso:";
        QTest::newRow("missing disk")
            << QStringList{"eraseDisk", "FAT32", "NOME", "MBR"} << int(usoErrato) << "Uso:";
        QTest::newRow("other format")
            << QStringList{"eraseDisk", "ExFAT", "NOME", "MBR", "sdu"} << int(usoErrato) << "Uso:";
        QTest::newRow("bad label") << QStringList{"eraseDisk", "FAT32", "A/B", "MBR", "sdu"} << int(usoErrato)
                                   << "Nome di volume non valido";
        QTest::newRow("long label") << QStringList{"eraseDisk", "FAT32", "DODICILETTER", "MBR", "sdu"}
                                    << int(usoErrato) << "Nome di volume non valido";
        QTest::newRow("other level") << QStringList{"secureErase", "1", "sdu"} << int(usoErrato)
                                     << "non supportato";
        QTest::newRow("partition") << QStringList{"secureErase", "0", "sdu1"} << int(nonTrovato)
                                   << "non trovato";
        QTest::newRow("fixed disk") << QStringList{"eraseDisk", "FAT32", "NOME", "MBR", "sda"}
                                    << int(rifiutato)
                                    << "Rifiutato: /dev/sda non è un disco rimovibile né collegato via USB.";
        QTest::newRow("disk holding /") << QStringList{"secureErase", "0", "/dev/sds"} << int(rifiutato)
                                        << "Rifiutato: /dev/sds contiene \"/\"";
        QTest::newRow("no volume there") << QStringList{"info", "-plist", m_dir.filePath("ram")}
                                         << int(nonTrovato) << "Nessun disco dietro";
    }
    void commandLineAnswers()
    {
        QFETCH(QStringList, argomenti);
        QFETCH(int, codice);
        QFETCH(QString, detto);
        SysfsFinto f;
        f.disco("sda", "8:0", false);
        f.disco("sdu", "8:16", true, true);
        f.partizione("sdu", "sdu1", "8:17");
        f.disco("sds", "8:48", true, true);
        f.partizione("sds", "sds1", "8:49");
        QDir().mkpath(m_dir.filePath("ram"));
        f.montaggi({{"8:49", "/", "/dev/sds1"}, {"0:45", m_dir.filePath("ram"), "tmpfs"}});
        qputenv("TESSERA_DISKUTIL_SYSFS", f.sys().toUtf8());
        qputenv("TESSERA_DISKUTIL_PROCFS", f.proc().toUtf8());
        QString testo;
        QTextStream out(&testo);
        QCOMPARE(eseguiComando(argomenti, out), codice);
        out.flush();
        QVERIFY2(testo.contains(detto), qPrintable(testo));
        qunsetenv("TESSERA_DISKUTIL_SYSFS");
        qunsetenv("TESSERA_DISKUTIL_PROCFS");
    }

    void udisks2Backend_data()
    {
        QTest::addColumn<QStringList>("argomenti");
        QTest::addColumn<bool>("formatFallisce");
        QTest::addColumn<int>("codice");
        QTest::addColumn<QStringList>("chiamate");
        QTest::addColumn<QList<int>>("percentuali");
        QTest::newRow("eraseDisk") << QStringList{"eraseDisk", "FAT32", "referti", "MBR", "sdm"} << false << 0
                                   << QStringList{"Unmount sdm1",
                                                  "Format sdm dos auth.no_user_interaction,tear-down",
                                                  "CreatePartitionAndFormat sdm 0x0c vfat REFERTI",
                                                  "Mount sdm1"}
                                   << QList<int>{10, 40, 90, 100};
        QTest::newRow("secureErase") << QStringList{"secureErase", "0", "sdm"} << false << 0
                                     << QStringList{"Unmount sdm1",
                                                    "Format sdm empty auth.no_user_interaction,erase=zero"}
                                     << QList<int>{0, 50, 100};
        QTest::newRow("service error")
            << QStringList{"secureErase", "0", "sdm"} << true << 1
            << QStringList{"Unmount sdm1", "Format sdm empty auth.no_user_interaction,erase=zero"}
            << QList<int>{0, 50};
    }
    void udisks2Backend()
    {
        QFETCH(QStringList, argomenti);
        QFETCH(bool, formatFallisce);
        QFETCH(int, codice);
        QFETCH(QStringList, chiamate);
        QFETCH(QList<int>, percentuali);
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty() ||
            QProcess::execute("/usr/bin/python3", {"-c", "import dbusmock"}) != 0)
            QSKIP("needs dbus-daemon and python3-dbusmock (scripts/setup.sh installs both)");

        QTemporaryDir dir;
        const QString registro = dir.filePath("chiamate.log");
        const QString modello = dir.filePath("udisks2_finto.py");
        TestSupport::writeFile(modello, modelloUDisks2(registro, formatFallisce).toUtf8());

        // A private bus that the tool takes for the system bus.
        QProcess bus;
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(bus.waitForReadyRead(10000));
        const QString indirizzo = QString::fromUtf8(bus.readLine()).trimmed();
        QProcess finto;
        QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
        ambiente.insert("DBUS_SYSTEM_BUS_ADDRESS", indirizzo);
        finto.setProcessEnvironment(ambiente);
        finto.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        finto.start("/usr/bin/python3", {"-m", "dbusmock", "--system", "-t", modello});
        auto ferma = qScopeGuard([&] {
            finto.terminate();
            finto.waitForFinished(5000);
            bus.terminate();
            bus.waitForFinished(5000);
        });
        QDBusConnection connessione = QDBusConnection::connectToBus(indirizzo, "finto-udisks2");
        QTRY_VERIFY_WITH_TIMEOUT(connessione.interface()->isServiceRegistered("org.freedesktop.UDisks2"),
                                 15000);
        QDBusConnection::disconnectFromBus("finto-udisks2");

        SysfsFinto f;
        f.disco("sdm", "8:192", true, true);
        f.partizione("sdm", "sdm1", "8:193");
        f.montaggi({{"254:0", "/", "/dev/vda"}, {"8:193", "/media/u/STICK", "/dev/sdm1"}});
        ambiente.insert("TESSERA_DISKUTIL_SYSFS", f.sys());
        ambiente.insert("TESSERA_DISKUTIL_PROCFS", f.proc());
        ambiente.insert("TESSERA_DISKUTIL_BACKEND", "udisks2");
        ambiente.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        QProcess tool;
        tool.setProcessEnvironment(ambiente);
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(strumento, argomenti);
        QVERIFY(tool.waitForFinished(60000));
        const QString output = QString::fromUtf8(tool.readAll());
        QVERIFY2(tool.exitCode() == codice, qPrintable(output));

        QList<int> visti;
        for (const QString &riga : output.split('\n'))
            if (riga.endsWith('%'))
                visti.append(riga.chopped(1).toInt());
        QCOMPARE(visti, percentuali);
        QStringList fatte =
            QString::fromUtf8(TestSupport::readFile(registro)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(fatte, chiamate);
        if (formatFallisce)
            QVERIFY2(output.contains("Error erasing device: il dispositivo non risponde"),
                     qPrintable(output));
    }

private:
    // A UDisks2 with one USB stick, sdm, whose partition sdm1 is mounted, and a
    // running job on the disk at 50 %. Format refuses while sdm1 is mounted.
    static QString modelloUDisks2(const QString &registro, bool formatFallisce)
    {
        return QStringLiteral(R"PY(
import dbus
from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
MAIN_IFACE = 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

B = '/org/freedesktop/UDisks2/block_devices/'
BLOCK = 'org.freedesktop.UDisks2.Block'
FS = 'org.freedesktop.UDisks2.Filesystem'

def load(mock, parameters):
    log = "open(%REGISTRO%, 'a').write"
    mock.AddObject(B + 'sdm', BLOCK,
                   {'Device': dbus.ByteArray(b'/dev/sdm\0'), 'Size': dbus.UInt64(134217728)},
                   [('Format', 'sa{sv}', '',
                     "if objects['" + B + "sdm1'].Get('" + FS + "', 'MountPoints'):\n"
                     "    raise dbus.exceptions.DBusException('target is busy', name='org.freedesktop.UDisks2.Error.DeviceBusy')\n"
                     "chiavi = []\n"
                     "for k in sorted(args[1].keys()):\n"
                     "    chiavi.append(k if k != 'erase' else 'erase=' + str(args[1][k]))\n"
                     + log + "('Format sdm %s %s\\n' % (args[0], ','.join(chiavi)))\n"
                     "if %FALLISCI%:\n"
                     "    raise dbus.exceptions.DBusException('Error erasing device: il dispositivo non risponde', name='org.freedesktop.UDisks2.Error.Failed')\n")])
    disco = mockobject.objects[B + 'sdm']
    disco.AddProperties('org.freedesktop.UDisks2.PartitionTable', {'Type': 'dos'})
    disco.AddMethod('org.freedesktop.UDisks2.PartitionTable', 'CreatePartitionAndFormat', 'ttssa{sv}sa{sv}', 'o',
                    log + "('CreatePartitionAndFormat sdm %s %s %s\\n' % (args[2], args[5], args[6]['label']))\n"
                    "ret = dbus.ObjectPath('" + B + "sdm1')")
    mock.AddObject(B + 'sdm1', BLOCK, {'Device': dbus.ByteArray(b'/dev/sdm1\0')}, [])
    parte = mockobject.objects[B + 'sdm1']
    parte.AddProperties('org.freedesktop.UDisks2.Partition', {'Table': dbus.ObjectPath(B + 'sdm'), 'Number': dbus.UInt32(1)})
    parte.AddProperties(FS, {'MountPoints': dbus.Array([dbus.ByteArray(b'/media/u/STICK\0')], signature='ay')})
    parte.AddMethod(FS, 'Unmount', 'a{sv}', '',
                    log + "('Unmount sdm1\\n')\n"
                    "self.Set('" + FS + "', 'MountPoints', dbus.Array([], signature='ay'))")
    parte.AddMethod(FS, 'Mount', 'a{sv}', 's', log + "('Mount sdm1\\n')\nret = '/media/u/REFERTI'")
    mock.AddObject('/org/freedesktop/UDisks2/jobs/7', 'org.freedesktop.UDisks2.Job',
                   {'Operation': 'format-erase', 'Progress': dbus.Double(0.5), 'ProgressValid': True,
                    'Objects': dbus.Array([dbus.ObjectPath(B + 'sdm')], signature='o')}, [])
)PY")
            .replace("%REGISTRO%", "'" + registro + "'")
            .replace("%FALLISCI%", formatFallisce ? "True" : "False");
    }
};

QTEST_GUILESS_MAIN(TestDiskutilStandIn)
#include "TestDiskutilStandIn.moc"
