#include "comune/NomiFile.h"
#include "MontaggioTmpfs.h"
#include "operations/Orologio.h"
#include "support/TestEnv.h"
#include "transfer/ComandiTrasferimento.h"
#include "transfer/FileCopyService.h"
#include "transfer/Manifesto.h"

#include <algorithm>
#include <fcntl.h>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mount.h>
#include <unistd.h>

using TestSupport::chiavetta;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
const QString stamp = QStringLiteral("2024-03-07_09-05-31");
const QString prefisso = QStringLiteral("[2024-03-07 09:05:31] ");

// A shell command run in `cartella` in the C locale: its exit code and output.
std::pair<int, QByteArray> shell(const QString &cartella, const QString &comando)
{
    QProcess p;
    p.setWorkingDirectory(cartella);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert("LC_ALL", "C");
    p.setProcessEnvironment(ambiente);
    p.start("/bin/sh", {"-c", comando});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {-1, p.readAll()};
    return {p.exitCode(), p.readAll()};
}

QStringList manifestiIn(const QString &archivio) // hidden entries included, so a stray temporary shows
{
    QStringList r = QDir(archivio + "/.tessera-manifest")
                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    r.sort();
    return r;
}
} // namespace

class TestManifesto : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Orologio::imposta([] { return QDateTime(QDate(2024, 3, 7), QTime(9, 5, 31)); });
    }
    void cleanup() { Orologio::imposta({}); }

    // What a copy and an import leave is exactly what sha256sum itself writes
    // for the files they put in the archive, odd names included; sha256sum -c
    // passes on it, and fails once one archived byte changes.
    void sha256sumReadsCopyAndImportManifests()
    {
        TestEnv env;
        const QString archivio = env.impostazioni->destinationPath();
        QTemporaryDir base;
        const QString eco = base.filePath("ECO_A"), altra = base.filePath("ECO_B");
        for (const char *n :
             {"z/IMG 0001.JPG", "a\\b.jpg", "riga\nnuova.jpg", "ritorno\r", "README", ".Trashes/x.jpg"})
            QVERIFY(writeFile(eco + "/" + n, n));
        // A file named "-", which sha256sum -c would take for standard input, and
        // two names apart only by a U+FEFF, which must stay two files.
        QVERIFY(TestSupport::writeFileBytes(eco, "caf\xE9.jpg", "latin-1") &&
                TestSupport::writeFileBytes(eco, "caf\xE9\xEF\xBB\xBF.jpg", "bom") &&
                TestSupport::writeFileBytes(eco, "-", "trattino") &&
                writeFile(archivio + "/README", "archiviato"));
        // The second stick: one new image, one already archived.
        QVERIFY(writeFile(altra + "/IMG_9.JPG", "nuova") &&
                writeFile(altra + "/IMG 0001.JPG", "z/IMG 0001.JPG"));

        QCoro::waitFor(FileCopyService::copia(env.servizi, eco, archivio));
        const QString manifestoCopia = ".tessera-manifest/" + stamp + "_ECO_A.sha256";
        const auto [rc, atteso] =
            shell(archivio, "find . -maxdepth 1 -type f ! -name README -printf './%P\\0' "
                            "| sort -z | xargs -0 sha256sum -- | sed 's#  \\./\\([^-]\\)#  \\1#'");
        QCOMPARE(rc, 0);
        QCOMPARE(atteso.count('\n'), qsizetype(8)); // the timestamped README and the odd names among them
        QCOMPARE(readFile(archivio + "/" + manifestoCopia), atteso);
        QVERIFY(env.avvisi.mostrati.first().testo.endsWith(
            "\n\nManifesto SHA-256 per ricontrollare l'archivio: " + manifestoCopia));

        QCoro::waitFor(importaAutomaticamente(env.servizi, chiavetta(altra, "ECO_B")));
        QCoro::waitFor(importaAutomaticamente(env.servizi, chiavetta(altra, "ECO_B")));
        const QString manifestoImportazione = ".tessera-manifest/" + stamp + "_ECO_B.sha256";
        QCOMPARE(readFile(archivio + "/" + manifestoImportazione),
                 shell(archivio, "sha256sum IMG_9.JPG").second); // the image already there is not listed
        QCOMPARE(manifestiIn(archivio), (QStringList{stamp + "_ECO_A.sha256", stamp + "_ECO_B.sha256"}));
        QCOMPARE(env.logLines(),
                 (QStringList{prefisso +
                                  "Copia in Archivio: 8 copiati, 8 verificati, 1 rinominati, 0 errori, "
                                  "0 verifiche fallite; manifesto: " +
                                  manifestoCopia,
                              prefisso +
                                  "Auto-importazione da ECO_B: 1 nuova immagine, 1 già presenti, 0 "
                                  "errori, 0 verifiche fallite; manifesto: " +
                                  manifestoImportazione,
                              prefisso + "Auto-importazione da ECO_B: 0 nuove immagini, 2 già presenti, 0 "
                                         "errori, 0 verifiche fallite"}));

        for (const QString &m : {manifestoCopia, manifestoImportazione})
            QCOMPARE(shell(archivio, "sha256sum -c --strict " + m + " < /dev/null").first, 0);
        const int fd = ::open(QFile::encodeName(archivio) + "/caf\xE9.jpg", O_WRONLY);
        QVERIFY(fd >= 0 && ::pwrite(fd, "L", 1, 0) == 1 && ::close(fd) == 0);
        const auto [fallito, uscita] = shell(archivio, "sha256sum -c " + manifestoCopia + " < /dev/null");
        QCOMPARE(fallito, 1);
        QVERIFY2(uscita.contains("caf\xE9.jpg: FAILED") && uscita.count("OK") == 7, uscita.constData());
        QCOMPARE(shell(archivio, "sha256sum -c " + manifestoImportazione).first, 0);
        for (const QString &c : {eco, archivio}) // QTemporaryDir cannot remove a Latin-1 name
            shell(c, "rm -f caf* ./-");
    }

    // Whatever bytes a file system holds as a name come back as the very same
    // bytes through the program's names: stray bytes, U+FEFF, look-alikes of
    // UTF-8 that are not (overlong, surrogates, past U+10FFFF, cut short).
    void namesComeBackByteForByte()
    {
        QRandomGenerator caso(20240307);
        const QList<QByteArray> pezzi =
            QByteArray("a|.|\xEF\xBB\xBF|\xC3\xA9|\xF0\x9F\x98\x80|\xED\xA0\x80|\xC0\xAF|"
                       "\xF4\x90\x80\x80|\xEF\xBF\xBD|\xE2\x82")
                .split('|');
        for (int i = 0; i < 20000; ++i) {
            QByteArray nome;
            for (int k = caso.bounded(12); k > 0; --k)
                nome += caso.bounded(3) == 0 ? QByteArray(1, char(caso.bounded(1, 256)))
                                             : pezzi[caso.bounded(pezzi.size())];
            QCOMPARE(codificaNome(decodificaNome(nome)), nome);
        }
        QCOMPARE(decodificaNome("\xEF\xBB\xBFIMG\xEF\xBB\xBF.jpg"),
                 QStringView(u"\uFEFFIMG\uFEFF.jpg").toString());
    }

    // A copy that fails its verification stays out of the manifest; a
    // manifest never takes another's place; the stick's name is made safe.
    void onlyVerifiedCopiesAndNoOverwrite()
    {
        QTemporaryDir stick, archivio;
        for (const char *n : {"1.jpg", "2.jpg", "3.jpg"})
            QVERIFY(writeFile(stick.filePath(n), n));
        QString guastata;
        const Riferisci guasta = [&](const Avanzamento &a) {
            if (a.dettaglio && a.dettaglio->startsWith("Verifica 2 di 3 — ")) {
                guastata = a.dettaglio->section(" — ", 1);
                QVERIFY(writeFile(archivio.filePath(guastata), "cambiata dopo la copia"));
            }
        };
        QList<VoceManifesto> voci;
        const EsitoCopia e =
            FileCopyService::eseguiCopia(stick.path(), std::nullopt, archivio.path(), guasta, &voci);
        QCOMPARE(e.nonVerificati, QStringList{guastata});
        QCOMPARE(voci.size(), qsizetype(2));
        QVERIFY(std::none_of(voci.begin(), voci.end(),
                             [&](const VoceManifesto &v) { return v.nome == guastata; }));
        QCOMPARE(e.manifesto, EsitoManifesto{}); // the flow writes it, not the engine

        const QString primo = ".tessera-manifest/" + stamp + "_ECO.sha256";
        QCOMPARE(scriviManifesto(archivio.path(), "ECO", voci), (EsitoManifesto{primo, {}}));
        QCOMPARE(shell(archivio.path(), "sha256sum -c --strict " + primo).first, 0);
        const QByteArray scritto = readFile(archivio.filePath(primo));
        for (const char *atteso : {"_ECO_1.sha256", "_ECO_2.sha256"})
            QCOMPARE(scriviManifesto(archivio.path(), "ECO", voci).percorso,
                     ".tessera-manifest/" + stamp + atteso);
        QCOMPARE(readFile(archivio.filePath(primo)), scritto);
        QCOMPARE(scriviManifesto(archivio.path(), " A/B\tC\x7f ", voci).percorso,
                 ".tessera-manifest/" + stamp + "_A_B_C_.sha256");
        QCOMPARE(scriviManifesto(archivio.path(), "", voci).percorso,
                 ".tessera-manifest/" + stamp + "_chiavetta.sha256");
        QCOMPARE(scriviManifesto(archivio.path(), "ECO", {}), EsitoManifesto{});
        QCOMPARE(manifestiIn(archivio.path()).size(), qsizetype(5)); // no temporary left
    }

    // A manifest that cannot be written is told in words; the copy, verified,
    // stays a success.
    void unwritableManifestKeepsTheCopy_data()
    {
        QTest::addColumn<QByteArray>("tmpfs"); // empty: a read-only manifest folder
        QTest::addColumn<QString>("motivo");
        QTest::newRow("no inode left") << QByteArray("1m,nr_inodes=3") << "spazio esaurito sul disco";
        QTest::newRow("no block left") << QByteArray("64k") << "spazio esaurito sul disco";
        QTest::newRow("read-only folder") << QByteArray() << "il disco è in sola lettura";
    }
    void unwritableManifestKeepsTheCopy()
    {
        QFETCH(QByteArray, tmpfs);
        QFETCH(QString, motivo);
        if (!TestSupport::isRoot())
            QSKIP("mounting needs root");
        TestEnv env;
        MontaggioTmpfs disco(tmpfs.isEmpty() ? QByteArray("1m") : tmpfs);
        QVERIFY(disco.montato);
        const QString archivio = disco.punto.path(), manifesti = archivio + "/.tessera-manifest";
        if (tmpfs.isEmpty()) {
            QVERIFY(QDir().mkpath(manifesti));
            const QByteArray m = QFile::encodeName(manifesti);
            QCOMPARE(::mount(m, m, nullptr, MS_BIND, nullptr), 0);
            QCOMPARE(::mount(nullptr, m, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
        }
        QTemporaryDir stick;
        for (const char *n : {"a.jpg", "b.jpg"}) // together they fill the 64k disk
            QVERIFY(writeFile(stick.filePath(n), QByteArray(32 << 10, n[0])));
        QCoro::waitFor(FileCopyService::copia(env.servizi, stick.path(), archivio));
        if (tmpfs.isEmpty())
            ::umount2(QFile::encodeName(manifesti), MNT_DETACH);

        QCOMPARE(readFile(archivio + "/b.jpg"), QByteArray(32 << 10, 'b'));
        QCOMPARE(env.avvisi.mostrati.first().testo, "File copiati: 2\n✓ Verifica integrità: tutti i 2 file "
                                                    "sono identici agli originali.\n\n⚠️ "
                                                    "Manifesto SHA-256 non scritto: " +
                                                        motivo +
                                                        ". Le copie e la loro verifica restano valide.");
        QVERIFY2(env.logLines().first().endsWith(
                     "2 copiati, 2 verificati, 0 rinominati, 0 errori, 0 verifiche fallite; manifesto non "
                     "scritto: " +
                     motivo),
                 qPrintable(env.logLines().first()));
        QCOMPARE(manifestiIn(archivio), QStringList{}); // nothing half-written
    }
};

QTEST_GUILESS_MAIN(TestManifesto)
#include "TestManifesto.moc"
