#include "app/USBMonitor.h"
#include "ChiavettaFat.h"
#include "ChiavettaGuasta.h"
#include "comune/Colori.h"
#include "comune/NomiFile.h"
#include "MontaggioTmpfs.h"
#include "operations/Orologio.h"
#include "support/ControlloCiclo.h"
#include "support/TestEnv.h"
#include "support/VolumiDiProva.h"
#include "transfer/CategoriaFile.h"
#include "transfer/CloneUSBService.h"
#include "transfer/ComandiTrasferimento.h"
#include "transfer/Digest.h"
#include "transfer/FileCopyService.h"
#include "transfer/LottoCopie.h"
#include "transfer/NomeConTimestamp.h"
#include "transfer/VisitaCartelle.h"

#include <fcntl.h>
#include <grp.h>
#include <QCoro/QCoroTask>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

using TestSupport::chiavetta;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
const QDateTime istante(QDate(2024, 3, 7), QTime(9, 5, 31));
const QString stamp = QStringLiteral("2024-03-07_09-05-31");
const QString prefisso = QStringLiteral("[2024-03-07 09:05:31] ");

// Hidden entries included, so a stray temporary shows; the manifests have a test of their own.
QStringList tuttoIn(const QString &cartella)
{
    QStringList r =
        QDir(cartella).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    r.removeOne(".tessera-manifest");
    r.sort();
    return r;
}

// What the log line adds about the manifest of a copy from `chiavetta`.
QString rigaManifesto(const QString &chiavetta)
{
    return "; manifesto: .tessera-manifest/" + stamp + "_" + QFileInfo(chiavetta).fileName() + ".sha256";
}

