#include "disk/DialoghiDisco.h"
#include "disk/QuickFormatUSBAction.h"
#include "disk/SecureEraseUSBAction.h"
#include "settings/Colori.h"
#include "support/TestEnv.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QStorageInfo>
#include <QTest>

namespace {
const QString percorsoStick = QStringLiteral("/media/test/STUDIO");
const QStringList infoStick{"info", "-plist", percorsoStick};
const QString tailErrore = QStringLiteral("Errore di I/O sul dispositivo");

USBDrive chiavetta(const QString &nome = QStringLiteral("STUDIO"))
{
    return USBDrive{QUuid::createUuid(), QUrl::fromLocalFile(percorsoStick), nome,
                    QDateTime::currentDateTime()};
}

// The log entries without their timestamps. An error text may run over
// several lines (the tool's own words follow the command).
QStringList righe(const TestEnv &env)
{
    QStringList voci;
    for (const QString &r : env.logLines()) {
        if (r.startsWith(QLatin1Char('[')) && r.size() > 22 && r.at(20) == QLatin1Char(']'))
            voci.append(r.mid(22));
        else if (!voci.isEmpty())
            voci.last() += QLatin1Char('\n') + r;
    }
    return voci;
}

QString volumeDi(const QString &percorso)
{
    return QStorageInfo(percorso).rootPath();
}

// A notifier whose permission request lets something else happen meanwhile.
class NotificheConIntervallo : public FakeNotifier {
public:
    std::function<void()> intanto;
    QCoro::Task<> richiediPermessoNotifiche() override
    {
        if (intanto)
            intanto();
        co_await FakeNotifier::richiediPermessoNotifiche();
    }
};

enum class Rifiuto { interno, nonRimovibile, senzaInterno, discoDiSistema, discoDellArchivio };
enum class Guasto {
    infoFallita,
    infoIllegibile,
    strumentoAssente,
    cancellazioneFallita,
    formattazioneFallita
};
enum class Occupato { erase, diagnostica, centro };
} // namespace

Q_DECLARE_METATYPE(Rifiuto)
Q_DECLARE_METATYPE(Guasto)
Q_DECLARE_METATYPE(Occupato)

class TestFormatErase : public QObject {
    Q_OBJECT

    // Scripts the report of the stick and of the volumes the check protects.
    static void preparaRifiuto(TestEnv &env, Rifiuto r)
    {
        auto &d = env.disco;
        d.rispondi({"info", "-plist", volumeDi("/")}, FakeEsecutoreDisco::reportInfo("vda", true, false));
        switch (r) {
        case Rifiuto::interno:
            d.rispondi(infoStick, FakeEsecutoreDisco::reportInfo("sdb", true, true));
            break;
        case Rifiuto::nonRimovibile:
            d.rispondi(infoStick, FakeEsecutoreDisco::reportInfo({{"ParentWholeDisk", "sdb"},
                                                                  {"Internal", false},
                                                                  {"RemovableMedia", false},
                                                                  {"Removable", true}}));
            break;
        case Rifiuto::senzaInterno:
            d.rispondi(infoStick, FakeEsecutoreDisco::reportInfo(
                                      {{"ParentWholeDisk", "sdb"}, {"RemovableMedia", true}}));
            break;
        case Rifiuto::discoDiSistema:
            d.rispondi(infoStick, FakeEsecutoreDisco::reportInfo("vda", false, true));
            break;
        case Rifiuto::discoDellArchivio:
            // An archive folder on the stick's disk, which the report calls external and removable.
            env.settings->setDestinationPath(QStringLiteral("/proc/tessera-archivio/Ecografie"));
            d.rispondi(infoStick, FakeEsecutoreDisco::reportInfo("sdb", false, true));
            d.rispondi({"info", "-plist", volumeDi("/proc")},
                       FakeEsecutoreDisco::reportInfo("sdb", false, true));
            break;
        }
    }

