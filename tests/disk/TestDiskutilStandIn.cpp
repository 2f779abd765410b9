#include "Comandi.h"
#include "Salvaguardia.h"
#include "support/BusDiProva.h"
#include "support/TestEnv.h"
#include "SysfsDiProva.h"

#include <QProcess>
#include <QTest>

// The stand-in's readers, safety rule and command line on views of the test's
// own making, and its UDisks2 backend against a fake UDisks2 service.
class TestDiskutilStandIn : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void safetyRule_data()
    {
        QTest::addColumn<QString>("disco");
        QTest::addColumn<QString>("motivo"); // empty: allowed; "-": no whole disk by that name
        const auto riga = [](const char *nome, const char *disco, const QString &motivo) {
            QTest::newRow(nome) << disco << motivo;
        };
        riga("USB hard disk, removable=0", "sdu", "non è un disco rimovibile");
        riga("removable medium", "sdr", "");
        riga("holds / through a stacked volume", "sdl", "contiene \"/\"");
        riga("holds the archive", "sdk", "contiene \"" + m_dir.filePath("mnt/Ecografie") + "\"");
        riga("a partition", "sdk1", "-");
        riga("a path out of /dev", "../sdk", "-");
    }
    void safetyRule()
    {
        QFETCH(QString, disco);
        QFETCH(QString, motivo);
        QDir().mkpath(m_dir.filePath("mnt"));
        SysfsDiProva f;
        f.disco("sdu", "8:16", false, true);
        f.disco("sdr", "8:32", true);
        f.disco("sdl", "8:64", true);
        f.partizione("sdl", "sdl1", "8:65");
        f.sopra("sdl1", "dm-0", "253:0");
        f.disco("sdk", "8:80", true);
        f.partizione("sdk", "sdk1", "8:81");
        f.montaggi({{"253:0", "/", "/dev/mapper/root"}, {"8:81", m_dir.filePath("mnt"), "/dev/sdk1"}});
        const VistaSistema vista(f.sys(), f.proc());
        const std::optional<Disco> d = vista.disco("/dev/" + disco);
        QCOMPARE(bool(d), motivo != "-");
        const auto rifiuto =
            d ? motivoRifiuto(vista, *d, {"/", m_dir.filePath("mnt/Ecografie")}) : std::nullopt;
        QVERIFY2(motivo.isEmpty() || motivo == "-" ? !rifiuto : rifiuto && rifiuto->contains(motivo),
                 qPrintable(rifiuto.value_or("(ammesso)")));
    }

    void commandLineAnswers_data()
    {
        QTest::addColumn<QStringList>("argomenti");
        QTest::addColumn<int>("codice");
        QTest::addColumn<QString>("detto");
        const auto riga = [](const char *nome, const QStringList &argomenti, int codice,
                             const QString &detto) { QTest::newRow(nome) << argomenti << codice << detto; };
        const QString punto = m_dir.filePath("Chiavetta & Co"), xml = m_dir.filePath("Chiavetta &amp; Co");
        // A USB hard disk (removable=0) is external and ejectable, but its medium is fixed.
        riga("info", {"info", "-plist", punto + "/cartella"}, riuscito,
             "<key>Internal</key>\n\t<false/>\n\t<key>MountPoint</key>\n\t<string>" + xml +
                 "</string>\n\t<key>ParentWholeDisk</key>\n\t<string>sdu</string>\n\t<key>Removable</"
                 "key>\n\t<true/>"
                 "\n\t<key>RemovableMedia</key>\n\t<false/>\n\t<key>TotalSize</key>\n\t<integer>1048576</"
                 "integer>"
                 "\n\t<key>VolumeName</key>\n\t<string>Chiavetta &amp; Co</string>");
        riga("no volume there", {"info", "-plist", m_dir.filePath("ram")}, nonTrovato, "Nessun disco dietro");
        riga("path gone", {"info", "-plist", punto + "/sparita"}, assente, "non esiste più");
        riga("unknown", {"partitionDisk", "sdu"}, usoErrato, "Uso:");
        riga("bad label", {"eraseDisk", "FAT32", "A/B", "MBR", "sdu"}, usoErrato,
             "Nome di volume non valido");
        riga("long label", {"eraseDisk", "FAT32", "DODICILETTER", "MBR", "sdu"}, usoErrato, "Nome di volume");
        riga("other level", {"secureErase", "1", "sdu"}, usoErrato, "non supportato");
        riga("partition", {"secureErase", "0", "sdu1"}, nonTrovato, "non trovato");
        riga("fixed disk", {"eraseDisk", "FAT32", "NOME", "MBR", "sda"}, rifiutato,
             "Rifiutato: /dev/sda non è un disco rimovibile");
    }
    void commandLineAnswers()
    {
        QFETCH(QStringList, argomenti);
        QFETCH(int, codice);
        QFETCH(QString, detto);
        SysfsDiProva f;
        f.disco("sda", "8:0", false);
        f.disco("sdu", "8:16", false, true);
        f.partizione("sdu", "sdu1", "8:17", 2048);
        QDir().mkpath(m_dir.filePath("ram"));
        QDir().mkpath(m_dir.filePath("Chiavetta & Co/cartella"));
        f.montaggi({{"254:0", "/", "/dev/vda"},
                    {"0:45", m_dir.filePath("ram"), "tmpfs"},
                    {"8:17", m_dir.filePath("Chiavetta & Co"), "/dev/sdu1"}});
        QString testo;
        QTextStream out(&testo);
        QCOMPARE(eseguiComando(argomenti, out, VistaSistema(f.sys(), f.proc()), SceltaBackend::automatica),
                 codice);
        out.flush();
        QVERIFY2(testo.contains(detto), qPrintable(testo));
    }

    void udisks2Backend_data()
    {
        QTest::addColumn<QStringList>("argomenti");
        QTest::addColumn<bool>("fallisce");
        QTest::addColumn<QStringList>("chiamate");
        QTest::addColumn<QList<int>>("percentuali");
        const QStringList cancella{"Unmount sdm1", "Format sdm empty auth.no_user_interaction,erase=zero"};
        QTest::newRow("eraseDisk") << QStringList{"eraseDisk", "FAT32", "referti", "MBR", "sdm"} << false
                                   << QStringList{"Unmount sdm1",
                                                  "Format sdm dos auth.no_user_interaction,tear-down",
                                                  "CreatePartitionAndFormat sdm 0x0c vfat REFERTI",
                                                  "Mount sdm1"}
                                   << QList<int>{10, 40, 90, 100};
        QTest::newRow("secureErase") << QStringList{"secureErase", "0", "sdm"} << false << cancella
                                     << QList<int>{0, 50, 100};
        QTest::newRow("service error")
            << QStringList{"secureErase", "0", "sdm"} << true << cancella << QList<int>{0, 50};
    }
    void udisks2Backend()
    {
        QFETCH(QStringList, argomenti);
        QFETCH(bool, fallisce);
        QFETCH(QStringList, chiamate);
        QFETCH(QList<int>, percentuali);
        const QString registro = m_dir.filePath("chiamate.log"), modello = m_dir.filePath("udisks2_finto.py");
        QFile::remove(registro);
        TestSupport::writeFile(modello, modelloUDisks2.arg(registro, fallisce ? "True" : "False").toUtf8());
        BusDiProva bus; // the tool takes it for the system bus
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        QVERIFY2(bus.startMock("org.freedesktop.UDisks2", {"--system", "-t", modello}),
                 qPrintable(bus.error()));
        SysfsDiProva f;
        f.disco("sdm", "8:192", true, true);
        f.partizione("sdm", "sdm1", "8:193");
        f.montaggi({{"254:0", "/", "/dev/vda"}, {"8:193", "/media/u/STICK", "/dev/sdm1"}});
        QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
        ambiente.insert("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
        ambiente.insert("PROVA_DISKUTIL_SYSFS", f.sys());
        ambiente.insert("PROVA_DISKUTIL_PROCFS", f.proc());
        ambiente.insert("PROVA_DISKUTIL_BACKEND", "udisks2");
        ambiente.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        QProcess tool;
        tool.setProcessEnvironment(ambiente);
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(TESSERA_DISKUTIL_PROVA, argomenti);
        QVERIFY(tool.waitForFinished(60000));
        const QString output = QString::fromUtf8(tool.readAll());
        QVERIFY2(tool.exitCode() == (fallisce ? 1 : 0), qPrintable(output));
        QList<int> visti;
        for (const QString &riga : output.split('\n'))
            if (riga.endsWith('%'))
                visti.append(riga.chopped(1).toInt());
        QCOMPARE(visti, percentuali);
        QCOMPARE(QString::fromUtf8(TestSupport::readFile(registro)).split('\n', Qt::SkipEmptyParts),
                 chiamate);
        QVERIFY2(!fallisce || output.contains("Error erasing device: il dispositivo non risponde"),
                 qPrintable(output));
    }

private:
    // A UDisks2 with one USB stick, sdm, whose partition sdm1 is mounted, and a
    // running job on the disk at 50 %. Format refuses while sdm1 is mounted.
    inline static const QString modelloUDisks2 = QStringLiteral(R"PY(
import dbus, os
from dbusmock import mockobject
BUS_NAME, MAIN_OBJ, MAIN_IFACE = 'org.freedesktop.UDisks2', '/org/freedesktop/UDisks2', 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = IS_OBJECT_MANAGER = True
U, B = 'org.freedesktop.UDisks2.', '/org/freedesktop/UDisks2/block_devices/'

def load(mock, parameters):
    log = "open('%1', 'a').write"
    mock.AddObject(B + 'sdm', U + 'Block', {'Device': dbus.ByteArray(b'/dev/sdm\0'), 'DeviceNumber': dbus.UInt64(os.makedev(8, 192)),
        'Size': dbus.UInt64(134217728)},
        [('Format', 'sa{sv}', '',
          "if objects['" + B + "sdm1'].Get('" + U + "Filesystem', 'MountPoints'):\n"
          "    raise dbus.exceptions.DBusException('target is busy', name='" + U + "Error.DeviceBusy')\n"
          "chiavi = []\nfor k in sorted(args[1].keys()):\n    chiavi.append(k if k != 'erase' else 'erase=' + str(args[1][k]))\n"
          + log + "('Format sdm %s %s\\n' % (args[0], ','.join(chiavi)))\n"
          "if %2:\n"
          "    raise dbus.exceptions.DBusException('Error erasing device: il dispositivo non risponde', name='" + U + "Error.Failed')\n")])
    disco = mockobject.objects[B + 'sdm']
    disco.AddProperties(U + 'PartitionTable', {'Type': 'dos'})
    disco.AddMethod(U + 'PartitionTable', 'CreatePartitionAndFormat', 'ttssa{sv}sa{sv}', 'o',
        log + "('CreatePartitionAndFormat sdm %s %s %s\\n' % (args[2], args[5], args[6]['label']))\n"
        "ret = dbus.ObjectPath('" + B + "sdm1')")
    mock.AddObject(B + 'sdm1', U + 'Block', {'Device': dbus.ByteArray(b'/dev/sdm1\0')}, [])
    parte = mockobject.objects[B + 'sdm1']
    parte.AddProperties(U + 'Partition', {'Table': dbus.ObjectPath(B + 'sdm'), 'Number': dbus.UInt32(1)})
    parte.AddProperties(U + 'Filesystem', {'MountPoints': dbus.Array([dbus.ByteArray(b'/media/u/STICK\0')], signature='ay')})
    parte.AddMethod(U + 'Filesystem', 'Unmount', 'a{sv}', '', log + "('Unmount sdm1\\n')\n"
        "self.Set('" + U + "Filesystem', 'MountPoints', dbus.Array([], signature='ay'))")
    parte.AddMethod(U + 'Filesystem', 'Mount', 'a{sv}', 's', log + "('Mount sdm1\\n')\nret = '/media/u/REFERTI'")
    mock.AddObject('/org/freedesktop/UDisks2/jobs/7', U + 'Job',
        {'Operation': 'format-erase', 'Progress': dbus.Double(0.5), 'ProgressValid': True,
         'Objects': dbus.Array([dbus.ObjectPath(B + 'sdm')], signature='o')}, [])
)PY");
};

QTEST_GUILESS_MAIN(TestDiskutilStandIn)
#include "TestDiskutilStandIn.moc"
