#include "disk/EsecutoreProcessi.h"
#include "disk/QuickFormatUSBAction.h"
#include "support/TestEnv.h"
#include "SysfsFinto.h"

#include <fcntl.h>
#include <QCoro/QCoroTask>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
const QString strumento = QStringLiteral(TESSERA_BUILD_TOOLS_DIR "/tessera-diskutil");
constexpr qint64 dimensioneImmagine = 96 << 20;

QString esegui(const QString &programma, const QStringList &argomenti, int *codice = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(programma, argomenti);
    p.waitForFinished(120000);
    if (codice)
        *codice = p.exitCode();
    return QString::fromUtf8(p.readAll());
}

// A loop device over a small image file, detached and deleted on every way out.
struct DiscoLoop {
    QString immagine, nodo, nome, numero;

    explicit DiscoLoop(const QString &cartella)
    {
        immagine = cartella + QStringLiteral("/stick.img");
        QFile f(immagine);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(dimensioneImmagine))
            return;
        f.close();
        nodo = esegui("losetup", {"-f", "--show", immagine}).trimmed();
        struct stat st {};
        if (!nodo.startsWith("/dev/loop") || ::stat(nodo.toUtf8().constData(), &st) != 0) {
            nodo.clear();
            return;
        }
        nome = nodo.mid(5);
        numero = QStringLiteral("%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
    }
    ~DiscoLoop()
    {
        if (!nodo.isEmpty()) {
            esegui("partx", {"-d", nodo});
            esegui("losetup", {"-d", nodo});
        }
        QFile::remove(immagine);
    }
    bool pronto() const { return !nodo.isEmpty(); }
    QString partizione() const { return nodo + QStringLiteral("p1"); }

    QByteArray contenuto() const
    {
        QFile f(nodo);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void riempi(char byte) const
    {
        QFile f(nodo);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(QByteArray(dimensioneImmagine, byte));
            f.flush();
            ::fsync(f.handle());
        }
    }
};
} // namespace