    static void preparaSicuro(TestEnv &env)
    {
        env.disco.rispondi(infoStick, FakeEsecutoreDisco::reportInfo("sdb", false, true));
        env.disco.rispondi({"info", "-plist", volumeDi("/")},
                           FakeEsecutoreDisco::reportInfo("vda", true, false));
    }

    static void aggiungiRifiuti()
    {
        QTest::addColumn<Rifiuto>("rifiuto");
        QTest::newRow("internal") << Rifiuto::interno;
        QTest::newRow("RemovableMedia false, Removable true") << Rifiuto::nonRimovibile;
        QTest::newRow("no Internal key") << Rifiuto::senzaInterno;
        QTest::newRow("disk holding /") << Rifiuto::discoDiSistema;
        QTest::newRow("disk holding the archive") << Rifiuto::discoDellArchivio;
    }

    static QList<QStringList> comandiDistruttivi(const TestEnv &env)
    {
        QList<QStringList> c;
        for (const QStringList &a : env.disco.argomentiChiamate())
            if (a.value(0) != QLatin1String("info"))
                c.append(a);
        return c;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (volumeDi("/proc") == volumeDi("/"))
            QSKIP("this machine has no separate /proc mount to stand for another volume");
    }

    void labelsFromAnyText_data()
    {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QString>("etichetta");
        QTest::newRow("cut to 11") << "Chiavetta Studio 2"
                                   << "CHIAVETTAST";
        QTest::newRow("punctuation") << "referti-2024"
                                     << "REFERTI2024";
        QTest::newRow("accents only") << "àèéìòù"
                                      << "USB";
        QTest::newRow("empty") << ""
                               << "USB";
        QTest::newRow("sharp s") << "straße"
                                 << "STRASSE";
        QTest::newRow("accents dropped") << "Città 3"
                                         << "CITT3";
        QTest::newRow("other digits") << "٣ab"
                                      << "AB";
    }
    void labelsFromAnyText()
    {
        QFETCH(QString, nome);
        QFETCH(QString, etichetta);
        QCOMPARE(nomeVolumeValido(nome), etichetta);
    }

    void newNameDialog()
    {
        TestEnv env;
        env.avvisi.rispondi(0, QStringLiteral("ecografie 3"));
        QCOMPARE(chiediNuovoNome(env.avvisi, chiavetta("Studio Rossi")),
                 std::optional<QString>("ECOGRAFIE3"));
        const RichiestaAvviso &a = env.avvisi.mostrati.at(0);
        QCOMPARE(a.titolo, QString("Preparare \"Studio Rossi\" per il riuso?"));
        QCOMPARE(a.stile, StileAvviso::avvertenza);
        QCOMPARE(a.pulsanti, (QStringList{"Formatta", "Annulla"}));
        QVERIFY(a.campo);
        QCOMPARE(a.campo->testo, QString("STUDIOROSSI"));
        QVERIFY(a.testo.startsWith(
            "Formattazione rapida FAT32: l'indice dei file viene svuotato in pochi secondi e "
            "la chiavetta risulta vuota.\n\nATTENZIONE: i dati NON vengono sovrascritti."));
        QVERIFY(a.testo.endsWith("\n\nNome del nuovo volume (max 11 caratteri, lettere e numeri):"));

        env.avvisi.rispondi(1, QStringLiteral("ALTRO"));
        QCOMPARE(chiediNuovoNome(env.avvisi, chiavetta()), std::nullopt);
        env.avvisi.rispondi(-1, QStringLiteral("ALTRO"));
        QCOMPARE(chiediNuovoNome(env.avvisi, chiavetta()), std::nullopt);
    }

