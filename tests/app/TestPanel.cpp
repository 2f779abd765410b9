#include "app/ColoredActionLabel.h"
#include "app/DisegnoIconaVassoio.h"
#include "app/MenuBarView.h"
#include "app/PromemoriaVerifica.h"
#include "app/QuillonApp.h"
#include "app/RegolePannello.h"
#include "app/USBMonitor.h"
#include "app/USBRow.h"
#include "comune/Colori.h"
#include "help/AiutoView.h"
#include "operations/Orologio.h"
#include "support/TestEnv.h"
#include "support/VolumiDiProva.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>

using Fase = SecureEraseManager::Fase;

namespace {
// A panel over fake sticks whose mount points are real folders (so the
// capacity can be read), with every command recorded as "name:argument".
struct Banco {
    explicit Banco(const QStringList &nomi)
    {
        for (const QString &nome : nomi) {
            const QString mp = env.path(QStringLiteral("media/%1").arg(nome));
            QDir().mkpath(mp);
            volumi.add({mp, true, nome});
        }
        monitor = std::make_unique<USBMonitor>(&volumi, env.impostazioni.get());
        // Each command records its name and arguments, "name:arg:arg".
        auto reg = [this](const char *nome) {
            return [this, nome](const auto &...a) { chiamate << QStringList{nome, testo(a)...}.join(':'); };
        };
        pannello = std::make_unique<MenuBarView>(
            monitor.get(), env.servizi,
            ComandiPannello{
                .apriUltimaUSB = reg("apriUltimaUSB"),
                .apriUltimaUSBConNota = reg("apriUltimaUSBConNota"),
                .salvaNotaTestoEdEspelli = reg("salvaNotaTestoEdEspelli"),
                .salvaNotaFormattataEdEspelli = reg("salvaNotaFormattataEdEspelli"),
                .copiaTutto = reg("copiaTutto"),
                .copiaFiltrato = reg("copiaFiltrato"),
                .sincronizza = reg("sincronizza"),
                .formattaRapida = reg("formattaRapida"),
                .cancellaSicura = reg("cancellaSicura"),
                .espelli = reg("espelli"),
                .apriChiavetta = reg("apriChiavetta"),
                .apriFinestra = reg("apriFinestra"),
                .apriAiuto = reg("apriAiuto"),
                .verificaArchivio = reg("verificaArchivio"),
                .esci = reg("esci"),
            });
    }
    static QString testo(const USBDrive &d) { return d.name; }
    static QString testo(CategoriaFile c) { return QString::number(int(c)); }
    static QString testo(SezioneAiuto s) { return etichetta(s); }
    static QString testo(const QString &s) { return s; }

    VoceAzione *voce(const char *nome) const { return pannello->voce(QString::fromLatin1(nome)); }
    // Lets the panel redraw after a change, as the event loop would.
    void gira() { QCoreApplication::processEvents(); }
    void cancella(Fase fase, double percentuale = -1)
    {
        env.cancellazione.avvia(QStringLiteral("ECO_A"));
        if (fase != Fase::verifica)
            env.cancellazione.impostaFase(fase);
        if (percentuale >= 0)
            env.cancellazione.registraPercentuale(percentuale);
        gira();
    }
    void salva(const QString &nome)
    {
        pannello->show();
        gira();
        QVERIFY(pannello->grab().save(QDir(TestSupport::artifactsDir()).filePath(nome)));
    }

    TestEnv env;
    VolumiDiProva volumi;
    std::unique_ptr<USBMonitor> monitor;
    QStringList chiamate;
    std::unique_ptr<MenuBarView> pannello;
};

QStringList titoliMenu(VoceAzione *voce)
{
    QStringList t;
    for (QAction *a : voce && voce->menuVoci() ? voce->menuVoci()->actions() : QList<QAction *>())
        t << a->text();
    return t;
}

QAction *azioneMenu(VoceAzione *voce, const QString &testo)
{
    for (QAction *a : voce->menuVoci()->actions()) {
        if (a->text() == testo)
            return a;
    }
    return nullptr;
}
} // namespace

class TestPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    }

    void enablingRulesFollowSticksAndErase_data()
    {
        QTest::addColumn<int>("chiavette");
        QTest::addColumn<Fase>("fase");
        QTest::addColumn<double>("percentuale"); // < 0: none
        for (int n : {0, 1, 2, 3})
            QTest::addRow("%d sticks", n) << n << Fase::inattivo << -1.0;
        QTest::newRow("verifying") << 1 << Fase::verifica << -1.0;
        QTest::newRow("erasing at 37.9") << 2 << Fase::cancellazione << 37.9;
        QTest::newRow("erasing, no percentage yet") << 3 << Fase::cancellazione << -1.0;
        QTest::newRow("formatting") << 1 << Fase::formattazione << -1.0;
    }
    // While a secure erase runs nothing may touch a stick and the program
    // can't quit; the windows stay reachable. Clone, format and erase change
    // shape with the number of sticks.
    void enablingRulesFollowSticksAndErase()
    {
        QFETCH(int, chiavette);
        QFETCH(Fase, fase);
        QFETCH(double, percentuale);
        const bool libero = fase == Fase::inattivo, attive = libero && chiavette > 0;
        const QStringList nomi = QStringList{"ECO_A", "ECO_B", "ECO_C"}.mid(0, chiavette);
        Banco b(nomi);
        if (!libero)
            b.cancella(fase, percentuale); // after the panel is built: it follows the change signals
        for (const char *n :
             {"apriUltimaUSB", "apriUltimaUSBConNota", "salvaNotaTesto", "salvaNotaFormattata", "copiaTutto",
              "copiaFiltrato", "formattaRapida", "cancellaSicura"})
            QVERIFY2(b.voce(n) && b.voce(n)->isEnabled() == attive, n);
        QVERIFY(b.pannello->findChild<QWidget *>("impostazioni")->isEnabled());
        QVERIFY(b.voce("diagnostica")->isEnabled() && b.voce("aiuto")->isEnabled());
        QCOMPARE(b.pannello->findChild<QLabel *>("servonoDueUSB") != nullptr, chiavette < 2);
        QCOMPARE(b.voce("sincronizza") != nullptr, chiavette == 2);
        QCOMPARE(b.voce("sceltaSincronizzazione") != nullptr, chiavette > 2);
        QCOMPARE(b.pannello->findChild<QWidget *>("clona")->isEnabled(), libero);
        const QStringList menuDisco = chiavette == 1 ? QStringList() : nomi;
        QCOMPARE(titoliMenu(b.voce("formattaRapida")), menuDisco);
        QCOMPARE(titoliMenu(b.voce("cancellaSicura")), menuDisco);
        for (USBRow *r : b.pannello->righe())
            QCOMPARE(r->pulsanteEspelli()->isEnabled(), libero);
        QCOMPARE(b.voce("esci")->isEnabled(), libero);
        b.pannello->show();
        QApplication::setActiveWindow(b.pannello.get());
        QVERIFY(QTest::qWaitForWindowActive(b.pannello.get()));
        QTest::keyClick(b.pannello.get(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(b.chiamate, libero ? QStringList{"esci"} : QStringList());
        QCOMPARE(b.voce("esci")->toolTip(),
                 libero ? QStringLiteral("Esci da Orvala – Tessera")
                        : QStringLiteral("Non puoi uscire durante la cancellazione sicura"));

        SchedaProgresso *scheda = b.pannello->schedaCancellazione();
        QCOMPARE(scheda != nullptr, !libero);
        if (scheda) {
            QCOMPARE(scheda->titolo(), b.env.cancellazione.descrizione());
            QVERIFY(scheda->dettaglio()->startsWith(QStringLiteral("Non scollegare la chiavetta.")));
            // Only the overwrite has a filling bar.
            QCOMPARE(SchedaProgresso::testoPercentuale(scheda->frazione()), percentuale > 0 ? "37%" : "");
        }
    }

    // Every entry, menu item and row reaches its command; with three sticks,
    // and an archive folder named with trailing slashes. The copies name the
    // stick they take, the one inserted last, to the eye and to a screen reader.
    void everyEntryCallsItsCommand()
    {
        Banco b({"P", "Q", "R"});
        b.env.impostazioni->setDestinationPath("/home/studio/Archivio Ecografie//");
        b.pannello->show();
        b.gira();
        QCOMPARE(b.voce("copiaTutto")->titolo(), QStringLiteral("Copia tutto da «R» in Archivio Ecografie"));
        QCOMPARE(QAccessible::queryAccessibleInterface(b.voce("copiaFiltrato"))->text(QAccessible::Name),
                 QStringLiteral("Copia filtrato da «R» in Archivio Ecografie"));
        QCOMPARE(titoliMenu(b.voce("sceltaSincronizzazione")), (QStringList{"P ↔ Q", "P ↔ R", "Q ↔ R"}));
        // "entry>menu item" chooses that item of the entry's menu.
        for (const QString &clic : QStringList{
                 "apriUltimaUSB", "apriUltimaUSBConNota", "salvaNotaTesto", "salvaNotaFormattata",
                 "copiaTutto", "copiaFiltrato>Solo documenti", "sceltaSincronizzazione>P ↔ R", "diagnostica",
                 "impostazioni", "formattaRapida>Q", "cancellaSicura>R", "aiuto>Avvertenze", "esci"}) {
            const QStringList parti = clic.split('>');
            if (parti.size() > 1)
                azioneMenu(b.pannello->voce(parti[0]), parti[1])->trigger();
            else
                QTest::mouseClick(b.pannello->findChild<QWidget *>(clic), Qt::LeftButton);
        }
        const QList<USBRow *> righe = b.pannello->righe();
        QTest::mouseClick(righe[1], Qt::LeftButton, {}, QPoint(60, 10));
        QTest::mouseClick(righe[2]->pulsanteEspelli(), Qt::LeftButton);
        QCOMPARE(b.chiamate, (QStringList{"apriUltimaUSB", "apriUltimaUSBConNota", "salvaNotaTestoEdEspelli",
                                          "salvaNotaFormattataEdEspelli", "copiaTutto", "copiaFiltrato:1",
                                          "sincronizza:P:R", "apriFinestra:diagnostica",
                                          "apriFinestra:settings", "formattaRapida:Q", "cancellaSicura:R",
                                          "apriAiuto:Avvertenze", "esci", "apriChiavetta:Q", "espelli:R"}));

        // The row: the time, and the capacity read as it comes on screen.
        QCOMPARE(righe[1]->findChild<QLabel *>("ora")->text(),
                 b.monitor->drives()[1].insertedAt.time().toString(QStringLiteral("HH:mm")));
        QVERIFY(righe[1]->testoSpazio()->text().contains(QStringLiteral(" liberi di ")));
        QCOMPARE(righe[1]->pulsanteEspelli()->toolTip(), QStringLiteral("Espelli Q"));
    }

    void spaceFigures_data()
    {
        QTest::addColumn<qint64>("totale");
        QTest::addColumn<qint64>("disponibile");
        QTest::addColumn<bool>("rossa");
        QTest::addColumn<QString>("testo"); // empty: no figures, only name and time
        QTest::newRow("exactly 90% used")
            << 10'000'000'000LL << 1'000'000'000LL << false << "1 GB liberi di 10 GB";
        QTest::newRow("95% used") << 10'000'000'000LL << 500'000'000LL << true << "500 MB liberi di 10 GB";
        QTest::newRow("empty") << 15'900'000'000LL << 15'900'000'000LL << false
                               << "15,9 GB liberi di 15,9 GB";
        QTest::newRow("full") << 4'000'000'000LL << 0LL << true << "0 byte liberi di 4 GB";
        QTest::newRow("no size reported") << 0LL << 0LL << false << "";
    }
    void spaceFigures()
    {
        QFETCH(qint64, totale);
        QFETCH(qint64, disponibile);
        QFETCH(bool, rossa);
        QFETCH(QString, testo);
        TestEnv env;
        USBRow riga(0, {QUuid::createUuid(), QUrl::fromLocalFile("/media/ECO"), "ECO", {}},
                    &env.cancellazione, {}, {});
        riga.setLettoreCapacita([&](const QString &) { return CapacitaVolume{totale, disponibile}; });
        riga.resize(292, riga.sizeHint().height());
        riga.aggiornaSpazio();
        QCOMPARE(riga.barra()->isVisibleTo(&riga), !testo.isEmpty());
        QCOMPARE(riga.testoSpazio()->isVisibleTo(&riga), !testo.isEmpty());
        if (testo.isEmpty())
            return;
        QCOMPARE(riga.testoSpazio()->text(), testo);
        QCOMPARE(riga.barra()->rossa(), rossa);
        QCOMPARE(riga.testoSpazio()->palette().color(QPalette::WindowText) == Colori::red(), rossa);
        QVERIFY(riga.barra()->larghezzaRiempimento() >= 3); // an empty stick still shows a sliver
        // A later read that fails keeps the figures on screen.
        riga.setLettoreCapacita([](const QString &) { return std::nullopt; });
        riga.aggiornaSpazio();
        QCOMPARE(riga.testoSpazio()->text(), testo);
    }

    // The list follows sticks coming and going; pictures of each required look.
    void redrawsAndScreenshots()
    {
        Banco b({});
        QVERIFY(b.pannello->findChild<QLabel *>("nessunaUSB"));
        b.salva("pannello-nessuna.png");
        const QString mp = b.env.path("media/ECOGRAFO");
        QDir().mkpath(mp);
        b.volumi.mount({mp, true, QStringLiteral("ECOGRAFO")});
        QTRY_COMPARE(b.pannello->righe().size(), 1);
        QVERIFY(!b.pannello->findChild<QLabel *>("nessunaUSB") && b.voce("copiaTutto")->isEnabled());
        b.salva("pannello-una.png");
        b.env.centro.setAttuale(CentroOperazioni::Operazione{
            QStringLiteral("Copia in Ecografie…"), QStringLiteral("12 di 48 — IMG_20240318_0042.jpg"), 0.25,
            "doc.on.doc.fill", Colori::green()});
        b.salva("pannello-copia.png");
        // A running operation disables nothing (the operations refuse with an alert).
        QVERIFY(b.voce("copiaTutto")->isEnabled() && b.voce("esci")->isEnabled());
        b.env.centro.setAttuale(std::nullopt);
        QVERIFY(!b.pannello->schedaOperazione());
        b.volumi.unmount(mp);
        QTRY_COMPARE(b.pannello->righe().size(), 0);
        QVERIFY(!b.voce("copiaTutto")->isEnabled());

        Banco({"ECO_A", "ECO_B", "PAZIENTE_ROSSI"}).salva("pannello-tre.png");
        Banco cancellazione({"ECO_A", "ECO_B"});
        cancellazione.cancella(Fase::cancellazione, 37.0);
        cancellazione.salva("pannello-cancellazione-37.png");
        QCOMPARE(cancellazione.pannello->height(), cancellazione.pannello->altezzaDesiderata());
        // The warning not to unplug the stick is read whole.
        QCOMPARE(cancellazione.pannello->schedaCancellazione()->righeDettaglio().join(' '),
                 *cancellazione.pannello->schedaCancellazione()->dettaglio());
    }

    // The quiet line: none until the archive holds a manifest, then "never";
    // none for a month after a verification, then the days; a date to come
    // does not silence it; none while other work runs. "Verifica ora" starts it.
    void archiveVerificationReminder()
    {
        Banco b({});
        PromemoriaVerifica *promemoria = b.pannello->promemoriaVerifica();
        const auto testo = [&] {
            b.gira();
            return promemoria->testoMostrato();
        };
        QTest::qWait(50);
        QCOMPARE(testo(), QString());
        QVERIFY(TestSupport::writeFile(
            b.env.impostazioni->destinationPath() + "/.tessera-manifest/2024-03-07_09-05-31_ECO.sha256", ""));
        const CentroOperazioni::Operazione copia{"Copia in Archivio…", std::nullopt, 0.5, "doc.on.doc.fill",
                                                 Colori::green()};
        b.env.centro.setAttuale(copia); // a copy that leaves the first manifest ends
        QCOMPARE(testo(), QString());
        b.env.centro.setAttuale(std::nullopt);
        QTRY_COMPARE(testo(), QString("L'archivio non è mai stato verificato."));
        b.salva("pannello-promemoria-verifica.png");
        QCOMPARE(b.pannello->height(), b.pannello->altezzaDesiderata());
        const QDateTime adesso = Orologio::adesso();
        b.env.impostazioni->setUltimaVerificaArchivio(adesso.addDays(-30));
        QCOMPARE(testo(), QString());
        b.env.impostazioni->setUltimaVerificaArchivio(adesso.addDays(-45));
        QCOMPARE(testo(), QString("Archivio non verificato da 45 giorni."));
        b.env.impostazioni->setUltimaVerificaArchivio(adesso.addDays(3));
        QVERIFY(!testo().isEmpty());
        QTest::mouseClick(promemoria->pulsante(), Qt::LeftButton);
        QCOMPARE(b.chiamate, QStringList{"verificaArchivio"});

        CentroOperazioni::Operazione verifica{
            "Verifica dell'archivio Ecografie…",
            "1234 di 20000 · 84,6 MB/s · mancano 3 min — IMG_20240318_0042.jpg", 0.31,
            "checkmark.circle.fill", Colori::teal()};
        verifica.annulla = std::make_shared<const std::function<void()>>([] {});
        b.env.centro.setAttuale(verifica);
        QCOMPARE(testo(), QString());
        b.salva("pannello-verifica-archivio.png");
    }

    // A screen reader counts the children of the panel's scroll area, then
    // asks for each by its index; meanwhile the panel may get room (a card
    // goes) and the scroll bar with it. Every index counted still gives the
    // child at that index, or none. (Qt's own interface read past the end of
    // its list there: a crash in the AddressSanitizer build, and one when
    // what lay past the end was not a live object.)
    void scrollAreaChildrenAskedAfterTheBarWent()
    {
        Banco b({"P", "Q", "R"});
        b.pannello->setAltezzaMassima(150);
        b.pannello->show();
        QScrollArea *area = b.pannello->scorrimento();
        QTRY_VERIFY(area->verticalScrollBar()->isVisible());
        QAccessibleInterface *lettore = QAccessible::queryAccessibleInterface(area);
        QVERIFY(lettore);
        const int contati = lettore->childCount();
        b.pannello->setAltezzaMassima(2000);
        QTRY_VERIFY(!area->verticalScrollBar()->isVisible());
        for (int i = 0; i < contati; ++i) {
            QAccessibleInterface *figlio = lettore->child(i);
            QVERIFY2(!figlio || lettore->indexOfChild(figlio) == i, qPrintable(QString::number(i)));
        }
    }

    // Every long operation shows on the icon, the erase first: it must not be cut short.
    void trayIconShowsLongWork()
    {
        TestEnv env;
        const auto testo = [&] {
            return testoIconaVassoio(lavoroInCorso(env.cancellazione, env.centro, env.diagnostica));
        };
        QCOMPARE(testo(), QString());
        env.diagnostica.inizia(DiagnosticaManager::Operazione::testVelocita);
        QCOMPARE(testo(), QStringLiteral("…"));
        env.centro.setAttuale(
            CentroOperazioni::Operazione{"Copia in Ecografie…", {}, 0.29, "doc.on.doc.fill", {}});
        QCOMPARE(testo(), QStringLiteral("29%"));
        QCOMPARE(lavoroInCorso(env.cancellazione, env.centro, env.diagnostica)->descrizione,
                 "Copia in Ecografie…");
        env.cancellazione.avvia(QStringLiteral("ECO_A"));
        env.cancellazione.impostaFase(Fase::cancellazione);
        env.cancellazione.registraPercentuale(37.9);
        QCOMPARE(testo(), QStringLiteral("37%"));
        QVERIFY(disegnaIconaVassoio("37%") != disegnaIconaVassoio("")); // the text is in the image
        for (const auto &[t, file] :
             {std::pair{"", "tray-idle.png"}, {"…", "tray-waiting.png"}, {"37%", "tray-37.png"}})
            QVERIFY(disegnaIconaVassoio(t, 64).save(QDir(TestSupport::artifactsDir()).filePath(file)));
    }

    // The drop-down takes the side of its icon with more room, as tall as it
    // may be there, and never lies over the icon.
    void dropDownPlacement_data()
    {
        QTest::addColumn<QRect>("icona"); // invalid: only the pointer is known
        QTest::addColumn<int>("desiderata");
        QTest::addColumn<QRect>("atteso");
        const QRect area(0, 27, 1366, 741); // a 27-point bar at the top
        QTest::newRow("top bar, too tall") << QRect(1200, 2, 24, 24) << 1556 << QRect(1046, 27, 320, 741);
        QTest::newRow("icon low on the screen") << QRect(600, 700, 24, 24) << 900 << QRect(451, 27, 320, 673);
        QTest::newRow("pointer only") << QRect() << 900 << QRect(451, 27, 320, 661);
    }
    void dropDownPlacement()
    {
        QFETCH(QRect, icona);
        QFETCH(int, desiderata);
        QFETCH(QRect, atteso);
        const QRect posto = posizionePannello(QRect(0, 27, 1366, 741), icona, {612, 700}, {320, desiderata});
        QCOMPARE(posto, atteso);
    }

    // The windows are single instances; the panel's help menu opens the one
    // help window at the page chosen.
    void windowsAreSingleInstanceAndHelpOpensAtItsPage()
    {
        QuillonApp app;
        app.apriFinestra(Finestre::diagnostica);
        app.apriFinestra(Finestre::diagnostica);
        MenuBarView *pannello = nullptr;
        for (QWidget *w : QApplication::allWidgets())
            pannello = pannello ? pannello : qobject_cast<MenuBarView *>(w);
        azioneMenu(pannello->voce("aiuto"), QStringLiteral("Risoluzione problemi"))->trigger();
        app.apriFinestra(Finestre::aiuto);
        QStringList titoli;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && !w->windowTitle().isEmpty() &&
                w->windowTitle() != QStringLiteral("Tessera"))
                titoli << w->windowTitle();
            if (auto *v = qobject_cast<AiutoView *>(w); v && v->isVisible())
                QCOMPARE(v->sezioneMostrata(), SezioneAiuto::problemi);
        }
        titoli.sort();
        QCOMPARE(titoli, (QStringList{"Aiuto", "Diagnostica USB"}));
    }
};

QTEST_MAIN(TestPanel)
#include "TestPanel.moc"
