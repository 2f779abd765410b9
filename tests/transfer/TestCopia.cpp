#include "app/USBMonitor.h"
#include "MontaggioTmpfs.h"
#include "operations/Orologio.h"
#include "settings/Colori.h"
#include "support/FakeVolumeSource.h"
#include "support/TestEnv.h"
#include "transfer/ComandiCopia.h"
#include "transfer/FileCopyService.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
const QDateTime istante(QDate(2024, 3, 7), QTime(9, 5, 31));
const QString stamp = QStringLiteral("2024-03-07_09-05-31");
const QString prefissoRegistro = QStringLiteral("[2024-03-07 09:05:31] ");

QStringList tuttoIn(const QString &cartella) // hidden entries included, code point order
{
    QStringList r = QDir(cartella).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    r.sort();
    return r;
}

QStringList nomi(int quanti, const QString &modello)
{
    QStringList r;
    for (int i = 1; i <= quanti; ++i)
        r << modello.arg(i);
    return r;
}

struct Chiamata {
    std::optional<double> frazione;
    std::optional<QString> dettaglio;
    std::optional<QString> titolo;
    bool operator==(const Chiamata &) const = default;
};

// Records what the card goes through during a run.
struct OsservaScheda {
    QList<CentroOperazioni::Operazione> stati;
    int rilasci = 0;
    explicit OsservaScheda(CentroOperazioni &centro)
    {
        QObject::connect(&centro, &CentroOperazioni::attualeChanged, &centro, [this, &centro] {
            if (centro.attuale())
                stati << *centro.attuale();
            else
                ++rilasci;
        });
    }
    QStringList dettagli() const
    {
        QStringList r;
        for (const auto &s : stati) {
            if (s.dettaglio && (r.isEmpty() || r.last() != *s.dettaglio))
                r << *s.dettaglio;
        }
        return r;
    }
};

void copia(TestEnv &env, const QString &sorgente, std::optional<QSet<QString>> estensioni = std::nullopt)
{
    QCoro::waitFor(FileCopyService::shared().copia(sorgente, env.settings->destinationPath(),
                                                   std::move(estensioni), env.servizi));
}
} // namespace