    void eraseConfirmation_data()
    {
        QTest::addColumn<int>("pulsante");
        QTest::addColumn<QString>("digitato");
        QTest::addColumn<bool>("confermato");
        QTest::addColumn<bool>("nonCorrisponde");
        QTest::newRow("exact") << 0 << "USB" << true << false;
        QTest::newRow("other case") << 0 << "usb" << false << true;
        QTest::newRow("empty") << 0 << "" << false << true;
        QTest::newRow("trailing space") << 0 << "USB " << false << true;
        QTest::newRow("cancelled") << 1 << "USB" << false << false;
        QTest::newRow("closed") << -1 << "USB" << false << false;
    }
    void eraseConfirmation()
    {
        QFETCH(int, pulsante);
        QFETCH(QString, digitato);
        QFETCH(bool, confermato);
        QFETCH(bool, nonCorrisponde);
        TestEnv env;
        env.avvisi.rispondi(pulsante, digitato);
        QCOMPARE(confermaCancellazione(env.avvisi, chiavetta("USB")), confermato);
        const RichiestaAvviso &a = env.avvisi.mostrati.at(0);
        QCOMPARE(a.titolo, QString("Cancellare definitivamente \"USB\"?"));
        QCOMPARE(a.stile, StileAvviso::critico);
        QCOMPARE(a.pulsanti, (QStringList{"Cancella tutto", "Annulla"}));
        QCOMPARE(a.campo->testo, QString());
        QCOMPARE(a.campo->segnaposto, QString("USB"));
        QVERIFY(a.testo.endsWith(
            "(vedi Aiuto → Avvertenze).\n\nPer confermare, digita esattamente il nome del volume:  USB"));
        QCOMPARE(env.avvisi.mostrati.size(), nonCorrisponde ? 2 : 1);
        if (nonCorrisponde) {
            QCOMPARE(env.avvisi.mostrati.at(1).titolo, QString("Nome non corrispondente"));
            QCOMPARE(env.avvisi.mostrati.at(1).testo,
                     QString("Il testo digitato non corrisponde a \"USB\". Operazione annullata."));
            QCOMPARE(env.avvisi.mostrati.at(1).stile, StileAvviso::avvertenza);
        }
    }

    void quickFormatFormatsTheWholeDiskWithProgressOnTheCard()
    {
        TestEnv env;
        preparaSicuro(env);
        env.disco.rispondi({"eraseDisk"}, QStringLiteral("Fatto\n"), {10, 55.5, 40, 120});
        QList<std::optional<CentroOperazioni::Operazione>> schede;
        connect(&env.centro, &CentroOperazioni::attualeChanged, this,
                [&] { schede.append(env.centro.attuale()); });
        env.avvisi.rispondi(0, QStringLiteral("ecografie 3"));

        QCoro::waitFor(QuickFormatUSBAction(chiavetta(), env.servizi).perform());

        QCOMPARE(comandiDistruttivi(env),
                 (QList<QStringList>{{"eraseDisk", "FAT32", "ECOGRAFIE3", "MBR", "sdb"}}));
        QVERIFY(env.disco.chiamate().last().conProgresso);
        QCOMPARE(schede.size(), 6); // shown, four reports, removed
        const auto &prima = *schede.first();
        QCOMPARE(prima.titolo, QString("Preparazione di \"STUDIO\"…"));
        QCOMPARE(prima.icona, QString("sparkles"));
        QCOMPARE(prima.colore, Colori::orange());
        QVERIFY(!prima.dettaglio && !prima.frazione);
        QList<double> frazioni;
        for (int i = 1; i < 5; ++i)
            frazioni.append(*schede.at(i)->frazione);
        QCOMPARE(frazioni, (QList<double>{0.1, 0.555, 0.4, 1.0})); // not made monotone here
        QVERIFY(!schede.last());
        QCOMPARE(righe(env),
                 QStringList{"Formattazione rapida di \"STUDIO\" completata: nuovo nome ECOGRAFIE3 (FAT32)"});
        QCOMPARE(env.notifiche.inviate,
                 (QList<QPair<QString, QString>>{
                     {"Chiavetta pronta",
                      "\"STUDIO\" è stata formattata come ECOGRAFIE3 (FAT32) ed è pronta all'uso."}}));
    }

