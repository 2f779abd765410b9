#include "ChiavettaGuasta.h"
#include "operations/Orologio.h"
#include "support/TestEnv.h"
#include "transfer/ComandiTrasferimento.h"
#include "transfer/FileCopyService.h"
#include "ui/AvvisiInFinestra.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
constexpr int piccoli = 130; // a batch of 128 goes ahead and is proven; two wait behind the large one
constexpr qint64 grande = qint64(24) << 20;

QByteArray sha256(const QByteArray &dati)
{
    return QCryptographicHash::hash(dati, QCryptographicHash::Sha256).toHex();
}

// Every entry of `cartella`, hidden ones included, but for the manifests' folder.
QStringList voci(const QString &cartella)
{
    QStringList r =
        QDir(cartella).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    r.removeOne(".tessera-manifest");
    return r;
}

// "name" -> digest, as every manifest in the archive lists them.
QMap<QString, QByteArray> elencati(const QString &archivio)
{
    QMap<QString, QByteArray> r;
    const QDir cartella(archivio + "/.tessera-manifest");
    for (const QString &m : cartella.entryList(QDir::Files))
        for (const QByteArray &riga : readFile(cartella.filePath(m)).split('\n'))
            if (riga.size() > 66)
                r.insert(QString::fromUtf8(riga.mid(66)), riga.left(64));
    return r;
}
} // namespace

