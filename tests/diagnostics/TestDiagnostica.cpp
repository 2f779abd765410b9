#include "app/USBMonitor.h"
#include "comune/Colori.h"
#include "diagnostics/ComandiDiagnostica.h"
#include "diagnostics/DiagnosticaView.h"
#include "diagnostics/MisuraVelocita.h"
#include "operations/StoricoChiavette.h"
#include "platform/PercorsiStrumenti.h"
#include "support/TestEnv.h"
#include "support/VolumiDiProva.h"
#include "ui/SchedaProgresso.h"

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSemaphore>
#include <QTest>

using namespace StrumentiDiagnostica;
using Tipo = RigaRapporto::Tipo;
using Op = DiagnosticaManager::Operazione;
Q_DECLARE_METATYPE(Risultato<QString>)

namespace {
const QString percorso = QStringLiteral("/media/anna/ECO");
const QString fat = EsecutoreDiscoDiProva::reportInfo(
    {{"ParentWholeDisk", "sdb"}, {"FilesystemName", "MS-DOS FAT32"}, {"TotalSize", 15938355200LL}});
const QString poco =
    QStringLiteral("Spazio insufficiente sulla chiavetta per il test (servono almeno 64 MB liberi).");

// Runs one check on the ECO stick to its end and returns the whole report so far.
Righe esegui(QCoro::Task<> (*comando)(Servizi, USBDrive), TestEnv &env)
{
    QCoro::waitFor(comando(env.servizi, TestSupport::chiavetta(percorso, "ECO")));
    Righe righe;
    for (const RigaRapporto &r : env.diagnostica.rapporto())
        righe.append({r.tipo, r.testo});
    return righe;
}

Risultato<QString> profiloCon(const QString &velocita)
{
    return QStringLiteral(
               R"({"SPUSBDataType":[{"_items":[{"device_speed":"%1","Media":[{"bsd_name":"sdb"}]}]}]})")
        .arg(velocita);
}

// The diagnostics window over sticks mounted under `base`, with the disk utility faked.
struct Finestra {
    explicit Finestra(const QStringList &chiavette, const QString &base = "/media/anna")
    {
        for (const QString &c : chiavette)
            volumi.add({base + '/' + c, true, c});
        monitor = std::make_unique<USBMonitor>(&volumi, env.impostazioni.get());
        view = std::make_unique<DiagnosticaView>(monitor.get(), env.servizi);
        view->show();
    }
    template <typename W = QPushButton> W *trova(const char *n) const { return view->findChild<W *>(n); }
    SchedaProgresso *inCorso() const { return trova<SchedaProgresso>("schedaInCorso"); }
    void premi(const char *scheda)
    {
        QTest::mouseClick(trova(scheda), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!env.diagnostica.inCorso(), 30000);
    }

    TestEnv env;
    VolumiDiProva volumi;
    std::unique_ptr<USBMonitor> monitor;
    std::unique_ptr<DiagnosticaView> view;
};
} // namespace

