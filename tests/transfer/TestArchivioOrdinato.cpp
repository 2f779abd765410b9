#include "app/USBRow.h"
#include "ChiavettaFat.h"
#include "ChiavettaGuasta.h"
#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "operations/StoricoChiavette.h"
#include "support/TestEnv.h"
#include "transfer/ComandiTrasferimento.h"
#include "transfer/ControlloArchivio.h"
#include "transfer/FileCopyService.h"
#include "transfer/VerificaArchivio.h"
#include "transfer/VisitaCartelle.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
const QDate oggi(2026, 12, 7), domani(2026, 12, 8);
const QString stamp = QStringLiteral("2026-12-07_09-05-31");
const QString cartellaOggi = QStringLiteral("2026-12-07 ECO 1");
using enum OrdineArchivio;

// Every file below the archive, manifests aside, relative to it and sorted.
QStringList contenuto(const QString &archivio)
{
    QStringList r;
    for (const QString &f : elencaFile(archivio))
        r << f.mid(archivio.size() + 1);
    r.sort();
    return r;
}

// One copy of the stick "ECO 1" on `giorno`, with its manifest, as the copy command makes it.
EsitoCopia copia(const QString &stick, const QString &archivio, OrdineArchivio ordine, QDate giorno = oggi)
{
    QList<VoceManifesto> verificati;
    EsitoCopia e = FileCopyService::eseguiCopia(
        stick, std::nullopt, Collocazione(ordine, archivio, stick, "ECO 1", giorno), {}, &verificati);
    e.manifesto = scriviManifesto(archivio, "ECO 1", verificati);
    return e;
}

QString conteggi(const EsitoCopia &e)
{
    return QString("%1 copiati, %2 verificati, %3 rinominati, %4 già presenti, %5 errori")
        .arg(e.copiati)
        .arg(e.verificati)
        .arg(e.rinominati)
        .arg(e.giaPresenti)
        .arg(e.errori);
}
} // namespace

Q_DECLARE_METATYPE(OrdineArchivio)