// "Annulla" on the card of a copy, an import and a sync from a slow stick,
// pressed in the middle of a large file: the work stops within about a
// second, the card has shown a speed and a time left, and the receiving side
// keeps only whole copies (proven ones and their manifest, for the archive)
// with no temporary file; the outcome says how many made it, as neither a
// success nor a failure, and one log line says so too.
class TestInterruzione : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void annullaStopsCleanly_data()
    {
        QTest::addColumn<QString>("lavoro");
        QTest::addColumn<QString>("esito"); // what the alert or the notification starts with
        QTest::newRow("copy") << "copia"
                              << "Copia interrotta: ";
        QTest::newRow("import") << "importazione"
                                << "Importazione interrotta: ";
        QTest::newRow("sync") << "sincronizzazione"
                              << "Sincronizzazione interrotta: ";
    }
    void annullaStopsCleanly()
    {
        QFETCH(QString, lavoro);
        QFETCH(QString, esito);
        ChiavettaGuasta chiavetta({"lento:0.05", "piano:/z_grande.jpg"});
        if (!chiavetta.perche.isEmpty())
            QSKIP(qPrintable(chiavetta.perche));
        TestEnv env;
        QMap<QString, QByteArray> originali;
        for (int i = 0; i < piccoli; ++i)
            originali.insert(QString("a%1.jpg").arg(i, 3, 10, QChar('0')),
                             QByteArray(20000 + i, char('a' + i % 26)));
        originali.insert("z_grande.jpg", QByteArray(grande, 'z'));
        for (auto it = originali.cbegin(); it != originali.cend(); ++it)
            QVERIFY(writeFile(chiavetta.radice.filePath(it.key()), it.value()));
        const QString archivio = env.path("Ecografie"), altra = env.path("STUDIO");
        QVERIFY(QDir().mkpath(archivio) && QDir().mkpath(altra));
        env.impostazioni->setDestinationPath(archivio);
        const USBDrive eco{QUuid::createUuid(), QUrl::fromLocalFile(chiavetta.punto.path()), "ECO", {}};
        const USBDrive studio{QUuid::createUuid(), QUrl::fromLocalFile(altra), "STUDIO", {}};

        bool finito = false;
        QCoro::Task<> flusso = lavoro == "copia" ? FileCopyService::copia(env.servizi, eco.path(), archivio)
                               : lavoro == "importazione"
                                   ? importaAutomaticamente(env.servizi, eco)
                                   : sincronizzaChiavette(env.servizi, nullptr, eco, studio);
        QCoro::connect(std::move(flusso), this, [&] { finito = true; });

        // Into the large file, with the speed and the time left on the card.
        const auto scheda = [&] { return env.centro.attuale(); };
        QTRY_VERIFY_WITH_TIMEOUT(
            scheda() && scheda()->ritmo && scheda()->byteFatti > piccoli * 20000 + (1 << 20), 30000);
        QVERIFY2(scheda()->ritmo->contains(
                     QRegularExpression("^\\d+,\\d\u00A0MB/s · (circa|meno di) .+ rimanent")),
                 qPrintable(*scheda()->ritmo));
        // The copy names the stick by its mount point, as the panel's commands hand it.
        QVERIFY(scheda()->titolo.contains(lavoro == "copia" ? QFileInfo(eco.path()).fileName() : "ECO"));
        QVERIFY(scheda()->annulla);
        QElapsedTimer cronometro;
        cronometro.start();
        (*scheda()->annulla)();
        QTRY_VERIFY_WITH_TIMEOUT(!scheda(), 10000);
        QVERIFY2(cronometro.elapsed() < 2500, qPrintable(QString::number(cronometro.elapsed())));
        QTRY_VERIFY(finito);

        // Whole copies only: no temporary file, nothing of the large one.
        const QString ricevente = lavoro == "sincronizzazione" ? altra : archivio;
        const QStringList presenti = voci(ricevente);
        QVERIFY2(!presenti.contains("z_grande.jpg") && !presenti.join(' ').contains(".tmp"),
                 qPrintable(presenti.join(' ')));
        for (const QString &f : presenti)
            QCOMPARE(sha256(readFile(ricevente + "/" + f)), sha256(originali.value(f)));
        if (lavoro != "sincronizzazione") {
            // What the archive keeps is what its manifest lists, proven.
            const QMap<QString, QByteArray> manifesto = elencati(archivio);
            QCOMPARE(QStringList(manifesto.keys()), [&] {
                QStringList p = presenti;
                p.sort();
                return p;
            }());
            for (auto it = manifesto.cbegin(); it != manifesto.cend(); ++it)
                QCOMPARE(it.value(), sha256(originali.value(it.key())));
        }

        // The batch of small files went ahead and was proven (or flushed) before the stop: it stays.
        const qint64 n = presenti.size(), m = originali.size() - n;
        QVERIFY2(n >= 128, qPrintable(presenti.join(' ')));
        const QString conteggi = lavoro == "sincronizzazione"
                                     ? QString("%1 file copiati, %2 non copiati").arg(n).arg(m)
                                     : QString("%1 file copiati e verificati, %2 non copiati").arg(n).arg(m);
        QString detto;
        if (lavoro == "importazione") {
            QCOMPARE(env.notifiche.inviate.size(), 1);
            QCOMPARE(env.notifiche.inviate[0].first, QString("Importazione interrotta"));
            QCOMPARE(env.notifiche.urgenze[0], Urgenza::normale);
            detto = env.notifiche.inviate[0].second;
        } else {
            const RichiestaAvviso &ultimo = env.avvisi.mostrati.last();
            QCOMPARE(ultimo.stile, StileAvviso::informativo);
            QVERIFY2(ultimo.titolo.endsWith("interrotta"), qPrintable(ultimo.titolo));
            // What the copy kept can be looked at; the sync's outcome is about sticks.
            QCOMPARE(ultimo.pulsanti.size(), lavoro == "copia" ? 2 : 0);
            detto = ultimo.testo;
        }
        QVERIFY2(detto.startsWith(esito + conteggi), qPrintable(detto));
        const QStringList righe = env.logLines();
        QVERIFY2(righe.size() == 1, qPrintable(righe.join('\n')));
        QVERIFY2(righe[0].contains("interrotta"), qPrintable(righe[0]));
    }

    // The sync's analysis and the look for what is archived read a large file
    // and its same-sized namesake in full: "Annulla" in the middle of it ends
    // the work within about a second, asks nothing, copies nothing, and never
    // calls the file already there (though it is: the comparison did not end).
    void annullaWhileComparing_data()
    {
        QTest::addColumn<QString>("lavoro");
        QTest::addColumn<QString>("esito");
        QTest::newRow("sync analysis") << "sincronizzazione"
                                       << "Sincronizzazione annullata: nessun file copiato.";
        QTest::newRow("copy lookup") << "copia"
                                     << "Copia interrotta: 0 file copiati e verificati, 1 non copiato.";
        QTest::newRow("import lookup")
            << "importazione"
            << "Importazione interrotta: 0 file copiati e verificati, 1 non copiato";
    }
    void annullaWhileComparing()
    {
        QFETCH(QString, lavoro);
        QFETCH(QString, esito);
        ChiavettaGuasta chiavetta({"lento:0.2", "piano:/z_grande.jpg"});
        if (!chiavetta.perche.isEmpty())
            QSKIP(qPrintable(chiavetta.perche));
        TestEnv env;
        const QString altra = env.path("Ecografie");
        for (const QString &d : {chiavetta.radice.path(), altra})
            QVERIFY(writeFile(d + "/z_grande.jpg", QByteArray(grande, 'z')));
        env.impostazioni->setDestinationPath(altra);
        const USBDrive eco{QUuid::createUuid(), QUrl::fromLocalFile(chiavetta.punto.path()), "ECO", {}};

        bool finito = false;
        QCoro::Task<> flusso =
            lavoro == "copia" ? FileCopyService::copia(env.servizi, eco.path(), altra)
            : lavoro == "importazione"
                ? importaAutomaticamente(env.servizi, eco)
                : sincronizzaChiavette(env.servizi, nullptr, eco,
                                       USBDrive{QUuid(), QUrl::fromLocalFile(altra), "STUDIO", {}});
        QCoro::connect(std::move(flusso), this, [&] { finito = true; });
        QTRY_VERIFY(env.centro.attuale() && env.centro.attuale()->annulla);
        QTest::qWait(500); // into the large file, which takes seconds to read
        QElapsedTimer cronometro;
        cronometro.start();
        (*env.centro.attuale()->annulla)();
        QTRY_VERIFY_WITH_TIMEOUT(finito, 20000);
        QVERIFY2(cronometro.elapsed() < 2500, qPrintable(QString::number(cronometro.elapsed())));

        QCOMPARE(voci(altra), QStringList{"z_grande.jpg"});
        const QString detto = lavoro == "importazione" ? env.notifiche.inviate.value(0).second
                                                       : env.avvisi.mostrati.value(0).testo;
        QVERIFY2(detto.startsWith(esito) && !detto.contains(QRegularExpression("era(no)? già|già present")),
                 qPrintable(detto));
        QCOMPARE(env.avvisi.mostrati.size(), lavoro == "importazione" ? 0 : 1);
        QCOMPARE(env.logLines().size(), 1);
    }

    // The copy's outcome offers "Apri Ecografie" beside "OK" when the archive
    // holds anything of the stick, copied now or already there the second
    // time, and opens it only when chosen; on the real alert Escape is "OK".
    void copyOutcomeOpensTheArchive()
    {
        TestEnv env;
        const QString chiavetta = env.path("ECO"), archivio = env.path("Ecografie");
        QVERIFY(writeFile(chiavetta + "/a.jpg", "eco") && QDir().mkpath(archivio));
        env.avvisi.rispondi(1);
        for (int volta = 0; volta < 2; ++volta) {
            bool finito = false;
            QCoro::connect(FileCopyService::copia(env.servizi, chiavetta, archivio), this,
                           [&] { finito = true; });
            QTRY_VERIFY(finito);
            QCOMPARE(env.avvisi.mostrati.last().pulsanti, QStringList({"OK", "Apri Ecografie"}));
        }
        QCOMPARE(env.apritore.aperti, QList{QUrl::fromLocalFile(archivio)});

        QTimer tasto;
        connect(&tasto, &QTimer::timeout, this, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                QTest::keyClick(box, Qt::Key_Escape);
        });
        tasto.start(20);
        QCOMPARE(AvvisiInFinestra().presenta(env.avvisi.mostrati.last()).pulsante, 0);
    }
};

QTEST_MAIN(TestInterruzione)
#include "TestInterruzione.moc"
