#include "disk/DialoghiDisco.h"
#include "disk/QuickFormatUSBAction.h"
#include "disk/SecureEraseUSBAction.h"
#include "support/TestEnv.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTest>

namespace {
// An empty stick: the archive check has nothing to say against the wipe.
const QString stick = QDir::tempPath() + QStringLiteral("/tessera-prova-STUDIO");
const QStringList infoStick{"info", "-plist", stick};
using Avvisi = QList<QPair<QString, QString>>;
enum Occupato { libero, cancellazione, diagnosi, copia, duranteIlPermesso };

QString volumeDi(const QString &percorso)
{
    return QStorageInfo(percorso).rootPath();
}

// The log without its timestamps.
QString registro(const TestEnv &env)
{
    static const QRegularExpression stampa(R"(^\[[^\]]{19}\] )", QRegularExpression::MultilineOption);
    return env.logLines().join('\n').remove(stampa);
}

QList<QStringList> distruttivi(const TestEnv &env)
{
    QList<QStringList> c = env.disco.argomentiChiamate();
    c.removeIf([](const QStringList &a) { return a.value(0) == QLatin1String("info"); });
    return c;
}

// The stick is external and removable; the system disk and, on another
// volume (/proc stands for it), the archive folder are not on it.
void preparaSicuro(TestEnv &env)
{
    env.settings->setDestinationPath(QStringLiteral("/proc/tessera-archivio/Ecografie"));
    env.disco.rispondi(infoStick, FakeEsecutoreDisco::reportInfo("sdb", false, true));
    env.disco.rispondi({"info", "-plist", volumeDi("/")}, FakeEsecutoreDisco::reportInfo("vda", true, false));
    env.disco.rispondi({"info", "-plist", volumeDi("/proc")},
                       FakeEsecutoreDisco::reportInfo("vdb", true, false));
}

void esegui(TestEnv &env, bool cancella, const QString &percorso = stick)
{
    const USBDrive drive{QUuid::createUuid(), QUrl::fromLocalFile(percorso), "STUDIO",
                         QDateTime::currentDateTime()};
    if (cancella)
        QCoro::waitFor(SecureEraseUSBAction(drive, env.servizi).perform());
    else
        QCoro::waitFor(QuickFormatUSBAction(drive, env.servizi).perform());
}

class NotificheConIntervallo : public FakeNotifier {
public:
    std::function<void()> intanto = [] {};
    QCoro::Task<> richiediPermessoNotifiche() override
    {
        intanto();
        co_await FakeNotifier::richiediPermessoNotifiche();
    }
};
} // namespace

Q_DECLARE_METATYPE(Risultato<QString>)

