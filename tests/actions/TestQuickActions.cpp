#include "actions/AzioniRapide.h"
#include "actions/EjectDriveAction.h"
#include "actions/QtAppunti.h"
#include "app/USBMonitor.h"
#include "operations/Orologio.h"
#include "support/FakeAppunti.h"
#include "support/FakeEspulsore.h"
#include "support/FakeVolumeSource.h"
#include "support/TestEnv.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {
const QDateTime istante(QDate(2024, 5, 2), QTime(10, 20, 30));
const QString notaTxt = QStringLiteral("appunti_2024-05-02_10-20-30.txt");
const QString notaRtf = QStringLiteral("appunti_2024-05-02_10-20-30.rtf");

enum class Azione { apri, apriConNota, testoEdEspelli, formattataEdEspelli };

QCoro::Task<> esegui(Azione azione, const USBMonitor *monitor, const Servizi &servizi)
{
    switch (azione) {
    case Azione::apri:
        return apriUltimaUSB(monitor, servizi);
    case Azione::apriConNota:
        return apriUltimaUSBConNota(monitor, servizi);
    case Azione::testoEdEspelli:
        return salvaNotaTestoEdEspelli(monitor, servizi);
    case Azione::formattataEdEspelli:
        return salvaNotaFormattataEdEspelli(monitor, servizi);
    }
    Q_UNREACHABLE();
}

// A stick folder that refuses writes even to root: a read-only tmpfs for
// root, plain permissions for anyone else.
class SolaLettura {
public:
    explicit SolaLettura(QString cartella) : m_cartella(std::move(cartella))
    {
        const QByteArray c = QFile::encodeName(m_cartella);
        if (TestSupport::isRoot())
            m_montato = ::mount("tmpfs", c.constData(), "tmpfs", MS_RDONLY, "size=64k") == 0;
        else
            ::chmod(c.constData(), 0555);
    }
    ~SolaLettura()
    {
        const QByteArray c = QFile::encodeName(m_cartella);
        if (m_montato)
            ::umount2(c.constData(), MNT_DETACH);
        else
            ::chmod(c.constData(), 0755);
    }
    bool pronta() const { return m_montato || !TestSupport::isRoot(); }

private:
    QString m_cartella;
    bool m_montato = false;
};

struct Banco {
    Banco()
    {
        Orologio::imposta([] { return istante; });
        QDir().mkpath(stick());
        sorgente.add({stick(), true, QStringLiteral("CLINICA")});
        monitor = std::make_unique<USBMonitor>(&sorgente, env.settings.get());
        env.servizi.appunti = &appunti;
        env.servizi.espulsore = &espulsore;
    }
    ~Banco() { Orologio::imposta({}); }

    QString stick() const { return env.path(QStringLiteral("CLINICA")); }
    QStringList fileSulloStick() const { return QDir(stick()).entryList(QDir::Files | QDir::Hidden); }

    TestEnv env;
    FakeVolumeSource sorgente;
    FakeAppunti appunti;
    FakeEspulsore espulsore;
    std::unique_ptr<USBMonitor> monitor;
};
} // namespace

Q_DECLARE_METATYPE(Azione)

