#include "app/USBMonitor.h"
#include "operations/Orologio.h"
#include "settings/Colori.h"
#include "support/FakeVolumeSource.h"
#include "support/TestEnv.h"
#include "transfer/CategoriaFile.h"
#include "transfer/FileCopyService.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
const QDateTime istante(QDate(2024, 3, 7), QTime(9, 5, 31));
const QString stamp = QStringLiteral("2024-03-07_09-05-31");
const QString prefissoRegistro = QStringLiteral("[2024-03-07 09:05:31] ");

QStringList tuttoIn(const QString &cartella)
{
    QStringList r = QDir(cartella).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    r.sort();
    return r;
}

USBDrive chiavetta(const QString &percorso, const QString &nome)
{
    return USBDrive{QUuid::createUuid(), QUrl::fromLocalFile(percorso), nome, QDateTime::currentDateTime()};
}

// Notes whether the card was still up when the notification went out.
class NotificheConScheda : public FakeNotifier {
public:
    explicit NotificheConScheda(CentroOperazioni &centro) : m_centro(centro) {}
    QCoro::Task<> notifica(QString titolo, QString corpo) override
    {
        schedaPresente = m_centro.occupato();
        return FakeNotifier::notifica(titolo, corpo);
    }
    bool schedaPresente = false;

private:
    CentroOperazioni &m_centro;
};
} // namespace

