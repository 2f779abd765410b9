#include "actions/ComandiAzioni.h"
#include "app/USBMonitor.h"
#include "operations/Orologio.h"
#include "platform/QtAppunti.h"
#include "support/AppuntiDiProva.h"
#include "support/EspulsoreDiProva.h"
#include "support/TestEnv.h"
#include "support/VolumiDiProva.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {
const QString notaTxt = QStringLiteral("appunti_2024-05-02_10-20-30.txt");
const QString notaRtf = QStringLiteral("appunti_2024-05-02_10-20-30.rtf");

using Azione = QCoro::Task<> (*)(Servizi, const ElencoChiavette *);
enum { apri, conNota, testoEdEspelli, formattataEdEspelli };
const Azione azioni[] = {apriUltimaUSB, apriUltimaUSBConNota, salvaNotaTestoEdEspelli,
                         salvaNotaFormattataEdEspelli};

// A stick folder that refuses writes even to root: a read-only tmpfs for
// root, plain permissions for anyone else.
class SolaLettura {
public:
    explicit SolaLettura(const QString &cartella) : m_cartella(QFile::encodeName(cartella))
    {
        if (TestSupport::isRoot())
            m_montato = ::mount("tmpfs", m_cartella.constData(), "tmpfs", MS_RDONLY, "size=64k") == 0;
        else
            ::chmod(m_cartella.constData(), 0555);
    }
    ~SolaLettura()
    {
        m_montato ? ::umount2(m_cartella.constData(), MNT_DETACH) : ::chmod(m_cartella.constData(), 0755);
    }
    bool pronta() const { return m_montato || !TestSupport::isRoot(); }

private:
    QByteArray m_cartella;
    bool m_montato = false;
};

struct Banco {
    explicit Banco(bool conStick = true)
    {
        Orologio::imposta([] { return QDateTime(QDate(2024, 5, 2), QTime(10, 20, 30)); });
        QDir().mkpath(stick());
        if (conStick)
            sorgente.add({stick(), true, QStringLiteral("CLINICA")});
        monitor = std::make_unique<USBMonitor>(&sorgente, env.impostazioni.get());
        env.servizi.appunti = &appunti;
        env.servizi.espulsore = &espulsore;
    }
    ~Banco() { Orologio::imposta({}); }
    void esegui(int azione) { QCoro::waitFor(azioni[azione](env.servizi, monitor.get())); }
    QString stick() const { return env.path(QStringLiteral("CLINICA")); }
    QStringList fileSulloStick() const { return QDir(stick()).entryList(QDir::Files | QDir::Hidden); }
    QString avviso(int i = 0) const
    {
        return env.avvisi.mostrati[i].titolo + "|" + env.avvisi.mostrati[i].testo;
    }

    TestEnv env;
    VolumiDiProva sorgente;
    AppuntiDiProva appunti;
    EspulsoreDiProva espulsore;
    std::unique_ptr<USBMonitor> monitor;
};
} // namespace