class TestQuickActions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nessunaUSB_data()
    {
        QTest::addColumn<Azione>("azione");
        QTest::newRow("apri") << Azione::apri;
        QTest::newRow("apri con nota") << Azione::apriConNota;
        QTest::newRow("testo ed espelli") << Azione::testoEdEspelli;
        QTest::newRow("formattata ed espelli") << Azione::formattataEdEspelli;
    }
    void nessunaUSB()
    {
        QFETCH(Azione, azione);
        TestEnv env;
        FakeAppunti appunti;
        appunti.testoPresente = QStringLiteral("testo");
        FakeEspulsore espulsore;
        env.servizi.appunti = &appunti;
        env.servizi.espulsore = &espulsore;
        FakeVolumeSource vuota;
        USBMonitor monitor(&vuota, env.settings.get());

        QCoro::waitFor(esegui(azione, &monitor, env.servizi));

        QCOMPARE(env.avvisi.mostrati.size(), 1);
        QCOMPARE(env.avvisi.mostrati[0].titolo, QStringLiteral("Nessuna USB"));
        QCOMPARE(env.avvisi.mostrati[0].testo, QStringLiteral("Non ci sono USB inserite."));
        QCOMPARE(env.avvisi.mostrati[0].stile, StileAvviso::informativo);
        QVERIFY(env.apritore.aperti.isEmpty());
        QVERIFY(espulsore.richieste.isEmpty());
    }

    // What each clipboard content leads to: the note written (name and exact
    // bytes), the alert, the eject.
    void note_data()
    {
        QTest::addColumn<Azione>("azione");
        QTest::addColumn<std::optional<QString>>("testo");
        QTest::addColumn<std::optional<QByteArray>>("rtf");
        QTest::addColumn<QString>("nota"); // empty = none written
        QTest::addColumn<QByteArray>("byte");
        QTest::addColumn<QString>("avviso"); // empty = none
        QTest::addColumn<bool>("espulsa");

        const std::optional<QString> nessunTesto;
        const std::optional<QByteArray> nessunRtf;
        const QString testo = QStringLiteral("Paziente: Nicolò Rossi — ecografia ✓");
        const QByteArray rtf(
            "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0\\b Referto\\b0 \\'e8 pronto\\par}\r\n\0x", 60);
        const QString vuotiTesto = QStringLiteral("Appunti vuoti|Non c'è testo negli appunti da salvare.");
        const QString vuotiContenuto =
            QStringLiteral("Appunti vuoti|Non c'è contenuto negli appunti da salvare.");

        QTest::newRow("con nota, appunti vuoti: nota vuota")
            << Azione::apriConNota << nessunTesto << nessunRtf << notaTxt << QByteArray() << QString()
            << false;
        QTest::newRow("con nota, testo") << Azione::apriConNota << std::optional(testo) << nessunRtf
                                         << notaTxt << testo.toUtf8() << QString() << false;
        QTest::newRow("testo, appunti vuoti") << Azione::testoEdEspelli << nessunTesto << nessunRtf
                                              << QString() << QByteArray() << vuotiTesto << false;
        QTest::newRow("testo, stringa vuota")
            << Azione::testoEdEspelli << std::optional(QString()) << nessunRtf << QString() << QByteArray()
            << vuotiTesto << false;
        QTest::newRow("testo, solo rtf") << Azione::testoEdEspelli << nessunTesto << std::optional(rtf)
                                         << QString() << QByteArray() << vuotiTesto << false;
        QTest::newRow("testo") << Azione::testoEdEspelli << std::optional(testo) << nessunRtf << notaTxt
                               << testo.toUtf8() << QString() << true;
        QTest::newRow("formattata, appunti vuoti") << Azione::formattataEdEspelli << nessunTesto << nessunRtf
                                                   << QString() << QByteArray() << vuotiContenuto << false;
        QTest::newRow("formattata, solo testo: .txt")
            << Azione::formattataEdEspelli << std::optional(testo) << nessunRtf << notaTxt << testo.toUtf8()
            << QString() << true;
        QTest::newRow("formattata, solo rtf") << Azione::formattataEdEspelli << nessunTesto
                                              << std::optional(rtf) << notaRtf << rtf << QString() << true;
        QTest::newRow("formattata, rtf e testo: rtf")
            << Azione::formattataEdEspelli << std::optional(testo) << std::optional(rtf) << notaRtf << rtf
            << QString() << true;
    }
    void note()
    {
        QFETCH(Azione, azione);
        QFETCH(std::optional<QString>, testo);
        QFETCH(std::optional<QByteArray>, rtf);
        QFETCH(QString, nota);
        QFETCH(QByteArray, byte);
        QFETCH(QString, avviso);
        QFETCH(bool, espulsa);

        Banco b;
        b.appunti.testoPresente = testo;
        b.appunti.rtfPresente = rtf;
        QCoro::waitFor(esegui(azione, b.monitor.get(), b.env.servizi));

        if (nota.isEmpty()) {
            QVERIFY(b.fileSulloStick().isEmpty());
        } else {
            QCOMPARE(b.fileSulloStick(), QStringList{nota}); // and no temporary left behind
            QCOMPARE(TestSupport::readFile(QDir(b.stick()).filePath(nota)), byte);
        }
        if (avviso.isEmpty()) {
            QVERIFY(b.env.avvisi.mostrati.isEmpty());
        } else {
            QCOMPARE(b.env.avvisi.mostrati.size(), 1);
            QCOMPARE(b.env.avvisi.mostrati[0].titolo + QLatin1Char('|') + b.env.avvisi.mostrati[0].testo,
                     avviso);
            QCOMPARE(b.env.avvisi.mostrati[0].stile, StileAvviso::informativo);
        }
        QCOMPARE(b.espulsore.richieste, espulsa ? QStringList{b.stick()} : QStringList());
        if (azione == Azione::apriConNota) {
            // The stick first, then the note in its editor.
            QCOMPARE(b.env.apritore.aperti,
                     (QList<QUrl>{QUrl::fromLocalFile(b.stick()),
                                  QUrl::fromLocalFile(QDir(b.stick()).filePath(nota))}));
        } else {
            QVERIFY(b.env.apritore.aperti.isEmpty());
        }
    }

    void stickInSolaLettura_data()
    {
        QTest::addColumn<Azione>("azione");
        QTest::addColumn<bool>("conRtf");
        QTest::addColumn<QString>("prefisso");
        QTest::newRow("con nota") << Azione::apriConNota << false
                                  << QStringLiteral("Impossibile creare il file: ");
        QTest::newRow("testo") << Azione::testoEdEspelli << false
                               << QStringLiteral("Impossibile creare il file: ");
        QTest::newRow("formattata, testo")
            << Azione::formattataEdEspelli << false << QStringLiteral("Impossibile creare il file: ");
        QTest::newRow("formattata, rtf")
            << Azione::formattataEdEspelli << true << QStringLiteral("Impossibile creare il file RTF: ");
    }
    void stickInSolaLettura()
    {
        QFETCH(Azione, azione);
        QFETCH(bool, conRtf);
        QFETCH(QString, prefisso);
        Banco b;
        b.appunti.testoPresente = QStringLiteral("nota");
        if (conRtf)
            b.appunti.rtfPresente = QByteArray("{\\rtf1 nota}");
        SolaLettura solaLettura(b.stick());
        QVERIFY(solaLettura.pronta());

        QCoro::waitFor(esegui(azione, b.monitor.get(), b.env.servizi));

        QCOMPARE(b.env.avvisi.mostrati.size(), 1);
        const RichiestaAvviso &a = b.env.avvisi.mostrati[0];
        QCOMPARE(a.titolo, QStringLiteral("Errore"));
        QCOMPARE(a.stile, StileAvviso::avvertenza);
        QVERIFY2(a.testo.startsWith(prefisso) && a.testo.size() > prefisso.size(), qPrintable(a.testo));
        QVERIFY(b.fileSulloStick().isEmpty());
        QVERIFY(b.espulsore.richieste.isEmpty());
        QVERIFY(b.env.apritore.aperti.isEmpty());
    }

    void espulsioneRifiutataDopoLaNota()
    {
        Banco b;
        b.appunti.testoPresente = QStringLiteral("referto");
        b.espulsore.esito = {false, QStringLiteral("Error unmounting /dev/sdb1: target is busy")};
        QCoro::waitFor(salvaNotaTestoEdEspelli(b.monitor.get(), b.env.servizi));

        QCOMPARE(b.env.avvisi.mostrati.size(), 1);
        const RichiestaAvviso &a = b.env.avvisi.mostrati[0];
        QCOMPARE(a.titolo, QStringLiteral("Nota salvata, ma espulsione non riuscita"));
        QCOMPARE(a.stile, StileAvviso::avvertenza);
        QCOMPARE(a.testo,
                 QStringLiteral("Il file \"appunti_2024-05-02_10-20-30.txt\" è stato salvato su \"CLINICA\", "
                                "ma macOS non ha potuto espellere la chiavetta. Probabilmente ci sono file "
                                "aperti.\n\nChiudi le app che la usano e riprova con l'icona \u23CF\uFE0E."
                                "\n\nDettagli: Error unmounting /dev/sdb1: target is busy"));
        QCOMPARE(b.fileSulloStick(), QStringList{notaTxt}); // the note stays
    }

    void ejectDriveAction()
    {
        Banco b;
        const USBDrive drive = b.monitor->drives().first();
        QCoro::waitFor(EjectDriveAction(b.env.servizi, drive).perform());
        QCOMPARE(b.espulsore.richieste, QStringList{b.stick()});
        QVERIFY(b.env.avvisi.mostrati.isEmpty());

        b.espulsore.esito = {false, QStringLiteral("Device or resource busy")};
        // The value is gone long before the system answers: the task must not need it.
        QCoro::Task<> compito = [&] {
            EjectDriveAction azione(b.env.servizi, drive);
            return azione.perform();
        }();
        QCoro::waitFor(compito);
        QCOMPARE(b.env.avvisi.mostrati.size(), 1);
        QCOMPARE(b.env.avvisi.mostrati[0].titolo, QStringLiteral("Impossibile espellere CLINICA"));
        QCOMPARE(b.env.avvisi.mostrati[0].testo,
                 QStringLiteral(
                     "macOS non ha potuto espellere la USB. Probabilmente ci sono file aperti o applicazioni "
                     "che la stanno usando.\n\nDettagli: Device or resource busy"));
        QCOMPARE(b.env.avvisi.mostrati[0].stile, StileAvviso::avvertenza);
    }

    // The real clipboard: rich text arrives under any of its usual names, byte for byte.
    void appuntiDiSistema_data()
    {
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<bool>("conTesto");
        QTest::newRow("text/rtf") << QStringLiteral("text/rtf") << true;
        QTest::newRow("text/richtext") << QStringLiteral("text/richtext") << false;
        QTest::newRow("application/rtf") << QStringLiteral("application/rtf") << false;
        QTest::newRow("solo testo") << QString() << true;
        QTest::newRow("vuoti") << QString() << false;
    }
    void appuntiDiSistema()
    {
        QFETCH(QString, tipo);
        QFETCH(bool, conTesto);
        const QByteArray rtf("{\\rtf1\\ansi \\'e8\\u8212?\\par}\n\xff\x00", 30);
        auto *dati = new QMimeData;
        if (!tipo.isEmpty())
            dati->setData(tipo, rtf);
        if (conTesto)
            dati->setText(QStringLiteral("è — testo"));
        QGuiApplication::clipboard()->setMimeData(dati);

        QtAppunti appunti;
        QCOMPARE(appunti.rtf(), tipo.isEmpty() ? std::nullopt : std::optional(rtf));
        QCOMPARE(appunti.testo(), conTesto ? std::optional(QStringLiteral("è — testo")) : std::nullopt);
    }
};

QTEST_MAIN(TestQuickActions)
#include "TestQuickActions.moc"