class TestImportazione : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Orologio::imposta([] { return istante; });
    }
    void cleanup() { Orologio::imposta({}); }

    void notificationBody_data()
    {
        QTest::addColumn<EsitoImportazione>("esito");
        QTest::addColumn<QString>("atteso");
        QTest::newRow("new only") << EsitoImportazione{3, 0, 0, 0}
                                  << "3 nuove immagini importate e verificate da \"ECO 1\".";
        QTest::newRow("with already archived")
            << EsitoImportazione{1, 4, 0, 0}
            << "1 nuove immagini importate e verificate da \"ECO 1\". 4 già "
               "presenti.";
        QTest::newRow("copy errors only")
            << EsitoImportazione{0, 0, 2, 0}
            << "0 nuove immagini importate e verificate da \"ECO 1\". ⚠️ 2 errori di "
               "copia.";
        QTest::newRow("everything")
            << EsitoImportazione{5, 1, 2, 3}
            << "5 nuove immagini importate e verificate da \"ECO 1\". 1 già presenti. ⚠️ 2 "
               "errori di copia. ⚠️ 3 file non hanno superato la verifica.";
    }

    void notificationBody()
    {
        QFETCH(EsitoImportazione, esito);
        QFETCH(QString, atteso);
        QCOMPARE(FileCopyService::corpoNotifica("ECO 1", esito), atteso);
    }

    void importsNewImagesOnce()
    {
        TestEnv env;
        NotificheConScheda notifiche(env.centro);
        env.servizi.notifiche = &notifiche;
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("DCIM/IMG_0001.JPG"), "uno"));
        QVERIFY(writeFile(stick.filePath("DCIM/IMG_0002.png"), "due"));
        QVERIFY(writeFile(stick.filePath("esame/IMG_0003.jpeg"), "tre"));
        QVERIFY(writeFile(stick.filePath("video.mp4"), "v"));
        QVERIFY(writeFile(stick.filePath("referto.pdf"), "d"));
        QVERIFY(writeFile(stick.filePath("jpg"), "no extension"));
        QVERIFY(writeFile(stick.filePath("._IMG_0001.JPG"), "hidden"));
        QVERIFY(QFile::link(stick.filePath("DCIM/IMG_0001.JPG"), stick.filePath("link.jpg")));
        const QString archivio = env.settings->destinationPath();

        QList<CentroOperazioni::Operazione> schede;
        connect(&env.centro, &CentroOperazioni::attualeChanged, this, [&] {
            if (env.centro.attuale())
                schede << *env.centro.attuale();
        });
        QCoro::waitFor(
            FileCopyService::shared().importaAutomaticamente(chiavetta(stick.path(), "ECO"), env.servizi));

        QCOMPARE(tuttoIn(archivio), (QStringList{"IMG_0001.JPG", "IMG_0002.png", "IMG_0003.jpeg"}));
        QCOMPARE(readFile(archivio + "/IMG_0003.jpeg"), QByteArray("tre"));
        QVERIFY(!schede.isEmpty());
        QCOMPARE(schede.first(),
                 (CentroOperazioni::Operazione{"Importazione automatica da ECO…", std::nullopt, std::nullopt,
                                               "tray.and.arrow.down.fill", Colori::coloreMarchio()}));
        QVERIFY(!env.centro.occupato());
        QCOMPARE(env.logLines(),
                 QStringList{prefissoRegistro + "Auto-importazione da ECO: 3 nuove immagini, 0 già "
                                                "presenti, 0 errori, 0 verifiche fallite"});
        QCOMPARE(notifiche.inviate.size(), 1);
        QCOMPARE(notifiche.inviate.first().first, QString("Importazione automatica"));
        QCOMPARE(notifiche.inviate.first().second,
                 QString("3 nuove immagini importate e verificate da \"ECO\"."));
        QVERIFY(!notifiche.schedaPresente);
        QVERIFY(env.avvisi.mostrati.isEmpty());

        // The same stick again: all already there, a log line and no notification.
        QCoro::waitFor(
            FileCopyService::shared().importaAutomaticamente(chiavetta(stick.path(), "ECO"), env.servizi));
        QCOMPARE(tuttoIn(archivio).size(), 3);
        QCOMPARE(env.logLines().last(), prefissoRegistro +
                                            "Auto-importazione da ECO: 0 nuove immagini, 3 già "
                                            "presenti, 0 errori, 0 verifiche fallite");
        QCOMPARE(notifiche.inviate.size(), 1);
    }

    // An archived image with the stick image's name: only equal contents are
    // "already there". Machines that restart their numbering reuse names,
    // often with identical sizes.
    void sameNameDecidedByContent_data()
    {
        QTest::addColumn<QByteArray>("archiviato");
        QTest::addColumn<QByteArray>("sullaChiavetta");
        QTest::addColumn<EsitoImportazione>("atteso");
        QTest::newRow("same image") << QByteArray("AAAA") << QByteArray("AAAA")
                                    << EsitoImportazione{0, 1, 0, 0};
        QTest::newRow("same size, other image")
            << QByteArray("AAAA") << QByteArray("BBBB") << EsitoImportazione{1, 0, 0, 0};
        QTest::newRow("other size") << QByteArray("AAAA") << QByteArray("BBBBBB")
                                    << EsitoImportazione{1, 0, 0, 0};
    }

    void sameNameDecidedByContent()
    {
        QFETCH(QByteArray, archiviato);
        QFETCH(QByteArray, sullaChiavetta);
        QFETCH(EsitoImportazione, atteso);
        QTemporaryDir stick, archivio;
        QVERIFY(writeFile(archivio.filePath("IMG_0001.JPG"), archiviato));
        QVERIFY(writeFile(stick.filePath("IMG_0001.JPG"), sullaChiavetta));

        const EsitoImportazione e = FileCopyService::eseguiImportazione(
            stick.path(), archivio.path(), insiemeEstensioni(CategoriaFile::immagini));
        QCOMPARE(e, atteso);
        QCOMPARE(readFile(archivio.filePath("IMG_0001.JPG")), archiviato);
        if (atteso.nuovi == 1) {
            QCOMPARE(tuttoIn(archivio.path()), (QStringList{"IMG_0001.JPG", "IMG_0001_" + stamp + ".JPG"}));
            QCOMPARE(readFile(archivio.filePath("IMG_0001_" + stamp + ".JPG")), sullaChiavetta);
        } else {
            QCOMPARE(tuttoIn(archivio.path()), QStringList{"IMG_0001.JPG"});
        }
    }

    void countersAndProgress()
    {
        QTemporaryDir stick, archivio;
        for (const char *n : {"a.jpg", "b.jpg", "c.jpg", "d.mov"})
            QVERIFY(writeFile(stick.filePath(n), n));
        QStringList dettagli;
        QList<double> frazioni;
        const EsitoImportazione e = FileCopyService::eseguiImportazione(
            stick.path(), archivio.path(), insiemeEstensioni(CategoriaFile::immagini),
            [&](std::optional<double> f, std::optional<QString> d, std::optional<QString> t) {
                QVERIFY(!t);
                frazioni << f.value_or(-1);
                dettagli << d.value_or(QString());
                if (d && d->startsWith("2 di")) // vanishes before its copy
                    ::unlink(QFile::encodeName(stick.filePath("b.jpg")));
            });
        QCOMPARE(e, (EsitoImportazione{2, 0, 1, 0}));
        QCOMPARE(dettagli, (QStringList{"1 di 3 — a.jpg", "2 di 3 — b.jpg", "3 di 3 — c.jpg"}));
        QCOMPARE(frazioni, (QList<double>{0, 1.0 / 3, 2.0 / 3}));
        QCOMPARE(tuttoIn(archivio.path()), (QStringList{"a.jpg", "c.jpg"}));
    }

    void skippedOrRefused_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("riga");
        QTest::newRow("copy or sync running") << "centro"
                                              << "Auto-importazione da ECO saltata: altra operazione in "
                                                 "corso";
        QTest::newRow("secure erase running") << "erase"
                                              << "Auto-importazione da ECO saltata: altra operazione in "
                                                 "corso";
        QTest::newRow("archive is a file") << "file"
                                           << "Auto-importazione da ECO fallita: destinazione non "
                                              "accessibile";
        QTest::newRow("only videos and documents") << "niente"
                                                   << "Auto-importazione da ECO: 0 nuove immagini, 0 già "
                                                      "presenti, 0 errori, 0 verifiche fallite";
    }

    void skippedOrRefused()
    {
        QFETCH(QString, caso);
        QFETCH(QString, riga);
        TestEnv env;
        QTemporaryDir stick;
        QVERIFY(writeFile(stick.filePath("video.mp4"), "v"));
        QVERIFY(writeFile(stick.filePath("referto.pdf"), "d"));
        if (caso != "niente")
            QVERIFY(writeFile(stick.filePath("IMG_0001.JPG"), "i"));
        const CentroOperazioni::Operazione altra{"Copia in Ecografie…", "1 di 9 — x", 0.1, "doc.on.doc.fill",
                                                 Colori::green()};
        if (caso == "centro")
            env.centro.setAttuale(altra);
        if (caso == "erase")
            env.erase.avvia("ALTRA");
        if (caso == "file") {
            QVERIFY(writeFile(env.path("archivio-file"), "x"));
            env.settings->setDestinationPath(env.path("archivio-file"));
        }
        int cambiScheda = 0;
        connect(&env.centro, &CentroOperazioni::attualeChanged, this, [&] { ++cambiScheda; });

        QCoro::waitFor(
            FileCopyService::shared().importaAutomaticamente(chiavetta(stick.path(), "ECO"), env.servizi));

        QCOMPARE(env.logLines(), QStringList{prefissoRegistro + riga});
        QVERIFY(env.notifiche.inviate.isEmpty());
        QVERIFY(env.avvisi.mostrati.isEmpty());
        QCOMPARE(cambiScheda, caso == "niente" ? 2 : 0);
        if (caso == "centro")
            QCOMPARE(env.centro.attuale(), std::optional(altra));
        if (caso != "file")
            QVERIFY(tuttoIn(env.settings->destinationPath()).isEmpty());
    }

    // Sticks arrive through the monitor; the second one finds the first still
    // importing and is skipped, never queued.
    void secondStickWhileImporting()
    {
        TestEnv env;
        env.settings->setAutoImport(true);
        QTemporaryDir primo, secondo;
        QVERIFY(writeFile(primo.filePath("IMG_1.JPG"), QByteArray(4 << 20, '1')));
        QVERIFY(writeFile(secondo.filePath("IMG_2.JPG"), "2"));
        FakeVolumeSource volumi;
        USBMonitor monitor(&volumi, env.settings.get());
        monitor.setAutoImportHandler([&](const USBDrive &drive) {
            FileCopyService::shared().importaAutomaticamente(drive, env.servizi);
        });

        volumi.mount({primo.path(), true, QString("PRIMO")});
        volumi.mount({secondo.path(), true, QString("SECONDO")});
        QTRY_COMPARE(env.logLines().size(), 2);
        QCOMPARE(env.logLines().at(0), prefissoRegistro +
                                           "Auto-importazione da SECONDO saltata: altra operazione "
                                           "in corso");
        QCOMPARE(env.logLines().at(1), prefissoRegistro +
                                           "Auto-importazione da PRIMO: 1 nuove immagini, 0 già "
                                           "presenti, 0 errori, 0 verifiche fallite");
        QCOMPARE(tuttoIn(env.settings->destinationPath()), QStringList{"IMG_1.JPG"});
        QCOMPARE(env.notifiche.inviate.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestImportazione)
#include "TestImportazione.moc"