    void quickFormatWaitsForOtherWork_data()
    {
        QTest::addColumn<Occupato>("occupato");
        QTest::newRow("erase formatting") << Occupato::erase;
        QTest::newRow("diagnostics") << Occupato::diagnostica;
        QTest::newRow("copy") << Occupato::centro;
    }
    void quickFormatWaitsForOtherWork()
    {
        QFETCH(Occupato, occupato);
        TestEnv env;
        preparaSicuro(env);
        if (occupato == Occupato::erase) {
            env.erase.avvia("ALTRA");
            env.erase.impostaFase(SecureEraseManager::Fase::formattazione);
        } else if (occupato == Occupato::diagnostica) {
            QVERIFY(env.diag.inizia(DiagnosticaManager::Operazione::verifica));
        } else {
            env.centro.setAttuale(CentroOperazioni::Operazione{"Copia in Ecografie…"});
        }
        QCoro::waitFor(QuickFormatUSBAction(chiavetta(), env.servizi).perform());
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QCOMPARE(env.avvisi.mostrati[0].titolo, QString("Operazione in corso"));
        QCOMPARE(env.avvisi.mostrati[0].testo,
                 QString("Attendi che l'operazione attuale finisca prima di formattare."));
        QCOMPARE(env.avvisi.mostrati[0].stile, StileAvviso::informativo);
        QVERIFY(env.disco.chiamate().isEmpty());
        QVERIFY(env.logLines().isEmpty());
    }

    void quickFormatCancelledAtTheName()
    {
        TestEnv env;
        preparaSicuro(env);
        env.avvisi.rispondi(1);
        QCoro::waitFor(QuickFormatUSBAction(chiavetta(), env.servizi).perform());
        QVERIFY(env.disco.chiamate().isEmpty());
        QVERIFY(!env.centro.occupato());
        QVERIFY(env.logLines().isEmpty());
        QVERIFY(env.notifiche.inviate.isEmpty());
    }

    void quickFormatRefusesUnsafeDisks_data() { aggiungiRifiuti(); }
    void quickFormatRefusesUnsafeDisks()
    {
        QFETCH(Rifiuto, rifiuto);
        TestEnv env;
        preparaRifiuto(env, rifiuto);
        bool schedaMostrata = false;
        connect(&env.centro, &CentroOperazioni::attualeChanged, this,
                [&] { schedaMostrata |= env.centro.occupato(); });
        bool schedaDuranteAvviso = true;
        env.avvisi.duranteAvviso = [&](const RichiestaAvviso &a) {
            if (a.titolo == QLatin1String("Operazione rifiutata"))
                schedaDuranteAvviso = env.centro.occupato();
        };

        QCoro::waitFor(QuickFormatUSBAction(chiavetta(), env.servizi).perform());

        QVERIFY(schedaMostrata);
        QVERIFY(!schedaDuranteAvviso);
        QCOMPARE(env.avvisi.mostrati.size(), 2);
        QCOMPARE(env.avvisi.mostrati[1].titolo, QString("Operazione rifiutata"));
        QCOMPARE(env.avvisi.mostrati[1].testo,
                 QString("\"STUDIO\" non risulta un disco esterno e rimovibile. Per sicurezza non procedo."));
        QCOMPARE(env.avvisi.mostrati[1].stile, StileAvviso::critico);
        QVERIFY(comandiDistruttivi(env).isEmpty());
        QVERIFY(env.logLines().isEmpty());
        QVERIFY(env.notifiche.inviate.isEmpty());
    }

