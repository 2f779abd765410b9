#include "diagnostics/DiagnosticaManager.h"
#include "diagnostics/DiagnosticaUSB.h"
#include "diagnostics/MisuraVelocita.h"
#include "platform/PercorsiStrumenti.h"
#include "support/FakeEsecutoreDisco.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QLocale>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

using Tipo = RigaRapporto::Tipo;
using Riga = std::pair<Tipo, QString>;
using Righe = QList<Riga>;
Q_DECLARE_METATYPE(Risultato<QString>)

namespace {
const QString percorso = QStringLiteral("/media/anna/ECO");

USBDrive chiavetta(const QString &path = percorso, const QString &nome = QStringLiteral("ECO"))
{
    return USBDrive{QUuid::createUuid(), QUrl::fromLocalFile(path), nome, QDateTime::currentDateTime()};
}

// A world of its own: the shared manager and runner are never touched.
struct Mondo {
    Mondo()
    {
        env.servizi.diag = &diag;
        env.servizi.disco = &disco;
    }
    Righe rapporto() const
    {
        Righe righe;
        for (const RigaRapporto &r : diag.rapporto())
            righe.append({r.tipo, r.testo});
        return righe;
    }
    template <typename A> void esegui(const USBDrive &drive = chiavetta())
    {
        A azione(drive, env.servizi);
        QCoro::waitFor(azione.perform());
    }
    TestEnv env;
    DiagnosticaManager diag{&env.erase};
    FakeEsecutoreDisco disco;
};

QString profiloCon(const QString &velocita)
{
    return QStringLiteral(R"({"SPUSBDataType":[{"_name":"USB31Bus","_items":[{"_name":"Hub","_items":[)"
                          R"({"_name":"Flash Disk","device_speed":"%1","Media":[{"bsd_name":"sdb",)"
                          R"("volumes":[{"bsd_name":"sdb1"}]}]}]}]}]})")
        .arg(velocita);
}

const QString lenta = QStringLiteral("Connessione molto lenta: se possibile usa un'altra porta o chiavetta.");
const QString nonRilevabile =
    QStringLiteral("Tipo di connessione USB non rilevabile per questo dispositivo.");
} // namespace

