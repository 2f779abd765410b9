#include "disk/ComandiDisco.h"
#include "disk/DialoghiDisco.h"
#include "operations/StoricoChiavette.h"
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
    c.removeIf([](const QStringList &a) { return a.value(0) == "info" || a.value(0) == "list"; });
    return c;
}

// The stick at `percorso` is external and removable, with these other
// volumes on its disk; neither the system disk nor the archive folder's (on
// another volume: /proc stands for it) is on it.
void preparaSicuro(TestEnv &env, const QString &percorso = stick,
                   const QList<std::pair<QString, QString>> &altri = {},
                   const QString &archivio = "/proc/tessera-archivio/Ecografie")
{
    env.impostazioni->setDestinationPath(archivio);
    env.disco.rispondi({"info", "-plist", percorso}, EsecutoreDiscoDiProva::reportInfo("sdb", false, true));
    env.disco.rispondi({"list", "-plist", "sdb"},
                       EsecutoreDiscoDiProva::reportVolumi(
                           "sdb", QList<std::pair<QString, QString>>{{"sdb1", percorso}} + altri));
    env.disco.rispondi({"info", "-plist", volumeDi("/")},
                       EsecutoreDiscoDiProva::reportInfo("vda", true, false));
    QString esistente = archivio;
    while (!QFileInfo::exists(esistente))
        esistente = QFileInfo(esistente).path();
    env.disco.rispondi({"info", "-plist", volumeDi(esistente)},
                       EsecutoreDiscoDiProva::reportInfo("vdb", true, false));
}

void esegui(TestEnv &env, bool cancella, const QString &percorso = stick)
{
    const USBDrive drive = TestSupport::chiavetta(percorso, "STUDIO");
    if (cancella)
        QCoro::waitFor(cancellaSicura(env.servizi, drive));
    else
        QCoro::waitFor(formattaRapida(env.servizi, drive));
}

class NotificheConIntervallo : public NotificheDiProva {
public:
    std::function<void()> intanto = [] {};
    QCoro::Task<> richiediPermessoNotifiche() override
    {
        intanto();
        co_await NotificheDiProva::richiediPermessoNotifiche();
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
            env.cancellazione.avvia("ALTRA");
            env.cancellazione.impostaFase(SecureEraseManager::Fase::formattazione);
        } else if (occupato == diagnosi) {
            env.diagnostica.inizia(DiagnosticaManager::Operazione::verifica);
        } else if (occupato == copia) {
            env.centro.setAttuale(CentroOperazioni::Operazione{"Copia in Ecografie…"});
        } else if (occupato == duranteIlPermesso) {
            notifiche.intanto = [&] { env.cancellazione.avvia(QStringLiteral("ALTRA")); };
        }
        env.avvisi.rispondi(risposta.isEmpty() ? 1 : 0, risposta);

        esegui(env, cancella);

