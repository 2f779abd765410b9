#include "actions/CloneUSBAction.h"
#include "app/USBMonitor.h"
#include "MontaggioTmpfs.h"
#include "operations/Orologio.h"
#include "settings/Colori.h"
#include "support/FakeVolumeSource.h"
#include "support/TestEnv.h"
#include "transfer/CloneUSBService.h"

#include <QCoro/QCoroTask>
#include <QDirIterator>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <sys/fsuid.h>
#include <sys/stat.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
const QDateTime primaVolta(QDate(2024, 5, 2), QTime(10, 20, 30));
const QDateTime secondaVolta(QDate(2024, 5, 2), QTime(10, 25, 0));
const QString stamp1 = QStringLiteral("2024-05-02_10-20-30");
const QString stamp2 = QStringLiteral("2024-05-02_10-25-00");

// A file's content in a test table; this value marks a file nobody may read.
const QByteArray illeggibile("<illeggibile>");

using Albero = QMap<QString, QByteArray>; // relative path -> bytes

void pianta(const QString &radice, const Albero &albero)
{
    for (auto it = albero.cbegin(); it != albero.cend(); ++it)
        QVERIFY(writeFile(QDir(radice).filePath(it.key()), it.value()));
}

// Everything under `radice`, hidden entries included, so a stray temporary shows.
Albero leggi(const QString &radice)
{
    Albero albero;
    QDirIterator it(radice, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        albero.insert(QDir(radice).relativeFilePath(file), readFile(file));
    }
    return albero;
}

QStringList relativi(const QString &radice, const QStringList &file)
{
    QStringList r;
    for (const QString &f : file)
        r << QDir(radice).relativeFilePath(f);
    r.sort();
    return r;
}

USBDrive stick(const QString &percorso, const QString &nome)
{
    return USBDrive{QUuid::createUuid(), QUrl::fromLocalFile(percorso), nome, QDateTime::currentDateTime()};
}

// Files with mode 000 that even root cannot open: as root, this thread's file
// system identity becomes "nobody" (which drops the capability to ignore
// permissions) until the guard goes.
class LetturaNegata {
public:
    LetturaNegata(const QStringList &radici, const QStringList &file)
    {
        for (const QString &r : radici)
            ::chmod(QFile::encodeName(r).constData(), 0755);
        for (const QString &f : file)
            ::chmod(QFile::encodeName(f).constData(), 0);
        if (TestSupport::isRoot())
            ::setfsuid(65534);
    }
    ~LetturaNegata()
    {
        if (TestSupport::isRoot())
            ::setfsuid(0);
    }
};

QString testoConferma(const QString &a, const QString &b, int nAB, int nBA, int nC, int nI)
{
    return QStringLiteral(
               "Sincronizzazione bidirezionale tra:\n• %1\n• %2\n\nOperazioni previste:\n"
               "• %3 file da copiare verso %2\n• %4 file da copiare verso %1\n"
               "• %5 conflitti (file con stesso nome ma contenuto diverso)\n"
               "• %6 file già identici (saranno saltati)\n\n"
               "I conflitti verranno risolti mantenendo entrambe le versioni: la copia ricevuta avrà "
               "un timestamp aggiunto al nome.\nProcedere?")
        .arg(a, b)
        .arg(nAB)
        .arg(nBA)
        .arg(nC)
        .arg(nI);
}

// Two sticks, CLINICA (A) and STUDIO (B), in a private world.
struct Banco {
    Banco()
    {
        Orologio::imposta([] { return primaVolta; });
    }
    ~Banco() { Orologio::imposta({}); }

    QString a() const { return dirA.path(); }
    QString b() const { return dirB.path(); }
    void sincronizza()
    {
        QCoro::waitFor(CloneUSBService::shared().sincronizza(
            env.servizi, stick(a(), QStringLiteral("CLINICA")), stick(b(), QStringLiteral("STUDIO"))));
    }
    const RichiestaAvviso &ultimoAvviso() const { return env.avvisi.mostrati.last(); }