// The stand-in for real, as root, on loop devices that a made-up sysfs view
// calls removable (there is no USB here).
class TestDiskutilLoop : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<DiscoLoop> m_loop;
    std::unique_ptr<SysfsFinto> m_vista;

    // The archive folder the stand-in protects, set the way the application stores it.
    void impostaArchivio(const QString &percorso)
    {
        QSettings s(m_dir.filePath("config/Orvala/Tessera.conf"), QSettings::IniFormat);
        s.setValue("destinationFolderPath", percorso);
        s.sync();
    }

    Risultato<QString> esegui(const QStringList &argomenti, QList<double> *percentuali = nullptr)
    {
        EsecutoreProcessi esecutore(strumento, m_dir.filePath("traccia.log"));
        return esecutore.eseguiDiskutil(argomenti, [percentuali](double p) {
            if (percentuali)
                percentuali->append(p);
        });
    }

    static bool crescenteFinoA100(const QList<double> &p)
    {
        return !p.isEmpty() && std::is_sorted(p.begin(), p.end()) && p.last() == 100;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!TestSupport::isRoot())
            QSKIP("needs root: it attaches, formats and erases loop devices");
        if (QStandardPaths::findExecutable("losetup").isEmpty() ||
            QStandardPaths::findExecutable("mkfs.fat").isEmpty() ||
            QStandardPaths::findExecutable("sfdisk").isEmpty())
            QSKIP("needs losetup, sfdisk and mkfs.fat (scripts/setup.sh installs them)");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        qputenv("TESSERA_DISKUTIL_BACKEND", "diretto");
        impostaArchivio(m_dir.filePath("Archivio"));
    }

    void init()
    {
        m_loop = std::make_unique<DiscoLoop>(m_dir.path());
        QVERIFY2(m_loop->pronto(), "no free loop device");
        m_vista = std::make_unique<SysfsFinto>();
        m_vista->disco(m_loop->nome, m_loop->numero, true, false, dimensioneImmagine / 512);
        qputenv("TESSERA_DISKUTIL_SYSFS", m_vista->sys().toUtf8());
        qunsetenv("TESSERA_DISKUTIL_PROCFS");
    }

    void cleanup()
    {
        ::umount2(m_dir.filePath("mnt").toUtf8().constData(), MNT_DETACH);
        m_loop.reset();
        m_vista.reset();
        impostaArchivio(m_dir.filePath("Archivio"));
    }

    void eraseDiskLeavesOneFat32PartitionWithTheLabel()
    {
        m_loop->riempi('\xab');
        QList<double> percentuali;
        const auto r = esegui({"eraseDisk", "FAT32", "REFERTI", "MBR", m_loop->nome}, &percentuali);
        QVERIFY2(r.ok(), qPrintable(r.descrizioneErrore()));
        QVERIFY2(crescenteFinoA100(percentuali), qPrintable(r.valore()));

        const QString tabella = ::esegui("sfdisk", {"-d", m_loop->nodo});
        QCOMPARE(tabella.count("type="), 1);
        QVERIFY2(tabella.contains("type=c"), qPrintable(tabella));
        const QString fs = ::esegui("blkid", {"-p", "-o", "export", m_loop->partizione()});
        for (const char *atteso : {"TYPE=vfat", "VERSION=FAT32", "LABEL=REFERTI", "PART_ENTRY_TYPE=0xc"})
            QVERIFY2(fs.contains(atteso), qPrintable(fs));
        int codice = -1;
        ::esegui("fsck.fat", {"-n", m_loop->partizione()}, &codice);
        QCOMPARE(codice, 0);
    }

    void secureEraseZeroesEveryByte()
    {
        m_loop->riempi('\xab');
        QList<double> percentuali;
        const auto r = esegui({"secureErase", "0", m_loop->nome}, &percentuali);
        QVERIFY2(r.ok(), qPrintable(r.descrizioneErrore()));
        QVERIFY2(crescenteFinoA100(percentuali), qPrintable(r.valore()));
        QVERIFY(percentuali.size() > 10);
        const QByteArray tutto = m_loop->contenuto();
        QCOMPARE(tutto.size(), dimensioneImmagine);
        QVERIFY(tutto.count('\0') == tutto.size());
    }

    void refusesUnsafeDisks_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("detto");
        QTest::newRow("not removable") << "fisso"
                                       << "non è un disco rimovibile né collegato via USB";
        QTest::newRow("holds /") << "radice"
                                 << "contiene \"/\"";
        QTest::newRow("holds the archive") << "archivio"
                                           << "contiene \"" + m_dir.filePath("mnt/Ecografie") + "\"";
    }
    void refusesUnsafeDisks()
    {
        QFETCH(QString, caso);
        QFETCH(QString, detto);
        SysfsFinto altra;
        if (caso == QLatin1String("fisso")) {
            altra.disco(m_loop->nome, m_loop->numero, false);
            qputenv("TESSERA_DISKUTIL_SYSFS", altra.sys().toUtf8());
        } else if (caso == QLatin1String("radice")) {
            m_vista->montaggi({{m_loop->numero, "/", m_loop->nodo}});
            qputenv("TESSERA_DISKUTIL_PROCFS", m_vista->proc().toUtf8());
        } else {
            QDir().mkpath(m_dir.filePath("mnt"));
            QCOMPARE(::esegui("mkfs.ext4", {"-q", "-F", m_loop->nodo}).isEmpty(), true);
            QCOMPARE(::mount(m_loop->nodo.toUtf8().constData(), m_dir.filePath("mnt").toUtf8().constData(),
                             "ext4", 0, nullptr),
                     0);
            impostaArchivio(m_dir.filePath("mnt/Ecografie"));
        }
        QFile marcatore(m_loop->nodo);
        QVERIFY(marcatore.open(QIODevice::ReadOnly));
        const QByteArray prima = marcatore.read(1 << 20);
        marcatore.close();

        for (const QStringList &argomenti : {QStringList{"eraseDisk", "FAT32", "X", "MBR", m_loop->nome},
                                             QStringList{"secureErase", "0", m_loop->nome}}) {
            const auto r = esegui(argomenti);
            QVERIFY(r.erroreDisco());
            QCOMPARE(r.erroreDisco()->uscita(), 3);
            QVERIFY2(r.erroreDisco()->output().contains(detto), qPrintable(r.erroreDisco()->output()));
        }
        QVERIFY(marcatore.open(QIODevice::ReadOnly));
        QCOMPARE(marcatore.read(1 << 20), prima);
    }

    // The whole road: the application's quick format, the real runner under a
    // terminal, the stand-in unmounting the stick and formatting it.
    void quickFormatOfAMountedStick()
    {
        QDir().mkpath(m_dir.filePath("mnt"));
        ::esegui("mkfs.ext4", {"-q", "-F", m_loop->nodo});
        QCOMPARE(::mount(m_loop->nodo.toUtf8().constData(), m_dir.filePath("mnt").toUtf8().constData(),
                         "ext4", 0, nullptr),
                 0);
        TestSupport::writeFile(m_dir.filePath("mnt/vecchio.txt"), "dati");

        TestEnv env;
        EsecutoreProcessi esecutore(strumento, m_dir.filePath("traccia.log"));
        env.servizi.disco = &esecutore;
        const USBDrive drive{QUuid::createUuid(), QUrl::fromLocalFile(m_dir.filePath("mnt")), "Referti 2024",
                             QDateTime::currentDateTime()};
        QCoro::waitFor(QuickFormatUSBAction(drive, env.servizi).perform());

        QCOMPARE(env.notifiche.inviate.size(), 1);
        QVERIFY2(env.notifiche.inviate[0].first == "Chiavetta pronta",
                 qPrintable(env.notifiche.inviate[0].second));
        QVERIFY(!QFile::exists(m_dir.filePath("mnt/vecchio.txt"))); // unmounted
        const QString fs = ::esegui("blkid", {"-p", "-o", "export", m_loop->partizione()});
        QVERIFY2(fs.contains("LABEL=REFERTI2024") && fs.contains("VERSION=FAT32"), qPrintable(fs));
        QVERIFY(TestSupport::readFile(m_dir.filePath("traccia.log"))
                    .contains("  → percentuale riconosciuta: 100.0\n"));
    }
};

QTEST_GUILESS_MAIN(TestDiskutilLoop)
#include "TestDiskutilLoop.moc"