    void quickFormatFailures_data()
    {
        QTest::addColumn<Guasto>("guasto");
        QTest::addColumn<QString>("testoErrore");
        QTest::newRow("info fails") << Guasto::infoFallita
                                    << QString("diskutil info -plist %1 è terminato con codice 1.\n%2")
                                           .arg(percorsoStick, tailErrore);
        QTest::newRow("info unreadable")
            << Guasto::infoIllegibile << "Impossibile leggere le informazioni del disco da diskutil.";
        QTest::newRow("tool missing")
            << Guasto::strumentoAssente << "Impossibile avviare /x/diskutil: File non trovato";
        QTest::newRow("erase fails")
            << Guasto::formattazioneFallita
            << QString("diskutil eraseDisk FAT32 STUDIO MBR sdb è terminato con codice 1.\n%1")
                   .arg(tailErrore);
    }
    void quickFormatFailures()
    {
        QFETCH(Guasto, guasto);
        QFETCH(QString, testoErrore);
        TestEnv env;
        preparaSicuro(env);
        applicaGuasto(env, guasto);
        QCoro::waitFor(QuickFormatUSBAction(chiavetta(), env.servizi).perform());

        QVERIFY(!env.centro.occupato());
        QCOMPARE(righe(env), QStringList{"Formattazione rapida di \"STUDIO\" NON riuscita: " + testoErrore});
        QCOMPARE(env.notifiche.inviate,
                 (QList<QPair<QString, QString>>{
                     {"Formattazione non riuscita", "Errore su \"STUDIO\": " + testoErrore}}));
        QCOMPARE(env.avvisi.mostrati.size(), 1); // only the name dialog
    }

    void secureEraseOverwritesThenFormats()
    {
        TestEnv env;
        preparaSicuro(env);
        env.disco.rispondi({"secureErase"}, QString(), {10, 9.5, 30, 101, 100});
        env.disco.rispondi({"eraseDisk"}, QString(), {50});
        QList<SecureEraseManager::Fase> fasi;
        QList<std::optional<double>> percentuali;
        connect(&env.erase, &SecureEraseManager::faseChanged, this, [&] { fasi.append(env.erase.fase()); });
        connect(&env.erase, &SecureEraseManager::percentualeChanged, this,
                [&] { percentuali.append(env.erase.percentuale()); });
        env.avvisi.rispondi(0, QStringLiteral("Studio Rossi"));

        QCoro::waitFor(SecureEraseUSBAction(chiavetta("Studio Rossi"), env.servizi).perform());

        using F = SecureEraseManager::Fase;
        QCOMPARE(fasi, (QList<F>{F::verifica, F::cancellazione, F::formattazione, F::inattivo}));
        QCOMPARE(percentuali, (QList<std::optional<double>>{10, 30, 100, std::nullopt}));
        QCOMPARE(env.notifiche.permessiRichiesti, 1);
        const auto chiamate = env.disco.chiamate();
        QCOMPARE(comandiDistruttivi(env),
                 (QList<QStringList>{{"secureErase", "0", "sdb"},
                                     {"eraseDisk", "FAT32", "STUDIOROSSI", "MBR", "sdb"}}));
        QVERIFY(chiamate.at(chiamate.size() - 2).conProgresso);
        QVERIFY(!chiamate.last().conProgresso);
        QCOMPARE(env.erase.nomeVolume(), QString());
        QCOMPARE(righe(env),
                 QStringList{"Cancellazione sicura di \"Studio Rossi\" completata: sovrascritta e "
                             "riformattata come STUDIOROSSI (FAT32)"});
        QCOMPARE(env.notifiche.inviate,
                 (QList<QPair<QString, QString>>{
                     {"Cancellazione completata",
                      "\"Studio Rossi\" è stata sovrascritta e riformattata come "
                      "STUDIOROSSI (FAT32). I dati non sono più recuperabili via software."}}));
    }

