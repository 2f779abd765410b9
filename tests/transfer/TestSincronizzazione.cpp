#include "app/USBMonitor.h"
#include "ChiavettaFat.h"
#include "comune/Colori.h"
#include "MontaggioTmpfs.h"
#include "operations/Orologio.h"
#include "support/TestEnv.h"
#include "support/VolumiDiProva.h"
#include "transfer/CloneUSBService.h"
#include "transfer/ComandiTrasferimento.h"

#include <QCoro/QCoroTask>
#include <QDirIterator>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/fsuid.h>
#include <sys/stat.h>

using TestSupport::chiavetta;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
const QString stamp = QStringLiteral("2024-05-02_10-20-30");
const QByteArray illeggibile("<illeggibile>"); // in a table: a file nobody may read

using Albero = QMap<QString, QByteArray>; // relative path -> bytes
using Dimensioni = QMap<QString, int>;    // relative path -> MiB

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

// The plan in one line: "A>B[...] B>A[...] C[...] =identical", relative paths sorted.
QString descrivi(const PianoSincronizzazione &p, const QString &a, const QString &b)
{
    const auto relativi = [](const ElencoFile &elenco, const QList<quint32> &indici) {
        QStringList file;
        for (quint32 i : indici)
            file << elenco.relativo(i);
        file.sort();
        return file.join(' ');
    };
    QStringList c;
    for (const auto &x : p.conflicts) {
        // The paths are the names on disk, not the keys.
        const bool suDisco = QFileInfo::exists(a + "/" + p.elencoA.relativo(x.a)) &&
                             QFileInfo::exists(b + "/" + p.elencoB.relativo(x.b));
        c << p.elencoA.chiave(x.a) + (suDisco ? "" : "?");
    }
    c.sort();
    return QString("A>B[%1] B>A[%2] C[%3] =%4")
        .arg(relativi(p.elencoA, p.copyAtoB), relativi(p.elencoB, p.copyBtoA), c.join(' '))
        .arg(p.identical);
}

// What the confirmation tells, in order: the two sticks, then the files to copy
// (">" the stick they go to), the conflicts, the identical files, those settled before.
QString voci(const QString &conferma)
{
    static const QRegularExpression voce(QStringLiteral("^• (\\S+)(?:.* verso (\\S+))?"),
                                         QRegularExpression::MultilineOption);
    QStringList r;
    for (auto m = voce.globalMatch(conferma); m.hasNext();) {
        const QRegularExpressionMatch v = m.next();
        r << v.captured(1) + (v.captured(2).isEmpty() ? QString() : ">" + v.captured(2));
    }
    return r.join(' ');
}

// Two sticks, CLINICA (A) and STUDIO (B), in a private world.
struct Banco {
    Banco()
    {
        Orologio::imposta([] { return QDateTime(QDate(2024, 5, 2), QTime(10, 20, 30)); });
    }
    ~Banco() { Orologio::imposta({}); }
    QString a() const { return fatA ? fatA->punto : dirA.path(); }
    QString b() const { return fatB ? fatB->punto : dirB.path(); }
    // 0: a folder on this disk; else a real exFAT (1) or FAT32 (2) stick. Empty when there is none.
    QString perche(int tipoA, int tipoB)
    {
        const auto monta = [](std::optional<ChiavettaFat> &fat, int tipo, const char *etichetta) {
            return tipo ? fat.emplace(ChiavettaFat::Tipo(tipo - 1), etichetta).perche : QString();
        };
        const QString a = monta(fatA, tipoA, "CLINICA");
        return a.isEmpty() ? monta(fatB, tipoB, "STUDIO") : a;
    }
    void sincronizza()
    {
        QCoro::waitFor(
            CloneUSBService::sincronizza(env.servizi, chiavetta(a(), "CLINICA"), chiavetta(b(), "STUDIO")));
    }
    const RichiestaAvviso &ultimoAvviso() const { return env.avvisi.mostrati.last(); }

    TestEnv env;
    QTemporaryDir dirA, dirB;
    std::optional<ChiavettaFat> fatA, fatB;
};
} // namespace

