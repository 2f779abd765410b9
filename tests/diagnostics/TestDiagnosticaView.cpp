#include "app/USBMonitor.h"
#include "diagnostics/DiagnosticaManager.h"
#include "diagnostics/DiagnosticaView.h"
#include "operations/SchedaProgresso.h"
#include "settings/Colori.h"
#include "support/FakeEsecutoreDisco.h"
#include "support/FakeVolumeSource.h"
#include "support/TestEnv.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSemaphore>
#include <QStackedWidget>
#include <QTest>

using Tipo = RigaRapporto::Tipo;

namespace {
struct Finestra {
    explicit Finestra(const QStringList &chiavette)
    {
        for (const QString &c : chiavette)
            volumi.add({"/media/anna/" + c, true, c});
        env.servizi.diag = &diag;
        env.servizi.disco = &disco;
        monitor = std::make_unique<USBMonitor>(&volumi, env.settings.get());
        view = std::make_unique<DiagnosticaView>(monitor.get(), env.servizi);
        view->show();
    }
    ~Finestra() { rilascia.release(100); }
    QPushButton *scheda(const char *nome) const { return view->findChild<QPushButton *>(nome); }
    SchedaProgresso *inCorso() const { return view->findChild<SchedaProgresso *>("schedaInCorso"); }
    QStringList righe() const
    {
        QStringList out;
        for (QLabel *l :
             view->findChild<QScrollArea *>("scorrimentoRapporto")->findChildren<QLabel *>("testo"))
            out << l->text();
        return out;
    }
    // Holds every disk-utility call until released.
    void trattieni()
    {
        disco.durante = [this](const QStringList &) {
            avviato.release();
            rilascia.acquire();
        };
    }
    void salva(const QString &nome) const
    {
        QVERIFY(view->grab().save(TestSupport::artifactsDir() + '/' + nome));
    }

    TestEnv env;
    DiagnosticaManager diag{&env.erase};
    FakeEsecutoreDisco disco;
    FakeVolumeSource volumi;
    std::unique_ptr<USBMonitor> monitor;
    std::unique_ptr<DiagnosticaView> view;
    QSemaphore avviato, rilascia;
};
} // namespace