class TestFormatErase : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (volumeDi("/proc") == volumeDi("/"))
            QSKIP("this machine has no separate /proc mount to stand for another volume");
        QVERIFY(QDir().mkpath(stick));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dati.path())); // the archive's digest index
    }
    void cleanupTestCase() { QDir(stick).removeRecursively(); }

    void labelsFromAnyText()
    {
        // Accents dropped, ß as SS, 11 characters at most, "USB" when nothing is left.
        QCOMPARE(nomeVolumeValido("Città straße 2"), QString("CITTSTRASSE"));
        QCOMPARE(nomeVolumeValido("referti-2024"), QString("REFERTI2024"));
        QCOMPARE(nomeVolumeValido("àè-ù ٣"), QString("USB"));
    }

    // Other work running, a cancelled dialog or a mistyped name: nothing reaches the disk.
    void stopsBeforeTouchingTheDisk_data()
    {
        QTest::addColumn<bool>("cancella");
        QTest::addColumn<int>("occupato");
        QTest::addColumn<QString>("risposta"); // empty: the dialog is cancelled
        QTest::addColumn<QString>("titolo");   // of the last alert
        QTest::addColumn<QString>("testo");
        const auto riga = [](const char *nome, bool cancella, int occupato, const QString &risposta,
                             const QString &titolo, const QString &testo = {}) {
            QTest::newRow(nome) << cancella << occupato << risposta << titolo << testo;
        };
        const QString prima = "Attendi che l'operazione attuale finisca prima di formattare.";
        riga("format, copy running", false, copia, "", "Operazione in corso", prima);
        riga("format, name cancelled", false, libero, "", "Preparare \"STUDIO\" per il riuso?");
        riga("erase, erase running", true, cancellazione, "", "Operazione già in corso",
             "È già in corso una cancellazione sicura. Attendi che finisca.");
        riga("erase, diagnostics running", true, diagnosi, "", "Diagnostica in corso",
             "Attendi che la diagnostica USB finisca prima di avviare la cancellazione sicura.");
        riga("erase, copy running", true, copia, "", "Operazione in corso",
             "C'è una copia o sincronizzazione in corso. Attendi che finisca prima di cancellare la "
             "chiavetta.");
        // Another erase that got going while the permission was asked wins; this one stops.
        riga("erase, erase started meanwhile", true, duranteIlPermesso, "STUDIO", "Operazione già in corso");
        riga("erase, cancelled", true, libero, "", "Cancellare definitivamente \"STUDIO\"?");
        riga("erase, other case", true, libero, "studio", "Nome non corrispondente");
        riga("erase, trailing space", true, libero, "STUDIO ", "Nome non corrispondente",
             "Il testo digitato non corrisponde a \"STUDIO\". Operazione annullata.");
    }
    void stopsBeforeTouchingTheDisk()
    {
        QFETCH(bool, cancella);
        QFETCH(int, occupato);
        QFETCH(QString, risposta);
        QFETCH(QString, titolo);
        QFETCH(QString, testo);
        TestEnv env;
        preparaSicuro(env);
        NotificheConIntervallo notifiche;
        env.servizi.notifiche = &notifiche;
        if (occupato == cancellazione) {
            env.erase.avvia("ALTRA");
            env.erase.impostaFase(SecureEraseManager::Fase::formattazione);
        } else if (occupato == diagnosi) {
            QVERIFY(env.diag.inizia(DiagnosticaManager::Operazione::verifica));
        } else if (occupato == copia) {
            env.centro.setAttuale(CentroOperazioni::Operazione{"Copia in Ecografie…"});
        } else if (occupato == duranteIlPermesso) {
            notifiche.intanto = [&] { env.erase.avvia(QStringLiteral("ALTRA")); };
        }
        env.avvisi.rispondi(risposta.isEmpty() ? 1 : 0, risposta);

        esegui(env, cancella);

        QCOMPARE(env.avvisi.mostrati.last().titolo, titolo);
        if (occupato == libero) // the name offered, or nothing for the user to retype
            QCOMPARE(env.avvisi.mostrati[0].campo->testo, cancella ? QString() : QString("STUDIO"));
        QVERIFY(testo.isEmpty() || env.avvisi.mostrati.last().testo == testo);
        QVERIFY(occupato == libero || occupato == duranteIlPermesso || env.avvisi.mostrati.size() == 1);
        QVERIFY(env.disco.chiamate().isEmpty());
        QVERIFY(!env.centro.occupato() || occupato == copia);
        QCOMPARE(env.erase.nomeVolume(),
                 occupato == cancellazione || occupato == duranteIlPermesso ? "ALTRA" : QString());
        QCOMPARE(notifiche.permessiRichiesti, occupato == duranteIlPermesso ? 1 : 0);
        QVERIFY(env.logLines().isEmpty() && notifiche.inviate.isEmpty());
    }

    // Success, a disk the check refuses (no error text) or a call that fails. The
    // last four refusals are of disks the report calls external and removable.
    void outcomes_data()
    {
        QTest::addColumn<bool>("cancella");
        QTest::addColumn<QStringList>("chiamata");
        QTest::addColumn<Risultato<QString>>("esito");
        QTest::addColumn<QList<QStringList>>("comandi");
        QTest::addColumn<QString>("errore");
        const QStringList sicuro{"secureErase", "0", "sdb"},
            formatta{"eraseDisk", "FAT32", "STUDIO", "MBR", "sdb"};
        const auto ko = [](const QStringList &c) {
            return DiskUtilErrore::comandoFallito(c.join(' '), 1, "Guasto");
        };
        const auto testo = [](const QStringList &c) {
            return "diskutil " + c.join(' ') + " è terminato con codice 1.\nGuasto";
        };
        const auto r = [](const QVariantMap &m) { return FakeEsecutoreDisco::reportInfo(m); };
        const QString ok = "ok";
        for (bool c : {false, true}) {
            const auto riga = [c](const char *nome, const QStringList &chiamata,
                                  const Risultato<QString> &esito, const QString &errore = {},
                                  const QList<QStringList> &comandi = {}) {
                QTest::addRow("%s, %s", c ? "erase" : "format", nome)
                    << c << chiamata << esito << comandi << errore;
            };
            const QList<QStringList> tutti =
                c ? QList<QStringList>{sicuro, formatta} : QList<QStringList>{formatta};
            riga("succeeds", {}, QString(), ok, tutti);
            riga("internal", infoStick, FakeEsecutoreDisco::reportInfo("sdb", true, true));
            riga("RemovableMedia false", infoStick,
                 r({{"ParentWholeDisk", "sdb"},
                    {"Internal", false},
                    {"RemovableMedia", false},
                    {"Removable", true}}));
            riga("no Internal key", infoStick, r({{"ParentWholeDisk", "sdb"}, {"RemovableMedia", true}}));
            riga("disk holding /", infoStick, FakeEsecutoreDisco::reportInfo("vda", false, true));
            riga("disk holding the archive", {"info", "-plist", volumeDi("/proc")},
                 FakeEsecutoreDisco::reportInfo("sdb", false, true));
            riga("disk of / unknown", {"info", "-plist", volumeDi("/")}, ko({"info"}));
            riga("disk of the archive unknown", {"info", "-plist", volumeDi("/proc")}, QString("x"));
            riga("archive on no disk", {"info", "-plist", volumeDi("/proc")},
                 DiskUtilErrore::comandoFallito("info", 5, "Nessun disco dietro"), ok, tutti);
            riga("info fails", infoStick, ko(infoStick), testo(infoStick));
            riga("info unreadable", infoStick, QString("x"),
                 "Impossibile leggere le informazioni del disco da diskutil.");
            riga("tool missing", infoStick, ErroreAvvio{"/x/diskutil", "File non trovato"},
                 "Impossibile avviare /x/diskutil: File non trovato");
            riga("format fails", {"eraseDisk"}, ko(formatta), testo(formatta), tutti);
            if (c)
                riga("stick pulled out during the overwrite", {"secureErase"}, ko(sicuro), testo(sicuro),
                     {sicuro});
        }
    }
    void outcomes()
    {
        QFETCH(bool, cancella);
        QFETCH(QStringList, chiamata);
        QFETCH(Risultato<QString>, esito);
        QFETCH(QList<QStringList>, comandi);
        QFETCH(QString, errore);
        TestEnv env;
        preparaSicuro(env);
        env.disco.rispondi({"secureErase"}, QString(), {10, 9.5, 30, 101, 100});
        env.disco.rispondi({"eraseDisk"}, QString(), {10, 55.5, 40, 120});
        if (!chiamata.isEmpty())
            env.disco.rispondi(chiamata, esito, {5});
        QStringList visti; // what the card or the erase state showed
        connect(&env.centro, &CentroOperazioni::attualeChanged, this, [&] {
            const auto scheda = env.centro.attuale();
            visti.append(scheda ? scheda->titolo + QString::number(scheda->frazione.value_or(-1)) : "-");
        });
        connect(&env.erase, &SecureEraseManager::faseChanged, this,
                [&] { visti.append(env.erase.descrizione()); });
        connect(&env.erase, &SecureEraseManager::percentualeChanged, this,
                [&] { visti.append(QString::number(env.erase.percentuale().value_or(-1))); });
        const auto occupato = [&] { return env.centro.occupato() || env.erase.inCorso(); };
        bool occupatoDuranteAvviso = false;
        env.avvisi.duranteAvviso = [&](const RichiestaAvviso &) {
            occupatoDuranteAvviso |= occupato();
            if (env.avvisi.mostrati.size() == 1)
                visti.clear(); // the archive check's card, before the question
        };
        env.avvisi.rispondi(0, QStringLiteral("STUDIO"));

        esegui(env, cancella);

        QVERIFY(!visti.isEmpty()); // the work was shown
        QVERIFY(!occupato() && !env.erase.percentuale());
        QCOMPARE(distruttivi(env), comandi);
        const auto &mostrati = env.avvisi.mostrati;
        QCOMPARE(mostrati.size(), errore.isEmpty() ? 2 : 1); // the name or the confirmation first
        const QString cosa = cancella ? "Cancellazione sicura" : "Formattazione rapida";
        const QString titolo = cancella ? "Cancellazione non riuscita" : "Formattazione non riuscita";
        if (errore.isEmpty()) {
            QVERIFY(!occupatoDuranteAvviso); // the busy state is gone before the alert
            QCOMPARE(mostrati[1].titolo, QString("Operazione rifiutata"));
            QCOMPARE(
                mostrati[1].testo,
                QString("\"STUDIO\" non risulta un disco esterno e rimovibile. Per sicurezza non procedo."));
            QCOMPARE(mostrati[1].stile, StileAvviso::critico);
            QVERIFY(env.logLines().isEmpty() && env.notifiche.inviate.isEmpty());
        } else if (errore != "ok") {
            QCOMPARE(registro(env), cosa + " di \"STUDIO\" NON riuscita: " + errore);
            QCOMPARE(env.notifiche.inviate, (Avvisi{{titolo, "Errore su \"STUDIO\": " + errore}}));
        } else if (!cancella) {
            QCOMPARE(visti, (QStringList{"Preparazione di \"STUDIO\"…-1", "Preparazione di \"STUDIO\"…0.1",
                                         "Preparazione di \"STUDIO\"…0.555", "Preparazione di \"STUDIO\"…0.4",
                                         "Preparazione di \"STUDIO\"…1", "-"})); // the card follows the tool
            QCOMPARE(registro(env),
                     QString("Formattazione rapida di \"STUDIO\" completata: nuovo nome STUDIO (FAT32)"));
            QCOMPARE(env.notifiche.inviate,
                     (Avvisi{{"Chiavetta pronta", "\"STUDIO\" è stata formattata come STUDIO "
                                                  "(FAT32) ed è pronta all'uso."}}));
        } else {
            // The percentage never goes back nor past 100, and is cleared for the format.
            QCOMPARE(visti, (QStringList{"Verifica del disco \"STUDIO\"…",
                                         "Cancellazione sicura di \"STUDIO\" in corso…", "10", "30", "100",
                                         "Riformattazione di \"STUDIO\"…", "-1", ""}));
            const auto chiamate = env.disco.chiamate(); // the overwrite reports progress, the format does not
            QVERIFY(chiamate.at(chiamate.size() - 2).conProgresso && !chiamate.last().conProgresso);
            QCOMPARE(registro(env), QString("Cancellazione sicura di \"STUDIO\" completata: sovrascritta e "
                                            "riformattata come STUDIO (FAT32)"));
            QCOMPARE(env.notifiche.inviate, (Avvisi{{"Cancellazione completata",
                                                     "\"STUDIO\" è stata sovrascritta e riformattata come "
                                                     "STUDIO (FAT32). I dati non sono più recuperabili via "
                                                     "software."}}));
        }
    }

    // The archive check's answer heads the question; "Copia prima" copies the
    // stick, then checks and asks again. Cancelling the check ends it all quietly.
    void asksAfterTheArchiveCheck_data()
    {
        QTest::addColumn<bool>("cancella");
        QTest::addColumn<bool>("annullaControllo");
        for (bool c : {false, true}) {
            QTest::addRow("%s, copy first", c ? "erase" : "format") << c << false;
            QTest::addRow("%s, check cancelled", c ? "erase" : "format") << c << true;
        }
    }
    void asksAfterTheArchiveCheck()
    {
        QFETCH(bool, cancella);
        QFETCH(bool, annullaControllo);
        TestEnv env;
        QVERIFY(QDir().mkpath(env.path("Ecografie"))); // chosen folders are never made for the user
        env.settings->setDestinationPath(env.path("Ecografie"));
        QVERIFY(TestSupport::writeFile(env.path("STUDIO/DCIM/IMG1.JPG"), "immagine"));
        QSet<QString> schede; // cards that offer "Annulla"
        connect(&env.centro, &CentroOperazioni::attualeChanged, this, [&] {
            const auto &op = env.centro.attuale();
            if (op && op->annulla) {
                schede.insert(op->titolo);
                if (annullaControllo)
                    (*op->annulla)();
            }
        });
        bool occupatoDuranteAvviso = false;
        env.avvisi.duranteAvviso = [&](const RichiestaAvviso &) {
            occupatoDuranteAvviso |= env.centro.occupato();
        };
        env.avvisi.rispondi(0); // "Copia prima"
        env.avvisi.rispondi(0); // the copy's summary
        env.avvisi.rispondi(1); // "Annulla"

        esegui(env, cancella, env.path("STUDIO"));

        QCOMPARE(schede, QSet<QString>{"Controllo di \"STUDIO\" in Ecografie…"});
        QVERIFY(!occupatoDuranteAvviso && !env.centro.occupato() && !env.erase.inCorso());
        QVERIFY(env.disco.chiamate().isEmpty() && env.notifiche.permessiRichiesti == 0);
        const auto &m = env.avvisi.mostrati;
        if (annullaControllo) {
            QVERIFY(m.isEmpty() && env.logLines().isEmpty());
            return;
        }
        const QString domanda =
            cancella ? "Cancellare definitivamente \"STUDIO\"?" : "Preparare \"STUDIO\" per il riuso?";
        QStringList titoli;
        for (const RichiestaAvviso &r : m)
            titoli << r.titolo;
        QCOMPARE(titoli, (QStringList{domanda, "Copia completata", domanda}));
        const QString azione = cancella ? "Cancella tutto" : "Formatta";
        QCOMPARE(m[0].pulsanti, (QStringList{"Copia prima", azione, "Annulla"}));
        QCOMPARE(m[2].pulsanti, (QStringList{azione, "Annulla"}));
        const QString proprio = cancella ? "TUTTI i dati sulla chiavetta verranno sovrascritti"
                                         : "Formattazione rapida FAT32: l'indice dei file";
        const QString sicuro =
            "L'unico file della chiavetta è già in Ecografie (verificato con SHA-256).\n\n";
        QVERIFY(m[2].testo.startsWith(sicuro + proprio));
        QCOMPARE(m[0].testo, "1 file non è ancora in Ecografie.\nDCIM/IMG1.JPG\n\n«Copia prima» copia la "
                             "chiavetta in Ecografie e poi ripete il controllo.\n\n" +
                                 m[2].testo.mid(sicuro.size()));
        QCOMPARE(env.logLines().size(), 1); // the copy's line
        QVERIFY(QFile::exists(env.path("Ecografie/IMG1.JPG")));
    }

private:
    QTemporaryDir m_dati;
};

QTEST_GUILESS_MAIN(TestFormatErase)
#include "TestFormatErase.moc"