        QCOMPARE(env.avvisi.mostrati.last().titolo, titolo);
        if (occupato == libero) // the name offered, or nothing for the user to retype
            QCOMPARE(env.avvisi.mostrati[0].campo->testo, cancella ? QString() : QString("STUDIO"));
        QVERIFY(testo.isEmpty() || env.avvisi.mostrati.last().testo == testo);
        QVERIFY(occupato == libero || occupato == duranteIlPermesso || env.avvisi.mostrati.size() == 1);
        QVERIFY(distruttivi(env).isEmpty());
        QVERIFY(!env.centro.occupato() || occupato == copia);
        QCOMPARE(env.cancellazione.nomeVolume(),
                 occupato == cancellazione || occupato == duranteIlPermesso ? "ALTRA" : QString());
        QCOMPARE(notifiche.permessiRichiesti, occupato == duranteIlPermesso ? 1 : 0);
        QVERIFY(env.logLines().isEmpty() && notifiche.inviate.isEmpty());
    }

    // Success, a disk the check refuses (before anything is asked, with the
    // reason it found) or a call that fails. The last four refusals are of
    // disks the report calls external and removable.
    void outcomes_data()
    {
        QTest::addColumn<bool>("cancella");
        QTest::addColumn<QStringList>("chiamata");
        QTest::addColumn<Risultato<QString>>("esito");
        QTest::addColumn<QList<QStringList>>("comandi");
        QTest::addColumn<QString>("errore"); // "ok", the failure told, or "!" and the refusal's reason
        const QStringList sicuro{"secureErase", "0", "sdb"},
            formatta{"eraseDisk", "FAT32", "STUDIO", "MBR", "sdb"};
        const auto ko = [](const QStringList &c) {
            return DiskUtilErrore::comandoFallito(c.join(' '), 1, "Guasto");
        };
        const QString guasto = "lo strumento dei dischi ha segnalato un errore (codice 1):\nGuasto";
        const QString illeggibile =
            "Impossibile leggere le informazioni del disco: la risposta dello strumento "
            "dei dischi non è comprensibile.";
        const auto r = [](const QVariantMap &m) { return EsecutoreDiscoDiProva::reportInfo(m); };
        const QString ok = "ok", noto = "!\"STUDIO\" non risulta un disco esterno e rimovibile.";
        for (bool c : {false, true}) {
            const auto riga = [c](const char *nome, const QStringList &chiamata,
                                  const Risultato<QString> &esito, const QString &errore,
                                  const QList<QStringList> &comandi = {}) {
                QTest::addRow("%s, %s", c ? "erase" : "format", nome)
                    << c << chiamata << esito << comandi << errore;
            };
            const QList<QStringList> tutti =
                c ? QList<QStringList>{sicuro, formatta} : QList<QStringList>{formatta};
            riga("succeeds", {}, QString(), ok, tutti);
            riga("internal", infoStick, EsecutoreDiscoDiProva::reportInfo("sdb", true, true), noto);
            riga("RemovableMedia false", infoStick,
                 r({{"ParentWholeDisk", "sdb"},
                    {"Internal", false},
                    {"RemovableMedia", false},
                    {"Removable", true}}),
                 noto);
            riga("no Internal key", infoStick, r({{"ParentWholeDisk", "sdb"}, {"RemovableMedia", true}}),
                 noto);
            riga("disk holding /", infoStick, EsecutoreDiscoDiProva::reportInfo("vda", false, true),
                 "!\"STUDIO\" si trova sullo stesso disco del sistema in uso.");
            riga("disk holding the archive", {"info", "-plist", volumeDi("/proc")},
                 EsecutoreDiscoDiProva::reportInfo("sdb", false, true),
                 "!La cartella Ecografie, dove vengono archiviate le copie, si trova sullo stesso disco");
            riga("disk of / unknown", {"info", "-plist", volumeDi("/")}, ko({"info"}),
                 "!su quale disco si trova il sistema, quindi non si può escludere che sia quello di "
                 "\"STUDIO\". Per sicurezza non procedo.\n\nDettagli: " +
                     guasto);
            riga("disk of the archive unknown", {"info", "-plist", volumeDi("/proc")}, QString("x"),
                 "!su quale disco si trova la cartella Ecografie");
            riga("archive on no disk", {"info", "-plist", volumeDi("/proc")},
                 DiskUtilErrore::comandoFallito("info", 5, "Nessun disco dietro"), ok, tutti);
            riga("info fails", infoStick, ko(infoStick), guasto);
            riga("info unreadable", infoStick, QString("x"), illeggibile);
            riga("volumes unreadable", {"list"}, ko({"list"}), guasto);
            riga("tool missing", infoStick, ErroreAvvio{"/x/diskutil", "File non trovato"},
                 "Impossibile avviare /x/diskutil: File non trovato");
            riga("format fails", {"eraseDisk"}, ko(formatta), guasto, tutti);
            if (c)
                riga("stick pulled out during the overwrite", {"secureErase"}, ko(sicuro), guasto, {sicuro});
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
        connect(&env.cancellazione, &SecureEraseManager::faseChanged, this,
                [&] { visti.append(env.cancellazione.descrizione()); });
        connect(&env.cancellazione, &SecureEraseManager::percentualeChanged, this,
                [&] { visti.append(QString::number(env.cancellazione.percentuale().value_or(-1))); });
        const auto occupato = [&] { return env.centro.occupato() || env.cancellazione.inCorso(); };
        bool occupatoDuranteAvviso = false;
        env.avvisi.duranteAvviso = [&](const RichiestaAvviso &) {
            occupatoDuranteAvviso |= occupato();
            if (env.avvisi.mostrati.size() == 1)
                visti.clear(); // the archive check's card, before the question
        };
        env.avvisi.rispondi(0, QStringLiteral("STUDIO"));

        esegui(env, cancella);

        // The stick's history keeps each format and erase that reached the
        // disk, with its outcome, under the identity it had before.
        const QList<EventoChiavetta> storia = StoricoChiavette::shared().eventi(
            leggiIdentitaChiavetta({{}, QUrl::fromLocalFile(stick), "STUDIO", {}}));
        QCOMPARE(storia.size(), comandi.isEmpty() ? 0 : 1);
        if (!storia.isEmpty()) {
            QCOMPARE(storia[0].tipo,
                     cancella ? EventoChiavetta::Tipo::cancellazione : EventoChiavetta::Tipo::formattazione);
            QCOMPARE(storia[0].riuscito, errore == "ok");
        }

        // A disk that may not be wiped, or cannot be told, stops everything
        // before the question; the work is shown only once it is asked.
        const bool rifiutato = errore.startsWith('!');
        const bool primaDellaDomanda = rifiutato || chiamata == infoStick || chiamata.value(0) == "list";
        QCOMPARE(visti.isEmpty(), primaDellaDomanda);
        QVERIFY(!occupato() && !env.cancellazione.percentuale());
        QCOMPARE(distruttivi(env), comandi);
        const auto &mostrati = env.avvisi.mostrati;
        QCOMPARE(mostrati.size(), primaDellaDomanda && !rifiutato ? 0 : 1);
        const QString cosa = cancella ? "Cancellazione sicura" : "Formattazione rapida";
        const QString titolo = cancella ? "Cancellazione non riuscita" : "Formattazione non riuscita";
        if (rifiutato) {
            QVERIFY(!occupatoDuranteAvviso); // the busy state is gone before the alert
            QCOMPARE(mostrati[0].titolo, QString("Operazione rifiutata"));
            QVERIFY2(mostrati[0].testo.contains(errore.mid(1)), qPrintable(mostrati[0].testo));
            QCOMPARE(mostrati[0].stile, StileAvviso::critico);
            QVERIFY(env.logLines().isEmpty() && env.notifiche.inviate.isEmpty());
        } else if (errore != "ok") {
            QCOMPARE(registro(env), cosa + " di \"STUDIO\" NON riuscita: " + errore);
            QCOMPARE(env.notifiche.inviate, (Avvisi{{titolo, "Errore su \"STUDIO\": " + errore}}));
            QCOMPARE(env.notifiche.urgenze, QList<Urgenza>{Urgenza::critica}); // stays until seen
        } else if (!cancella) {
            // The card follows the tool, in order, to its last percentage; reports
            // that come faster than the panel redraws merge into the newest.
            const QStringList tutti{"-1", "0.1", "0.555", "0.4", "1"};
            QCOMPARE(visti.first() + "|" + visti.mid(visti.size() - 2).join('|'),
                     QString("Preparazione di \"STUDIO\"…-1|Preparazione di \"STUDIO\"…1|-"));
            qsizetype k = 0;
            for (const QString &v : visti.mid(0, visti.size() - 1))
                while (k < tutti.size() && v != "Preparazione di \"STUDIO\"…" + tutti.at(k))
                    ++k;
            QVERIFY2(k < tutti.size(), qPrintable(visti.join('|')));
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

    // The archive check looks at every volume of the disk and heads the
    // question; "Copia prima" copies only what is missing, then checks and
    // asks again. Cancelling the check ends it all quietly; an archive on the
    // stick is refused, never copied onto itself.
    void asksAfterTheArchiveCheck_data()
    {
        QTest::addColumn<bool>("cancella");
        QTest::addColumn<QString>("caso");
        for (bool c : {false, true}) {
            for (const char *caso :
                 {"copy first", "check cancelled", "only hidden files", "archive on the stick"})
                QTest::addRow("%s, %s", c ? "erase" : "format", caso) << c << QString(caso);
        }
    }
    void asksAfterTheArchiveCheck()
    {
        QFETCH(bool, cancella);
        QFETCH(QString, caso);
        TestEnv env;
        const QString studio = env.path("STUDIO"),
                      archivio = env.path(caso == "archive on the stick" ? "STUDIO/Ecografie" : "Ecografie");
        const QList<std::pair<QString, QString>> altri{{"sdb2", env.path("ALTRO")}, {"sdb3", ""}};
        QVERIFY(QDir().mkpath(archivio)); // chosen folders are never made for the user
        preparaSicuro(env, studio, caso == "only hidden files" ? altri.mid(2) : altri, archivio);
        for (const auto &[file, dati] : std::initializer_list<std::pair<const char *, QByteArray>>{
                 {"STUDIO/DCIM/IMG0.JPG", "archiviata"},
                 {"Ecografie/VECCHIA.JPG", "archiviata"},
                 {"STUDIO/DCIM/IMG1.JPG", "immagine"},
                 {"ALTRO/b.jpg", "b"}})
            QVERIFY(caso == "only hidden files" || TestSupport::writeFile(env.path(file), dati));
        QVERIFY(TestSupport::writeFile(env.path("STUDIO/.Trashes/x"), "nascosto"));
        QSet<QString> schede; // cards that offer "Annulla"
        connect(&env.centro, &CentroOperazioni::attualeChanged, this, [&] {
            const auto &op = env.centro.attuale();
            if (op && op->annulla) {
                schede.insert(op->titolo);
                if (caso == "check cancelled")
                    (*op->annulla)();
            }
        });
        bool occupatoDuranteAvviso = false;
        env.avvisi.duranteAvviso = [&](const RichiestaAvviso &) {
            occupatoDuranteAvviso |= env.centro.occupato();
        };
        if (caso == "copy first") {
            env.avvisi.rispondi(0); // "Copia prima"
            env.avvisi.rispondi(0); // the copy's summary
        }
        env.avvisi.rispondi(caso == "only hidden files" ? 1 : 2); // "Annulla"

        esegui(env, cancella, studio);

        QVERIFY(!occupatoDuranteAvviso && !env.centro.occupato() && !env.cancellazione.inCorso());
        QVERIFY(distruttivi(env).isEmpty() && env.notifiche.permessiRichiesti == 0);
        const auto &m = env.avvisi.mostrati;
        QStringList titoli;
        for (const RichiestaAvviso &r : m)
            titoli << r.titolo;
        if (caso == "check cancelled" || caso == "archive on the stick") {
            QCOMPARE(schede, QSet<QString>{"Controllo di \"STUDIO\" in Ecografie…"});
            QCOMPARE(titoli, caso == "check cancelled" ? QStringList() : QStringList{"Operazione rifiutata"});
            QVERIFY(env.logLines().isEmpty() && !QFile::exists(env.path("STUDIO/Ecografie/IMG1.JPG")));
            return;
        }
        const QString domanda =
            cancella ? "Cancellare definitivamente \"STUDIO\"?" : "Preparare \"STUDIO\" per il riuso?";
        const QString azione = cancella ? "Cancella tutto" : "Formatta";
        if (caso == "only hidden files") {
            QCOMPARE(titoli, QStringList{domanda});
            QCOMPARE(m[0].pulsanti, (QStringList{azione, "Annulla"}));
            QVERIFY(m[0].testo.startsWith("Sulla chiavetta ci sono solo file nascosti"));
            return;
        }
        QCOMPARE(titoli, (QStringList{domanda, "Copia completata", domanda}));
        QCOMPARE(m[0].pulsanti, (QStringList{"Copia prima", azione, "Annulla"}));
        QCOMPARE(m[2].pulsanti, (QStringList{azione, "Annulla"})); // nothing left to copy
        QVERIFY(
            m[0].testo.startsWith("2 file non sono ancora in Ecografie.\nSTUDIO/DCIM/IMG1.JPG, sdb2/b.jpg\n\n"
                                  "1 volume di questo disco non si può controllare"));
        QVERIFY(m[0].testo.contains("«Copia prima» copia in Ecografie solo i file che mancano"));
        QVERIFY(
            m[2].testo.startsWith("1 volume di questo disco non si può controllare, ma verrà cancellato "
                                  "anch'esso: nulla di ciò che contiene risulta al sicuro.\n“sdb3”: non è "
                                  "montato, quindi non si può controllare\n\n"));
        QCOMPARE(env.logLines().size(), 1); // the copy's line
        QCOMPARE(QDir(env.path("Ecografie")).entryList(QDir::Files),
                 (QStringList{"b.jpg", "IMG1.JPG", "VECCHIA.JPG"}));
    }

private:
    QTemporaryDir m_dati;
};

QTEST_GUILESS_MAIN(TestFormatErase)
#include "TestFormatErase.moc"