class TestDiagnosticaView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); }

    void vuota()
    {
        Finestra f({});
        QCOMPARE(f.view->size(), QSize(470, 460));
        QVERIFY(f.view->findChild<QLabel *>("nessunaChiavetta")->isVisible());
        QVERIFY(!f.scheda("schedaInfo")->isVisible());
        QVERIFY(!f.inCorso()->isVisible());
        QVERIFY(f.view->findChild<QLabel *>("rapportoVuoto")->isVisible());
        f.salva("diagnostica_vuota.png");

        // "Pulisci" on an empty report changes nothing.
        QTest::mouseClick(f.view->findChild<QPushButton *>("pulisci"), Qt::LeftButton);
        QVERIFY(f.view->findChild<QLabel *>("rapportoVuoto")->isVisible());
    }

    void sceltaDellaChiavetta()
    {
        Finestra f({"PRIMA", "SECONDA"});
        auto *scelta = f.view->findChild<QComboBox *>("sceltaChiavetta");
        QCOMPARE(scelta->count(), 2);
        QCOMPARE(scelta->currentText(), "SECONDA");
        QCOMPARE(f.view->chiavetta()->name, "SECONDA");

        scelta->setCurrentIndex(0);
        Q_EMIT scelta->activated(0);
        QCOMPARE(f.view->chiavetta()->name, "PRIMA");
        f.volumi.mount({"/media/anna/TERZA", true, "TERZA"});
        QCOMPARE(f.view->chiavetta()->name, "PRIMA");
        QCOMPARE(scelta->currentText(), "PRIMA");

        // The chosen stick leaves: the last one inserted takes its place, silently.
        f.volumi.unmount("/media/anna/PRIMA");
        QTRY_COMPARE(f.view->chiavetta()->name, "TERZA");
        QCOMPARE(scelta->currentText(), "TERZA");

        f.disco.rispondi({"info", "-plist", "/media/anna/TERZA"},
                         FakeEsecutoreDisco::reportInfo({{"ParentWholeDisk", "sdc"}}));
        QTest::mouseClick(f.scheda("schedaInfo"), Qt::LeftButton);
        QTRY_VERIFY(!f.diag.inCorso());
        QCOMPARE(f.righe().first(), "— Info su \"TERZA\" —");
    }

    void verificaInCorsoConBarra()
    {
        Finestra f({"ECO"});
        f.trattieni();
        f.disco.rispondi({"verifyVolume"}, QStringLiteral("The volume appears to be OK."), {12.5, 40});
        QTest::mouseClick(f.scheda("schedaVerifica"), Qt::LeftButton);
        QVERIFY(f.avviato.tryAcquire(1, 10000));
        // A second press while it runs adds nothing.
        QTest::mouseClick(f.scheda("schedaVerifica"), Qt::LeftButton);
        QCOMPARE(f.righe(), QStringList{"— Verifica integrità di \"ECO\" —"});

        QVERIFY(f.inCorso()->isVisible());
        QCOMPARE(f.inCorso()->titolo(), "Verifica integrità in corso…");
        QCOMPARE(f.inCorso()->icona(), "stethoscope");
        QCOMPARE(f.inCorso()->colore(), Colori::teal());
        QVERIFY(f.inCorso()->indeterminato());

        f.rilascia.release();
        QTRY_COMPARE(f.inCorso()->frazione(), std::optional<double>(0.4));
        QTRY_VERIFY(!f.inCorso()->isVisible());
        QCOMPARE(f.righe().last(), "Nessun danno rilevato: il file system è integro.");
    }

    void testVelocitaIndeterminato()
    {
        Finestra f({"ECO"});
        f.diag.inizia(DiagnosticaManager::Operazione::testVelocita);
        f.diag.aggiungi(Tipo::info, "— Test velocità di \"ECO\" (32 MB di prova) —");
        QCOMPARE(f.inCorso()->titolo(), "Test di velocità in corso…");
        QVERIFY(f.inCorso()->indeterminato());
        f.diag.termina();
        f.diag.inizia(DiagnosticaManager::Operazione::riparazione);
        f.diag.registraPercentuale(63);
        QCOMPARE(f.inCorso()->titolo(), "Riparazione in corso…");
        QCOMPARE(f.inCorso()->frazione(), std::optional<double>(0.63));
        QTest::qWait(50); // let the bar slide to its place for the picture
        f.salva("diagnostica_in_corso_barra.png");
    }

    void rapportoMisto()
    {
        Finestra f({"ECO", "ARCHIVIO"});
        const QList<std::pair<Tipo, QString>> righe = {
            {Tipo::info, "— Info su \"ECO\" —"},
            {Tipo::info, "File system: MS-DOS FAT32 · Capacità: 15,9 GB · Disco: sdb"},
            {Tipo::info, "Connessione: USB 1.1 — 12 Mb/s (lenta)"},
            {Tipo::avviso, "Connessione molto lenta: se possibile usa un'altra porta o chiavetta."},
            {Tipo::info, "— Verifica integrità di \"ECO\" —"},
            {Tipo::errore,
             "La verifica ha trovato problemi: diskutil verifyVolume /media/anna/ECO è terminato con "
             "codice 1.\nThe volume /media/anna/ECO was found corrupt and needs to be repaired."},
            {Tipo::avviso,
             "Prova il pulsante \"Ripara\". Se la riparazione fallisce, copia i file recuperabili e "
             "usa \"Cancella tutto e formatta (sicuro)\"."},
            {Tipo::info, "— Test velocità di \"ECO\" (32 MB di prova) —"},
            {Tipo::ok, "Scrittura: 38.2 MB/s · Lettura: 121.7 MB/s"},
            {Tipo::info, "Buona velocità: connessione USB 3.x sfruttata correttamente."},
        };
        for (const auto &[tipo, testo] : righe)
            f.diag.aggiungi(tipo, testo);
        QCOMPARE(f.righe().size(), righe.size());

        const QList<QLabel *> simboli = f.view->findChildren<QLabel *>("simbolo");
        QCOMPARE(simboli.at(3)->property("simbolo").toString(), "exclamationmark.triangle.fill");
        QCOMPARE(simboli.at(3)->property("colore").value<QColor>(), Colori::orange());
        QCOMPARE(simboli.at(5)->property("simbolo").toString(), "xmark.circle.fill");
        QCOMPARE(simboli.at(5)->property("colore").value<QColor>(), Colori::red());
        QCOMPARE(simboli.at(8)->property("simbolo").toString(), "checkmark.circle.fill");
        QCOMPARE(simboli.at(8)->property("colore").value<QColor>(), Colori::green());
        QCOMPARE(simboli.at(0)->property("colore").value<QColor>(), Colori::blue());

        // The newest line is in view.
        QScrollBar *barra = f.view->findChild<QScrollArea *>("scorrimentoRapporto")->verticalScrollBar();
        QTRY_VERIFY(barra->maximum() > 0);
        QTRY_COMPARE(barra->value(), barra->maximum());
        f.salva("diagnostica_rapporto.png");

        QTest::mouseClick(f.view->findChild<QPushButton *>("pulisci"), Qt::LeftButton);
        QVERIFY(f.righe().isEmpty());
        QVERIFY(f.view->findChild<QLabel *>("rapportoVuoto")->isVisible());
        f.diag.aggiungi(Tipo::ok, "dopo");
        QCOMPARE(f.righe(), QStringList{"dopo"});
    }
};

QTEST_MAIN(TestDiagnosticaView)
#include "TestDiagnosticaView.moc"