class TestSincronizzazione : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void piano_data()
    {
        QTest::addColumn<Albero>("alberoA");
        QTest::addColumn<Albero>("alberoB");
        QTest::addColumn<QString>("atteso");
        const QString nfc = QString("Càrtella/Eco è.jpg").normalized(QString::NormalizationForm_C);
        const QString nfd = QString("Càrtella/Eco è.jpg").normalized(QString::NormalizationForm_D);
        const auto riga = [](const char *nome, const Albero &a, const Albero &b, const QString &atteso) {
            QTest::newRow(nome) << a << b << atteso;
        };
        riga("disjoint", {{"a.jpg", "1"}, {"DCIM/x.jpg", "2"}}, {{"b.jpg", "3"}},
             "A>B[DCIM/x.jpg a.jpg] B>A[b.jpg] C[] =0");
        riga("same size, other bytes", {{"DCIM/IMG.JPG", "aaaa"}}, {{"DCIM/IMG.JPG", "aaab"}},
             "A>B[] B>A[] C[DCIM/IMG.JPG] =0");
        riga("equal, empty too", {{"r.pdf", "abc"}, {"v.txt", ""}}, {{"r.pdf", "abc"}, {"v.txt", ""}},
             "A>B[] B>A[] C[] =2");
        riga("unreadable on both sides", {{"x.bin", illeggibile}}, {{"x.bin", illeggibile}},
             "A>B[] B>A[] C[] =1");
        riga("readable on one side only", {{"x.bin", illeggibile}},
             {{"x.bin", QByteArray(illeggibile.size(), 'x')}}, "A>B[] B>A[] C[x.bin] =0");
        riga("case differs", {{"DCIM/IMG.JPG", "1"}}, {{"dcim/img.jpg", "1"}},
             "A>B[DCIM/IMG.JPG] B>A[dcim/img.jpg] C[] =0");
        riga("NFC and NFD, same bytes", {{nfc, "eco"}}, {{nfd, "eco"}}, "A>B[] B>A[] C[] =1");
        riga("NFC and NFD, other bytes", {{nfd, "eco1"}}, {{nfc, "eco2"}}, "A>B[] B>A[] C[" + nfc + "] =0");
        riga("hidden entries ignored", {{"._IMG.JPG", "m"}, {".Trashes/501/x.jpg", "t"}, {"IMG.JPG", "1"}},
             {{".Spotlight-V100/store.db", "s"}, {"DCIM/.nascosto", "n"}}, "A>B[IMG.JPG] B>A[] C[] =0");
    }
    void piano()
    {
        QFETCH(Albero, alberoA);
        QFETCH(Albero, alberoB);
        QFETCH(QString, atteso);
        QTemporaryDir a, b;
        pianta(a.path(), alberoA);
        pianta(b.path(), alberoB);
        for (const auto &[radice, albero] : {std::pair{a.path(), alberoA}, std::pair{b.path(), alberoB}}) {
            ::chmod(QFile::encodeName(radice), 0755); // others may pass
            for (auto it = albero.cbegin(); it != albero.cend(); ++it) {
                if (it.value() == illeggibile)
                    ::chmod(QFile::encodeName(QDir(radice).filePath(it.key())), 0);
            }
        }
        // As root, this thread becomes "nobody" meanwhile, which drops the
        // capability to ignore permissions.
        if (TestSupport::isRoot())
            ::setfsuid(65534);
        const PianoSincronizzazione piano = CloneUSBService::pianifica(a.path(), b.path());
        if (TestSupport::isRoot())
            ::setfsuid(0);
        QCOMPARE(descrivi(piano, a.path(), b.path()), atteso);
    }

    // The whole flow twice: texts, cards, files, log lines. Nothing is replaced;
    // each stick ends with the other's version beside its own.
    void sincronizzaDueVolte()
    {
        Banco t;
        pianta(t.a(), {{"DCIM/IMG.JPG", "versione A"},
                       {"solo_a.txt", "a"},
                       {"uguale.txt", "="},
                       {"v1.2/README", "ra"}});
        pianta(t.b(), {{"DCIM/IMG.JPG", "versione B!"},
                       {"foto/nuove/solo_b.jpg", "b"},
                       {"uguale.txt", "="},
                       {"v1.2/README", "rb"}});
        QStringList titoli;
        connect(&t.env.centro, &CentroOperazioni::attualeChanged, this, [&] {
            const auto scheda = t.env.centro.attuale();
            if (titoli.isEmpty() || titoli.last() != (scheda ? scheda->titolo : "-"))
                titoli << (scheda ? scheda->titolo : "-");
        });
        t.env.avvisi.duranteAvviso = [&](const RichiestaAvviso &) { QVERIFY(!t.env.centro.occupato()); };
        t.sincronizza();

        QCOMPARE(titoli, (QStringList{"Analisi di CLINICA e STUDIO…", "-",
                                      "Sincronizzazione CLINICA ↔ STUDIO…", "-"}));
        QCOMPARE(t.env.avvisi.mostrati.size(), 2);
        const RichiestaAvviso &conferma = t.env.avvisi.mostrati[0];
        QCOMPARE(conferma.titolo + "|" + voci(conferma.testo),
                 "Conferma sincronizzazione|CLINICA STUDIO 1>STUDIO 1>CLINICA 2 1");
        QCOMPARE(conferma.stile, StileAvviso::avvertenza);
        QCOMPARE(conferma.pulsanti, (QStringList{"Procedi", "Annulla"}));
        QCOMPARE(
            t.ultimoAvviso().titolo + "|" + t.ultimoAvviso().testo,
            QString(
                "Sincronizzazione USB|Sincronizzazione completata.\n\n• 1 file copiato in STUDIO\n• 1 file "
                "copiato in CLINICA\n• 2 conflitti risolti (entrambe le versioni mantenute con "
                "data e ora)\n• 1 file era già identico\n"));
        QCOMPARE(t.ultimoAvviso().stile, StileAvviso::informativo);
        QCOMPARE(t.env.logLines(), QStringList{"[2024-05-02 10:20:30] Sincronizzazione CLINICA ↔ STUDIO: 1+1 "
                                               "file copiati, 2 conflitti risolti, 0 errori"});
        const Albero comune{{"foto/nuove/solo_b.jpg", "b"}, {"solo_a.txt", "a"}, {"uguale.txt", "="}};
        Albero attesoA(comune), attesoB(comune);
        attesoA.insert({{"DCIM/IMG.JPG", "versione A"},
                        {"DCIM/IMG_da_STUDIO_" + stamp + ".JPG", "versione B!"},
                        {"v1.2/README", "ra"},
                        {"v1.2/README_da_STUDIO_" + stamp, "rb"}});
        attesoB.insert({{"DCIM/IMG.JPG", "versione B!"},
                        {"DCIM/IMG_da_CLINICA_" + stamp + ".JPG", "versione A"},
                        {"v1.2/README", "rb"},
                        {"v1.2/README_da_CLINICA_" + stamp, "ra"}});
        QCOMPARE(leggi(t.a()), attesoA);
        QCOMPARE(leggi(t.b()), attesoB);

        // Again: each stick holds the other's version already, so the
        // conflicts are settled and the received copies stay where they are.
        Orologio::imposta([] { return QDateTime(QDate(2024, 5, 2), QTime(10, 25, 0)); });
        t.sincronizza();
        QCOMPARE(voci(t.env.avvisi.mostrati[2].testo), "CLINICA STUDIO 0>STUDIO 0>CLINICA 0 7 2");
        QCOMPARE(t.env.logLines().last(),
                 QString("[2024-05-02 10:25:00] Sincronizzazione CLINICA ↔ STUDIO: 0+0 "
                         "file copiati, 0 conflitti risolti, 0 errori"));
        QCOMPARE(leggi(t.a()), attesoA);
        QCOMPARE(leggi(t.b()), attesoB);
    }

    // Twice in a row on real sticks: where either stick ignores case,
    // "DCIM/IMG_001.JPG" and "Dcim/img_001.jpg" are one name; conflicts settle;
    // the second sync finds nothing to do and makes no file.
    void dueVolteSuOgniChiavetta_data()
    {
        QTest::addColumn<int>("tipoA"); // 0 a folder on ext4, 1 exFAT, 2 FAT32
        QTest::addColumn<int>("tipoB");
        QTest::newRow("ext4 and exFAT") << 0 << 1;
        QTest::newRow("exFAT and FAT32") << 1 << 2;
        QTest::newRow("ext4 and ext4") << 0 << 0;
    }
    void dueVolteSuOgniChiavetta()
    {
        QFETCH(int, tipoA);
        QFETCH(int, tipoB);
        Banco t;
        if (const QString perche = t.perche(tipoA, tipoB); !perche.isEmpty())
            QSKIP(qPrintable(perche));
        pianta(t.a(), {{"DCIM/IMG_001.JPG", "uno"}, {"DCIM/IMG_002.JPG", "due A"}, {"esame.pdf", "A"}});
        pianta(t.b(), {{"Dcim/img_001.jpg", "uno"},
                       {"Dcim/IMG_002.JPG", "due B!"},
                       {"esame.pdf", "BB"},
                       {"nota.txt", "n"}});
        t.sincronizza();
        const Albero primaA = leggi(t.a()), primaB = leggi(t.b());
        Orologio::imposta([] { return QDateTime(QDate(2024, 5, 2), QTime(10, 25, 0)); });
        t.sincronizza();

        QVERIFY(voci(t.env.avvisi.mostrati[2].testo).startsWith("CLINICA STUDIO 0>STUDIO 0>CLINICA 0 "));
        QCOMPARE(leggi(t.a()), primaA);
        QCOMPARE(leggi(t.b()), primaB);
        QCOMPARE(primaA.value("esame_da_STUDIO_" + stamp + ".pdf"), QByteArray("BB"));
        QCOMPARE(primaA.contains("Dcim/img_001.jpg"), tipoA + tipoB == 0);
        QVERIFY(t.env.logLines().first().endsWith(" 0 errori"));
    }

    // What the receiving stick would refuse is said before "Procedi" and never
    // written: names FAT32 and exFAT forbid, 4 GiB or more on FAT32, and what
    // goes beyond the free space (the rest is copied).
    void primaDiProcedere_data()
    {
        QTest::addColumn<int>("tipoB");       // 1 exFAT, 2 FAT32
        QTest::addColumn<Dimensioni>("file"); // name -> MiB (sparse: nothing on this disk)
        QTest::addColumn<QStringList>("esclusi");
        QTest::addColumn<QStringList>("restano");
        const QString nome = "l'altra chiavetta (%1) non ammette questo nome: ";
        QTest::newRow("FAT32")
            << 2
            << Dimensioni{{"IMG.JPG", 0},
                          {"a:b.jpg", 0},
                          {"CON.txt", 0},
                          {"fine /x.jpg", 0},
                          {"video.mp4", 4608}}
            << QStringList{"“a:b.jpg”: " + nome.arg("FAT32") + "contiene “:”",
                           "“CON.txt”: " + nome.arg("FAT32") + "“CON.txt” è un nome riservato",
                           "“fine /x.jpg”: " + nome.arg("FAT32") +
                               "la cartella “fine ” finisce con uno spazio",
                           "“video.mp4”: file di 4 GiB o più: l'altra chiavetta (FAT32) non "
                           "può contenerlo"}
            << QStringList{"IMG.JPG"};
        // A 64 MB stick takes two of the 25 MB videos.
        QTest::newRow("exFAT")
            << 1 << Dimensioni{{"IMG.JPG", 0}, {"a?b.jpg", 0}, {"v1.mp4", 25}, {"v2.mp4", 25}, {"v3.mp4", 25}}
            << QStringList{"“a?b.jpg”: " + nome.arg("exFAT") + "contiene “?”"}
            << QStringList{"IMG.JPG", "v1.mp4", "v2.mp4"};
    }
    void primaDiProcedere()
    {
        QFETCH(int, tipoB);
        QFETCH(Dimensioni, file);
        QFETCH(QStringList, esclusi);
        QFETCH(QStringList, restano);
        Banco t;
        if (const QString perche = t.perche(0, tipoB); !perche.isEmpty())
            QSKIP(qPrintable(perche));
        for (auto it = file.cbegin(); it != file.cend(); ++it) {
            QVERIFY(QDir().mkpath(QFileInfo(t.a() + "/" + it.key()).path()));
            QFile f(t.a() + "/" + it.key());
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(qMax(qint64(it.value()) << 20, qint64(1))));
        }
        t.sincronizza();

        const QString conferma = t.env.avvisi.mostrati.first().testo;
        for (const QString &riga : esclusi)
            QVERIFY2(conferma.contains("\n“" + t.a() + "/" + riga.mid(1) + "\n"), qPrintable(conferma));
        QCOMPARE(conferma.contains("\n⚠️ Su STUDIO mancano "), tipoB == 1);
        Albero b = leggi(t.b());
        b.remove("STUDIO"); // fusefat lists the volume label as a file
        QCOMPARE(b.keys(), restano);
        const QString esito = t.ultimoAvviso().testo;
        QVERIFY2(esito.contains(tipoB == 1 ? "“v3.mp4” verso STUDIO: spazio insufficiente sulla chiavetta"
                                           : "Non sincronizzati:\n“"),
                 qPrintable(esito));
        QCOMPARE(t.ultimoAvviso().stile, StileAvviso::avvertenza);
    }

    // Declined, or another operation (an automatic import) took over while the
    // confirmation was open, or before the start: nothing written, nothing logged.
    void nienteDaFare_data()
    {
        QTest::addColumn<int>("risposta"); // -2: busy before the start, 2: busy meanwhile
        QTest::addColumn<QString>("avviso");
        const QString occupato(
            "Operazione in corso|C'è già una copia o sincronizzazione in corso. Attendi che "
            "finisca.");
        QTest::newRow("Annulla") << 1 << "";
        QTest::newRow("window closed") << -1 << "";
        QTest::newRow("busy before the start") << -2 << occupato;
        QTest::newRow("busy meanwhile") << 2 << occupato;
    }
    void nienteDaFare()
    {
        QFETCH(int, risposta);
        QFETCH(QString, avviso);
        Banco t;
        pianta(t.a(), {{"a.txt", "a"}, {"c.txt", "1"}});
        pianta(t.b(), {{"b.txt", "b"}, {"c.txt", "2"}});
        const Albero primaA = leggi(t.a()), primaB = leggi(t.b());
        const CentroOperazioni::Operazione altra{"Importazione…", std::nullopt, std::nullopt,
                                                 "square.and.arrow.down", Colori::teal()};
        if (risposta == -2)
            t.env.centro.setAttuale(altra);
        else if (risposta == 2)
            t.env.avvisi.duranteAvviso = [&](const RichiestaAvviso &) { t.env.centro.setAttuale(altra); };
        else
            t.env.avvisi.rispondi(risposta);
        t.sincronizza();
        QCOMPARE(t.env.avvisi.mostrati.size(), risposta == 2 ? 2 : 1);
        if (!avviso.isEmpty())
            QCOMPARE(t.ultimoAvviso().titolo + "|" + t.ultimoAvviso().testo, avviso);
        QCOMPARE(t.env.centro.attuale(), avviso.isEmpty() ? std::nullopt : std::optional(altra));
        QCOMPARE(leggi(t.a()), primaA);
        QCOMPARE(leggi(t.b()), primaB);
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
            if (r.titolo == "Conferma sincronizzazione") {
                QVERIFY(writeFile(QDir(t.b()).filePath("referto.pdf"), "arrivato nel frattempo"));
                QVERIFY(QFile::remove(QDir(t.b()).filePath("DCIM/IMG.JPG")));
            }
        };
        t.sincronizza();

        // B's side of the conflict failed: counted once, A's copy stays on B.
        QCOMPARE(leggi(t.b()), (Albero{{"referto.pdf", "arrivato nel frattempo"},
                                       {"referto_" + stamp + ".pdf", "da A"},
                                       {"DCIM/IMG_da_CLINICA_" + stamp + ".JPG", "A"}}));
        QCOMPARE(leggi(t.a()), (Albero{{"referto.pdf", "da A"}, {"DCIM/IMG.JPG", "A"}}));
        // Named with its reason, and not told as a success.
        const QString mancante = "“DCIM/IMG.JPG” verso CLINICA: non leggibile: file o cartella inesistente";
        QCOMPARE(t.ultimoAvviso().testo,
                 "Sincronizzazione completata con errori.\n\n• 1 file copiato in STUDIO\n• 0 file copiati in "
                 "CLINICA\n• 0 conflitti risolti (entrambe le versioni mantenute con data e ora)\n• 0 file "
                 "erano già identici\n\n⚠️ Errori durante la copia: 1\n" +
                     mancante);
        QCOMPARE(t.ultimoAvviso().stile, StileAvviso::avvertenza);
        QVERIFY(t.env.logLines().last().endsWith(
            "1+0 file copiati, 0 conflitti risolti, 1 errori; non riusciti: " + mancante));
    }

    // A stick that goes away in the middle: everything counts as an error,
    // the copy already made too (it was still waiting for its batch's flush,
    // so it is not on the stick), and nothing lands in the folder left behind
    // (a bare folder on the system disk once a stick is unmounted).
    void stickSparita_data()
    {
        QTest::addColumn<bool>("smontaggioVero");
        QTest::addColumn<bool>("primaDiEseguire"); // pulled while the confirmation is open
        QTest::newRow("folder gone") << false << false;
        QTest::newRow("tmpfs unmounted") << true << false;
        QTest::newRow("tmpfs unmounted before execution") << true << true;
    }
    void stickSparita()
    {
        QFETCH(bool, smontaggioVero);
        QFETCH(bool, primaDiEseguire);
        if (smontaggioVero && !TestSupport::isRoot())
            QSKIP("mounting a tmpfs stick needs root (CI runs as root)");
        QTemporaryDir a, contenitore;
        MontaggioTmpfs tmpfs("8m");
        const QString b = smontaggioVero ? tmpfs.punto.path() : contenitore.filePath("STUDIO");
        QVERIFY(!smontaggioVero || tmpfs.montato);
        pianta(a.path(), {{"1.jpg", "1"}, {"2.jpg", "2"}, {"3.jpg", "3"}, {"c.txt", "A"}});
        pianta(b, {{"DCIM/b.jpg", "b"}, {"c.txt", "B"}});
        const PianoSincronizzazione piano = CloneUSBService::pianifica(a.path(), b);
        if (primaDiEseguire)
            tmpfs.stacca();
        const EsitoSincronizzazione e = CloneUSBService::eseguiPiano(
            piano, a.path(), b, "CLINICA", "STUDIO", [&](const Avanzamento &avanzamento) {
                if (avanzamento.dettaglio->startsWith("1 di "))
                    smontaggioVero ? tmpfs.stacca() : void(QDir(b).removeRecursively());
            });
        QCOMPARE(std::tuple(e.copiedAtoB, e.copiedBtoA, e.conflictsResolved, e.errors),
                 std::tuple(qint64(0), qint64(0), qint64(0), qint64(5)));
        QVERIFY(smontaggioVero ? leggi(b).isEmpty() : !QFileInfo::exists(b));
        QCOMPARE(leggi(a.path()).size(), 4);
    }

    // One stick holding a name in both Unicode spellings: one is synced, the
    // other is an error named in the confirmation, the result and the log.
    void dueFormeDelloStessoNome()
    {
        Banco t;
        const QString nome("Eco è.jpg");
        pianta(t.a(), {{nome.normalized(QString::NormalizationForm_C), "nfc"},
                       {nome.normalized(QString::NormalizationForm_D), "nfd"}});
        t.sincronizza();
        QCOMPARE(leggi(t.b()).size(), 1);
        QVERIFY(t.env.avvisi.mostrati.first().testo.contains(
            "⚠️ 1 elementi non potranno essere sincronizzati e saranno contati come errori:\n“"));
        QVERIFY(t.ultimoAvviso().testo.contains("Errori durante la copia: 1\nNon sincronizzati:\n“"));
        QVERIFY(t.env.logLines().last().contains("0 conflitti risolti, 1 errori; non sincronizzati: “"));
    }

    void sincronizzaChiavette_data()
    {
        QTest::addColumn<int>("inseriti");
        QTest::addColumn<int>("dati"); // how many of driveA, driveB the command was given
        QTest::addColumn<QString>("avviso");
        const QString servono("Servono 2 USB|Per clonare servono due USB collegate contemporaneamente. "
                              "Attualmente ne sono collegate %1.");
        QTest::newRow("none") << 0 << 0 << servono.arg(0);
        QTest::newRow("one") << 1 << 0 << servono.arg(1);
        QTest::newRow("the same twice") << 1 << 2 << "Errore|Non puoi clonare una USB con se stessa.";
        QTest::newRow("three: the first two")
            << 3 << 0 << "Conferma sincronizzazione|UNO DUE 0>DUE 0>UNO 0 0";
        QTest::newRow("given") << 3 << 2 << "Conferma sincronizzazione|TRE UNO 0>UNO 0>TRE 0 0";
    }
    void sincronizzaChiavette()
    {
        QFETCH(int, inseriti);
        QFETCH(int, dati);
        QFETCH(QString, avviso);
        TestEnv env;
        VolumiDiProva volumi;
        const QStringList nomi{"UNO", "DUE", "TRE"};
        for (int i = 0; i < inseriti; ++i) {
            QDir().mkpath(env.path(nomi[i]));
            volumi.add({env.path(nomi[i]), true, nomi[i]});
        }
        USBMonitor monitor(&volumi, env.impostazioni.get());
        std::optional<USBDrive> a, b;
        if (dati == 2) {
            a = monitor.drives().last();
            b = inseriti == 1 ? a : monitor.drives().first();
        }
        env.avvisi.rispondi(1);
        QCoro::waitFor(::sincronizzaChiavette(env.servizi, &monitor, a, b));
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        const RichiestaAvviso &r = env.avvisi.mostrati[0];
        QCOMPARE(r.titolo + "|" + (r.titolo == "Conferma sincronizzazione" ? voci(r.testo) : r.testo),
                 avviso);
    }
};

QTEST_GUILESS_MAIN(TestSincronizzazione)
#include "TestSincronizzazione.moc"
