#include "comune/Marchio.h"
#include "operations/Orologio.h"
#include "support/ControlloCiclo.h"
#include "support/ServerHttpDiProva.h"
#include "support/TestEnv.h"
#include "update/ControlloAggiornamenti.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QDateTime adesso(QDate(2024, 3, 14), QTime(10, 0, 0));

QByteArray documento(const QString &versione, const QString &resto = QString())
{
    return QStringLiteral("{\"versione\": \"%1\"%2}").arg(versione, resto).toUtf8();
}
} // namespace

class TestControlloAggiornamenti : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<ServerHttpDiProva> m_server;

    QSettings preferenze() const { return QSettings(m_env->settingsFile(), QSettings::IniFormat); }
    QVariant ultimo() const { return preferenze().value(ControlloAggiornamenti::chiaveUltimoControllo); }
    // Runs one check of Tessera 1.2 to its end; false if it has not ended within `ms`.
    bool controlla(bool manuale, std::optional<QUrl> indirizzo = {}, std::chrono::milliseconds attesa = 60s,
                   int ms = 10000)
    {
        ControlloAggiornamenti::Configurazione config;
        config.documento = indirizzo.value_or(m_server->url());
        config.versioneInstallata = "1.2";
        config.attesaMassima = attesa;
        ControlloAggiornamenti c(
            m_env->servizi, std::make_unique<QSettings>(m_env->settingsFile(), QSettings::IniFormat), config);
        QSignalSpy concluso(&c, &ControlloAggiornamenti::controlloConcluso);
        manuale ? c.controlloManuale() : c.controlloAutomatico();
        return concluso.count() > 0 || concluso.wait(ms);
    }