    TestEnv env;
    QTemporaryDir dirA;
    QTemporaryDir dirB;
};
} // namespace

class TestSincronizzazione : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void piano_data()
    {
        QTest::addColumn<Albero>("alberoA");
        QTest::addColumn<Albero>("alberoB");
        QTest::addColumn<QStringList>("soloA");
        QTest::addColumn<QStringList>("soloB");
        QTest::addColumn<QStringList>("conflitti");
        QTest::addColumn<int>("identici");

        const QString nfc = QStringLiteral("Càrtella/Eco è.jpg").normalized(QString::NormalizationForm_C);
        const QString nfd = QStringLiteral("Càrtella/Eco è.jpg").normalized(QString::NormalizationForm_D);
        QVERIFY(nfc != nfd);

        QTest::newRow("sticks vuote")
            << Albero{} << Albero{} << QStringList{} << QStringList{} << QStringList{} << 0;
        QTest::newRow("disgiunte") << Albero{{"a.jpg", "1"}, {"DCIM/x.jpg", "2"}}
                                   << Albero{{"b.jpg", "3"}, {"Nuova/y.jpg", "4"}}
                                   << QStringList{"DCIM/x.jpg", "a.jpg"}
                                   << QStringList{"Nuova/y.jpg", "b.jpg"} << QStringList{} << 0;
        QTest::newRow("stessa dimensione, byte diversi")
            << Albero{{"DCIM/IMG.JPG", "aaaa"}} << Albero{{"DCIM/IMG.JPG", "aaab"}} << QStringList{}
            << QStringList{} << QStringList{"DCIM/IMG.JPG"} << 0;
        QTest::newRow("dimensioni diverse") << Albero{{"r.pdf", "abc"}} << Albero{{"r.pdf", "abcd"}}
                                            << QStringList{} << QStringList{} << QStringList{"r.pdf"} << 0;
        QTest::newRow("uguali") << Albero{{"r.pdf", "abc"}, {"vuoto.txt", ""}}
                                << Albero{{"r.pdf", "abc"}, {"vuoto.txt", ""}} << QStringList{}
                                << QStringList{} << QStringList{} << 2;
        QTest::newRow("illeggibili da entrambe le parti")
            << Albero{{"x.bin", illeggibile}} << Albero{{"x.bin", illeggibile}} << QStringList{}
            << QStringList{} << QStringList{} << 1;
        QTest::newRow("leggibile da una parte sola")
            << Albero{{"x.bin", illeggibile}} << Albero{{"x.bin", QByteArray(illeggibile.size(), 'x')}}
            << QStringList{} << QStringList{} << QStringList{"x.bin"} << 0;
        QTest::newRow("maiuscole diverse")
            << Albero{{"DCIM/IMG.JPG", "1"}} << Albero{{"dcim/img.jpg", "1"}} << QStringList{"DCIM/IMG.JPG"}
            << QStringList{"dcim/img.jpg"} << QStringList{} << 0;
        QTest::newRow("NFC e NFD, stesso contenuto") << Albero{{nfc, "eco"}} << Albero{{nfd, "eco"}}
                                                     << QStringList{} << QStringList{} << QStringList{} << 1;
        QTest::newRow("NFC e NFD, contenuto diverso")
            << Albero{{nfd, "eco1"}} << Albero{{nfc, "eco2"}} << QStringList{} << QStringList{}
            << QStringList{nfc} << 0;
        QTest::newRow("file nascosti ignorati")
            << Albero{{"._IMG.JPG", "m"}, {".Trashes/501/x.jpg", "t"}, {"IMG.JPG", "1"}}
            << Albero{{".Spotlight-V100/store.db", "s"}, {"DCIM/.nascosto", "n"}} << QStringList{"IMG.JPG"}
            << QStringList{} << QStringList{} << 0;
    }
    void piano()
    {
        QFETCH(Albero, alberoA);
        QFETCH(Albero, alberoB);
        QFETCH(QStringList, soloA);
        QFETCH(QStringList, soloB);
        QFETCH(QStringList, conflitti);
        QFETCH(int, identici);

        QTemporaryDir a, b;
        pianta(a.path(), alberoA);
        pianta(b.path(), alberoB);
        QStringList negati;
        for (const auto &[radice, albero] : {std::pair{a.path(), alberoA}, std::pair{b.path(), alberoB}}) {
            for (auto it = albero.cbegin(); it != albero.cend(); ++it) {
                if (it.value() == illeggibile)
                    negati << QDir(radice).filePath(it.key());
            }
        }
        PianoSincronizzazione piano;
        {
            LetturaNegata guardia({a.path(), b.path()}, negati);
            piano = CloneUSBService::pianifica(a.path(), b.path());
        }

        QCOMPARE(relativi(a.path(), piano.copyAtoB), soloA);
        QCOMPARE(relativi(b.path(), piano.copyBtoA), soloB);
        QStringList trovati;
        for (const auto &c : std::as_const(piano.conflicts)) {
            trovati << c.relativePath;
            QCOMPARE(QDir(a.path()).relativeFilePath(c.fileA).normalized(QString::NormalizationForm_C),
                     c.relativePath);
            QCOMPARE(QDir(b.path()).relativeFilePath(c.fileB).normalized(QString::NormalizationForm_C),
                     c.relativePath);
        }
        trovati.sort();
        QCOMPARE(trovati, conflitti);
        QCOMPARE(piano.identical, identici);
    }

    void nomeConSuffisso_data()
    {
        QTest::addColumn<QString>("percorso");
        QTest::addColumn<QString>("atteso");
        QTest::newRow("in una cartella") << "DCIM/IMG_0001.JPG"
                                         << "DCIM/IMG_0001_da_X_1.JPG";
        QTest::newRow("in cima") << "IMG.JPG"
                                 << "IMG_da_X_1.JPG";
        QTest::newRow("senza estensione") << "README"
                                          << "README_da_X_1";
        QTest::newRow("punto solo nella cartella") << "v1.2/README"
                                                   << "v1.2/README_da_X_1";
        QTest::newRow("due punti") << "archivio.tar.gz"
                                   << "archivio.tar_da_X_1.gz";
    }
    void nomeConSuffisso()
    {
        QFETCH(QString, percorso);
        QFETCH(QString, atteso);
        QCOMPARE(CloneUSBService::nomeConSuffisso(percorso, QStringLiteral("_da_X_1")), atteso);
    }

    // The whole flow twice: texts, cards, files, log lines.
    void sincronizzaDueVolte()
    {
        Banco t;
        pianta(t.a(),
               {{"DCIM/IMG.JPG", "versione A"}, {"solo_a.txt", "a"}, {"uguale.txt", "="}, {"README", "ra"}});
        pianta(t.b(), {{"DCIM/IMG.JPG", "versione B!"},
                       {"foto/nuove/solo_b.jpg", "b"},
                       {"uguale.txt", "="},
                       {"README", "rb"}});
        QStringList titoli;
        connect(&t.env.centro, &CentroOperazioni::attualeChanged, this, [&] {
            const QString titolo =
                t.env.centro.attuale() ? t.env.centro.attuale()->titolo : QStringLiteral("-");
            if (titoli.isEmpty() || titoli.last() != titolo)
                titoli << titolo;
            if (t.env.centro.attuale()) {
                QCOMPARE(t.env.centro.attuale()->icona, QStringLiteral("arrow.triangle.2.circlepath"));
                QCOMPARE(t.env.centro.attuale()->colore, Colori::indigo());
            }
        });
        bool schedaDuranteConferma = true;
        t.env.avvisi.duranteAvviso = [&](const RichiestaAvviso &r) {
            if (r.titolo == QStringLiteral("Conferma sincronizzazione"))
                schedaDuranteConferma = t.env.centro.occupato();
            else
                QVERIFY(!t.env.centro.occupato()); // the card is gone before the result shows
        };

        t.sincronizza();

        QCOMPARE(titoli, (QStringList{"Analisi di CLINICA e STUDIO…", "-",
                                      "Sincronizzazione CLINICA ↔ STUDIO…", "-"}));
        QVERIFY(!schedaDuranteConferma);
        QCOMPARE(t.env.avvisi.mostrati.size(), 2);
        const RichiestaAvviso &conferma = t.env.avvisi.mostrati[0];
        QCOMPARE(conferma.titolo, QStringLiteral("Conferma sincronizzazione"));
        QCOMPARE(conferma.testo, testoConferma("CLINICA", "STUDIO", 1, 1, 2, 1));
        QCOMPARE(conferma.stile, StileAvviso::avvertenza);
        QCOMPARE(conferma.pulsanti, (QStringList{"Procedi", "Annulla"}));
        QCOMPARE(t.ultimoAvviso().titolo, QStringLiteral("Sincronizzazione USB"));
        QCOMPARE(t.ultimoAvviso().stile, StileAvviso::informativo);
        QCOMPARE(
            t.ultimoAvviso().testo,
            QStringLiteral(
                "Sincronizzazione completata.\n\n• 1 file copiati in STUDIO\n• 1 file copiati in CLINICA\n"
                "• 2 conflitti risolti (entrambe le versioni mantenute con timestamp)\n"
                "• 1 file erano già identici\n"));
        QCOMPARE(t.env.logLines(),
                 QStringList{"[2024-05-02 10:20:30] Sincronizzazione CLINICA ↔ STUDIO: 1+1 file "
                             "copiati, 2 conflitti risolti, 0 errori"});
        // Nothing replaced; each stick holds the other's version beside its own.
        QCOMPARE(leggi(t.a()), (Albero{{"DCIM/IMG.JPG", "versione A"},
                                       {"DCIM/IMG_da_STUDIO_" + stamp1 + ".JPG", "versione B!"},
                                       {"README", "ra"},
                                       {"README_da_STUDIO_" + stamp1, "rb"},
                                       {"foto/nuove/solo_b.jpg", "b"},
                                       {"solo_a.txt", "a"},
                                       {"uguale.txt", "="}}));
        QCOMPARE(leggi(t.b()), (Albero{{"DCIM/IMG.JPG", "versione B!"},
                                       {"DCIM/IMG_da_CLINICA_" + stamp1 + ".JPG", "versione A"},
                                       {"README", "rb"},
                                       {"README_da_CLINICA_" + stamp1, "ra"},
                                       {"foto/nuove/solo_b.jpg", "b"},
                                       {"solo_a.txt", "a"},
                                       {"uguale.txt", "="}}));

        // Again: the conflicts stay conflicts, the received copies travel across.
        Orologio::imposta([] { return secondaVolta; });
        t.sincronizza();
        QCOMPARE(t.env.avvisi.mostrati.size(), 4);
        QCOMPARE(t.env.avvisi.mostrati[2].testo, testoConferma("CLINICA", "STUDIO", 2, 2, 2, 3));
        QCOMPARE(t.env.logLines().last(),
                 QStringLiteral("[2024-05-02 10:25:00] Sincronizzazione CLINICA ↔ STUDIO: "
                                "2+2 file copiati, 2 conflitti risolti, 0 errori"));
        const Albero a = leggi(t.a());
        QCOMPARE(a.size(), 11);
        QCOMPARE(a.value("DCIM/IMG_da_CLINICA_" + stamp1 + ".JPG"), QByteArray("versione A"));
        QCOMPARE(a.value("DCIM/IMG_da_STUDIO_" + stamp2 + ".JPG"), QByteArray("versione B!"));
        QCOMPARE(leggi(t.b()).size(), 11);
    }

    void confermaNegata_data()
    {
        QTest::addColumn<int>("risposta");
        QTest::newRow("Annulla") << 1;
        QTest::newRow("finestra chiusa") << -1;
    }
    void confermaNegata()
    {
        QFETCH(int, risposta);
        Banco t;
        pianta(t.a(), {{"a.txt", "a"}, {"c.txt", "1"}});
        pianta(t.b(), {{"b.txt", "b"}, {"c.txt", "2"}});
        const Albero primaA = leggi(t.a()), primaB = leggi(t.b());
        t.env.avvisi.rispondi(risposta);
        t.sincronizza();
        QCOMPARE(t.env.avvisi.mostrati.size(), 1);
        QCOMPARE(leggi(t.a()), primaA);
        QCOMPARE(leggi(t.b()), primaB);
        QVERIFY(t.env.logLines().isEmpty());
        QVERIFY(!t.env.centro.occupato());
    }

    void pianoVuotoChiedeComunque()
    {
        Banco t;
        t.sincronizza();
        QCOMPARE(t.env.avvisi.mostrati.size(), 2);
        QCOMPARE(t.env.avvisi.mostrati[0].testo, testoConferma("CLINICA", "STUDIO", 0, 0, 0, 0));
        QCOMPARE(
            t.ultimoAvviso().testo,
            QStringLiteral(
                "Sincronizzazione completata.\n\n• 0 file copiati in STUDIO\n• 0 file copiati in CLINICA\n"
                "• 0 conflitti risolti (entrambe le versioni mantenute con timestamp)\n"
                "• 0 file erano già identici\n"));
        QCOMPARE(t.env.logLines(),
                 QStringList{"[2024-05-02 10:20:30] Sincronizzazione CLINICA ↔ STUDIO: 0+0 file "
                             "copiati, 0 conflitti risolti, 0 errori"});
    }

    // Busy before the start, or taken (by an automatic import) while the
    // confirmation was open: refused, and the other operation's card untouched.
    void occupato_data()
    {
        QTest::addColumn<bool>("primaDiIniziare");
        QTest::newRow("prima di iniziare") << true;
        QTest::newRow("durante la conferma") << false;
    }
    void occupato()
    {
        QFETCH(bool, primaDiIniziare);
        Banco t;
        pianta(t.a(), {{"a.txt", "a"}});
        const CentroOperazioni::Operazione altra{QStringLiteral("Importazione…"), std::nullopt, std::nullopt,
                                                 QStringLiteral("square.and.arrow.down"), Colori::teal()};
        if (primaDiIniziare)
            t.env.centro.setAttuale(altra);
        else
            t.env.avvisi.duranteAvviso = [&](const RichiestaAvviso &) { t.env.centro.setAttuale(altra); };
        t.sincronizza();
        QCOMPARE(t.ultimoAvviso().titolo, QStringLiteral("Operazione in corso"));
        QCOMPARE(t.ultimoAvviso().testo,
                 QStringLiteral("C'è già una copia o sincronizzazione in corso. Attendi che finisca."));
        QCOMPARE(t.ultimoAvviso().stile, StileAvviso::informativo);
        QCOMPARE(t.env.avvisi.mostrati.size(), primaDiIniziare ? 1 : 2);
        QCOMPARE(t.env.centro.attuale(), std::optional(altra));
        QVERIFY(leggi(t.b()).isEmpty());
        QVERIFY(t.env.logLines().isEmpty());
    }

    // While the confirmation is open the sticks can change: a name that
    // appears meanwhile is never replaced, a file that goes away is an error.
    void cambiaDuranteLaConferma()
    {
        Banco t;
        pianta(t.a(), {{"referto.pdf", "da A"}, {"DCIM/IMG.JPG", "A"}});
        pianta(t.b(), {{"DCIM/IMG.JPG", "BB"}});
        t.env.avvisi.duranteAvviso = [&](const RichiestaAvviso &r) {
            if (r.titolo != QStringLiteral("Conferma sincronizzazione"))
                return;
            QVERIFY(writeFile(QDir(t.b()).filePath("referto.pdf"), "arrivato nel frattempo"));
            QVERIFY(QFile::remove(QDir(t.b()).filePath("DCIM/IMG.JPG")));
        };
        t.sincronizza();

        // B's side of the conflict failed: counted once, A's copy stays on B.
        QCOMPARE(leggi(t.b()), (Albero{{"referto.pdf", "arrivato nel frattempo"},
                                       {"referto_" + stamp1 + ".pdf", "da A"},
                                       {"DCIM/IMG_da_CLINICA_" + stamp1 + ".JPG", "A"}}));
        QCOMPARE(leggi(t.a()), (Albero{{"referto.pdf", "da A"}, {"DCIM/IMG.JPG", "A"}}));
        QCOMPARE(
            t.ultimoAvviso().testo,
            QStringLiteral(
                "Sincronizzazione completata.\n\n• 1 file copiati in STUDIO\n• 0 file copiati in CLINICA\n"
                "• 0 conflitti risolti (entrambe le versioni mantenute con timestamp)\n"
                "• 0 file erano già identici\n\n⚠️ Errori durante la copia: 1"));
        QCOMPARE(t.env.logLines().last(),
                 QStringLiteral("[2024-05-02 10:20:30] Sincronizzazione CLINICA ↔ STUDIO: "
                                "1+0 file copiati, 0 conflitti risolti, 1 errori"));
    }

    // A stick that goes away in the middle: the rest counts as errors and
    // nothing lands in the folder left behind (a bare folder on the system
    // disk once a stick is unmounted).
    void stickSparita_data()
    {
        QTest::addColumn<bool>("smontaggioVero");
        QTest::newRow("cartella sparita") << false;
        QTest::newRow("tmpfs smontato") << true;
    }
    void stickSparita()
    {
        QFETCH(bool, smontaggioVero);
        if (smontaggioVero && !TestSupport::isRoot())
            QSKIP("mounting a tmpfs stick needs root (CI runs as root)");
        QTemporaryDir a, contenitore;
        MontaggioTmpfs tmpfs("8m");
        const QString b =
            smontaggioVero ? tmpfs.punto.path() : contenitore.filePath(QStringLiteral("STUDIO"));
        QVERIFY(!smontaggioVero || tmpfs.montato);
        pianta(a.path(), {{"1.jpg", "1"}, {"2.jpg", "2"}, {"3.jpg", "3"}, {"c.txt", "A"}});
        pianta(b, {{"DCIM/b.jpg", "b"}, {"c.txt", "B"}});
        const PianoSincronizzazione piano = CloneUSBService::pianifica(a.path(), b);
        QCOMPARE(piano.copyAtoB.size(), 3);

        const EsitoSincronizzazione esito =
            CloneUSBService::eseguiPiano(piano, a.path(), b, QStringLiteral("CLINICA"),
                                         QStringLiteral("STUDIO"), [&](double, const QString &d) {
                                             if (!d.startsWith(QStringLiteral("1 di ")))
                                                 return;
                                             if (smontaggioVero)
                                                 tmpfs.stacca();
                                             else
                                                 QVERIFY(QDir(b).removeRecursively());
                                         });
        QCOMPARE(esito.copiedAtoB, 1);
        QCOMPARE(esito.copiedBtoA, 0);
        QCOMPARE(esito.conflictsResolved, 0);
        QCOMPARE(esito.errors, 4);
        if (smontaggioVero)
            QVERIFY(leggi(b).isEmpty());
        else
            QVERIFY(!QFileInfo::exists(b));
        QCOMPARE(leggi(a.path()).size(), 4);
    }

    void avanzamento()
    {
        QTemporaryDir a, b;
        pianta(a.path(), {{"DCIM/x.jpg", "1"}, {"y.jpg", "2"}});
        pianta(b.path(), {{"DCIM/x.jpg", "3"}});
        QStringList analisi;
        QList<double> frazioni;
        const PianoSincronizzazione piano =
            CloneUSBService::pianifica(a.path(), b.path(), [&](double f, const QString &d) {
                frazioni << f;
                analisi << d;
            });
        // The order of the entries is the map's; the counter is not.
        QCOMPARE(analisi.size(), 2);
        QVERIFY(analisi[0].startsWith(QStringLiteral("Confronto 1 di 2 — ")));
        QVERIFY(analisi[1].startsWith(QStringLiteral("Confronto 2 di 2 — ")));
        QStringList voci{analisi[0].mid(19), analisi[1].mid(19)};
        voci.sort();
        QCOMPARE(voci, (QStringList{"DCIM/x.jpg", "y.jpg"}));
        QCOMPARE(frazioni, (QList<double>{0.5, 1.0}));

        QStringList esecuzione;
        frazioni.clear();
        CloneUSBService::eseguiPiano(piano, a.path(), b.path(), "A", "B", [&](double f, const QString &d) {
            frazioni << f;
            esecuzione << d;
        });
        QCOMPARE(esecuzione, (QStringList{"1 di 2 — y.jpg", "2 di 2 — DCIM/x.jpg"}));
        QCOMPARE(frazioni, (QList<double>{0.5, 1.0}));
    }

    void cloneUSBAction_data()
    {
        QTest::addColumn<int>("inseriti");
        QTest::addColumn<int>("dati"); // how many of driveA, driveB the action was built with
        QTest::addColumn<bool>("stessa");
        QTest::addColumn<QString>("avviso");
        const QString servono =
            QStringLiteral("Servono 2 USB|Per clonare servono due USB collegate contemporaneamente. "
                           "Attualmente ne sono collegate %1.");
        QTest::newRow("nessuna") << 0 << 0 << false << servono.arg(0);
        QTest::newRow("una") << 1 << 0 << false << servono.arg(1);
        QTest::newRow("una data, nessuna inserita") << 0 << 1 << false << servono.arg(0);
        QTest::newRow("la stessa due volte")
            << 1 << 2 << true << QStringLiteral("Errore|Non puoi clonare una USB con se stessa.");
        QTest::newRow("tre inserite: le prime due")
            << 3 << 0 << false
            << QStringLiteral("Conferma sincronizzazione|") + testoConferma("UNO", "DUE", 0, 0, 0, 0);
        QTest::newRow("date") << 3 << 2 << false
                              << QStringLiteral("Conferma sincronizzazione|") +
                                     testoConferma("TRE", "UNO", 0, 0, 0, 0);
    }
    void cloneUSBAction()
    {
        QFETCH(int, inseriti);
        QFETCH(int, dati);
        QFETCH(bool, stessa);
        QFETCH(QString, avviso);
        TestEnv env;
        FakeVolumeSource volumi;
        const QStringList nomi{"UNO", "DUE", "TRE"};
        for (int i = 0; i < inseriti; ++i) {
            QDir().mkpath(env.path(nomi[i]));
            volumi.add({env.path(nomi[i]), true, nomi[i]});
        }
        USBMonitor monitor(&volumi, env.settings.get());
        std::optional<USBDrive> a, b;
        if (dati >= 1)
            a = inseriti ? monitor.drives().last() : stick(env.path("VIA"), "VIA");
        if (dati >= 2)
            b = stessa ? *a : monitor.drives().first();
        env.avvisi.rispondi(1);
        QCoro::waitFor(CloneUSBAction(env.servizi, &monitor, a, b).perform());
        QVERIFY(!env.avvisi.mostrati.isEmpty());
        QCOMPARE(env.avvisi.mostrati[0].titolo + QLatin1Char('|') + env.avvisi.mostrati[0].testo, avviso);
        QCOMPARE(env.avvisi.mostrati.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSincronizzazione)
#include "TestSincronizzazione.moc"