class TestCopia : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Orologio::imposta([] { return istante; });
    }
    void cleanup() { Orologio::imposta({}); }

    void flatCopyNeverOverwrites()
    {
        TestEnv env;
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("a/foto.jpg"), "prima foto"));
        QVERIFY(writeFile(stick.filePath("b/foto.jpg"), "seconda foto"));
        QVERIFY(writeFile(stick.filePath("c.txt"), "testo"));
        QVERIFY(writeFile(stick.filePath("README"), "nuovo readme"));
        QVERIFY(writeFile(stick.filePath("._foto.jpg"), "apple double"));
        QVERIFY(writeFile(stick.filePath(".Trashes/501/x.jpg"), "cestino"));
        const QString archivio = env.settings->destinationPath();
        QVERIFY(writeFile(archivio + "/README", "readme archiviato"));

        OsservaScheda scheda(env.centro);
        bool schedaVisibileDuranteAvviso = true;
        qsizetype righeDuranteAvviso = -1;
        env.avvisi.duranteAvviso = [&](const RichiestaAvviso &) {
            schedaVisibileDuranteAvviso = env.centro.occupato();
            righeDuranteAvviso = env.logLines().size();
        };
        copia(env, stick.path());

        QCOMPARE(tuttoIn(archivio),
                 (QStringList{"README", "README_" + stamp, "c.txt", "foto.jpg", "foto_" + stamp + ".jpg"}));
        QCOMPARE(readFile(archivio + "/README"), QByteArray("readme archiviato"));
        QCOMPARE(readFile(archivio + "/README_" + stamp), QByteArray("nuovo readme"));
        QCOMPARE(readFile(archivio + "/foto.jpg"), QByteArray("prima foto"));
        QCOMPARE(readFile(archivio + "/foto_" + stamp + ".jpg"), QByteArray("seconda foto"));

        QCOMPARE(env.avvisi.mostrati.size(), 1);
        const RichiestaAvviso &avviso = env.avvisi.mostrati.first();
        QCOMPARE(avviso.titolo, QString("Copia completata"));
        QCOMPARE(avviso.stile, StileAvviso::informativo);
        QCOMPARE(avviso.testo,
                 QString("File copiati: 4\n✓ Verifica integrità: tutti i 4 file sono identici agli "
                         "originali.\n\n⚠️ 2 file erano già presenti nella destinazione e sono stati "
                         "rinominati con timestamp (entrambe le versioni mantenute):\n\nREADME, foto.jpg"));
        QVERIFY(!schedaVisibileDuranteAvviso);
        QCOMPARE(righeDuranteAvviso, 0); // the log line follows the dismissed alert
        QCOMPARE(
            env.logLines(),
            QStringList{
                prefissoRegistro +
                "Copia in Archivio: 4 copiati, 4 verificati, 2 rinominati, 0 errori, 0 verifiche fallite"});

        QVERIFY(!scheda.stati.isEmpty());
        const CentroOperazioni::Operazione primo = scheda.stati.first();
        QCOMPARE(primo, (CentroOperazioni::Operazione{"Copia in Archivio…", std::nullopt, std::nullopt,
                                                      "doc.on.doc.fill", Colori::green()}));
        QCOMPARE(scheda.rilasci, 1);
        QVERIFY(!env.centro.occupato());
        QCOMPARE(scheda.dettagli(),
                 (QStringList{"1 di 4 — README", "2 di 4 — foto.jpg", "3 di 4 — foto.jpg", "4 di 4 — c.txt",
                              "Verifica 1 di 4 — README", "Verifica 2 di 4 — foto.jpg",
                              "Verifica 3 di 4 — foto.jpg", "Verifica 4 di 4 — c.txt"}));
        QCOMPARE(scheda.stati.last().titolo, QString("Verifica copia…"));
    }

    // The same stick twice: every file again, under the next free suffix.
    void secondRunTakesNextSuffixes()
    {
        TestEnv env;
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("x.jpg"), "1"));
        QVERIFY(writeFile(stick.filePath("sub/x.jpg"), "2"));
        const QString archivio = env.settings->destinationPath();

        const EsitoCopia primo = FileCopyService::eseguiCopia(stick.path(), std::nullopt, archivio);
        QCOMPARE(primo.nomiRinominati, QStringList{"x.jpg"});
        const EsitoCopia secondo = FileCopyService::eseguiCopia(stick.path(), std::nullopt, archivio);
        QCOMPARE(secondo.copiati, 2);
        QCOMPARE(secondo.rinominati, 2);
        QCOMPARE(secondo.verificati, 2);
        QCOMPARE(secondo.nomiRinominati, (QStringList{"x.jpg", "x.jpg"}));
        QCOMPARE(tuttoIn(archivio), (QStringList{"x.jpg", "x_" + stamp + ".jpg", "x_" + stamp + "_1.jpg",
                                                 "x_" + stamp + "_2.jpg"}));
        QCOMPARE(readFile(archivio + "/x_" + stamp + "_1.jpg"), QByteArray("2")); // sub/ sorts after x.jpg
        QCOMPARE(readFile(archivio + "/x_" + stamp + "_2.jpg"), QByteArray("1"));
    }

    void progressReports_data()
    {
        QTest::addColumn<QList<int>>("dimensioni");
        QTest::addColumn<QList<double>>("frazioni");
        QTest::newRow("weighted by bytes") << QList<int>{100, 300, 600} << QList<double>{0, 0.1, 0.4};
        QTest::newRow("all empty: by count") << QList<int>{0, 0, 0} << QList<double>{0, 1.0 / 3, 2.0 / 3};
    }

    void progressReports()
    {
        QFETCH(QList<int>, dimensioni);
        QFETCH(QList<double>, frazioni);
        QTemporaryDir stick, archivio;
        const QStringList n{"a", "b", "c"};
        for (int i = 0; i < 3; ++i)
            QVERIFY(writeFile(stick.filePath(n[i]), QByteArray(dimensioni[i], 'x')));
        QList<Chiamata> chiamate;
        const EsitoCopia e = FileCopyService::eseguiCopia(
            stick.path(), std::nullopt, archivio.path(),
            [&](std::optional<double> f, std::optional<QString> d, std::optional<QString> t) {
                chiamate << Chiamata{f, d, t};
            });
        QCOMPARE(e.verificati, 3);
        const QList<Chiamata> attese{
            {frazioni[0], "1 di 3 — a", std::nullopt},      {frazioni[1], "2 di 3 — b", std::nullopt},
            {frazioni[2], "3 di 3 — c", std::nullopt},      {0.0, std::nullopt, "Verifica copia…"},
            {0.0, "Verifica 1 di 3 — a", std::nullopt},     {1.0 / 3, "Verifica 2 di 3 — b", std::nullopt},
            {2.0 / 3, "Verifica 3 di 3 — c", std::nullopt},
        };
        QCOMPARE(chiamate, attese);
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
        TestEnv env;
        QTemporaryDir stick;
        for (const char *n : {"IMG.JPG", "b.jpeg", "c.Png", "d.mp4", "clip.MOV", "e.pdf", "f.jpg.txt",
                              "README", "jpg", "g.jpg.bak"})
            QVERIFY(writeFile(stick.filePath(n), n));
        FakeVolumeSource volumi;
        volumi.add({stick.path(), true, QString("USB")});
        USBMonitor monitor(&volumi, env.settings.get());
        QCoro::waitFor(copiaFiltrato(monitor, categoria, env.servizi));
        QCOMPARE(tuttoIn(env.settings->destinationPath()), attesi);
    }

    void commandsUseTheLastStick()
    {
        TestEnv env;
        QTemporaryDir primo, ultimo;
        QVERIFY(writeFile(primo.filePath("primo.jpg"), "1"));
        QVERIFY(writeFile(ultimo.filePath("ultimo.mp4"), "2"));
        env.settings->setDestinationPath(env.path("Documenti/Studio/Ecografie"));
        QVERIFY(QDir(env.path("Documenti")).removeRecursively()); // the copy must create it
        FakeVolumeSource volumi;
        USBMonitor monitor(&volumi, env.settings.get());

        QCoro::waitFor(copiaTutto(monitor, env.servizi));
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QCOMPARE(env.avvisi.mostrati.first().titolo, QString("Nessuna USB"));
        QCOMPARE(env.avvisi.mostrati.first().testo, QString("Non ci sono USB inserite."));
        QCOMPARE(env.avvisi.mostrati.first().stile, StileAvviso::informativo);
        QVERIFY(!QFileInfo::exists(env.settings->destinationPath()));
        QVERIFY(env.logLines().isEmpty());

        volumi.add({primo.path(), true, QString("A")});
        volumi.add({ultimo.path(), true, QString("B")});
        USBMonitor dueChiavette(&volumi, env.settings.get());
        QCoro::waitFor(copiaTutto(dueChiavette, env.servizi));
        QCOMPARE(tuttoIn(env.settings->destinationPath()), QStringList{"ultimo.mp4"});

        // Nothing of the category on the stick: the ordinary summary with zeros.
        QCoro::waitFor(copiaFiltrato(dueChiavette, CategoriaFile::immagini, env.servizi));
        QCOMPARE(env.avvisi.mostrati.last().testo, QString("File copiati: 0"));
        QCOMPARE(env.logLines().last(), prefissoRegistro + "Copia in Ecografie: 0 copiati, 0 verificati, 0 "
                                                           "rinominati, 0 errori, 0 verifiche fallite");
    }

    void summaryText_data()
    {
        QTest::addColumn<EsitoCopia>("esito");
        QTest::addColumn<QString>("atteso");

        QTest::newRow("empty stick") << EsitoCopia{} << "File copiati: 0";
        QTest::newRow("all verified")
            << EsitoCopia{3, 0, 0, {}, 3, {}}
            << "File copiati: 3\n✓ Verifica integrità: tutti i 3 file sono identici agli "
               "originali.";
        QTest::newRow("nine failed verification: eight names, no tail")
            << EsitoCopia{9, 0, 0, {}, 0, nomi(9, "v%1.jpg")}
            << "File copiati: 9\n\n❌ ATTENZIONE: 9 file NON hanno superato la verifica di integrità "
               "(possibile "
               "corruzione):\nv1.jpg, v2.jpg, v3.jpg, v4.jpg, v5.jpg, v6.jpg, v7.jpg, v8.jpg\nNon cancellare "
               "gli "
               "originali dalla chiavetta e riprova la copia.";
        QTest::newRow("twelve renamed: eight names and the rest")
            << EsitoCopia{12, 12, 0, nomi(12, "r%1.jpg"), 12, {}}
            << "File copiati: 12\n✓ Verifica integrità: tutti i 12 file sono identici agli "
               "originali.\n\n⚠️ 12 file "
               "erano già presenti nella destinazione e sono stati rinominati con timestamp (entrambe le "
               "versioni "
               "mantenute):\n\nr1.jpg, r2.jpg, r3.jpg, r4.jpg, r5.jpg, r6.jpg, r7.jpg, r8.jpg e altri 4...";
        QTest::newRow("eight renamed: no tail") << EsitoCopia{8, 8, 0, nomi(8, "r%1"), 8, {}}
                                                << "File copiati: 8\n✓ Verifica integrità: tutti i 8 file "
                                                   "sono identici agli originali.\n\n⚠️ 8 file "
                                                   "erano già presenti nella destinazione e sono stati "
                                                   "rinominati con timestamp (entrambe le versioni "
                                                   "mantenute):\n\nr1, r2, r3, r4, r5, r6, r7, r8";
        QTest::newRow("only errors") << EsitoCopia{0, 0, 2, {}, 0, {}}
                                     << "File copiati: 0\n\n❌ Errori durante la copia: 2";
        QTest::newRow("everything at once")
            << EsitoCopia{3, 1, 1, {"doppio.jpg"}, 2, {"rotto.jpg"}}
            << "File copiati: 3\n\n❌ ATTENZIONE: 1 file NON hanno superato la verifica di integrità "
               "(possibile "
               "corruzione):\nrotto.jpg\nNon cancellare gli originali dalla chiavetta e riprova la "
               "copia.\n\n⚠️ 1 "
               "file erano già presenti nella destinazione e sono stati rinominati con timestamp (entrambe "
               "le "
               "versioni mantenute):\n\ndoppio.jpg\n\n❌ Errori durante la copia: 1";
    }

    void summaryText()
    {
        QFETCH(EsitoCopia, esito);
        QFETCH(QString, atteso);
        QCOMPARE(FileCopyService::testoRiepilogo(esito), atteso);
    }

    void logLine_data()
    {
        QTest::addColumn<QString>("destinazione");
        QTest::addColumn<QString>("atteso");
        const EsitoCopia e{5, 2, 1, {"a", "b"}, 3, {"c", "d"}};
        QTest::newRow("plain")
            << "/home/u/Documenti/Ecografie"
            << "Copia in Ecografie: 5 copiati, 3 verificati, 2 rinominati, 1 errori, 2 verifiche "
               "fallite";
        QTest::newRow("trailing slash")
            << "/home/u/Ecografie/"
            << "Copia in Ecografie: 5 copiati, 3 verificati, 2 rinominati, 1 errori, 2 "
               "verifiche fallite";
        QTest::newRow("percent signs stay")
            << "/home/u/Studio %2 %1"
            << "Copia in Studio %2 %1: 5 copiati, 3 verificati, 2 rinominati, 1 "
               "errori, 2 verifiche fallite";
    }

    void logLine()
    {
        QFETCH(QString, destinazione);
        QFETCH(QString, atteso);
        QCOMPARE(FileCopyService::rigaRegistro(destinazione, EsitoCopia{5, 2, 1, {"a", "b"}, 3, {"c", "d"}}),
                 atteso);
    }

    void refusedBeforeStarting_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::newRow("destination is a file") << "file";
        QTest::newRow("destination below a file") << "sotto-file";
        QTest::newRow("another operation running") << "occupato";
    }

    void refusedBeforeStarting()
    {
        QFETCH(QString, caso);
        TestEnv env;
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("a.jpg"), "a"));
        QVERIFY(writeFile(env.path("occupato"), "un file"));
        if (caso == "file")
            env.settings->setDestinationPath(env.path("occupato"));
        else if (caso == "sotto-file")
            env.settings->setDestinationPath(env.path("occupato/Ecografie"));
        const CentroOperazioni::Operazione altra{"Sincronizzazione…", std::nullopt, 0.5,
                                                 "arrow.triangle.2.circlepath", Colori::blue()};
        if (caso == "occupato")
            env.centro.setAttuale(altra);
        OsservaScheda scheda(env.centro);

        copia(env, stick.path());

        QCOMPARE(env.avvisi.mostrati.size(), 1);
        const RichiestaAvviso &a = env.avvisi.mostrati.first();
        if (caso == "occupato") {
            QCOMPARE(a.titolo, QString("Operazione in corso"));
            QCOMPARE(a.testo, QString("C'è già una copia o sincronizzazione in corso. Attendi che finisca."));
            QCOMPARE(a.stile, StileAvviso::informativo);
            QCOMPARE(env.centro.attuale(), std::optional(altra));
            QVERIFY(QFileInfo(env.settings->destinationPath()).isDir()); // created before the busy test
            QVERIFY(tuttoIn(env.settings->destinationPath()).isEmpty());
        } else {
            QCOMPARE(a.titolo, QString("Errore"));
            QCOMPARE(a.testo,
                     QString("Impossibile accedere alla cartella di destinazione:\n“%1” esiste già e non è "
                             "una cartella.")
                         .arg(env.path("occupato")));
            QCOMPARE(a.stile, StileAvviso::avvertenza);
            QCOMPARE(readFile(env.path("occupato")), QByteArray("un file"));
        }
        QVERIFY(scheda.stati.isEmpty());
        QCOMPARE(scheda.rilasci, 0);
        QVERIFY(env.logLines().isEmpty());
    }

    void destinationFillsUp()
    {
        if (!TestSupport::isRoot())
            QSKIP("mounting a small tmpfs needs root");
        TestEnv env;
        MontaggioTmpfs piccolo("1m");
        QVERIFY(piccolo.montato);
        env.settings->setDestinationPath(piccolo.punto.path());
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("a.bin"), QByteArray(300 << 10, 'a')));
        QVERIFY(writeFile(stick.filePath("b.bin"), QByteArray(900 << 10, 'b'))); // no longer fits
        QVERIFY(writeFile(stick.filePath("c.bin"), QByteArray(100 << 10, 'c')));

        copia(env, stick.path());

        QCOMPARE(tuttoIn(piccolo.punto.path()),
                 (QStringList{"a.bin", "c.bin"})); // nothing partial, nothing hidden
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QCOMPARE(
            env.avvisi.mostrati.first().testo,
            QString(
                "File copiati: 2\n✓ Verifica integrità: tutti i 2 file sono identici agli originali.\n\n❌ "
                "Errori durante la copia: 1"));
        QVERIFY(env.logLines().last().endsWith(
            "2 copiati, 2 verificati, 0 rinominati, 1 errori, 0 verifiche fallite"));
        QVERIFY(!env.centro.occupato());
    }

    // Between the listing and the copy the stick can change under our feet.
    void sourceChangesAfterListing()
    {
        QTemporaryDir stick, archivio;
        for (const char *n :
             {"1-ok.jpg", "2-sparito.jpg", "3-fifo.jpg", "4-link.jpg", "5-cartella.jpg", "6-ok.jpg"})
            QVERIFY(writeFile(stick.filePath(n), n));
        const auto sostituisci = [&](const QString &dettaglio) {
            const auto f = [&](const char *n) { return QFile::encodeName(stick.filePath(n)); };
            if (dettaglio.startsWith("2 di")) {
                ::unlink(f("2-sparito.jpg"));
            } else if (dettaglio.startsWith("3 di")) {
                ::unlink(f("3-fifo.jpg"));
                ::mkfifo(f("3-fifo.jpg"), 0644); // nobody will ever write into it
            } else if (dettaglio.startsWith("4 di")) {
                ::unlink(f("4-link.jpg"));
                ::symlink("/dev/zero", f("4-link.jpg")); // endless
            } else if (dettaglio.startsWith("5 di")) {
                ::unlink(f("5-cartella.jpg"));
                ::mkdir(f("5-cartella.jpg"), 0755);
            }
        };
        const EsitoCopia e = FileCopyService::eseguiCopia(
            stick.path(), std::nullopt, archivio.path(),
            [&](std::optional<double>, std::optional<QString> d, std::optional<QString>) {
                if (d)
                    sostituisci(*d);
            });
        QCOMPARE(e, (EsitoCopia{2, 0, 4, {}, 2, {}}));
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
        const EsitoCopia e = FileCopyService::eseguiCopia(
            stick.punto.path(), std::nullopt, archivio.path(),
            [&](std::optional<double>, std::optional<QString> d, std::optional<QString>) {
                if (d && d->startsWith("2 di"))
                    stick.stacca();
            });
        // The one copy made cannot be checked against a stick that is gone.
        QCOMPARE(e, (EsitoCopia{1, 0, 2, {}, 0, {"a.jpg"}}));
        QCOMPARE(tuttoIn(archivio.path()), QStringList{"a.jpg"});
        QVERIFY(FileCopyService::testoRiepilogo(e).contains("Non cancellare gli originali"));
    }

    // Awkward names survive byte for byte; what is not a regular file is never opened.
    void awkwardStick()
    {
        QTemporaryDir stick, altrove, archivio;
        const QString nfc = QString("caffè.jpg").normalized(QString::NormalizationForm_C);
        const QString nfd = QString("caffè.jpg").normalized(QString::NormalizationForm_D);
        QString lungo = QString(250, 'L') + ".jpg";
        QStringList regolari{nfc, nfd, lungo, "riga\nnuova.jpg", "100% \"vero\" 'davvero'.jpg", "%1%2.jpg"};
        for (const QString &n : regolari)
            QVERIFY(writeFile(stick.filePath(n), n.toUtf8()));
        QFile enorme(altrove.filePath("enorme.bin"));
        QVERIFY(enorme.open(QIODevice::WriteOnly) && enorme.resize(qint64(8) << 30)); // sparse
        enorme.close();
        QVERIFY(QFile::link(enorme.fileName(), stick.filePath("enorme.jpg")));
        QVERIFY(QFile::link("/dev/zero", stick.filePath("zero.jpg")));
        QVERIFY(QFile::link(stick.filePath("giro1"), stick.filePath("giro2")));
        QVERIFY(QFile::link(stick.filePath("giro2"), stick.filePath("giro1")));
        QVERIFY(QFile::link(stick.path(), stick.filePath("se-stessa")));
        QCOMPARE(::mkfifo(QFile::encodeName(stick.filePath("tubo.jpg")), 0644), 0);
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray percorsoSocket = QFile::encodeName(stick.filePath("presa.jpg"));
        memcpy(a.sun_path, percorsoSocket.constData(), size_t(percorsoSocket.size()));
        QCOMPARE(::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
        ::close(s);

        const EsitoCopia e = FileCopyService::eseguiCopia(stick.path(), std::nullopt, archivio.path());
        QCOMPARE(e.copiati, regolari.size());
        QCOMPARE(e.verificati, regolari.size());
        QCOMPARE(e.errori, 0);
        regolari.sort();
        QCOMPARE(tuttoIn(archivio.path()), regolari);
        for (const QString &n : std::as_const(regolari))
            QCOMPARE(readFile(QDir(archivio.path()).filePath(n)), n.toUtf8());
    }

    // The copy runs off the main thread: the panel keeps answering meanwhile.
    void mainLoopKeepsTicking()
    {
        TestEnv env;
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("grande.bin"), QByteArray(96 << 20, 'g')));
        QVERIFY(writeFile(stick.filePath("piccolo.bin"), "p"));
        int battitiDuranteCopia = 0;
        QTimer orologio;
        orologio.setInterval(5);
        QObject::connect(&orologio, &QTimer::timeout, [&] {
            if (env.centro.occupato())
                ++battitiDuranteCopia;
        });
        orologio.start();
        copia(env, stick.path());
        orologio.stop();
        QVERIFY2(battitiDuranteCopia >= 3, qPrintable(QString::number(battitiDuranteCopia)));
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QVERIFY(env.avvisi.mostrati.first().testo.startsWith("File copiati: 2\n✓"));
    }
};

QTEST_GUILESS_MAIN(TestCopia)
#include "TestCopia.moc"