private Q_SLOTS:
    void init()
    {
        Orologio::imposta([] { return adesso; });
        m_env = std::make_unique<TestEnv>();
        m_server = std::make_unique<ServerHttpDiProva>();
        QVERIFY(m_server->avvia());
    }
    void cleanup()
    {
        m_server.reset();
        m_env.reset();
        Orologio::imposta({});
    }

    void versionOrder()
    {
        // +1: the first is newer, -1: the second, 0: the same version.
        const struct {
            const char *a, *b;
            int ordine;
        } coppie[] = {{"1.10", "1.9", 1},
                      {"1.2", "1.2.0", 0},
                      {"1.2.1", "1.2", 1},
                      {"2.0-beta", "2.0", 0},
                      {"1..2", "1.2", 0},
                      {"+1.-2", "1", -1},
                      {"1.99999999999999999999", "1.0", 0}};
        for (const auto &c : coppie) {
            QVERIFY2(ControlloAggiornamenti::versionePiuRecente(c.a, c.b) == (c.ordine > 0), c.a);
            QVERIFY2(ControlloAggiornamenti::versionePiuRecente(c.b, c.a) == (c.ordine < 0), c.a);
        }
    }

    // The manual check always answers with one alert; the automatic one tells
    // only of a newer version, by notification, and dates every attempt.
    void manualAlertsAndAutomaticNotifies_data()
    {
        // 0 = nothing listens, -1 = never answers, -2 = sends a byte every 100 ms
        QTest::addColumn<int>("stato");
        QTest::addColumn<QByteArray>("corpo");
        QTest::addColumn<QString>("titolo");
        QTest::addColumn<QString>("testo");
        QTest::addColumn<QUrl>("aperto"); // by "Vai al download"
        QTest::addColumn<QString>("notifica");

        const QString fallito = "Controllo non riuscito", aggiornato = "Sei aggiornato",
                      nuova = "Aggiornamento disponibile";
        const QString perche = "Impossibile verificare gli aggiornamenti (connessione assente o pagina non "
                               "raggiungibile). Riprova più tardi.";
        const QString avviso = "È disponibile la versione %1 (tu hai la 1.2).";
        const QString notifica =
            "È disponibile la versione %1 di Orvala – Tessera. Scaricala da www.orvala.it.";
        const QUrl home = Marchio::homePage();
        const auto riga = [&](const char *nome, int stato, const QByteArray &corpo, const QString &titolo,
                              const QString &testo, const QUrl &aperto = {}, const QString &n = {}) {
            QTest::newRow(nome) << stato << corpo << titolo << testo << aperto << n;
        };
        riga("connection refused", 0, "", fallito, perche);
        riga("never answers", -1, documento("9.0"), fallito, perche);
        riga("trickles", -2, documento("9.0", QString(200, ' ')), fallito, perche);
        riga("over 64 KiB", 200, documento("9.0", QString(", \"note\": \"%1\"").arg(QString(64 * 1024, 'x'))),
             fallito, perche);
        riga("404 html", 404, "<html><body><h1>Not Found</h1></body></html>", fallito, perche);
        riga("200 html", 200, "<html>ok</html>", fallito, perche);
        riga("no versione", 200, "{\"url\": \"https://x.it/\", \"note\": \"n\"}", fallito, perche);
        riga("versione a number", 200, "{\"versione\": 2.1}", fallito, perche);
        riga("1.2.0 is 1.2", 200, documento("1.2.0"), aggiornato, "La versione 1.2 è la più recente.");
        riga("older", 200, documento("1.1", ", \"note\": \"x\""), aggiornato,
             "La versione 1.2 è la più recente.");
        riga("1.10, no notes, no url", 200, documento("1.10"), nuova, avviso.arg("1.10"), home,
             notifica.arg("1.10"));
        riga("notes and url", 200,
             documento("2.0", ", \"note\": \"Nuovo\", \"url\": \"https://orvala.it/d\""), nuova,
             avviso.arg("2.0") + "\n\nNovità: Nuovo", QUrl("https://orvala.it/d"),
             notifica.arg("2.0") + "\nNovità: Nuovo");
        riga("empty notes", 200, documento("2.0", ", \"note\": \"\""), nuova,
             avviso.arg("2.0") + "\n\nNovità: ", home, notifica.arg("2.0"));
        for (const char *url :
             {"https://exa mple.it/%zz", "http://orvala.it/d", "file:///etc/passwd", "https:/d"})
            riga(url, 200, documento("2.0", QString(", \"url\": \"%1\"").arg(url)), nuova, avviso.arg("2.0"),
                 home, notifica.arg("2.0"));
    }
    void manualAlertsAndAutomaticNotifies()
    {
        QFETCH(int, stato);
        QFETCH(QByteArray, corpo);
        QFETCH(QString, titolo);
        QFETCH(QString, testo);
        QFETCH(QUrl, aperto);
        QFETCH(QString, notifica);
        m_server->imposta({stato < 0 ? 200 : stato, "application/json", corpo, 0ms, stato == -1,
                           stato == -2 ? 100ms : 0ms});
        std::optional<QUrl> indirizzo;
        if (stato == 0)
            indirizzo = ServerHttpDiProva::urlSenzaServer();

        const ControlloCiclo ciclo(10ms);
        QVERIFY(controlla(true, indirizzo, 500ms));
        if (stato < 0) // half a second of waiting at one tick per 10 ms; a blocked loop counts none
            QVERIFY2(ciclo.battiti() >= 20, qPrintable(QString::number(ciclo.battiti())));
        QCOMPARE(m_env->avvisi.mostrati.size(), 1);
        const RichiestaAvviso a = m_env->avvisi.mostrati.takeFirst();
        QCOMPARE(a.titolo, titolo);
        QCOMPARE(a.testo, testo);
        QCOMPARE(a.stile, titolo == "Sei aggiornato" ? StileAvviso::informativo : StileAvviso::avvertenza);
        QCOMPARE(m_env->apritore.aperti, aperto.isEmpty() ? QList<QUrl>() : QList<QUrl>{aperto});
        QVERIFY(!ultimo().isValid()); // only automatic checks are dated
        if (!aperto.isEmpty()) {
            QCOMPARE(a.pulsanti, QStringList({"Vai al download", "Più tardi"}));
            m_env->avvisi.rispondi(1);
            QVERIFY(controlla(true));
            QCOMPARE(m_env->apritore.aperti.size(), 1); // "Più tardi" opens nothing
            m_env->avvisi.mostrati.clear();
        }

        QVERIFY(controlla(false, indirizzo, 500ms));
        QVERIFY(m_env->avvisi.mostrati.isEmpty());
        QCOMPARE(m_env->notifiche.inviate.size(), notifica.isEmpty() ? 0 : 1);
        if (!notifica.isEmpty())
            QCOMPARE(m_env->notifiche.inviate[0], qMakePair(QString("Aggiornamento disponibile"), notifica));
        QCOMPARE(ultimo().toDateTime(), adesso); // a failed check waits its 20 hours too
        if (stato > 0)
            QCOMPARE(m_server->ultimoPercorso(), QByteArray("/tessera/versione.json"));
    }

    void automaticCheckRunsOnlyAfter20Hours_data()
    {
        QTest::addColumn<QVariant>("ultimo");
        QTest::addColumn<bool>("scarica");
        QTest::newRow("never checked") << QVariant() << true;
        QTest::newRow("exactly 20 hours ago") << QVariant(adesso.addSecs(-72000)) << false;
        QTest::newRow("21 hours ago") << QVariant(adesso.addSecs(-21 * 3600)) << true;
        QTest::newRow("not a date") << QVariant(QString("ieri")) << true;
        QTest::newRow("a year in the future") << QVariant(adesso.addDays(365)) << true;
    }
    void automaticCheckRunsOnlyAfter20Hours()
    {
        QFETCH(QVariant, ultimo);
        QFETCH(bool, scarica);
        if (ultimo.isValid())
            preferenze().setValue(ControlloAggiornamenti::chiaveUltimoControllo, ultimo);
        m_server->imposta({200, "application/json", documento("1.2"), 0ms, false});
        QVariant allaRichiesta;
        m_server->allaRichiesta = [&](const QByteArray &) { allaRichiesta = this->ultimo(); };

        QCOMPARE(controlla(false, std::nullopt, 60s, scarica ? 10000 : 1), scarica);
        QCOMPARE(m_server->richieste(), scarica ? 1 : 0);
        QCOMPARE(this->ultimo(), scarica ? QVariant(adesso) : ultimo);
        if (scarica) // the date is written first, then the fetch
            QCOMPARE(allaRichiesta.toDateTime(), adesso);
    }
};

QTEST_GUILESS_MAIN(TestControlloAggiornamenti)
#include "TestControlloAggiornamenti.moc"