// What a stick holds besides files, none of which may ever be opened: a FIFO
// nobody writes to, a socket, links to a sparse 8 GiB file, to an endless
// device, in a loop and to the stick itself.
void piantaSpeciali(const QString &r, const QString &altrove)
{
    QFile enorme(altrove + "/enorme.bin");
    QVERIFY(enorme.open(QIODevice::WriteOnly) && enorme.resize(qint64(8) << 30));
    QVERIFY(QFile::link(enorme.fileName(), r + "/enorme.jpg") && QFile::link("/dev/zero", r + "/zero.jpg"));
    QVERIFY(QFile::link(r + "/giro1", r + "/giro2") && QFile::link(r + "/giro2", r + "/giro1"));
    QVERIFY(QFile::link(r, r + "/se-stessa"));
    QCOMPARE(::mkfifo(QFile::encodeName(r + "/tubo.jpg"), 0644), 0);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(r + "/presa.jpg");
    QVERIFY(size_t(p.size()) < sizeof(a.sun_path));
    memcpy(a.sun_path, p.constData(), size_t(p.size()));
    QCOMPARE(::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
    ::close(s);
}

// Runs `f` in a child process as "nobody", which root's permission override
// does not reach, and hands back what it returned.
QStringList comeNessuno(const std::function<QStringList()> &f)
{
    int tubo[2];
    if (::pipe(tubo) != 0)
        return {"pipe"};
    const pid_t figlio = ::fork();
    if (figlio == 0) {
        ::close(tubo[0]);
        QFile scritto;
        scritto.open(tubo[1], QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
            scritto.write(f().join(QChar(0x1f)).toUtf8());
        scritto.close();
        ::_exit(0);
    }
    ::close(tubo[1]);
    QFile letto;
    letto.open(tubo[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QString r = QString::fromUtf8(letto.readAll());
    ::waitpid(figlio, nullptr, 0);
    return r.split(QChar(0x1f));
}

// Calls `f` with each detail line a run reports.
Riferisci suDettaglio(std::function<void(const QString &)> f)
{
    return [f](const Avanzamento &a) {
        if (a.dettaglio)
            f(*a.dettaglio);
    };
}
} // namespace

class TestCopia : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Orologio::imposta([] { return istante; });
    }
    void cleanup()
    {
        Orologio::imposta({});
        LottoCopie::simulaFileSystem(LottoCopie::FileSystemSimulato::normale);
    }

    void timestampedNames_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("presenti");
        QTest::addColumn<QString>("atteso");
        QTest::newRow("no extension, taken")
            << "README" << QStringList{"README_" + stamp} << "README_" + stamp + "_1";
        QTest::newRow("last extension only") << "dati.tar.gz" << QStringList{} << "dati.tar_" + stamp + ".gz";
        QTest::newRow("percent, quotes, line feed")
            << "50% \"vero\" 'x'\nb.png" << QStringList{} << "50% \"vero\" 'x'\nb_" + stamp + ".png";
        // 255 bytes of two-byte characters: cut to fit, on a whole character.
        QTest::newRow("255-byte name") << QString(125, QChar(0xE8)) + "a.jpg" << QStringList{}
                                       << QString(115, QChar(0xE8)) + "_" + stamp + ".jpg";
    }
    void timestampedNames()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, presenti);
        QFETCH(QString, atteso);
        QTemporaryDir d;
        for (const QString &p : presenti)
            QVERIFY(writeFile(d.filePath(p), "x"));
        QCOMPARE(urlConTimestamp("/media/stick/sub/" + file, d.path()), d.filePath(atteso));
    }

    // A digest of pages still in memory would prove nothing about the disk:
    // verifying a freshly written file must fetch every byte from the storage.
    // Comparing two files is another matter: the sync's digest uses what is
    // cached and leaves it cached.
    void digestReadsFromTheMediumOnlyToVerify()
    {
        QTemporaryDir d;
        const auto sha = [](const QByteArray &b) {
            return std::optional<QString>(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex());
        };
        // Empty, and many 64 KiB reads ending in a partial one.
        for (const QByteArray &b : {QByteArray(), QByteArray(1000000, 'a')})
            QVERIFY(writeFile(d.filePath("f"), b) && hashSHA256(d.filePath("f")) == sha(b));
        struct statfs fs;
        QVERIFY(::statfs(QFile::encodeName(d.path()), &fs) == 0);
        if (fs.f_type == 0x01021994) // tmpfs: its pages are the file
            QSKIP("the temporary folder is on tmpfs");
        const auto lettiDalDisco = [] {
            for (const QByteArray &riga : readFile("/proc/self/io").split('\n')) {
                if (riga.startsWith("read_bytes:"))
                    return riga.mid(11).trimmed().toLongLong();
            }
            return qint64(-1);
        };
        if (lettiDalDisco() < 0)
            QSKIP("no I/O accounting in this kernel");
        const QByteArray dati(8 << 20, 'd');
        const std::optional<QString> atteso = sha(dati);
        for (const bool anticipato : {false, true}) {
            const QString f = d.filePath(anticipato ? "anticipato.bin" : "diretto.bin");
            QVERIFY(writeFile(f, dati));
            const qint64 prima = lettiDalDisco();
            if (anticipato)
                anticipaLettura(f);
            QCOMPARE(anticipato ? hashSHA256Anticipato(f) : hashSHA256(f), atteso);
            QVERIFY2(lettiDalDisco() - prima >= dati.size(),
                     qPrintable(QString::number(lettiDalDisco() - prima)));
        }
        const QString f = d.filePath("diretto.bin");
        QCOMPARE(hashSHA256InCache(f), atteso);
        const qint64 prima = lettiDalDisco();
        QCOMPARE(hashSHA256InCache(f), atteso);
        QCOMPARE(lettiDalDisco() - prima, 0);

        // The sync's reader: from memory while the files are there, from the
        // disk (reading ahead, the file opened ahead kept or dropped) once not.
        const auto esadecimale = [](const std::optional<DigestInFila::Valore> &v) {
            return v ? QByteArray(reinterpret_cast<const char *>(v->data()), int(v->size())).toHex()
                     : QByteArray("illeggibile");
        };
        DigestInFila fila(d.path());
        QCOMPARE(esadecimale(fila.digest("diretto.bin", "anticipato.bin")), atteso->toLatin1());
        QCOMPARE(lettiDalDisco() - prima, 0);
        hashSHA256(d.filePath("anticipato.bin")); // leaves no pages behind
        QCOMPARE(esadecimale(fila.digest("anticipato.bin", "a")), atteso->toLatin1());
        QVERIFY(lettiDalDisco() - prima >= dati.size());
        QCOMPARE(esadecimale(fila.digest("f", "diretto.bin")), sha(QByteArray(1000000, 'a'))->toLatin1());
        QCOMPARE(esadecimale(fila.digest("diretto.bin")), atteso->toLatin1());
        QCOMPARE(esadecimale(fila.digest("manca")), QByteArray("illeggibile"));
    }

    void durableCopy_data()
    {
        QTest::addColumn<LottoCopie::FileSystemSimulato>("fs");
        QTest::newRow("no-replace rename") << LottoCopie::FileSystemSimulato::normale;
        QTest::newRow("hard link fallback") << LottoCopie::FileSystemSimulato::senzaRinominaEsclusiva;
        QTest::newRow("look-then-rename fallback") << LottoCopie::FileSystemSimulato::senzaCollegamenti;
    }
    // Every way of placing the copy: the plain name when free, the next
    // timestamped one when taken (a dangling link too), nothing replaced, dates kept.
    void durableCopy()
    {
        QFETCH(LottoCopie::FileSystemSimulato, fs);
        LottoCopie::simulaFileSystem(fs);
        QTemporaryDir src, dst;
        const QString a = src.filePath("a.jpg");
        QVERIFY(writeFile(a, "nuovo"));
        const QDateTime mtime(QDate(2020, 1, 2), QTime(3, 4, 5));
        {
            QFile f(a);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(mtime, QFileDevice::FileModificationTime));
        }
        const QString c = dst.filePath("Archivio/2024") + "/";
        EsitoCopiaFile e = copiaSenzaSovrascrivere(a, c + "a.jpg");
        QCOMPARE(e.destinazione, c + "a.jpg");
        QCOMPARE(QFileInfo(e.destinazione).lastModified(), mtime);
        QVERIFY(writeFile(c + "b.jpg", "vecchio") && QFile::link("/nowhere", c + "c.jpg"));
        for (const QString &atteso :
             {"b_" + stamp + ".jpg", "b_" + stamp + "_1.jpg", "c_" + stamp + ".jpg"}) {
            e = copiaSenzaSovrascrivere(a, c + atteso.left(1) + ".jpg");
            QVERIFY2(e.ok, qPrintable(e.errore));
            QCOMPARE(e.destinazione, c + atteso);
            QCOMPARE(readFile(e.destinazione), QByteArray("nuovo"));
        }
        QCOMPARE(readFile(c + "b.jpg"), QByteArray("vecchio"));
        QCOMPARE(QFileInfo(c + "c.jpg").symLinkTarget(), QString("/nowhere"));
        QCOMPARE(tuttoIn(c).size(), 6);
    }

    // Two computers copying into one shared archive at the same moment, by
    // every way of placing a file: nothing lost or replaced, a file both
    // sticks hold is archived once, and the two counts add up to what is there.
    void twoWorkstationsOneArchive_data()
    {
        QTest::addColumn<LottoCopie::FileSystemSimulato>("fs");
        QTest::addColumn<bool>("exfat");
        QTest::newRow("no-replace rename") << LottoCopie::FileSystemSimulato::normale << false;
        QTest::newRow("claim fallback") << LottoCopie::FileSystemSimulato::senzaCollegamenti << false;
        QTest::newRow("exFAT through FUSE") << LottoCopie::FileSystemSimulato::normale << true;
    }
    void twoWorkstationsOneArchive()
    {
        QFETCH(LottoCopie::FileSystemSimulato, fs);
        QFETCH(bool, exfat);
        std::optional<ChiavettaFat> disco;
        if (exfat && !disco.emplace(ChiavettaFat::Tipo::exfat, "ARCHIVIO").perche.isEmpty())
            QSKIP(qPrintable(disco->perche));
        LottoCopie::simulaFileSystem(fs);
        QTemporaryDir uno, due, locale;
        const QString archivio = exfat ? disco->punto : locale.path();
        QByteArrayList attesi, archiviati; // contents, each once
        constexpr int n = 300;
        for (int i = 0; i < n; ++i) {
            const QString nome = QString("IMG_%1.JPG").arg(i, 3, 10, QLatin1Char('0'));
            const QByteArray a = "1-" + QByteArray::number(i),
                             b = (i % 2 ? "2-" : "1-") + QByteArray::number(i);
            QVERIFY(writeFile(uno.filePath(nome), a) && writeFile(due.filePath(nome), b));
            attesi << a << (a == b ? QByteArrayList() : QByteArrayList{b});
        }
        int tubo[2];
        QVERIFY(::pipe(tubo) == 0);
        QList<pid_t> figli;
        for (const QString &stick : {uno.path(), due.path()}) {
            figli << ::fork();
            if (figli.last() == 0) {
                const EsitoCopia e = FileCopyService::eseguiCopia(stick, std::nullopt, archivio);
                const qint64 conti[3] = {e.copiati, e.giaPresenti, e.errori};
                ::_exit(::write(tubo[1], conti, sizeof conti) == sizeof conti ? 0 : 1);
            }
        }
        ::close(tubo[1]);
        QFile letto;
        QVERIFY(letto.open(tubo[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        const QByteArray risposte = letto.readAll(); // both have finished
        for (const pid_t figlio : figli)
            ::waitpid(figlio, nullptr, 0);
        QCOMPARE(risposte.size(), qsizetype(6 * sizeof(qint64)));
        const auto *c = reinterpret_cast<const qint64 *>(risposte.constData());

        for (const QString &nome : tuttoIn(archivio))
            archiviati << readFile(archivio + "/" + nome);
        std::sort(archiviati.begin(), archiviati.end());
        std::sort(attesi.begin(), attesi.end());
        QCOMPARE(archiviati, attesi);
        QCOMPARE(std::tuple(c[0] + c[3], c[1] + c[4], c[2] + c[5]),
                 std::tuple(qint64(attesi.size()), qint64(n / 2), qint64(0)));
    }

    // Awkward names survive byte for byte, nothing is replaced, hidden entries
    // and what is not a regular file are skipped unopened; the same stick again
    // copies nothing, the timestamped copies of the first run included.
    void flatCopyNeverOverwrites()
    {
        TestEnv env;
        QTemporaryDir stick, altrove;
        const QString caffe("caffè.jpg");
        const QStringList nomi =
            QString("a/foto.jpg|b/foto.jpg|README|riga\nnuova.jpg|100% \"vero\" 'x'.jpg|%1%2").split('|') +
            QStringList{caffe.normalized(QString::NormalizationForm_C),
                        caffe.normalized(QString::NormalizationForm_D), QString(251, 'L') + ".jpg"};
        for (const QString &n : nomi + QStringList{"._foto.jpg", ".Trashes/5/x.jpg"})
            QVERIFY(writeFile(stick.filePath(n), n.toUtf8()));
        piantaSpeciali(stick.path(), altrove.path());
        for (const char *n : {"tubo.jpg", "presa.jpg", "zero.jpg", "giro1", "enorme.jpg"})
            QVERIFY(!hashSHA256(stick.filePath(n)) && !DigestInFila(stick.path()).digest(n)); // nor hangs
        const QString archivio = env.impostazioni->destinationPath();
        QVERIFY(writeFile(archivio + "/README", "archiviato"));
        QList<CentroOperazioni::Operazione> schede;
        connect(&env.centro, &CentroOperazioni::attualeChanged, this, [&] {
            if (env.centro.attuale())
                schede << *env.centro.attuale();
        });
        QCoro::waitFor(FileCopyService::copia(env.servizi, stick.path(), archivio));

        QMap<QString, QByteArray> attesi{{"README", "archiviato"},
                                         {"README_" + stamp, "README"},
                                         {"foto.jpg", "a/foto.jpg"},
                                         {"foto_" + stamp + ".jpg", "b/foto.jpg"}};
        for (const QString &n : nomi.mid(3))
            attesi.insert(n, n.toUtf8());
        QMap<QString, QByteArray> archiviati;
        for (const QString &n : tuttoIn(archivio))
            archiviati.insert(n, readFile(archivio + "/" + n));
        QCOMPARE(archiviati, attesi);
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        const RichiestaAvviso &avviso = env.avvisi.mostrati.first();
        QCOMPARE(avviso.titolo, QString("Copia completata"));
        QCOMPARE(avviso.stile, StileAvviso::informativo);
        QCOMPARE(avviso.testo,
                 QString("File copiati: 9\n✓ Verifica integrità: tutti i 9 file sono identici agli "
                         "originali.\n\n⚠️ 2 file erano già presenti nella destinazione e sono stati "
                         "rinominati con data e ora (entrambe le versioni mantenute):\n\nREADME, foto.jpg\n\n"
                         "Manifesto SHA-256 per ricontrollare l'archivio: ") +
                     rigaManifesto(stick.path()).section(": ", 1));
        QCOMPARE(env.logLines(), QStringList{prefisso +
                                             "Copia in Archivio: 9 copiati, 9 verificati, 2 "
                                             "rinominati, 0 errori, 0 verifiche fallite" +
                                             rigaManifesto(stick.path())});
        QCOMPARE(schede.first().titolo + "|" + schede.last().titolo + "|" + *schede.last().dettaglio,
                 QString("Copia da «%1» in Archivio…|Verifica copia…|Verifica 9 di 9 — riga\nnuova.jpg")
                     .arg(QFileInfo(stick.path()).fileName()));

        const EsitoCopia e = FileCopyService::eseguiCopia(stick.path(), std::nullopt, archivio);
        QCOMPARE(std::tuple(e.copiati, e.giaPresenti, e.errori), std::tuple(0, 9, 0));
        QCOMPARE(tuttoIn(archivio).size(), 10);
        QVERIFY(FileCopyService::testoRiepilogo(e, "Ecografie")
                    .endsWith("\n\n9 file erano già in Ecografie, identici."));
    }

    void filteredCopy_data()
    {
        QTest::addColumn<CategoriaFile>("categoria");
        QTest::addColumn<QStringList>("attesi");
        QTest::newRow("images, any case")
            << CategoriaFile::immagini << QStringList{"IMG.JPG", "b.jpeg", "c.Png"};
        QTest::newRow("video") << CategoriaFile::video << QStringList{"clip.MOV", "d.mp4"};
        QTest::newRow("documents, last extension counts")
            << CategoriaFile::documenti << QStringList{"e.pdf", "f.jpg.txt"};
    }
    void filteredCopy()
    {
        QFETCH(CategoriaFile, categoria);
        QFETCH(QStringList, attesi);
        QTemporaryDir stick, archivio;
        for (const char *n : {"IMG.JPG", "b.jpeg", "c.Png", "d.mp4", "clip.MOV", "e.pdf", "f.jpg.txt",
                              "README", "jpg", "g.jpg.bak"})
            QVERIFY(writeFile(stick.filePath(n), n));
        FileCopyService::eseguiCopia(stick.path(), insiemeEstensioni(categoria), archivio.path());
        QCOMPARE(tuttoIn(archivio.path()), attesi);
    }

    void refusedBeforeStarting_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("avviso");
        const QString nonCartella(
            "Errore|Impossibile accedere alla cartella di destinazione:\n“{f}” esiste già "
            "e non è una cartella.");
        const QString irraggiungibile(
            "Copia non riuscita|Ecografie non è raggiungibile: %1. Collega il disco o la "
            "cartella di rete e riprova.");
        QTest::newRow("destination is a file") << "occupato" << nonCartella;
        QTest::newRow("destination below a file")
            << "occupato/Ecografie" << irraggiungibile.arg("una parte del percorso non è una cartella");
        // A share not mounted: its folder is never made on this computer.
        QTest::newRow("chosen folder gone")
            << "NAS/Ecografie" << irraggiungibile.arg("la cartella non esiste");
        QTest::newRow("another operation running")
            << "busy"
            << "Operazione in corso|C'è già una copia o sincronizzazione in corso. Attendi che finisca.";
        QTest::newRow("no stick") << ""
                                  << "Nessuna USB|Non ci sono USB inserite.";
    }
    void refusedBeforeStarting()
    {
        QFETCH(QString, caso);
        QFETCH(QString, avviso);
        TestEnv env;
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("a.jpg"), "a") && writeFile(env.path("occupato"), "un file"));
        VolumiDiProva volumi;
        if (!caso.isEmpty())
            volumi.add({stick.path(), true, QString("A")});
        USBMonitor monitor(&volumi, env.impostazioni.get());
        const CentroOperazioni::Operazione altra{"Sincronizzazione…", std::nullopt, 0.5,
                                                 "arrow.triangle.2.circlepath", Colori::blue()};
        if (caso == "busy")
            env.centro.setAttuale(altra);
        else if (!caso.isEmpty())
            env.impostazioni->setDestinationPath(env.path(caso));
        if (caso.startsWith("NAS")) { // unplugged after it was chosen, even before a restart
            QVERIFY(QDir(env.path("NAS")).removeRecursively());
            AppSettings(std::make_unique<QSettings>(env.settingsFile(), QSettings::IniFormat));
        }
        int cambiScheda = 0;
        connect(&env.centro, &CentroOperazioni::attualeChanged, this, [&] { ++cambiScheda; });
        QCoro::waitFor(copiaTutto(env.servizi, &monitor));

        QCOMPARE(env.avvisi.mostrati.size(), 1);
        const RichiestaAvviso &a = env.avvisi.mostrati.first();
        QCOMPARE(a.titolo + "|" + a.testo, QString(avviso).replace("{f}", env.path("occupato")));
        QCOMPARE(a.stile, a.titolo == "Errore"               ? StileAvviso::avvertenza
                          : a.titolo == "Copia non riuscita" ? StileAvviso::critico
                                                             : StileAvviso::informativo);
        QCOMPARE(cambiScheda, 0);
        QVERIFY(env.logLines().isEmpty());
        QCOMPARE(readFile(env.path("occupato")), QByteArray("un file"));
        QVERIFY(!QFileInfo::exists(env.impostazioni->destinationPath() + "/a.jpg"));
        QVERIFY(!QFileInfo::exists(env.path("NAS")));
        if (caso == "busy")
            QCOMPARE(env.centro.attuale(), std::optional(altra));
    }

    // A "%2" in the folder's name stays as it is.
    void logLineKeepsPercentSigns()
    {
        QCOMPARE(
            FileCopyService::rigaRegistro("/home/u/Studio %2 %1/", EsitoCopia{12, 12, 1, {}, 3, {"v"}}),
            QString("Copia in Studio %2 %1: 12 copiati, 3 verificati, 12 rinominati, 1 errori, 1 verifiche "
                    "fallite"));
    }

    // An archive that fills up, or that is read-only: the outcome is never
    // told as a success, and each file left out is named with its reason, in
    // the copy's alert and log line (too many: in a file beside the log) and
    // in the import's notification.
    void failuresAreToldAndNamed_data()
    {
        QTest::addColumn<bool>("solaLettura");
        QTest::addColumn<QString>("titoli"); // of the copy's alert, of the import's notification
        QTest::newRow("fills up") << false
                                  << "Copia completata con errori|Importazione automatica con errori";
        QTest::newRow("read-only") << true << "Copia non riuscita|Importazione automatica non riuscita";
    }
    void failuresAreToldAndNamed()
    {
        QFETCH(bool, solaLettura);
        QFETCH(QString, titoli);
        if (!TestSupport::isRoot())
            QSKIP("mounting a small tmpfs needs root");
        TestEnv env;
        MontaggioTmpfs piccolo("1m");
        QVERIFY(piccolo.montato);
        const QString archivio = piccolo.punto.path();
        if (solaLettura)
            QCOMPARE(::mount(nullptr, QFile::encodeName(archivio), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
                     0);
        env.impostazioni->setDestinationPath(archivio);
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("a.jpg"), QByteArray(300 << 10, 'a')));
        QVERIFY(writeFile(stick.filePath("esame/b.jpg"), QByteArray(900 << 10, 'b'))); // no longer fits
        QVERIFY(writeFile(stick.filePath("c.jpg"), QByteArray(100 << 10, 'c')));
        for (int i = 0; solaLettura && i < 60; ++i)
            QVERIFY(writeFile(stick.filePath(QString("esame/altre/%1.jpg").arg(i, 2, 10, QChar('0'))), "x"));
        QCoro::waitFor(FileCopyService::copia(env.servizi, stick.path(), archivio));
        QCoro::waitFor(importaAutomaticamente(env.servizi, chiavetta(stick.path(), "ECO")));

        const QString pieno = "“esame/b.jpg”: copia interrotta: spazio esaurito sul disco";
        const QString chiuso =
            ": impossibile scrivere nella cartella di destinazione: il disco è in sola lettura";
        const QString primo = solaLettura ? "“a.jpg”" + chiuso + "\n“c.jpg”" + chiuso : pieno;
        QCOMPARE(tuttoIn(archivio),
                 solaLettura ? QStringList() : (QStringList{"a.jpg", "c.jpg"})); // nothing partial
        const RichiestaAvviso &avviso = env.avvisi.mostrati.first();
        QCOMPARE(avviso.titolo + "|" + env.notifiche.inviate.value(0).first, titoli);
        QCOMPARE(avviso.stile, solaLettura ? StileAvviso::critico : StileAvviso::avvertenza);
        QVERIFY2(avviso.testo.contains("❌ Errori durante la copia: " + QString::number(solaLettura ? 63 : 1) +
                                       "\n" + primo + (solaLettura ? "\n“esame/altre/00.jpg”" : "")),
                 qPrintable(avviso.testo));
        const QString riga = env.logLines().first(), dettagli = riga.section(", elenco completo in ", 1);
        QVERIFY2(
            riga.contains(solaLettura ? "; non copiati: 63" : "; non copiati: " + pieno + "; manifesto: "),
            qPrintable(riga));
        if (solaLettura) // beside the log
            QCOMPARE(readFile(dettagli).count('\n'), 63);
        QCOMPARE(env.notifiche.urgenze, QList<Urgenza>{Urgenza::critica});
        QVERIFY2(env.notifiche.inviate.first().second.contains(primo),
                 qPrintable(env.notifiche.inviate.first().second));
    }

    // Between the listing and the copy the stick can change under our feet.
    void sourceChangesAfterListing()
    {
        QTemporaryDir stick, archivio;
        for (const char *n :
             {"1-ok.jpg", "2-sparito.jpg", "3-fifo.jpg", "4-link.jpg", "5-cartella.jpg", "6-ok.jpg"})
            QVERIFY(writeFile(stick.filePath(n), n));
        const auto f = [&](const char *n) { return QFile::encodeName(stick.filePath(n)); };
        const EsitoCopia e = FileCopyService::eseguiCopia(stick.path(), std::nullopt, archivio.path(),
                                                          suDettaglio([&](const QString &d) {
                                                              if (d.startsWith("2 di")) {
                                                                  ::unlink(f("2-sparito.jpg"));
                                                              } else if (d.startsWith("3 di")) {
                                                                  ::unlink(f("3-fifo.jpg"));
                                                                  ::mkfifo(f("3-fifo.jpg"), 0644);
                                                              } else if (d.startsWith("4 di")) {
                                                                  ::unlink(f("4-link.jpg"));
                                                                  ::symlink("/dev/zero", f("4-link.jpg"));
                                                              } else if (d.startsWith("5 di")) {
                                                                  ::unlink(f("5-cartella.jpg"));
                                                                  ::mkdir(f("5-cartella.jpg"), 0755);
                                                              }
                                                          }));
        const QString strano = ": non è un file normale";
        const QStringList falliti{
            "“2-sparito.jpg”: non leggibile: file o cartella inesistente", "“3-fifo.jpg”" + strano,
            "“4-link.jpg”: non leggibile: è un collegamento, non un file", "“5-cartella.jpg”" + strano};
        QCOMPARE(e, (EsitoCopia{2, 0, 4, {}, 2, {}, {}, {}, 0, falliti}));
        QCOMPARE(tuttoIn(archivio.path()), (QStringList{"1-ok.jpg", "6-ok.jpg"}));
    }

    void stickPulledOutMidCopy()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a tmpfs stick needs root");
        MontaggioTmpfs stick("16m");
        QVERIFY(stick.montato);
        for (const char *n : {"a.jpg", "b.jpg", "c.jpg"})
            QVERIFY(writeFile(stick.filePath(n), QByteArray(64 << 10, n[0])));
        QTemporaryDir archivio;
        const EsitoCopia e = FileCopyService::eseguiCopia(stick.punto.path(), std::nullopt, archivio.path(),
                                                          suDettaglio([&](const QString &d) {
                                                              if (d.startsWith("2 di"))
                                                                  stick.stacca();
                                                          }));
        // The one copy made cannot be checked against a stick that is gone.
        const QString sparito = ": non leggibile: file o cartella inesistente";
        const QStringList falliti{"“b.jpg”" + sparito, "“c.jpg”" + sparito};
        QCOMPARE(e, (EsitoCopia{1, 0, 2, {}, 0, {"a.jpg"}, {}, {}, 0, falliti}));
        QCOMPARE(tuttoIn(archivio.path()), QStringList{"a.jpg"});
        QVERIFY(FileCopyService::testoRiepilogo(e).contains("Non cancellare gli originali"));
    }

    // Copy, import, sync plan and execution all run off the main thread and
    // report progress without flooding it: the panel never stalls for more
    // than 50 ms, and every file arrives.
    void eventLoopStaysFree()
    {
        TestEnv env;
        QTemporaryDir a, b;
        for (int i = 0; i < 3000; ++i) {
            const QString nome = QString("DCIM/%1/IMG_%2.JPG").arg(i / 200).arg(i);
            const QByteArray dati(100 + i % 50, char(i));
            QVERIFY(writeFile(a.filePath(nome), dati) && (i >= 200 || writeFile(b.filePath(nome), dati)));
        }
        QVERIFY(writeFile(a.filePath("grande.JPG"), QByteArray(64 << 20, 'g')));
        QVERIFY(QDir().mkpath(env.path("copiate")));
        const ControlloCiclo ciclo;
        QCoro::waitFor(FileCopyService::copia(env.servizi, a.path(), env.path("copiate")));
        QCoro::waitFor(importaAutomaticamente(env.servizi, chiavetta(a.path(), "ECO")));
        QCoro::waitFor(CloneUSBService::sincronizza(env.servizi, chiavetta(a.path(), "ECO"),
                                                    chiavetta(b.path(), "ALTRA")));
        // Time the loop only waited for a processor (another program, or the
        // build beside the test, using both cores) is the machine's, not ours.
        QVERIFY2(ciclo.pausaPropriaMassimaMs() <= 50,
                 qPrintable(QStringLiteral("%1 ms (%2 ms with the waits for a processor)")
                                .arg(ciclo.pausaPropriaMassimaMs())
                                .arg(ciclo.pausaMassimaMs())));

        const QString riga("Copia in copiate: 3001 copiati, 3001 verificati, 0 rinominati, 0 errori, 0 "
                           "verifiche fallite" +
                           rigaManifesto(a.path()) +
                           "|Auto-importazione da ECO: 3001 nuove immagini, 0 già presenti, "
                           "0 errori, 0 verifiche fallite" +
                           rigaManifesto("ECO") +
                           "|Sincronizzazione ECO ↔ ALTRA: 2801+0 file copiati, 0 "
                           "conflitti risolti, 0 errori");
        QCOMPARE(env.logLines().join('|').remove(prefisso), riga);
        QCOMPARE(tuttoIn(env.impostazioni->destinationPath()).size(), 3001);
        QCOMPARE(elencaFile(b.path()).size(), 3001);
    }

    // A folder that cannot be listed (a failing stick, or one nobody may read)
    // is an error named in every report, never a silent gap behind "all verified".
    void unreadableFolders_data()
    {
        QTest::addColumn<QString>("guasto");
        QTest::addColumn<QString>("motivo");
        const QString io = "errore di lettura o scrittura sul dispositivo";
        QTest::newRow("I/O error opening") << "opendir:/DCIM/GUASTA" << io;
        QTest::newRow("I/O error reading") << "readdir:/DCIM/GUASTA" << io;
        QTest::newRow("mode 000, ordinary user") << QString() << "permesso negato";
    }
    void unreadableFolders()
    {
        QFETCH(QString, guasto);
        QFETCH(QString, motivo);
        ChiavettaGuasta fuse(guasto.isEmpty() ? QStringList() : QStringList{guasto});
        if (!guasto.isEmpty() && !fuse.perche.isEmpty())
            QSKIP(qPrintable(fuse.perche));
        if (guasto.isEmpty() && !TestSupport::isRoot())
            QSKIP("dropping to another user needs root");
        const QString contenuto = fuse.radice.path();
        const QString stick = guasto.isEmpty() ? contenuto : fuse.punto.path();
        for (const char *n : {"IMG_1.JPG", "DCIM/IMG_2.JPG", "DCIM/GUASTA/IMG_3.JPG"})
            QVERIFY(writeFile(contenuto + "/" + n, n));
        QTemporaryDir lavoro;
        for (const QString &c : {contenuto, lavoro.path()})
            ::chmod(QFile::encodeName(c), 0777);
        if (guasto.isEmpty())
            ::chmod(QFile::encodeName(contenuto + "/DCIM/GUASTA"), 0);

        const auto esegui = [&] {
            const QString archivio = lavoro.path() + "/archivio", altro = lavoro.path() + "/altro";
            const EsitoCopia c = FileCopyService::eseguiCopia(stick, std::nullopt, archivio);
            const EsitoImportazione i = FileCopyService::eseguiImportazione(
                stick, archivio + "2", insiemeEstensioni(CategoriaFile::immagini));
            QDir().mkpath(altro);
            const PianoSincronizzazione p = CloneUSBService::pianifica(stick, altro);
            const EsitoSincronizzazione s = CloneUSBService::eseguiPiano(p, stick, altro, "A", "B");
            return QStringList{QString("copia %1 %2 %3").arg(c.copiati).arg(c.verificati).arg(c.errori),
                               FileCopyService::testoRiepilogo(c),
                               FileCopyService::rigaRegistro(archivio, c),
                               QString("importazione %1 %2").arg(i.nuovi).arg(i.errori),
                               FileCopyService::rigaRegistroImportazione("ECO", i) +
                                   FileCopyService::corpoNotifica("ECO", i),
                               QString("sincronizzazione %1 %2").arg(s.copiedAtoB).arg(s.errors),
                               p.nonSincronizzati.join('\n')};
        };
        const QStringList r = guasto.isEmpty() ? comeNessuno(esegui) : esegui();
        QCOMPARE(r.size(), 7);
        QCOMPARE(r.at(0), QString("copia 2 2 1"));
        QCOMPARE(r.at(3), QString("importazione 2 1"));
        QCOMPARE(r.at(5), QString("sincronizzazione 2 1"));
        const QString nominata = stick + "/DCIM/GUASTA”: " + motivo;
        for (int k : {1, 2, 4, 6})
            QVERIFY2(r.at(k).contains(nominata), qPrintable(r.at(k)));
        QVERIFY(!r.at(1).contains("Verifica integrità: tutti"));
        QVERIFY(r.at(1).contains("❌ Errori durante la copia: 1"));
    }

    // A name that is not UTF-8 (an old Windows machine) and a file deeper than
    // the longest path the system takes are copied as they are and verified.
    void copiedUnderTheirOwnBytes_data()
    {
        QTest::addColumn<QByteArray>("percorso");
        QTest::newRow("Latin-1 name") << QByteArray("DCIM/caf\xE9 \xE0.jpg");
        QByteArray profondo;
        for (int i = 0; i < 20; ++i)
            profondo += QByteArray(250, char('a' + i)) + '/';
        QTest::newRow("deeper than PATH_MAX") << profondo + "IMG.JPG";
    }
    void copiedUnderTheirOwnBytes()
    {
        QFETCH(QByteArray, percorso);
        QTemporaryDir stick, archivio;
        int cartella = ::open(QFile::encodeName(stick.path()), O_RDONLY | O_DIRECTORY);
        const QList<QByteArray> parti = percorso.split('/');
        for (qsizetype i = 0; i + 1 < parti.size(); ++i) {
            QCOMPARE(::mkdirat(cartella, parti.at(i), 0755), 0);
            const int dentro = ::openat(cartella, parti.at(i), O_RDONLY | O_DIRECTORY);
            ::close(cartella);
            cartella = dentro;
        }
        const int fd = ::openat(cartella, parti.last(), O_WRONLY | O_CREAT, 0644);
        QCOMPARE(::write(fd, "immagine", 8), 8);
        ::close(fd);
        ::close(cartella);

        const EsitoCopia e = FileCopyService::eseguiCopia(stick.path(), std::nullopt, archivio.path());
        QCOMPARE(QString("%1 %2 %3").arg(e.copiati).arg(e.verificati).arg(e.errori), QString("1 1 0"));
        QFile copia;
        const int letta = ::open(QFile::encodeName(archivio.path()) + "/" + parti.last(), O_RDONLY);
        QVERIFY(letta >= 0 && copia.open(letta, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        QCOMPARE(copia.readAll(), QByteArray("immagine"));
        // QTemporaryDir cannot remove a tree deeper than the longest path.
        QProcess::execute("rm", {"-rf", stick.path()});
    }

    // Stray bytes come back as the same bytes and are shown escaped.
    void nameBytes_data()
    {
        QTest::addColumn<QByteArray>("byte");
        QTest::addColumn<QString>("mostrato");
        QTest::newRow("UTF-8") << QByteArray("Eco è.jpg") << "Eco è.jpg";
        QTest::newRow("Latin-1") << QByteArray("caf\xE9.jpg") << "caf\\xE9.jpg";
        QTest::newRow("overlong slash") << QByteArray("a\xC0\xAF") << "a\\xC0\\xAF";
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << "\\xED\\xA0\\x80";
        QTest::newRow("cut short") << QByteArray("x\xE2\x82") << "x\\xE2\\x82";
        QTest::newRow("real U+FFFD") << QByteArray("\xEF\xBF\xBD\xF0\x9F\x98\x80") << "\uFFFD😀";
    }
    void nameBytes()
    {
        QFETCH(QByteArray, byte);
        QFETCH(QString, mostrato);
        QCOMPARE(codificaNome(decodificaNome(byte)), byte);
        // The sync keys names by their NFC form: stray bytes must survive it.
        QCOMPARE(codificaNome(decodificaNome(byte).normalized(QString::NormalizationForm_C)), byte);
        QCOMPARE(nomeLeggibile(decodificaNome(byte)), mostrato);
    }

    // Machines that restart their numbering reuse names, often with identical
    // sizes: only equal contents are "already there". A file that vanishes
    // before its copy is an error.
    void importCounters_data()
    {
        QTest::addColumn<QByteArray>("sullaChiavetta");
        QTest::addColumn<EsitoImportazione>("atteso");
        QTest::newRow("same size, other image") << QByteArray("BBBB") << EsitoImportazione{1, 0, 0, 0};
        QTest::newRow("vanished")
            << QByteArray()
            << EsitoImportazione{
                   0, 0, 1, 0, {}, {}, {"“IMG.JPG”: non leggibile: file o cartella inesistente"}};
    }
    void importCounters()
    {
        QFETCH(QByteArray, sullaChiavetta);
        QFETCH(EsitoImportazione, atteso);
        QTemporaryDir stick, archivio;
        QVERIFY(writeFile(archivio.filePath("IMG.JPG"), "AAAA") && writeFile(stick.filePath("v.mov"), "v"));
        QVERIFY(writeFile(stick.filePath("IMG.JPG"), sullaChiavetta.isEmpty() ? "x" : sullaChiavetta));
        const EsitoImportazione e = FileCopyService::eseguiImportazione(
            stick.path(), archivio.path(), insiemeEstensioni(CategoriaFile::immagini),
            suDettaglio([&](const QString &) {
                if (sullaChiavetta.isEmpty())
                    QFile::remove(stick.filePath("IMG.JPG"));
            }));
        QCOMPARE(e, atteso);
        QCOMPARE(readFile(archivio.filePath("IMG.JPG")), QByteArray("AAAA"));
        QCOMPARE(tuttoIn(archivio.path()).size(), 1 + atteso.nuovi);
        if (atteso.nuovi)
            QCOMPARE(readFile(archivio.filePath("IMG_" + stamp + ".JPG")), sullaChiavetta);
    }

    // The same image under the same name in two folders is archived once,
    // even when the first copy is still being flushed in the batch behind.
    void importFindsImagesOfTheBatchBehind()
    {
        QTemporaryDir stick, archivio;
        for (int i = 0; i < 200; ++i) {
            const QString nome = QString("IMG_%1.JPG").arg(i, 3, 10, QLatin1Char('0'));
            QVERIFY(writeFile(stick.filePath("a/" + nome), nome.toUtf8()) &&
                    writeFile(stick.filePath("b/" + nome), nome.toUtf8() + (i == 7 ? "altro" : "")));
        }
        const EsitoImportazione e = FileCopyService::eseguiImportazione(
            stick.path(), archivio.path(), insiemeEstensioni(CategoriaFile::immagini));
        QCOMPARE(e, (EsitoImportazione{201, 199, 0, 0}));
        QCOMPARE(tuttoIn(archivio.path()).size(), 201);
        QCOMPARE(readFile(archivio.filePath("IMG_007_" + stamp + ".JPG")), QByteArray("IMG_007.JPGaltro"));
    }

    // Sticks arrive through the monitor: their images are imported once, with a
    // notification. One that finds another operation running, or no usable
    // archive, is skipped (never queued) with a log line.
    void autoImport()
    {
        TestEnv env;
        env.impostazioni->setAutoImport(true);
        const QString archivio = env.impostazioni->destinationPath();
        QTemporaryDir c;
        for (const char *n :
             {"ECO/DCIM/IMG_1.JPG", "ECO/esame/IMG_2.jpeg", "ECO/video.mp4", "ECO/referto.pdf", "ECO/jpg",
              "ECO/._IMG_1.JPG", "DUE/IMG.JPG", "QUATTRO/IMG.JPG"})
            QVERIFY(writeFile(c.filePath(n), n));
        QVERIFY(
            writeFile(c.filePath("ECO/IMG_3.png"), QByteArray(4 << 20, '3'))); // still busy when DUE comes
        QVERIFY(QFile::link(c.filePath("ECO/DCIM/IMG_1.JPG"), c.filePath("ECO/link.jpg")));
        VolumiDiProva volumi;
        USBMonitor monitor(&volumi, env.impostazioni.get());
        monitor.setAutoImportHandler(
            [&](const USBDrive &drive) { importaAutomaticamente(env.servizi, drive); });
        QList<CentroOperazioni::Operazione> schede;
        connect(&env.centro, &CentroOperazioni::attualeChanged, this, [&] {
            if (env.centro.attuale())
                schede << *env.centro.attuale();
        });
        const auto inserisci = [&](const QString &nome) { volumi.mount({c.filePath(nome), true, nome}); };
        inserisci("ECO");
        inserisci("DUE");
        QTRY_COMPARE(env.logLines().size(), 2);
        QCOMPARE(tuttoIn(archivio), (QStringList{"IMG_1.JPG", "IMG_2.jpeg", "IMG_3.png"}));
        QCOMPARE(readFile(archivio + "/IMG_2.jpeg"), QByteArray("ECO/esame/IMG_2.jpeg"));
        QCOMPARE(schede.first().titolo, QString("Importazione automatica da ECO…"));
        QCOMPARE(env.notifiche.inviate,
                 (QList<QPair<QString, QString>>{
                     {"Importazione automatica", "3 nuove immagini importate e verificate da \"ECO\"."}}));
        // The same stick again: all already there, a log line and no notification.
        QCoro::waitFor(importaAutomaticamente(env.servizi, chiavetta(c.filePath("ECO"), "ECO")));
        QCOMPARE(env.logLines().size(), 3);
        QVERIFY(writeFile(env.path("file"), "x"));
        env.impostazioni->setDestinationPath(env.path("file"));
        inserisci("QUATTRO");
        QTRY_COMPARE(env.logLines().size(), 4);
        const QString eco(
            "Auto-importazione da ECO: %1 nuove immagini, %2 già presenti, 0 errori, 0 verifiche "
            "fallite");
        QCOMPARE(
            env.logLines(),
            (QStringList{prefisso + "Auto-importazione da DUE saltata: altra operazione in corso",
                         prefisso + eco.arg(3).arg(0) + rigaManifesto("ECO"), prefisso + eco.arg(0).arg(3),
                         prefisso + "Auto-importazione da QUATTRO fallita: destinazione non accessibile"}));
        QCOMPARE(tuttoIn(archivio).size(), 3);
        QCOMPARE(env.notifiche.inviate.size(), 1);
        QVERIFY(env.avvisi.mostrati.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCopia)
#include "TestCopia.moc"