    void secureEraseWaitsForOtherWork_data()
    {
        QTest::addColumn<Occupato>("occupato");
        QTest::addColumn<QString>("titolo");
        QTest::addColumn<QString>("testo");
        QTest::newRow("erase") << Occupato::erase << "Operazione già in corso"
                               << "È già in corso una cancellazione sicura. Attendi che finisca.";
        QTest::newRow("diagnostics")
            << Occupato::diagnostica << "Diagnostica in corso"
            << "Attendi che la diagnostica USB finisca prima di avviare la cancellazione sicura.";
        QTest::newRow("copy")
            << Occupato::centro << "Operazione in corso"
            << "C'è una copia o sincronizzazione in corso. Attendi che finisca prima di cancellare "
               "la chiavetta.";
    }
    void secureEraseWaitsForOtherWork()
    {
        QFETCH(Occupato, occupato);
        QFETCH(QString, titolo);
        QFETCH(QString, testo);
        TestEnv env;
        preparaSicuro(env);
        if (occupato == Occupato::erase)
            env.erase.avvia("ALTRA");
        else if (occupato == Occupato::diagnostica)
            QVERIFY(env.diag.inizia(DiagnosticaManager::Operazione::info));
        else
            env.centro.setAttuale(CentroOperazioni::Operazione{"Sincronizzazione…"});
        QCoro::waitFor(SecureEraseUSBAction(chiavetta(), env.servizi).perform());
        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QCOMPARE(env.avvisi.mostrati[0].titolo, titolo);
        QCOMPARE(env.avvisi.mostrati[0].testo, testo);
        QCOMPARE(env.avvisi.mostrati[0].stile, StileAvviso::informativo);
        QVERIFY(env.disco.chiamate().isEmpty());
        QCOMPARE(env.notifiche.permessiRichiesti, 0);
        QCOMPARE(env.erase.nomeVolume(), occupato == Occupato::erase ? QString("ALTRA") : QString());
    }

    void secureEraseNotConfirmed()
    {
        TestEnv env;
        preparaSicuro(env);
        env.avvisi.rispondi(0, QStringLiteral("studio"));
        QCoro::waitFor(SecureEraseUSBAction(chiavetta(), env.servizi).perform());
        QCOMPARE(env.avvisi.mostrati.size(), 2);
        QCOMPARE(env.avvisi.mostrati[1].titolo, QString("Nome non corrispondente"));
        QCOMPARE(env.notifiche.permessiRichiesti, 0);
        QVERIFY(!env.erase.inCorso());
        QVERIFY(env.disco.chiamate().isEmpty());
        QVERIFY(env.logLines().isEmpty());
    }

    // Another erase that got going while the permission was being asked wins;
    // this one stops instead of taking over its state.
    void secureEraseRechecksAfterThePermissionRequest()
    {
        TestEnv env;
        preparaSicuro(env);
        NotificheConIntervallo notifiche;
        notifiche.intanto = [&] { env.erase.avvia(QStringLiteral("ALTRA")); };
        env.servizi.notifiche = &notifiche;
        env.avvisi.rispondi(0, QStringLiteral("STUDIO"));
        QCoro::waitFor(SecureEraseUSBAction(chiavetta(), env.servizi).perform());
        QCOMPARE(env.avvisi.mostrati.size(), 2);
        QCOMPARE(env.avvisi.mostrati[1].titolo, QString("Operazione già in corso"));
        QCOMPARE(env.erase.nomeVolume(), QString("ALTRA"));
        QVERIFY(env.disco.chiamate().isEmpty());
    }

    void secureEraseRefusesUnsafeDisks_data() { aggiungiRifiuti(); }
    void secureEraseRefusesUnsafeDisks()
    {
        QFETCH(Rifiuto, rifiuto);
        TestEnv env;
        preparaRifiuto(env, rifiuto);
        QList<SecureEraseManager::Fase> fasi;
        connect(&env.erase, &SecureEraseManager::faseChanged, this, [&] { fasi.append(env.erase.fase()); });
        bool inattivoDuranteAvviso = false;
        env.avvisi.duranteAvviso = [&](const RichiestaAvviso &a) {
            if (a.titolo == QLatin1String("Operazione rifiutata"))
                inattivoDuranteAvviso = !env.erase.inCorso();
        };
        env.avvisi.rispondi(0, QStringLiteral("STUDIO"));

        QCoro::waitFor(SecureEraseUSBAction(chiavetta(), env.servizi).perform());

        using F = SecureEraseManager::Fase;
        QCOMPARE(fasi, (QList<F>{F::verifica, F::inattivo}));
        QVERIFY(inattivoDuranteAvviso);
        QCOMPARE(env.avvisi.mostrati.size(), 2);
        QCOMPARE(env.avvisi.mostrati[1].titolo, QString("Operazione rifiutata"));
        QCOMPARE(env.avvisi.mostrati[1].testo,
                 QString("\"STUDIO\" non risulta un disco esterno e rimovibile. Per sicurezza non procedo."));
        QCOMPARE(env.avvisi.mostrati[1].stile, StileAvviso::critico);
        QVERIFY(comandiDistruttivi(env).isEmpty());
        QVERIFY(env.logLines().isEmpty());
        QVERIFY(env.notifiche.inviate.isEmpty());
    }