class TestAzioniDiagnostica : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); }

    void info_data()
    {
        QTest::addColumn<QVariantMap>("report");
        QTest::addColumn<Risultato<QString>>("profilo");
        QTest::addColumn<Righe>("righe");
        const QVariantMap fat{{"ParentWholeDisk", "sdb"},
                              {"FilesystemName", "MS-DOS FAT32"},
                              {"FilesystemType", "msdos"},
                              {"TotalSize", 15938355200LL}};
        const Riga dettagli{Tipo::info, "File system: MS-DOS FAT32 · Capacità: 15,9 GB · Disco: sdb"};
        QTest::newRow("USB 1.0 gets the warning")
            << fat << Risultato<QString>(profiloCon("low_speed"))
            << Righe{dettagli,
                     {Tipo::info, "Connessione: USB 1.0 — 1,5 Mb/s (molto lenta)"},
                     {Tipo::avviso, lenta}};
        QTest::newRow("USB 1.1 gets the warning")
            << fat << Risultato<QString>(profiloCon("full_speed"))
            << Righe{dettagli, {Tipo::info, "Connessione: USB 1.1 — 12 Mb/s (lenta)"}, {Tipo::avviso, lenta}};
        QTest::newRow("USB 2.0 does not")
            << fat << Risultato<QString>(profiloCon("high_speed"))
            << Righe{dettagli, {Tipo::info, "Connessione: USB 2.0 — 480 Mb/s (max reale ~35 MB/s)"}};
        QTest::newRow("speed nobody knows")
            << fat << Risultato<QString>(profiloCon("wireless"))
            << Righe{dettagli, {Tipo::info, "Connessione: connessione: wireless"}};
        QTest::newRow("profiler prints garbage") << fat << Risultato<QString>(QStringLiteral("<html>oops"))
                                                 << Righe{dettagli, {Tipo::avviso, nonRilevabile}};
        QTest::newRow("profiler fails")
            << fat << Risultato<QString>(DiskUtilErrore::comandoFallito("system_profiler", 70, "crash"))
            << Righe{dettagli, {Tipo::avviso, nonRilevabile}};
        QTest::newRow("profiler missing")
            << fat << Risultato<QString>(ErroreAvvio{"system_profiler", "file non trovato"})
            << Righe{dettagli, {Tipo::avviso, nonRilevabile}};
        QTest::newRow("type without name, no size")
            << QVariantMap{{"ParentWholeDisk", "sdb"}, {"FilesystemType", "msdos"}}
            << Risultato<QString>(profiloCon("super_speed"))
            << Righe{{Tipo::info, "File system: msdos · Capacità: 0 byte · Disco: sdb"},
                     {Tipo::info, "Connessione: USB 3.0 — 5 Gb/s (max reale ~400 MB/s)"}};
        QTest::newRow("no file-system name at all")
            << QVariantMap{{"ParentWholeDisk", "sdb"}, {"FilesystemName", 7}, {"TotalSize", 1000}}
            << Risultato<QString>(profiloCon("super_speed_plus"))
            << Righe{{Tipo::info, "File system: sconosciuto · Capacità: 1,0 kB · Disco: sdb"},
                     {Tipo::info, "Connessione: USB 3.1/3.2 — 10 Gb/s o più"}};
    }
    void info()
    {
        QFETCH(QVariantMap, report);
        QFETCH(Risultato<QString>, profilo);
        QFETCH(Righe, righe);
        Mondo m;
        m.disco.rispondi({"info", "-plist", percorso}, FakeEsecutoreDisco::reportInfo(report));
        m.disco.rispondi({percorsiStrumenti().systemProfiler, "SPUSBDataType", "-json"}, profilo);

        m.esegui<InfoUSBDiagAction>();

        righe.prepend({Tipo::info, "— Info su \"ECO\" —"});
        QCOMPARE(m.rapporto(), righe);
        QCOMPARE(m.diag.operazione(), DiagnosticaManager::Operazione::nessuna);
    }

    void infoSenzaReport_data()
    {
        QTest::addColumn<Risultato<QString>>("risposta");
        QTest::addColumn<QString>("errore");
        QTest::newRow("disk utility fails")
            << Risultato<QString>(
                   DiskUtilErrore::comandoFallito("info -plist " + percorso, 1, "Could not find disk"))
            << "Impossibile leggere le informazioni: diskutil info -plist " + percorso +
                   " è terminato con codice 1.\nCould not find disk";
        QTest::newRow("report without a whole disk")
            << Risultato<QString>(FakeEsecutoreDisco::reportInfo(QVariantMap{{"FilesystemName", "FAT32"}}))
            << "Impossibile leggere le informazioni: Impossibile leggere le informazioni del disco da "
               "diskutil.";
        QTest::newRow("not a property list") << Risultato<QString>(QStringLiteral("garbage"))
                                             << "Impossibile leggere le informazioni: Impossibile leggere le "
                                                "informazioni del disco da diskutil.";
    }
    void infoSenzaReport()
    {
        QFETCH(Risultato<QString>, risposta);
        QFETCH(QString, errore);
        Mondo m;
        m.disco.rispondi({"info"}, risposta);
        m.esegui<InfoUSBDiagAction>();
        QCOMPARE(m.rapporto(), (Righe{{Tipo::info, "— Info su \"ECO\" —"}, {Tipo::errore, errore}}));
        // No speed lookup after a failed report.
        QCOMPARE(m.disco.chiamate().size(), 1);
        QVERIFY(!m.diag.inCorso());
    }

    void verifica_data()
    {
        QTest::addColumn<Risultato<QString>>("esito");
        QTest::addColumn<Righe>("righe");
        const Riga integro{Tipo::ok, "Nessun danno rilevato: il file system è integro."};
        QTest::newRow("English") << Risultato<QString>(
                                        QStringLiteral("The volume /media/anna/ECO appears to be OK."))
                                 << Righe{integro};
        QTest::newRow("lower case") << Risultato<QString>(QStringLiteral("volume appears to be ok\n"))
                                    << Righe{integro};
        QTest::newRow("Italian") << Risultato<QString>(
                                        QStringLiteral("Il volume ECO sembra essere corretto."))
                                 << Righe{integro};
        QTest::newRow("Italian upper case")
            << Risultato<QString>(QStringLiteral("SEMBRA ESSERE CORRETTO")) << Righe{integro};
        QTest::newRow("neither") << Risultato<QString>(QStringLiteral("fsck.fat 4.2\n0 files"))
                                 << Righe{{Tipo::ok, "Verifica completata senza errori."}};
        QTest::newRow("exit 1")
            << Risultato<QString>(DiskUtilErrore::comandoFallito("verifyVolume " + percorso, 1,
                                                                 "The volume was found corrupt."))
            << Righe{{Tipo::errore, "La verifica ha trovato problemi: diskutil verifyVolume " + percorso +
                                        " è terminato con codice 1.\nThe volume was found corrupt."},
                     {Tipo::avviso, "Prova il pulsante \"Ripara\". Se la riparazione fallisce, copia i file "
                                    "recuperabili e usa \"Cancella tutto e formatta (sicuro)\"."}};
        QTest::newRow("checker cannot start")
            << Risultato<QString>(ErroreAvvio{"diskutil", "permesso negato"})
            << Righe{{Tipo::errore,
                      "La verifica ha trovato problemi: Impossibile avviare diskutil: permesso negato"},
                     {Tipo::avviso, "Prova il pulsante \"Ripara\". Se la riparazione fallisce, copia i file "
                                    "recuperabili e usa \"Cancella tutto e formatta (sicuro)\"."}};
    }
    void verifica()
    {
        QFETCH(Risultato<QString>, esito);
        QFETCH(Righe, righe);
        Mondo m;
        m.disco.rispondi({"verifyVolume", percorso}, esito);
        m.esegui<VerifyUSBAction>();
        righe.prepend({Tipo::info, "— Verifica integrità di \"ECO\" —"});
        QCOMPARE(m.rapporto(), righe);
        QVERIFY(!m.diag.inCorso());
        QCOMPARE(m.disco.chiamate().size(), 1);
        QVERIFY(m.disco.chiamate().first().conProgresso);
    }

    void percentualiMonotone()
    {
        Mondo m;
        m.disco.rispondi({"verifyVolume"}, QStringLiteral("ok"), {35, 12, 35, 60, 140});
        QList<double> viste;
        connect(&m.diag, &DiagnosticaManager::percentualeChanged, &m.diag, [&] {
            if (m.diag.percentuale())
                viste << *m.diag.percentuale();
        });
        m.esegui<VerifyUSBAction>();
        // Percentages are posted, never awaited: some may land after the end of the check.
        QTRY_COMPARE(viste, (QList<double>{35.0, 60.0}));
    }

    void riparazione_data()
    {
        QTest::addColumn<Risultato<QString>>("esito");
        QTest::addColumn<Righe>("righe");
        QTest::newRow("repaired")
            << Risultato<QString>(QStringLiteral("anything"))
            << Righe{{Tipo::ok, "Riparazione completata. Esegui di nuovo \"Verifica\" per conferma."}};
        QTest::newRow("failed")
            << Risultato<QString>(
                   DiskUtilErrore::comandoFallito("repairVolume " + percorso, 1, "could not repair"))
            << Righe{{Tipo::errore, "Riparazione non riuscita: diskutil repairVolume " + percorso +
                                        " è terminato con codice 1.\ncould not repair"},
                     {Tipo::avviso,
                      "Copia subito i file importanti, poi riformatta la chiavetta con \"Cancella "
                      "tutto e formatta (sicuro)\"."}};
    }
    void riparazione()
    {
        QFETCH(Risultato<QString>, esito);
        QFETCH(Righe, righe);
        Mondo m;
        m.disco.rispondi({"repairVolume", percorso}, esito);
        m.esegui<RepairUSBAction>();
        righe.prepend({Tipo::info,
                       "Durante la riparazione la chiavetta viene smontata e rimontata: è normale che "
                       "sparisca per qualche secondo dalla lista."});
        righe.prepend({Tipo::info, "— Riparazione di \"ECO\" —"});
        QCOMPARE(m.rapporto(), righe);
        QVERIFY(!m.diag.inCorso());
    }

    void unControlloAllaVolta()
    {
        Mondo m;
        QSemaphore avviato, rilascia;
        m.disco.durante = [&](const QStringList &) {
            avviato.release();
            rilascia.acquire();
        };
        m.disco.rispondi({"verifyVolume"}, QStringLiteral("appears to be OK"));
        VerifyUSBAction prima(chiavetta(), m.env.servizi);
        QCoro::Task<> corsa = prima.perform();
        QVERIFY(avviato.tryAcquire(1, 10000));

        // A second press of the same card, then every other card: all silent.
        m.esegui<VerifyUSBAction>();
        m.esegui<RepairUSBAction>();
        m.esegui<InfoUSBDiagAction>();
        m.esegui<SpeedTestUSBAction>();
        QCOMPARE(m.rapporto().size(), 1);
        QCOMPARE(m.diag.operazione(), DiagnosticaManager::Operazione::verifica);

        rilascia.release();
        QCoro::waitFor(corsa);
        QCOMPARE(m.rapporto().size(), 2);
        QCOMPARE(m.disco.chiamate().size(), 1);
        QVERIFY(!m.diag.inCorso());
    }

    void nienteDuranteLaCancellazione()
    {
        Mondo m;
        m.env.erase.avvia("ALTRA");
        m.env.erase.impostaFase(SecureEraseManager::Fase::cancellazione);
        m.esegui<InfoUSBDiagAction>();
        m.esegui<VerifyUSBAction>();
        m.esegui<RepairUSBAction>();
        m.esegui<SpeedTestUSBAction>();
        QVERIFY(m.rapporto().isEmpty());
        QVERIFY(m.disco.chiamate().isEmpty());
        QVERIFY(!m.diag.inCorso());
    }

    void testVelocitaSuUnaCartellaVera()
    {
        Mondo m;
        QTemporaryDir volume;
        QSignalSpy operazione(&m.diag, &DiagnosticaManager::operazioneChanged);
        m.esegui<SpeedTestUSBAction>(chiavetta(volume.path(), "VELOCE"));

        const Righe r = m.rapporto();
        QVERIFY(r.size() == 2 || r.size() == 3);
        QCOMPARE(r.at(0), Riga(Tipo::info, "— Test velocità di \"VELOCE\" (32 MB di prova) —"));
        QCOMPARE(r.at(1).first, Tipo::ok);
        QVERIFY2(QRegularExpression("^Scrittura: \\d+\\.\\d MB/s · Lettura: \\d+\\.\\d MB/s$")
                     .match(r.at(1).second)
                     .hasMatch(),
                 qPrintable(r.at(1).second));
        QVERIFY(!QFileInfo::exists(volume.filePath(StrumentiDiagnostica::nomeFileTestVelocita)));
        QCOMPARE(operazione.size(), 2); // testVelocita, then nessuna
        QVERIFY(!m.diag.inCorso());
    }

    void testVelocitaSuUnaChiavettaSparita()
    {
        Mondo m;
        QTemporaryDir base;
        m.esegui<SpeedTestUSBAction>(chiavetta(base.filePath("via"), "VIA"));
        QCOMPARE(m.rapporto().last(),
                 Riga(Tipo::errore,
                      "Test non riuscito: Impossibile leggere lo spazio libero della chiavetta: la "
                      "chiavetta non è più disponibile."));
        QVERIFY(!m.diag.inCorso());
    }

    void dueChiavetteInFila()
    {
        Mondo m;
        m.disco.rispondi({"info", "-plist", "/media/a"},
                         FakeEsecutoreDisco::reportInfo({{"ParentWholeDisk", "sdb"}}));
        m.disco.rispondi({"info", "-plist", "/media/b"},
                         FakeEsecutoreDisco::reportInfo({{"ParentWholeDisk", "sdc"}}));
        m.disco.rispondi({percorsiStrumenti().systemProfiler}, profiloCon("high_speed"));
        m.esegui<InfoUSBDiagAction>(chiavetta("/media/a", "A"));
        m.esegui<InfoUSBDiagAction>(chiavetta("/media/b", "B"));
        const Righe r = m.rapporto();
        QCOMPARE(r.size(), 6);
        QCOMPARE(r.at(0).second, "— Info su \"A\" —");
        QVERIFY(r.at(1).second.endsWith("Disco: sdb"));
        QCOMPARE(r.at(3).second, "— Info su \"B\" —");
        QVERIFY(r.at(4).second.endsWith("Disco: sdc"));
        QCOMPARE(r.at(5), Riga(Tipo::avviso, nonRilevabile));
    }
};

QTEST_GUILESS_MAIN(TestAzioniDiagnostica)
#include "TestAzioniDiagnostica.moc"