class TestQuickActions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nessunaUSB()
    {
        Banco b(false);
        b.appunti.testoPresente = QStringLiteral("testo");
        for (int azione : {apri, conNota, testoEdEspelli, formattataEdEspelli}) {
            b.esegui(azione);
            QCOMPARE(b.avviso(azione), QString("Nessuna USB|Non ci sono USB inserite."));
            QCOMPARE(b.env.avvisi.mostrati[azione].stile, StileAvviso::informativo);
        }
        QVERIFY(b.env.apritore.aperti.isEmpty() && b.espulsore.richieste.isEmpty() &&
                b.fileSulloStick().isEmpty());
    }

    // What each clipboard content leads to: the note written (name and exact
    // bytes), the alert, the eject.
    void note_data()
    {
        QTest::addColumn<int>("azione");
        QTest::addColumn<std::optional<QString>>("testo");
        QTest::addColumn<std::optional<QByteArray>>("rtf");
        QTest::addColumn<QString>("nota"); // empty = none written
        QTest::addColumn<QByteArray>("byte");
        QTest::addColumn<QString>("avviso"); // empty = none
        QTest::addColumn<bool>("espulsa");

        const std::optional<QString> no;
        const std::optional<QByteArray> noRtf;
        const QString t = QStringLiteral("Paziente: Nicolò Rossi — ecografia ✓");
        const QByteArray rtf(
            "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0\\b Referto\\b0 \\'e8 pronto\\par}\r\n\0x", 60);
        const QString vuotiTesto = QStringLiteral("Appunti vuoti|Non c'è testo negli appunti da salvare.");
        const QString vuoti = QStringLiteral("Appunti vuoti|Non c'è contenuto negli appunti da salvare.");

        const auto riga = [](const char *nome, int azione, const std::optional<QString> &testo,
                             const std::optional<QByteArray> &rtf, const QString &nota,
                             const QByteArray &byte, const QString &avviso, bool espulsa) {
            QTest::newRow(nome) << azione << testo << rtf << nota << byte << avviso << espulsa;
        };
        const QByteArray tb = t.toUtf8();
        riga("open", apri, t, noRtf, "", {}, "", false);
        riga("note, empty clipboard: empty note", conNota, no, noRtf, notaTxt, {}, "", false);
        riga("note, text", conNota, t, noRtf, notaTxt, tb, "", false);
        riga("text, empty", testoEdEspelli, no, noRtf, "", {}, vuotiTesto, false);
        riga("text, empty string", testoEdEspelli, QString(), noRtf, "", {}, vuotiTesto, false);
        riga("text, RTF only", testoEdEspelli, no, rtf, "", {}, vuotiTesto, false);
        riga("text", testoEdEspelli, t, noRtf, notaTxt, tb, "", true);
        riga("rich, empty", formattataEdEspelli, no, noRtf, "", {}, vuoti, false);
        riga("rich, text only: .txt", formattataEdEspelli, t, noRtf, notaTxt, tb, "", true);
        riga("rich, RTF only", formattataEdEspelli, no, rtf, notaRtf, rtf, "", true);
        riga("rich, RTF and text: RTF", formattataEdEspelli, t, rtf, notaRtf, rtf, "", true);
    }
    void note()
    {
        QFETCH(int, azione);
        QFETCH(std::optional<QString>, testo);
        QFETCH(std::optional<QByteArray>, rtf);
        QFETCH(QString, nota);
        QFETCH(QByteArray, byte);
        QFETCH(QString, avviso);
        QFETCH(bool, espulsa);
        Banco b;
        b.appunti.testoPresente = testo;
        b.appunti.rtfPresente = rtf;
        b.esegui(azione);

        QCOMPARE(b.fileSulloStick(), nota.isEmpty() ? QStringList() : QStringList{nota}); // no temporary left
        if (!nota.isEmpty())
            QCOMPARE(TestSupport::readFile(QDir(b.stick()).filePath(nota)), byte);
        QCOMPARE(b.env.avvisi.mostrati.size(), avviso.isEmpty() ? 0 : 1);
        if (!avviso.isEmpty()) {
            QCOMPARE(b.avviso(), avviso);
            QCOMPARE(b.env.avvisi.mostrati[0].stile, StileAvviso::informativo);
        }
        QCOMPARE(b.espulsore.richieste, espulsa ? QStringList{b.stick()} : QStringList());
        QCOMPARE(b.env.notifiche.inviate.size(), espulsa ? 1 : 0); // "Puoi rimuovere «CLINICA»"
        QList<QUrl> aperti; // the stick first, then the note in its editor
        if (azione == apri || azione == conNota)
            aperti << QUrl::fromLocalFile(b.stick());
        if (azione == conNota)
            aperti << QUrl::fromLocalFile(QDir(b.stick()).filePath(nota));
        QCOMPARE(b.env.apritore.aperti, aperti);
    }

    // Notes saved within the same second never replace each other: each takes
    // the next free name, and that is the one opened.
    void noteNelloStessoSecondo()
    {
        Banco b;
        for (const char *t : {"uno", "due", "tre"}) {
            b.appunti.testoPresente = QString(t);
            b.esegui(conNota);
        }
        const QString base = b.stick() + "/appunti_2024-05-02_10-20-30";
        QCOMPARE(b.fileSulloStick(), (QStringList{notaTxt, "appunti_2024-05-02_10-20-30_1.txt",
                                                  "appunti_2024-05-02_10-20-30_2.txt"}));
        QCOMPARE(TestSupport::readFile(base + ".txt") + TestSupport::readFile(base + "_2.txt"),
                 QByteArray("unotre"));
        QCOMPARE(b.env.apritore.aperti.last(), QUrl::fromLocalFile(base + "_2.txt"));
    }

    void stickInSolaLettura_data()
    {
        QTest::addColumn<int>("azione");
        QTest::addColumn<bool>("conRtf");
        QTest::addColumn<QString>("prefisso");
        const QString file = QStringLiteral("Impossibile creare il file: ");
        QTest::newRow("note") << int(conNota) << false << file;
        QTest::newRow("text") << int(testoEdEspelli) << false << file;
        QTest::newRow("rich, text") << int(formattataEdEspelli) << false << file;
        QTest::newRow("rich, RTF") << int(formattataEdEspelli) << true << "Impossibile creare il file RTF: ";
    }
    void stickInSolaLettura()
    {
        QFETCH(int, azione);
        QFETCH(bool, conRtf);
        QFETCH(QString, prefisso);
        Banco b;
        b.appunti.testoPresente = QStringLiteral("nota");
        if (conRtf)
            b.appunti.rtfPresente = QByteArray("{\\rtf1 nota}");
        SolaLettura solaLettura(b.stick());
        QVERIFY(solaLettura.pronta());
        b.esegui(azione);

        QCOMPARE(b.env.avvisi.mostrati.size(), 1);
        const RichiestaAvviso &a = b.env.avvisi.mostrati[0];
        QCOMPARE(a.titolo, QStringLiteral("Errore"));
        QCOMPARE(a.stile, StileAvviso::avvertenza);
        QVERIFY2(a.testo.startsWith(prefisso) && a.testo.size() > prefisso.size(), qPrintable(a.testo));
        QVERIFY(b.fileSulloStick().isEmpty() && b.espulsore.richieste.isEmpty() &&
                b.env.apritore.aperti.isEmpty());
    }

    void espulsioneRifiutataDopoLaNota()
    {
        Banco b;
        b.appunti.testoPresente = QStringLiteral("referto");
        b.espulsore.esito = {false, QStringLiteral("Error unmounting /dev/sdb1: target is busy")};
        b.esegui(testoEdEspelli);
        QCOMPARE(b.avviso(),
                 "Nota salvata, ma espulsione non riuscita|Il file \"" + notaTxt +
                     "\" è stato salvato su \"CLINICA\", ma il sistema non ha potuto espellere la chiavetta. "
                     "Probabilmente ci sono file aperti.\n\nChiudi le app che la usano e riprova con "
                     "l'icona \u23CF\uFE0E.\n\nDettagli: Error unmounting /dev/sdb1: target is busy");
        QCOMPARE(b.env.avvisi.mostrati[0].stile, StileAvviso::avvertenza);
        QCOMPARE(b.fileSulloStick(), QStringList{notaTxt}); // the note stays
    }

    // The real clipboard: rich text arrives under any of its usual names, byte for byte.
    void appuntiDiSistema_data()
    {
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<bool>("conTesto");
        QTest::newRow("text/rtf") << QStringLiteral("text/rtf") << true;
        QTest::newRow("text/richtext") << QStringLiteral("text/richtext") << false;
        QTest::newRow("application/rtf") << QStringLiteral("application/rtf") << false;
        QTest::newRow("text only") << QString() << true;
        QTest::newRow("empty") << QString() << false;
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