    void secureEraseFailures_data()
    {
        QTest::addColumn<Guasto>("guasto");
        QTest::addColumn<QString>("testoErrore");
        QTest::addColumn<int>("comandi");
        QTest::newRow("info fails")
            << Guasto::infoFallita
            << QString("diskutil info -plist %1 è terminato con codice 1.\n%2").arg(percorsoStick, tailErrore)
            << 0;
        QTest::newRow("info unreadable")
            << Guasto::infoIllegibile << "Impossibile leggere le informazioni del disco da diskutil." << 0;
        QTest::newRow("stick pulled out during the overwrite")
            << Guasto::cancellazioneFallita
            << QString("diskutil secureErase 0 sdb è terminato con codice 1.\n%1").arg(tailErrore) << 1;
        QTest::newRow("format fails")
            << Guasto::formattazioneFallita
            << QString("diskutil eraseDisk FAT32 STUDIO MBR sdb è terminato con codice 1.\n%1")
                   .arg(tailErrore)
            << 2;
    }
    void secureEraseFailures()
    {
        QFETCH(Guasto, guasto);
        QFETCH(QString, testoErrore);
        QFETCH(int, comandi);
        TestEnv env;
        preparaSicuro(env);
        applicaGuasto(env, guasto);
        env.avvisi.rispondi(0, QStringLiteral("STUDIO"));
        QCoro::waitFor(SecureEraseUSBAction(chiavetta(), env.servizi).perform());

        QCOMPARE(env.erase.fase(), SecureEraseManager::Fase::inattivo);
        QVERIFY(!env.erase.percentuale());
        QCOMPARE(comandiDistruttivi(env).size(), comandi);
        QCOMPARE(righe(env), QStringList{"Cancellazione sicura di \"STUDIO\" NON riuscita: " + testoErrore});
        QCOMPARE(env.notifiche.inviate,
                 (QList<QPair<QString, QString>>{
                     {"Cancellazione non riuscita", "Errore su \"STUDIO\": " + testoErrore}}));
    }

private:
    static void applicaGuasto(TestEnv &env, Guasto guasto)
    {
        auto &d = env.disco;
        d.rispondi({"secureErase"}, QString(), {5, 12});
        d.rispondi({"eraseDisk"}, QString());
        switch (guasto) {
        case Guasto::infoFallita:
            d.rispondi(infoStick, DiskUtilErrore::comandoFallito(infoStick.join(' '), 1, tailErrore));
            break;
        case Guasto::infoIllegibile:
            d.rispondi(infoStick, QStringLiteral("non un plist"));
            break;
        case Guasto::strumentoAssente:
            d.rispondi(infoStick, ErroreAvvio{"/x/diskutil", "File non trovato"});
            break;
        case Guasto::cancellazioneFallita:
            d.rispondi({"secureErase"}, DiskUtilErrore::comandoFallito("secureErase 0 sdb", 1, tailErrore),
                       {5});
            break;
        case Guasto::formattazioneFallita:
            d.rispondi({"eraseDisk"},
                       DiskUtilErrore::comandoFallito("eraseDisk FAT32 STUDIO MBR sdb", 1, tailErrore));
            break;
        }
    }
};

QTEST_GUILESS_MAIN(TestFormatErase)
#include "TestFormatErase.moc"