class TestDiagnostica : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); }

    void sceltaDellaChiavetta()
    {
        Finestra f({});
        QVERIFY(f.trova<QLabel>("nessunaChiavetta")->isVisible());
        QVERIFY(!f.trova("schedaInfo")->isVisible() && !f.inCorso()->isVisible());
        QVERIFY(f.trova<QLabel>("rapportoVuoto")->isVisible());
        QVERIFY(f.view->grab().save(TestSupport::artifactsDir() + "/diagnostica_vuota.png"));

        f.volumi.mount({"/media/anna/PRIMA", true, "PRIMA"});
        f.volumi.mount({"/media/anna/SECONDA", true, "SECONDA"});
        auto *scelta = f.trova<QComboBox>("sceltaChiavetta");
        QTRY_COMPARE(scelta->currentText(), "SECONDA");
        scelta->setCurrentIndex(0);
        Q_EMIT scelta->activated(0);
        f.volumi.mount({"/media/anna/TERZA", true, "TERZA"});
        QCOMPARE(f.view->chiavetta()->name, "PRIMA");
        // The chosen stick leaves: the last one inserted takes its place, and the checks act on it.
        f.volumi.unmount("/media/anna/PRIMA");
        QTRY_COMPARE(scelta->currentText(), "TERZA");
        f.premi("schedaInfo");
        QCOMPARE(f.env.disco.chiamate().first().argomenti,
                 (QStringList{"info", "-plist", "/media/anna/TERZA"}));
    }

    void schedaInCorso()
    {
        Finestra f({"ECO"});
        QSemaphore avviato, rilascia;
        const auto libera = qScopeGuard([&] { rilascia.release(100); }); // never leave the worker stuck
        f.env.disco.durante = [&](const QStringList &) { avviato.release(), rilascia.acquire(); };
        f.env.disco.rispondi({"verifyVolume"}, QStringLiteral("The volume appears to be OK."), {80, 40});
        QTest::mouseClick(f.trova("schedaVerifica"), Qt::LeftButton);
        QVERIFY(avviato.tryAcquire(1, 10000));
        QCOMPARE(f.inCorso()->titolo(), "Verifica integrità in corso…");
        QVERIFY(f.inCorso()->isVisible() && f.inCorso()->indeterminato());
        f.env.diagnostica.registraPercentuale(63);
        QTest::qWait(50); // the bar slides to its place
        QVERIFY(f.view->grab().save(TestSupport::artifactsDir() + "/diagnostica_in_corso_barra.png"));
        // The checker's percentages reach the bar, which never goes back (40 after 80).
        rilascia.release();
        QTRY_COMPARE(f.inCorso()->frazione(), std::optional<double>(0.8));
        QTRY_VERIFY(!f.inCorso()->isVisible());
    }

    // The archive's verification needs no stick: its button is there with
    // none inserted and runs the real flow. The operation centre's card shows
    // here, with its "Annulla", while no check of the window's own runs.
    void verificaArchivio()
    {
        Finestra f({});
        CentroOperazioni::Operazione op{"Verifica dell'archivio Archivio…", "3 di 40 — IMG_0042.jpg", 0.1,
                                        "checkmark.circle.fill", Colori::teal()};
        op.annulla = std::make_shared<const std::function<void()>>([] {});
        f.env.centro.setAttuale(op);
        QVERIFY(f.inCorso()->isVisible() &&
                f.inCorso()->findChild<QPushButton *>("annullaScheda")->isVisible());
        QTest::qWait(50); // laid out again for the taller card
        QVERIFY(f.view->grab().save(TestSupport::artifactsDir() + "/diagnostica_verifica_archivio.png"));
        f.env.centro.setAttuale(std::nullopt);
        QVERIFY(!f.inCorso()->isVisible());
        QTest::mouseClick(f.trova("verificaArchivio"), Qt::LeftButton);
        QTRY_COMPARE(f.env.avvisi.mostrati.size(), 1);
        QVERIFY(f.env.avvisi.mostrati[0].testo.startsWith("In Archivio non c'è ancora nessun manifesto"));
    }

    // Three checks from the window's cards, the speed test for real on a folder of this machine.
    void rapportoMisto()
    {
        QTemporaryDir media;
        TestSupport::writeFile(media.filePath("ECO/esame.jpg"), "immagine");
        Finestra f({"ECO"}, media.path());
        f.env.disco.rispondi({"info"}, fat);
        f.env.disco.rispondi({percorsiStrumenti().systemProfiler}, profiloCon("full_speed"));
        f.env.disco.rispondi({"verifyVolume"}, DiskUtilErrore::comandoFallito(
                                                   "verifyVolume", 1, "The volume was found corrupt."));
        f.premi("schedaInfo");
        f.premi("schedaVerifica");
        f.premi("schedaVelocita");
        const QList<RigaRapporto> righe = f.env.diagnostica.rapporto();
        QVERIFY(righe.size() == 9 || righe.size() == 10);
        QCOMPARE(righe.at(2).testo, "Connessione: USB 1.1 — 12 Mb/s (lenta)");
        QCOMPARE(righe.at(7).testo, "— Test velocità di \"ECO\" (32 MB di prova) —");
        QVERIFY2(righe.at(8).testo.contains(
                     QRegularExpression("^Scrittura: [\\d.]+,\\d MB/s · Lettura: [\\d.]+,\\d MB/s$")),
                 qPrintable(righe.at(8).testo));
        QCOMPARE(QDir(media.filePath("ECO")).entryList(QDir::Files | QDir::Hidden), QStringList{"esame.jpg"});

        const QList<QLabel *> simboli =
            f.trova<QScrollArea>("scorrimentoRapporto")->findChildren<QLabel *>("simbolo");
        for (const auto &[i, simbolo, colore] :
             {std::tuple(3, "exclamationmark.triangle.fill", Colori::orange()),
              std::tuple(5, "xmark.circle.fill", Colori::red()),
              std::tuple(8, "checkmark.circle.fill", Colori::green())}) {
            QCOMPARE(simboli.at(i)->property("simbolo").toString(), simbolo);
            QCOMPARE(simboli.at(i)->property("colore").value<QColor>(), colore);
        }
        // The speed test and the failed verify went to the stick's history, newest first.
        const auto storico =
            righeStorico(StoricoChiavette::shared().eventi(leggiIdentitaChiavetta(*f.view->chiavetta())));
        QCOMPARE(storico.size(), 2);
        QVERIFY(storico[0].second.contains(" · Velocità: scrittura "));
        QCOMPARE(storico[1].first, Tipo::avviso);
        for (int i = 0; i < 4; ++i) // more than the area holds
            f.env.diagnostica.aggiungi(Tipo::info, "riga in più");
        QScrollBar *barra = f.trova<QScrollArea>("scorrimentoRapporto")->verticalScrollBar();
        QTRY_VERIFY(barra->maximum() > 0);
        QTRY_COMPARE(barra->value(), barra->maximum()); // the newest line is in view
        QVERIFY(f.view->grab().save(TestSupport::artifactsDir() + "/diagnostica_rapporto.png"));

        QTest::mouseClick(f.trova("pulisci"), Qt::LeftButton);
        QVERIFY(f.trova<QLabel>("rapportoVuoto")->isVisible());
        f.env.diagnostica.aggiungi(Tipo::ok, "dopo");
        QCOMPARE(f.trova<QScrollArea>("scorrimentoRapporto")->findChildren<QLabel *>("testo").size(), 1);
    }

    // One row per answer of the disk utility or the profiler, with the report it gives.
    void azioni_data()
    {
        QTest::addColumn<char>("azione"); // i info, v verify, r repair
        QTest::addColumn<Risultato<QString>>("esito");
        QTest::addColumn<Risultato<QString>>("profilo");
        QTest::addColumn<Righe>("righe");
        const Righe info{{Tipo::info, "— Info su \"ECO\" —"},
                         {Tipo::info, "File system: MS-DOS FAT32 · Capacità: 15,9 GB · Disco: sdb"}};
        const Righe verifica{{Tipo::info, "— Verifica integrità di \"ECO\" —"}};
        const Righe ripara{{Tipo::info, "— Riparazione di \"ECO\" —"},
                           {Tipo::info, "Durante la riparazione la chiavetta viene smontata e rimontata: è "
                                        "normale che sparisca per qualche secondo dalla lista."}};
        const Righe integro =
            verifica + Righe{{Tipo::ok, "Nessun danno rilevato: il file system è integro."}};
        const auto fallito = [](const QString &cmd, const char *msg, int uscita = 1) {
            return Risultato<QString>(DiskUtilErrore::comandoFallito(cmd + ' ' + percorso, uscita, msg));
        };
        const auto r = [](const char *nome, char a, Risultato<QString> e, Righe righe,
                          Risultato<QString> p = QString()) { QTest::newRow(nome) << a << e << p << righe; };
        const Righe ignota =
            info + Righe{{Tipo::avviso, "Tipo di connessione USB non rilevabile per questo dispositivo."}};
        r("profiler garbage", 'i', fat, ignota, QString("<html>oops"));
        r("profiler fails", 'i', fat, ignota, fallito("system_profiler", "crash"));
        r("English", 'v', QString("The volume ECO appears to be OK."), integro);
        r("lower case", 'v', QString("volume appears to be ok\n"), integro);
        r("Italian", 'v', QString("Il volume ECO sembra essere corretto."), integro);
        r("neither", 'v', QString("fsck.fat 4.2\n0 files"),
          verifica + Righe{{Tipo::ok, "Verifica completata senza errori."}});
        const QString errore = "lo strumento dei dischi ha segnalato un errore (codice %1):\n%2";
        r("exit 1", 'v', fallito("verifyVolume", "found corrupt"),
          verifica +
              Righe{{Tipo::errore, "La verifica ha trovato problemi: " + errore.arg(1).arg("found corrupt")},
                    {Tipo::avviso, "Prova il pulsante \"Ripara\". Se la riparazione fallisce, copia i "
                                   "file recuperabili e usa \"Cancella tutto e formatta (sicuro)\"."}});
        r("repaired", 'r', QString("anything"),
          ripara + Righe{{Tipo::ok, "Riparazione completata. Esegui di nuovo \"Verifica\" per conferma."}});
        r("not repaired", 'r', fallito("repairVolume", "could not repair"),
          ripara + Righe{{Tipo::errore, "Riparazione non riuscita: " + errore.arg(1).arg("could not repair")},
                         {Tipo::avviso, "Copia subito i file importanti, poi riformatta la chiavetta con "
                                        "\"Cancella tutto e formatta (sicuro)\"."}});
        // A check the tool refused found nothing, and a repair or an erase
        // would be refused the same way: no advice to try them.
        const char *rifiuto = "Rifiutato: /dev/sda non è un disco rimovibile";
        r("verify refused", 'v', fallito("verifyVolume", rifiuto, 3),
          verifica +
              Righe{{Tipo::errore, "La verifica non è stata eseguita: " + errore.arg(3).arg(rifiuto)}});
        r("repair refused", 'r', fallito("repairVolume", rifiuto, 3),
          ripara +
              Righe{{Tipo::errore, "La riparazione non è stata eseguita: " + errore.arg(3).arg(rifiuto)}});
    }
    void azioni()
    {
        QFETCH(char, azione);
        QFETCH(Risultato<QString>, esito);
        QFETCH(Risultato<QString>, profilo);
        QFETCH(Righe, righe);
        TestEnv env;
        env.disco.rispondi({azione == 'i' ? "info" : azione == 'v' ? "verifyVolume" : "repairVolume"}, esito);
        env.disco.rispondi({percorsiStrumenti().systemProfiler, "SPUSBDataType", "-json"}, profilo);
        QCOMPARE(esegui(azione == 'i'   ? diagnosticaInfo
                        : azione == 'v' ? diagnosticaVerifica
                                        : diagnosticaRiparazione,
                        env),
                 righe);
        QVERIFY(!env.diagnostica.inCorso());
        QCOMPARE(env.disco.chiamate().first().argomenti.last(), percorso);
        QCOMPARE(env.disco.chiamate().first().conProgresso, azione != 'i');
    }

    // A second press while a check runs is refused without a word and leaves the first alone.
    void rifiuti()
    {
        TestEnv env;
        env.disco.rispondi({}, QStringLiteral("appears to be OK"));
        env.diagnostica.inizia(Op::verifica);
        esegui(diagnosticaVerifica, env);
        esegui(diagnosticaRiparazione, env);
        esegui(diagnosticaInfo, env);
        QVERIFY(esegui(diagnosticaVelocita, env).isEmpty());
        QVERIFY(env.disco.chiamate().isEmpty());
        QCOMPARE(env.diagnostica.operazione(), Op::verifica);
    }

    // The measurement on a real folder, or why there is none; as root, on a tmpfs of its
    // own that is read-only or too small for real.
    void misura_data()
    {
        QTest::addColumn<QString>("volume"); // a case below, or the options of the tmpfs
        QTest::addColumn<qint64>("libero");  // -1: ask the file system, -2: it does not say
        QTest::addColumn<QString>("errore");
        QTest::newRow("exactly 64 MB") << "" << (64LL << 20) << "";
        QTest::newRow("one byte less") << "" << (64LL << 20) - 1 << poco;
        QTest::newRow("free space not reported") << "" << -2LL << "";
        QTest::newRow("no direct I/O: the cache is dropped") << "cache" << -1LL << "";
        QTest::newRow("zero elapsed time") << "clock stopped" << -1LL << "";
        QTest::newRow("a link in place of the test file")
            << "link" << -1LL << "Impossibile creare il file di prova: ";
        QTest::newRow("read-only") << "ro,size=128m" << -1LL
                                   << "Impossibile creare il file di prova: la chiavetta è in sola lettura "
                                      "(protetta da scrittura).";
        QTest::newRow("16 MB") << "size=16m" << -1LL << poco;
        QTest::newRow("16 MB, space not reported")
            << "size=16m" << -2LL
            << "Scrittura del file di prova non riuscita: spazio esaurito sulla chiavetta.";
    }
    void misura()
    {
        QFETCH(QString, volume);
        QFETCH(qint64, libero);
        QFETCH(QString, errore);
        const bool tmpfs = volume.contains("size=");
        if (tmpfs && !TestSupport::isRoot())
            QSKIP("mounting a tmpfs needs root");
        QTemporaryDir dir, altrove;
        QVERIFY(!tmpfs ||
                QProcess::execute("mount", {"-t", "tmpfs", "-o", volume, "tessera", dir.path()}) == 0);
        TestSupport::writeFile(altrove.filePath("referto.pdf"), "referto");
        if (volume == "link")
            QFile::link(altrove.filePath("referto.pdf"), dir.filePath(nomeFileTestVelocita));
        AmbienteMisura amb = AmbienteMisura::sistema();
        if (libero != -1)
            amb.spazioLibero = [libero](const QString &) {
                return SpazioLibero{libero < 0 ? std::nullopt : std::optional(libero), {}};
            };
        amb.ioDiretto = volume != "cache";
        if (volume == "clock stopped")
            amb.secondi = [] { return 1000.0; };
        const EsitoMisura esito = misuraVelocita(dir.path(), amb);
        const QStringList resta =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        if (tmpfs)
            QProcess::execute("umount", {dir.path()});
        QCOMPARE(esito.errore.left(errore.size()), errore);
        QCOMPARE(bool(esito.velocita), errore.isEmpty());
        QVERIFY(resta.isEmpty()); // the test file never stays
        QCOMPARE(TestSupport::readFile(altrove.filePath("referto.pdf")), QByteArray("referto"));
        if (volume == "clock stopped") // the floor: never a division by zero
            QCOMPARE(esito.velocita->scrittura + esito.velocita->lettura, 64000.0);
    }

    void giudizio()
    {
        const Riga lenta{Tipo::avviso,
                         "Scrittura molto lenta: chiavetta economica, porta USB 2.0 o memoria usurata."};
        const Riga buona{Tipo::info, "Buona velocità: connessione USB 3.x sfruttata correttamente."};
        const auto misure = [](const char *testo) { return Riga{Tipo::ok, testo}; };
        // In the user's number format, Italian here (see init()).
        QCOMPARE(righeVelocita({4.99, 20}),
                 (Righe{misure("Scrittura: 5,0 MB/s · Lettura: 20,0 MB/s"), lenta}));
        QCOMPARE(righeVelocita({5.0, 20}), Righe{misure("Scrittura: 5,0 MB/s · Lettura: 20,0 MB/s")});
        QCOMPARE(righeVelocita({30.01, 95.26}),
                 (Righe{misure("Scrittura: 30,0 MB/s · Lettura: 95,3 MB/s"), buona}));
    }
};

QTEST_MAIN(TestDiagnostica)
#include "TestDiagnostica.moc"
