#include "app/ColoredActionLabel.h"
#include "app/MenuBarView.h"
#include "app/USBMonitor.h"
#include "app/USBRow.h"
#include "help/SezioneAiuto.h"
#include "settings/Colori.h"
#include "support/FakeVolumeSource.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
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
        monitor = std::make_unique<USBMonitor>(&volumi, env.settings.get());
        pannello = std::make_unique<MenuBarView>(monitor.get(), env.servizi, comandi());
    }

    ComandiPannello comandi()
    {
        ComandiPannello c;
        auto semplice = [this](const char *nome) {
            return [this, nome] { chiamate << QString::fromLatin1(nome); };
        };
        auto suChiavetta = [this](const char *nome) {
            return [this, nome](const USBDrive &d) { chiamate << QStringLiteral("%1:%2").arg(nome, d.name); };
        };
        c.apriUltimaUSB = semplice("apriUltimaUSB");
        c.apriUltimaUSBConNota = semplice("apriUltimaUSBConNota");
        c.salvaNotaTestoEdEspelli = semplice("salvaNotaTestoEdEspelli");
        c.salvaNotaFormattataEdEspelli = semplice("salvaNotaFormattataEdEspelli");
        c.copiaTutto = semplice("copiaTutto");
        c.copiaFiltrato = [this](CategoriaFile cat) {
            chiamate << QStringLiteral("copiaFiltrato:%1").arg(int(cat));
        };
        c.sincronizza = [this](const USBDrive &a, const USBDrive &b) {
            chiamate << QStringLiteral("sincronizza:%1,%2").arg(a.name, b.name);
        };
        c.formattaRapida = suChiavetta("formattaRapida");
        c.cancellaSicura = suChiavetta("cancellaSicura");
        c.espelli = suChiavetta("espelli");
        c.apriChiavetta = suChiavetta("apriChiavetta");
        c.apriFinestra = [this](const QString &id) { chiamate << QStringLiteral("apriFinestra:%1").arg(id); };
        c.apriAiuto = [this](SezioneAiuto s) {
            chiamate << QStringLiteral("apriAiuto:%1").arg(etichetta(s));
        };
        c.esci = semplice("esci");
        return c;
    }

    VoceAzione *voce(const char *nome) const { return pannello->voce(QString::fromLatin1(nome)); }
    // Lets the panel redraw after a change, as the event loop would.
    void gira() { QCoreApplication::processEvents(); }

    TestEnv env;
    FakeVolumeSource volumi;
    std::unique_ptr<USBMonitor> monitor;
    QStringList chiamate;
    std::unique_ptr<MenuBarView> pannello;
};

QStringList nomiChiavette(int n)
{
    const QStringList tutti = {"ECO_A", "ECO_B", "ECO_C"};
    return tutti.mid(0, n);
}

QStringList titoliMenu(VoceAzione *voce)
{
    QStringList t;
    if (voce && voce->menuVoci()) {
        for (QAction *a : voce->menuVoci()->actions())
            t << a->text();
    }
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

void salva(QWidget *w, const QString &nome)
{
    QCoreApplication::processEvents();
    w->adjustSize();
    QVERIFY(w->grab().save(QDir(TestSupport::artifactsDir()).filePath(nome)));
}
} // namespace

class TestPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); }

    void enablingRulesFollowSticksAndErase_data()
    {
        QTest::addColumn<int>("chiavette");
        QTest::addColumn<Fase>("fase");
        QTest::addColumn<double>("percentuale"); // < 0: none
        QTest::addColumn<bool>("azioni");
        QTest::addColumn<QString>("clona"); // "testo", "voce" or "menu"
        QTest::addColumn<bool>("clonaAbilitata");
        QTest::addColumn<bool>("discoComeMenu");
        QTest::addColumn<bool>("discoAbilitato");
        QTest::addColumn<bool>("esci");

        QTest::newRow("no stick") << 0 << Fase::inattivo << -1.0 << false << "testo" << true << true << false
                                  << true;
        QTest::newRow("one stick") << 1 << Fase::inattivo << -1.0 << true << "testo" << true << false << true
                                   << true;
        QTest::newRow("two sticks") << 2 << Fase::inattivo << -1.0 << true << "voce" << true << true << true
                                    << true;
        QTest::newRow("three sticks")
            << 3 << Fase::inattivo << -1.0 << true << "menu" << true << true << true << true;
        QTest::newRow("verifying") << 1 << Fase::verifica << -1.0 << false << "testo" << false << false
                                   << false << false;
        QTest::newRow("erasing at 37.9")
            << 2 << Fase::cancellazione << 37.9 << false << "voce" << false << true << false << false;
        QTest::newRow("erasing, no percentage yet")
            << 3 << Fase::cancellazione << -1.0 << false << "menu" << false << true << false << false;
        QTest::newRow("formatting") << 1 << Fase::formattazione << -1.0 << false << "testo" << false << false
                                    << false << false;
    }
    void enablingRulesFollowSticksAndErase()
    {
        QFETCH(int, chiavette);
        QFETCH(Fase, fase);
        QFETCH(double, percentuale);
        QFETCH(bool, azioni);
        QFETCH(QString, clona);
        QFETCH(bool, clonaAbilitata);
        QFETCH(bool, discoComeMenu);
        QFETCH(bool, discoAbilitato);
        QFETCH(bool, esci);

        Banco b(nomiChiavette(chiavette));
        if (fase != Fase::inattivo) {
            b.env.erase.avvia(QStringLiteral("ECO_A"));
            if (fase != Fase::verifica)
                b.env.erase.impostaFase(fase);
            if (percentuale >= 0)
                b.env.erase.registraPercentuale(percentuale);
        }
        b.gira();

        for (const char *n : {"apriUltimaUSB", "apriUltimaUSBConNota", "salvaNotaTesto",
                              "salvaNotaFormattata", "copiaTutto", "copiaFiltrato"}) {
            QVERIFY2(b.voce(n), n);
            QVERIFY2(b.voce(n)->isEnabled() == azioni, n);
        }
        QVERIFY(b.pannello->findChild<QWidget *>("impostazioni")->isEnabled());
        QVERIFY(b.voce("diagnostica")->isEnabled());
        QVERIFY(b.voce("aiuto")->isEnabled());

        QCOMPARE(b.pannello->findChild<QLabel *>("servonoDueUSB") != nullptr, clona == "testo");
        QCOMPARE(b.voce("sincronizza") != nullptr, clona == "voce");
        QCOMPARE(b.voce("sceltaSincronizzazione") != nullptr, clona == "menu");
        QCOMPARE(b.pannello->findChild<QWidget *>("clona")->isEnabled(), clonaAbilitata);

        for (const char *n : {"formattaRapida", "cancellaSicura"}) {
            QVERIFY2((b.voce(n)->menuVoci() != nullptr) == discoComeMenu, n);
            QVERIFY2(b.voce(n)->isEnabled() == discoAbilitato, n);
            QCOMPARE(titoliMenu(b.voce(n)), discoComeMenu ? nomiChiavette(chiavette) : QStringList());
        }

        QCOMPARE(b.voce("esci")->isEnabled(), esci);
        QCOMPARE(b.pannello->azioneEsci()->isEnabled(), esci);
        QCOMPARE(b.voce("esci")->toolTip(),
                 esci ? QStringLiteral("Esci da Orvala – Tessera")
                      : QStringLiteral("Non puoi uscire durante la cancellazione sicura"));
        QCOMPARE(b.voce("esci")->etichetta()->systemImage(), QString());

        SchedaProgresso *scheda = b.pannello->schedaCancellazione();
        QCOMPARE(scheda != nullptr, fase != Fase::inattivo);
        for (USBRow *r : b.pannello->righe())
            QCOMPARE(r->pulsanteEspelli()->isEnabled(), fase == Fase::inattivo);
        if (scheda) {
            QCOMPARE(scheda->titolo(), b.env.erase.descrizione());
            QCOMPARE(scheda->icona(), QStringLiteral("trash.fill"));
            QVERIFY(scheda->dettaglio()->startsWith(QStringLiteral("Non scollegare la chiavetta.")));
            // Only the overwrite has a filling bar.
            const bool barra = fase == Fase::cancellazione && percentuale >= 0;
            QCOMPARE(scheda->indeterminato(), !barra);
            if (barra)
                QCOMPARE(SchedaProgresso::testoPercentuale(scheda->frazione()), QStringLiteral("37%"));
        }
    }

    void eraseCardFollowsTheErase()
    {
        Banco b({"ECO_A"});
        b.env.erase.avvia(QStringLiteral("ECO_A"));
        QVERIFY(b.pannello->schedaCancellazione()->indeterminato());
        b.env.erase.impostaFase(Fase::cancellazione);
        b.env.erase.registraPercentuale(37.9);
        QCOMPARE(b.pannello->schedaCancellazione()->titolo(),
                 QStringLiteral("Cancellazione sicura di \"ECO_A\" in corso…"));
        QCOMPARE(*b.pannello->schedaCancellazione()->frazione(), 0.379);
        b.env.erase.impostaFase(Fase::formattazione);
        QVERIFY(b.pannello->schedaCancellazione()->indeterminato());
        b.env.erase.azzera();
        b.gira();
        QVERIFY(!b.pannello->schedaCancellazione());
        QVERIFY(b.voce("esci")->isEnabled());
    }

    void operationCardFollowsTheCentre()
    {
        Banco b({"ECO_A"});
        QVERIFY(!b.pannello->schedaOperazione());
        b.env.centro.setAttuale(
            CentroOperazioni::Operazione{QStringLiteral("Copia in Archivio…"), std::nullopt, std::nullopt,
                                         QStringLiteral("doc.on.doc.fill"), QColor(Qt::green)});
        QVERIFY(b.pannello->schedaOperazione());
        QVERIFY(b.pannello->schedaOperazione()->indeterminato());
        // A running copy does not disable anything by itself: the operations refuse with an alert.
        b.gira();
        QVERIFY(b.voce("copiaTutto")->isEnabled());
        QVERIFY(b.voce("esci")->isEnabled());
        b.env.centro.aggiorna(0.5, QStringLiteral("2 di 4 — b.jpg"));
        QCOMPARE(*b.pannello->schedaOperazione()->frazione(), 0.5);
        QCOMPARE(*b.pannello->schedaOperazione()->dettaglio(), QStringLiteral("2 di 4 — b.jpg"));
        b.env.centro.aggiorna(std::nullopt, std::nullopt, QStringLiteral("Verifica copia…"));
        QCOMPARE(b.pannello->schedaOperazione()->titolo(), QStringLiteral("Verifica copia…"));
        b.env.centro.setAttuale(std::nullopt);
        QVERIFY(!b.pannello->schedaOperazione());
    }

    void labelsNameSticksAndFolder_data()
    {
        QTest::addColumn<QString>("cartella");
        QTest::addColumn<QString>("nome");
        QTest::newRow("plain") << "/home/studio/Archivio Ecografie"
                               << "Archivio Ecografie";
        QTest::newRow("trailing slash") << "/home/studio/Archivio Ecografie/"
                                        << "Archivio Ecografie";
        QTest::newRow("several slashes") << "/home/studio/Ecografie//"
                                         << "Ecografie";
    }
    void labelsNameSticksAndFolder()
    {
        QFETCH(QString, cartella);
        QFETCH(QString, nome);
        Banco b({"ECO_A", "ECO_B"});
        b.env.settings->setDestinationPath(cartella);
        b.gira();
        QCOMPARE(b.voce("copiaTutto")->titolo(), QStringLiteral("Copia tutto in %1").arg(nome));
        QCOMPARE(b.voce("copiaFiltrato")->titolo(), QStringLiteral("Copia filtrato in %1").arg(nome));
        QCOMPARE(b.voce("sincronizza")->titolo(), QStringLiteral("Sincronizza ECO_A ↔ ECO_B"));
        QCOMPARE(titoliMenu(b.voce("copiaFiltrato")),
                 (QStringList{"Solo video", "Solo documenti", "Solo immagini"}));
        QCOMPARE(titoliMenu(b.voce("aiuto")),
                 (QStringList{"Guida alle funzioni", "Risoluzione problemi", "Chi siamo", "Avvertenze"}));
    }

    void pairsMenuListsEveryPairInListOrder()
    {
        Banco b({"P", "Q", "R"});
        VoceAzione *voce = b.voce("sceltaSincronizzazione");
        QCOMPARE(voce->titolo(), QStringLiteral("Scegli quali USB sincronizzare"));
        QCOMPARE(titoliMenu(voce), (QStringList{"P ↔ Q", "P ↔ R", "Q ↔ R"}));
        azioneMenu(voce, "P ↔ R")->trigger();
        azioneMenu(voce, "Q ↔ R")->trigger();
        QCOMPARE(b.chiamate, (QStringList{"sincronizza:P,R", "sincronizza:Q,R"}));
    }

    void entriesCallTheirCommand_data()
    {
        QTest::addColumn<int>("chiavette");
        QTest::addColumn<QString>("voce");
        QTest::addColumn<QString>("elemento"); // menu item to choose; empty: click the entry
        QTest::addColumn<QString>("chiamata");
        QTest::newRow("open last") << 1 << "apriUltimaUSB"
                                   << ""
                                   << "apriUltimaUSB";
        QTest::newRow("open with note") << 1 << "apriUltimaUSBConNota"
                                        << ""
                                        << "apriUltimaUSBConNota";
        QTest::newRow("txt note") << 1 << "salvaNotaTesto"
                                  << ""
                                  << "salvaNotaTestoEdEspelli";
        QTest::newRow("rtf note") << 1 << "salvaNotaFormattata"
                                  << ""
                                  << "salvaNotaFormattataEdEspelli";
        QTest::newRow("copy all") << 1 << "copiaTutto"
                                  << ""
                                  << "copiaTutto";
        QTest::newRow("filtered: documents") << 1 << "copiaFiltrato"
                                             << "Solo documenti"
                                             << "copiaFiltrato:1";
        QTest::newRow("filtered: images") << 1 << "copiaFiltrato"
                                          << "Solo immagini"
                                          << "copiaFiltrato:2";
        QTest::newRow("sync two") << 2 << "sincronizza"
                                  << ""
                                  << "sincronizza:ECO_A,ECO_B";
        QTest::newRow("diagnostics") << 0 << "diagnostica"
                                     << ""
                                     << "apriFinestra:diagnostica";
        QTest::newRow("format the only stick") << 1 << "formattaRapida"
                                               << ""
                                               << "formattaRapida:ECO_A";
        QTest::newRow("erase the only stick") << 1 << "cancellaSicura"
                                              << ""
                                              << "cancellaSicura:ECO_A";
        QTest::newRow("format the second of two") << 2 << "formattaRapida"
                                                  << "ECO_B"
                                                  << "formattaRapida:ECO_B";
        QTest::newRow("erase the third of three") << 3 << "cancellaSicura"
                                                  << "ECO_C"
                                                  << "cancellaSicura:ECO_C";
        QTest::newRow("help: troubleshooting") << 0 << "aiuto"
                                               << "Risoluzione problemi"
                                               << "apriAiuto:Risoluzione problemi";
        QTest::newRow("help: warnings") << 0 << "aiuto"
                                        << "Avvertenze"
                                        << "apriAiuto:Avvertenze";
        QTest::newRow("quit") << 0 << "esci"
                              << ""
                              << "esci";
    }
    void entriesCallTheirCommand()
    {
        QFETCH(int, chiavette);
        QFETCH(QString, voce);
        QFETCH(QString, elemento);
        QFETCH(QString, chiamata);
        Banco b(nomiChiavette(chiavette));
        VoceAzione *v = b.pannello->voce(voce);
        QVERIFY(v);
        if (elemento.isEmpty()) {
            QTest::mouseClick(v, Qt::LeftButton);
        } else {
            QAction *a = azioneMenu(v, elemento);
            QVERIFY(a);
            a->trigger();
        }
        QCOMPARE(b.chiamate, QStringList{chiamata});
    }

    void gearOpensSettings()
    {
        Banco b({});
        auto *gear = b.pannello->findChild<PulsanteSimbolo *>("impostazioni");
        QCOMPARE(gear->toolTip(), QStringLiteral("Impostazioni"));
        QCOMPARE(gear->simbolo(), QStringLiteral("gearshape"));
        QTest::mouseClick(gear, Qt::LeftButton);
        QCOMPARE(b.chiamate, QStringList{"apriFinestra:settings"});
    }

    void quitShortcutObeysTheEraseRule()
    {
        Banco b({"ECO_A"});
        b.pannello->show();
        QApplication::setActiveWindow(b.pannello.get());
        QVERIFY(QTest::qWaitForWindowActive(b.pannello.get()));
        b.env.erase.avvia(QStringLiteral("ECO_A"));
        b.gira();
        QTest::keyClick(b.pannello.get(), Qt::Key_Q, Qt::ControlModifier);
        QTest::mouseClick(b.voce("esci"), Qt::LeftButton);
        QVERIFY(b.chiamate.isEmpty());
        b.env.erase.azzera();
        b.gira();
        QTest::keyClick(b.pannello.get(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(b.chiamate, QStringList{"esci"});
    }

    void rowsShowStickAndOpenIt()
    {
        Banco b({"ECO_A", "ECO_B", "ECO_C"});
        b.pannello->show();
        const QList<USBRow *> righe = b.pannello->righe();
        QCOMPARE(righe.size(), 3);
        QCOMPARE(righe[0]->findChild<QLabel *>("posizione")->text(), QStringLiteral("1."));
        QCOMPARE(righe[2]->findChild<QLabel *>("posizione")->text(), QStringLiteral("3."));
        QCOMPARE(righe[1]->findChild<QLabel *>("nome")->text(), QStringLiteral("ECO_B"));
        const QTime ora = b.monitor->drives()[1].insertedAt.time();
        QCOMPARE(righe[1]->findChild<QLabel *>("ora")->text(), ora.toString(QStringLiteral("HH:mm")));
        // The mount points are real folders: capacity is read when the row comes on screen.
        QVERIFY(righe[1]->spazio().has_value());
        QVERIFY(righe[1]->barra()->isVisibleTo(righe[1]));
        QVERIFY(righe[1]->testoSpazio()->text().contains(QStringLiteral(" liberi di ")));
        QCOMPARE(righe[1]->pulsanteEspelli()->toolTip(), QStringLiteral("Espelli ECO_B"));

        QTest::mouseClick(righe[1], Qt::LeftButton, {}, QPoint(60, 10));
        QTest::mouseClick(righe[2]->pulsanteEspelli(), Qt::LeftButton);
        QCOMPARE(b.chiamate, (QStringList{"apriChiavetta:ECO_B", "espelli:ECO_C"}));

        // During an erase the row still opens the stick, but can't eject it.
        b.env.erase.avvia(QStringLiteral("ECO_A"));
        b.gira();
        USBRow *r = b.pannello->righe()[0];
        QTest::mouseClick(r, Qt::LeftButton, {}, QPoint(60, 10));
        QTest::mouseClick(r->pulsanteEspelli(), Qt::LeftButton);
        QCOMPARE(b.chiamate.mid(2), QStringList{"apriChiavetta:ECO_A"});
    }

    void hoverBringsTheEjectButtonForward()
    {
        Banco b({"ECO_A"});
        b.pannello->show();
        USBRow *r = b.pannello->righe().first();
        QCOMPARE(r->pulsanteEspelli()->opacita(), 0.4);
        QEnterEvent entra(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(r, &entra);
        QVERIFY(r->hovering());
        QCOMPARE(r->pulsanteEspelli()->opacita(), 1.0);
        QEvent esce(QEvent::Leave);
        QApplication::sendEvent(r, &esce);
        QVERIFY(!r->hovering());
        QCOMPARE(r->pulsanteEspelli()->opacita(), 0.4);
    }

    void spaceFigures_data()
    {
        QTest::addColumn<qint64>("totale");
        QTest::addColumn<qint64>("disponibile");
        QTest::addColumn<bool>("rossa");
        QTest::addColumn<QString>("testo");
        QTest::newRow("exactly 90% used")
            << qint64(10'000'000'000) << qint64(1'000'000'000) << false << "1 GB liberi di 10 GB";
        QTest::newRow("95% used") << qint64(10'000'000'000) << qint64(500'000'000) << true
                                  << "500 MB liberi di 10 GB";
        QTest::newRow("empty 16 GB stick")
            << qint64(15'900'000'000) << qint64(15'900'000'000) << false << "15,9 GB liberi di 15,9 GB";
        QTest::newRow("full") << qint64(4'000'000'000) << qint64(0) << true << "0 byte liberi di 4 GB";
    }
    void spaceFigures()
    {
        QFETCH(qint64, totale);
        QFETCH(qint64, disponibile);
        QFETCH(bool, rossa);
        QFETCH(QString, testo);
        USBDrive d{QUuid::createUuid(), QUrl::fromLocalFile("/media/ECO"), "ECO",
                   QDateTime::currentDateTime()};
        TestEnv env;
        USBRow riga(0, d, &env.erase, {}, {});
        riga.setLettoreCapacita([&](const QString &) { return CapacitaVolume{totale, disponibile}; });
        riga.resize(292, riga.sizeHint().height());
        riga.aggiornaSpazio();
        QCOMPARE(riga.barra()->rossa(), rossa);
        QCOMPARE(riga.testoSpazio()->text(), testo);
        QCOMPARE(riga.testoSpazio()->palette().color(QPalette::WindowText) == Colori::red(), rossa);
        // An empty stick still shows a 3-point sliver.
        QVERIFY(riga.barra()->larghezzaRiempimento() >= 3);

        // A later read that fails keeps the figures on screen.
        riga.setLettoreCapacita([](const QString &) { return std::nullopt; });
        riga.aggiornaSpazio();
        QCOMPARE(riga.testoSpazio()->text(), testo);
    }

    void unreadableCapacityShowsNameAndTimeOnly()
    {
        QVERIFY(!leggiCapacita(QStringLiteral("/nonexistent/tessera/stick")).has_value());
        QVERIFY(!leggiCapacita(QString()).has_value());
        QVERIFY(!spazioDa(CapacitaVolume{0, 0}).has_value());
        USBDrive d{QUuid::createUuid(), QUrl::fromLocalFile("/nonexistent/tessera/stick"), "GONE",
                   QDateTime::currentDateTime()};
        TestEnv env;
        USBRow riga(0, d, &env.erase, {}, {});
        riga.show();
        QVERIFY(!riga.spazio().has_value());
        QVERIFY(!riga.barra()->isVisibleTo(&riga));
        QVERIFY(!riga.testoSpazio()->isVisibleTo(&riga));
    }

    void capacityOfARealFolder()
    {
        TestEnv env;
        const auto c = leggiCapacita(env.path());
        QVERIFY(c.has_value());
        QVERIFY(c->totale > 0);
        QVERIFY(c->disponibile >= 0 && c->disponibile <= c->totale);
    }

    void bytesInTheUsersLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<qint64>("byte");
        QTest::addColumn<QString>("testo");
        const QLocale it(QLocale::Italian, QLocale::Italy), en(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("it GB") << it << qint64(15'900'000'000) << "15,9 GB";
        QTest::newRow("it MB") << it << qint64(1'500'000) << "1,5 MB";
        QTest::newRow("decimal, not binary") << it << qint64(1'000'000'000) << "1 GB";
        QTest::newRow("a zero decimal is dropped") << it << qint64(10'040'000'000) << "10 GB";
        QTest::newRow("but not a zero in the number") << it << qint64(20'500'000'000) << "20,5 GB";
        QTest::newRow("en GB") << en << qint64(15'900'000'000) << "15.9 GB";
    }
    void bytesInTheUsersLocale()
    {
        QFETCH(QLocale, locale);
        QFETCH(qint64, byte);
        QFETCH(QString, testo);
        QCOMPARE(formattaByte(byte, locale), testo);
    }

    void redrawsWhenSticksComeAndGo()
    {
        Banco b({});
        QVERIFY(b.pannello->findChild<QLabel *>("nessunaUSB"));
        const QString mp = b.env.path("media/NUOVA");
        QDir().mkpath(mp);
        b.volumi.mount({mp, true, QStringLiteral("NUOVA")});
        QTRY_COMPARE(b.pannello->righe().size(), 1);
        QVERIFY(!b.pannello->findChild<QLabel *>("nessunaUSB"));
        QVERIFY(b.voce("copiaTutto")->isEnabled());
        QVERIFY(!b.voce("formattaRapida")->menuVoci());
        b.volumi.unmount(mp);
        QTRY_COMPARE(b.pannello->righe().size(), 0);
        QVERIFY(!b.voce("copiaTutto")->isEnabled());
    }

    void screenshots()
    {
        {
            Banco b({});
            salva(b.pannello.get(), "pannello-nessuna.png");
        }
        {
            Banco b({"ECOGRAFO"});
            b.pannello->show();
            salva(b.pannello.get(), "pannello-una.png");
        }
        {
            Banco b({"ECO_A", "ECO_B", "PAZIENTE_ROSSI"});
            b.pannello->show();
            salva(b.pannello.get(), "pannello-tre.png");
        }
        {
            Banco b({"ECOGRAFO"});
            b.env.centro.setAttuale(CentroOperazioni::Operazione{
                QStringLiteral("Copia in Ecografie…"), QStringLiteral("12 di 48 — IMG_20240318_0042.jpg"),
                0.25, QStringLiteral("doc.on.doc.fill"), Colori::green()});
            b.pannello->show();
            salva(b.pannello.get(), "pannello-copia.png");
        }
        {
            Banco b({"ECO_A", "ECO_B"});
            b.env.erase.avvia(QStringLiteral("ECO_B"));
            b.env.erase.impostaFase(Fase::cancellazione);
            b.env.erase.registraPercentuale(37.0);
            b.gira();
            b.pannello->show();
            salva(b.pannello.get(), "pannello-cancellazione-37.png");
        }
    }
};

QTEST_MAIN(TestPanel)
#include "TestPanel.moc"