// The archive laid out with a folder per stick and day, and the rules that
// must hold across layouts: nothing archived twice, nothing moved, nothing
// replaced, every check finding the copies where they are.
class TestArchivioOrdinato : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Orologio::imposta([] { return QDateTime(oggi, QTime(9, 5, 31)); });
    }
    void cleanup() { Orologio::imposta({}); }

    // Two patients' IM01.dcm each in its own folder, on a real FAT32 stick
    // too; the same stick again, that day or the next, copies nothing; an
    // image changed under a taken name lands beside it; the manifests, the
    // archive's verification and the check before a wipe find them all.
    void cartellaPerChiavettaEGiorno_data()
    {
        QTest::addColumn<std::optional<ChiavettaFat::Tipo>>("tipo");
        QTest::newRow("folder") << std::optional<ChiavettaFat::Tipo>();
        QTest::newRow("FAT32 stick") << std::optional(ChiavettaFat::Tipo::fat32);
        QTest::newRow("exFAT stick") << std::optional(ChiavettaFat::Tipo::exfat);
    }
    void cartellaPerChiavettaEGiorno()
    {
        QFETCH(std::optional<ChiavettaFat::Tipo>, tipo);
        QTemporaryDir cartella, archivio;
        std::optional<ChiavettaFat> fat;
        if (tipo) {
            fat.emplace(*tipo, QString());
            if (!fat->perche.isEmpty())
                QSKIP(qPrintable(fat->perche));
        }
        const QString stick = fat ? fat->punto : cartella.path(), a = archivio.path();
        for (const char *n : {"PAZ0001/IM01.dcm", "PAZ0002/IM01.dcm", "IM00.dcm"})
            QVERIFY(writeFile(stick + "/" + n, n));

        QCOMPARE(conteggi(copia(stick, a, perChiavettaEGiorno)),
                 QString("3 copiati, 3 verificati, 0 rinominati, 0 già presenti, 0 errori"));
        const QString giorno = cartellaOggi + "/";
        QCOMPARE(contenuto(a), (QStringList{giorno + "IM00.dcm", giorno + "PAZ0001/IM01.dcm",
                                            giorno + "PAZ0002/IM01.dcm"}));
        QCOMPARE(readFile(a + "/" + giorno + "PAZ0002/IM01.dcm"), QByteArray("PAZ0002/IM01.dcm"));
        for (QDate g : {oggi, domani}) {
            const EsitoCopia di_nuovo = copia(stick, a, perChiavettaEGiorno, g);
            QCOMPARE(conteggi(di_nuovo),
                     QString("0 copiati, 0 verificati, 0 rinominati, 3 già presenti, 0 errori"));
            QVERIFY(di_nuovo.manifesto.percorso.isEmpty());
        }
        QCOMPARE(contenuto(a).size(), 3); // no empty folder for the next day either

        QVERIFY(QFile::remove(stick + "/PAZ0002/IM01.dcm") &&
                writeFile(stick + "/PAZ0002/IM01.dcm", "altro"));
        QCOMPARE(conteggi(copia(stick, a, perChiavettaEGiorno)),
                 QString("1 copiati, 1 verificati, 1 rinominati, 2 già presenti, 0 errori"));
        QCOMPARE(readFile(a + "/" + giorno + "PAZ0002/IM01.dcm"), QByteArray("PAZ0002/IM01.dcm"));
        QCOMPARE(readFile(a + "/" + giorno + "PAZ0002/IM01_" + stamp + ".dcm"), QByteArray("altro"));

        const QString manifesto =
            QString::fromUtf8(readFile(a + "/.tessera-manifest/" + stamp + "_ECO 1.sha256"));
        QVERIFY2(manifesto.contains("  " + giorno + "PAZ0001/IM01.dcm\n"), qPrintable(manifesto));
        const EsitoVerificaArchivio v = verificaArchivio(a);
        QCOMPARE(v.identici, 4);
        QVERIFY(!v.problemi() && v.nonCoperti.isEmpty());

        const EsitoControlloArchivio prima = controllaArchivio(stick, a, cartella.filePath("indice.tsv"));
        QVERIFY2(prima.alSicuro() && prima.file == 3, qPrintable(prima.mancanti.join(", ")));
        QVERIFY(writeFile(stick + "/PAZ0003/IM01.dcm", "nuovo"));
        QCOMPARE(controllaArchivio(stick, a, {}).mancanti, QStringList{"PAZ0003/IM01.dcm"});
    }

    // A stick's label as a folder on any share: never hidden (every check
    // would pass it by), never refused by a Windows share, never empty.
    void nomeDellaCartella_data()
    {
        QTest::addColumn<QString>("etichetta");
        QTest::addColumn<QString>("cartella");
        const auto riga = [](const char *nome, const QString &etichetta, const char *cartella) {
            QTest::newRow(nome) << etichetta << QString(cartella);
        };
        riga("plain", "ECO 1", "ECO 1");
        riga("leading dot", ".ECO", "ECO");
        riga("share's forbidden characters", "A:B\\C*?", "A_B_C__");
        riga("final dot", "ECO.", "ECO");
        riga("nothing left", " .. ", "chiavetta");
        riga("stray byte", decodificaNome("caf\xE9"), "caf_");
    }
    void nomeDellaCartella()
    {
        QFETCH(QString, etichetta);
        QFETCH(QString, cartella);
        QCOMPARE(nomeCartellaChiavetta(etichetta), cartella);
    }

    // What a practice expects after changing its mind: what is archived stays
    // where it is, and a file whose bytes are already archived, under either
    // layout, is not copied again.
    void cambioDiOrdine_data()
    {
        QTest::addColumn<OrdineArchivio>("prima");
        QTest::addColumn<OrdineArchivio>("dopo");
        QTest::newRow("side by side, then per stick and day") << unicaCartella << perChiavettaEGiorno;
        QTest::newRow("per stick and day, then side by side") << perChiavettaEGiorno << unicaCartella;
    }
    void cambioDiOrdine()
    {
        QFETCH(OrdineArchivio, prima);
        QFETCH(OrdineArchivio, dopo);
        QTemporaryDir stick, archivio;
        for (const char *n : {"PAZ0001/IM01.dcm", "PAZ0002/IM01.dcm", "IM00.dcm"})
            QVERIFY(writeFile(stick.filePath(n), n));
        QCOMPARE(copia(stick.path(), archivio.path(), prima).verificati, 3);
        const QStringList archiviati = contenuto(archivio.path());
        if (prima == unicaCartella)
            QCOMPARE(archiviati, (QStringList{"IM00.dcm", "IM01.dcm", "IM01_" + stamp + ".dcm"}));
        for (QDate g : {oggi, domani})
            QCOMPARE(conteggi(copia(stick.path(), archivio.path(), dopo, g)),
                     QString("0 copiati, 0 verificati, 0 rinominati, 3 già presenti, 0 errori"));
        QCOMPARE(contenuto(archivio.path()), archiviati);
    }

    // The copy command and the automatic import take the layout from the
    // settings, and the same folder for the same stick and day.
    void comandiSeguonoLImpostazione()
    {
        TestEnv env;
        env.impostazioni->setOrdineArchivio(perChiavettaEGiorno);
        const QString archivio = env.impostazioni->destinationPath();
        const QString stick = env.path("media/ECO 1");
        QVERIFY(writeFile(stick + "/PAZ0001/IM01.jpg", "a") && writeFile(stick + "/referto.pdf", "r"));
        QCoro::waitFor(FileCopyService::copia(env.servizi, stick, archivio));
        QCOMPARE(env.avvisi.mostrati.value(0).titolo, QString("Copia completata"));

        QVERIFY(writeFile(stick + "/PAZ0002/IM02.jpg", "b"));
        QCoro::waitFor(importaAutomaticamente(env.servizi, TestSupport::chiavetta(stick, "ECO 1")));
        QVERIFY2(env.logLines().last().contains(": 1 nuova immagine, 1 già presenti, 0 errori"),
                 qPrintable(env.logLines().last()));
        const QString giorno = cartellaOggi + "/";
        QCOMPARE(contenuto(archivio), (QStringList{giorno + "PAZ0001/IM01.jpg", giorno + "PAZ0002/IM02.jpg",
                                                   giorno + "referto.pdf"}));
        QCOMPARE(verificaArchivio(archivio).identici, 3);
    }

    // A stick that cannot read one of its files leaves a line in its history,
    // and its row in the panel says so.
    void erroriDiLetturaNelloStorico()
    {
        ChiavettaGuasta fuse({"read:/PAZ0001/IM02.dcm"});
        if (!fuse.perche.isEmpty())
            QSKIP(qPrintable(fuse.perche));
        for (const char *n : {"PAZ0001/IM01.dcm", "PAZ0001/IM02.dcm"})
            QVERIFY(writeFile(fuse.radice.filePath(n), n));
        TestEnv env;
        env.impostazioni->setOrdineArchivio(perChiavettaEGiorno);
        const QString stick = fuse.punto.path();
        QCoro::waitFor(FileCopyService::copia(env.servizi, stick, env.impostazioni->destinationPath()));
        QCOMPARE(env.avvisi.mostrati.value(0).titolo, QString("Copia completata con errori"));

        const USBDrive drive = TestSupport::chiavetta(stick, QFileInfo(stick).fileName());
        const QList<EventoChiavetta> storia =
            StoricoChiavette::shared().eventi(leggiIdentitaChiavetta(drive));
        QCOMPARE(storia.size(), 1);
        QCOMPARE(storia[0].tipo, EventoChiavetta::Tipo::copia);
        QCOMPARE(storia[0].illeggibili, 1);
        USBRow riga(0, drive, &env.cancellazione, {}, {});
        QCOMPARE(riga.avvertenza()->text(),
                 QString("Ha dato errori di lettura il 7 dic.: copiane il contenuto e sostituiscila"));
    }
};

QTEST_MAIN(TestArchivioOrdinato)
#include "TestArchivioOrdinato.moc"
