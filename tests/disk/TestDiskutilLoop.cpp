#include "disk/ComandiDisco.h"
#include "disk/EsecutoreProcessi.h"
#include "support/TestEnv.h"
#include "SysfsDiProva.h"

#include <QCoro/QCoroTask>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
constexpr qint64 dimensione = 96 << 20;

using TestSupport::esegui;
} // namespace

// The stand-in for real, as root, on a loop device over an image file filled
// with 0xab, which a made-up sysfs view calls removable (there is no USB here).
class TestDiskutilLoop : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_nodo, m_numero;
    std::unique_ptr<SysfsDiProva> m_vista;
    EsecutoreProcessi m_esecutore{TESSERA_DISKUTIL_PROVA, m_dir.filePath("traccia.log")};

    QString mnt() const { return m_dir.filePath("mnt"); }
    QString nome() const { return m_nodo.mid(5); }
    QByteArray leggi(qint64 quanto) const
    {
        QFile f(m_nodo);
        return f.open(QIODevice::ReadOnly) ? f.read(quanto) : QByteArray();
    }
    // The archive folder the stand-in protects, stored the way the application stores it.
    void impostaArchivio(const QString &percorso)
    {
        QSettings(m_dir.filePath("config/Orvala/Tessera.conf"), QSettings::IniFormat)
            .setValue("destinationFolderPath", percorso);
    }
    bool montaExt4()
    {
        QDir().mkpath(mnt());
        // Inode tables and journal written now, not by a kernel thread in the
        // background while the test compares the disk's bytes.
        esegui("mkfs.ext4", {"-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", m_nodo});
        return ::mount(m_nodo.toUtf8().constData(), mnt().toUtf8().constData(), "ext4", 0, nullptr) == 0 &&
               TestSupport::writeFile(mnt() + "/vecchio.txt", "dati");
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!TestSupport::isRoot())
            QSKIP("needs root: it attaches, formats and erases loop devices");
        for (const char *p : {"losetup", "sfdisk", "mkfs.fat"})
            if (QStandardPaths::findExecutable(p).isEmpty())
                QSKIP("needs losetup, sfdisk and mkfs.fat (scripts/setup.sh installs them)");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        qputenv("PROVA_DISKUTIL_BACKEND", "diretto");
    }

    void init()
    {
        QFile::remove(m_dir.filePath("traccia.log"));
        impostaArchivio(m_dir.filePath("Archivio"));
        QVERIFY(TestSupport::writeFile(m_dir.filePath("stick.img"), QByteArray(dimensione, '\xab')));
        esegui("losetup", {"-f", "--show", m_dir.filePath("stick.img")}, &m_nodo);
        struct stat st {};
        QVERIFY2(m_nodo.startsWith("/dev/loop") && ::stat(m_nodo.toUtf8().constData(), &st) == 0,
                 "no loop device");
        m_numero = QStringLiteral("%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
        m_vista = std::make_unique<SysfsDiProva>();
        m_vista->disco(nome(), m_numero, true, false, dimensione / 512);
        qputenv("PROVA_DISKUTIL_SYSFS", m_vista->sys().toUtf8());
        qunsetenv("PROVA_DISKUTIL_PROCFS");
    }

    void cleanup()
    {
        ::umount2(mnt().toUtf8().constData(), MNT_DETACH);
        if (m_nodo.startsWith("/dev/loop")) {
            esegui("partx", {"-d", m_nodo});
            esegui("losetup", {"-d", m_nodo});
        }
        m_nodo.clear();
        QFile::remove(m_dir.filePath("stick.img"));
    }

    // The whole road on a disk in use: the application's quick format, the real
    // runner under a terminal, the stand-in unmounting a stick and formatting it.
    // A USB hard disk (fixed medium) is refused by the application, untouched.
    void quickFormatLeavesOneFat32PartitionWithTheLabel_data()
    {
        QTest::addColumn<bool>("discoUsb");
        QTest::newRow("stick") << false;
        QTest::newRow("USB hard disk") << true;
    }
    void quickFormatLeavesOneFat32PartitionWithTheLabel()
    {
        QFETCH(bool, discoUsb);
        SysfsDiProva usb;
        usb.disco(nome(), m_numero, false, true, dimensione / 512);
        if (discoUsb)
            qputenv("PROVA_DISKUTIL_SYSFS", usb.sys().toUtf8());
        QVERIFY(montaExt4());
        TestEnv env;
        env.servizi.disco = &m_esecutore;
        TestSupport::writeFile(env.path("Archivio/copia.txt"), "dati"); // the stick's file is archived
        const USBDrive drive = TestSupport::chiavetta(mnt(), "Referti 2024");
        QCoro::waitFor(formattaRapida(env.servizi, drive));

        if (discoUsb) { // refused before anything is asked
            QCOMPARE(env.avvisi.mostrati.value(0).titolo, QString("Operazione rifiutata"));
            QVERIFY(QFile::exists(mnt() + "/vecchio.txt"));
            return;
        }
        QVERIFY2(env.notifiche.inviate.value(0).first == "Chiavetta pronta",
                 qPrintable(env.logLines().join('\n')));
        QVERIFY(!QFile::exists(mnt() + "/vecchio.txt"));
        QString tabella, fs;
        esegui("sfdisk", {"-d", m_nodo}, &tabella);
        QVERIFY2(tabella.count("type=") == 1 && tabella.contains("type=c"), qPrintable(tabella));
        esegui("blkid", {"-p", "-o", "export", m_nodo + "p1"}, &fs);
        for (const char *atteso : {"TYPE=vfat", "VERSION=FAT32", "LABEL=REFERTI2024", "PART_ENTRY_TYPE=0xc"})
            QVERIFY2(fs.contains(atteso), qPrintable(fs));
        QVERIFY(esegui("fsck.fat", {"-n", m_nodo + "p1"}));
        QVERIFY(TestSupport::readFile(m_dir.filePath("traccia.log")).contains("riconosciuta: 100.0\n"));
    }

    // A wipe takes the whole disk, so the check before it looks at every
    // volume: a file only the second volume holds is named, the volume that
    // is not mounted is told, and "Copia prima" copies just what is missing.
    void checksEveryVolumeOfTheDisk()
    {
        QVERIFY(
            esegui("sh", {"-c", "printf 'label: dos\\nsize=20M\\nsize=20M\\n;\\n' | sfdisk -q " + m_nodo}) &&
            esegui("partx", {"-a", m_nodo}));
        QStringList punti;
        const auto smonta = qScopeGuard([&] {
            for (const QString &p : std::as_const(punti))
                ::umount2(p.toUtf8().constData(), MNT_DETACH);
        });
        for (int i = 1; i <= 3; ++i) {
            const QString parte = nome() + "p" + QString::number(i), punto = m_dir.filePath(parte);
            struct stat st {};
            QVERIFY(::stat(("/dev/" + parte).toUtf8().constData(), &st) == 0);
            m_vista->partizione(nome(), parte,
                                QStringLiteral("%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev)));
            QVERIFY(esegui("mkfs.ext4", {"-q", "-F", "/dev/" + parte}));
            if (i < 3 && QDir().mkpath(punto) && esegui("mount", {"/dev/" + parte, punto}))
                punti << punto;
        }
        QCOMPARE(punti.size(), qsizetype(2));
        TestEnv env;
        env.servizi.disco = &m_esecutore;
        QVERIFY(TestSupport::writeFile(punti[0] + "/a.jpg", "archiviata") &&
                TestSupport::writeFile(punti[1] + "/DCIM/b.jpg", "nuova") &&
                TestSupport::writeFile(env.path("Archivio/vecchia.jpg"), "archiviata"));
        env.avvisi.rispondi(0); // "Copia prima"
        env.avvisi.rispondi(0); // the copy's summary
        env.avvisi.rispondi(1); // "Annulla": the third volume still cannot be looked at

        const USBDrive drive = TestSupport::chiavetta(punti[0], "ECO");
        QCoro::waitFor(formattaRapida(env.servizi, drive));

        const auto &m = env.avvisi.mostrati;
        QVERIFY2(m.size() == 3 &&
                     m[0].testo.startsWith("1 file non è ancora in Archivio.\n" + nome() + "p2/DCIM/b.jpg") &&
                     m[0].testo.contains("“" + nome() + "p3”: non è montato"),
                 qPrintable(m.value(0).testo));
        QCOMPARE(m[2].pulsanti, (QStringList{"Formatta", "Annulla"}));
        QCOMPARE(QDir(env.path("Archivio")).entryList(QDir::Files), (QStringList{"b.jpg", "vecchia.jpg"}));
        QVERIFY(QFile::exists(punti[0] + "/a.jpg"));
    }

    // Refused disks keep every byte; the one allowed is all zeros after a rising
    // progress. A volume named by its device is checked or repaired only on a
    // removable disk and while not mounted: nothing unmounts it first.
    void onlySafeDisksAreTouched_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("comando");
        QTest::addColumn<QString>("detto"); // empty: allowed
        const auto riga = [](const char *nome, const char *caso, const QString &detto,
                             const char *comando = "secureErase") {
            QTest::newRow(nome) << caso << comando << detto;
        };
        riga("removable", "rimovibile", "");
        riga("holds /", "radice", "contiene \"/\"");
        riga("holds the archive", "archivio", "contiene \"" + mnt() + "/Ecografie\"");
        // The installed tool reads the real sysfs, where a loop disk is fixed.
        riga("made-up view handed to the installed tool", "installato", "non è un disco rimovibile");
        riga("node is not the disk the view describes", "altroNumero", "non è il disco controllato");
        riga("repair of a mounted device", "montato", "è montato su", "repairVolume");
        riga("verify on a fixed disk", "fisso", "non è un disco rimovibile", "verifyVolume");
    }
    void onlySafeDisksAreTouched()
    {
        QFETCH(QString, caso);
        QFETCH(QString, comando);
        QFETCH(QString, detto);
        SysfsDiProva altra;
        EsecutoreProcessi installato(TESSERA_BUILD_TOOLS_DIR "/tessera-diskutil",
                                     m_dir.filePath("traccia.log"));
        if (caso == "fisso" || caso == "altroNumero") {
            altra.disco(nome(), caso == "fisso" ? m_numero : "7:1023", caso != "fisso");
            qputenv("PROVA_DISKUTIL_SYSFS", altra.sys().toUtf8());
        } else if (caso == "radice") {
            m_vista->montaggi({{m_numero, "/", m_nodo}});
            qputenv("PROVA_DISKUTIL_PROCFS", m_vista->proc().toUtf8());
        } else if (caso == "installato") {
            for (const char *v : {"SYSFS", "PROCFS", "BACKEND"})
                qputenv(QByteArray("TESSERA_DISKUTIL_") + v, qgetenv(QByteArray("PROVA_DISKUTIL_") + v));
        } else if (caso == "archivio" || caso == "montato") {
            QVERIFY(montaExt4());
            if (caso == "archivio")
                impostaArchivio(mnt() + "/Ecografie");
        }
        ::sync(); // a mounted file system's pending writes land before the "before" picture
        const QByteArray prima = leggi(1 << 20);
        QList<double> percentuali;
        const QStringList argomenti =
            comando == "secureErase" ? QStringList{comando, "0", nome()} : QStringList{comando, m_nodo};
        const auto r = (caso == "installato" ? installato : m_esecutore)
                           .eseguiDiskutil(argomenti, [&](const Avanzamento &a) {
                               percentuali.append(*a.frazione * 100);
                           });
        if (!detto.isEmpty()) {
            QCOMPARE(r.erroreDisco() ? r.erroreDisco()->uscita() : 0, 3);
            QVERIFY2(r.erroreDisco()->output().contains(detto), qPrintable(r.erroreDisco()->output()));
            QVERIFY(leggi(1 << 20) == prima);
            return;
        }
        QVERIFY2(r.ok(), qPrintable(r.descrizioneErrore()));
        QVERIFY2(percentuali.size() > 10 && std::is_sorted(percentuali.begin(), percentuali.end()) &&
                     percentuali.last() == 100,
                 qPrintable(r.valore()));
        const QByteArray tutto = leggi(dimensione);
        QVERIFY(tutto.size() == dimensione && tutto.count('\0') == dimensione);
    }
};

QTEST_GUILESS_MAIN(TestDiskutilLoop)
#include "TestDiskutilLoop.moc"
