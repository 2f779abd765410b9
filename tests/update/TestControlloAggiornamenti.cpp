#include "operations/Orologio.h"
#include "settings/Marchio.h"
#include "support/ServerHttpProva.h"
#include "support/TestEnv.h"
#include "update/ControlloAggiornamenti.h"

#include <QCoro/QCoroTask>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using Info = ControlloAggiornamenti::InfoVersione;

namespace {
const QString titoloFallito = QStringLiteral("Controllo non riuscito");
const QString testoFallito = QStringLiteral("Impossibile verificare gli aggiornamenti (connessione assente o "
                                            "pagina non raggiungibile). Riprova più tardi.");
const QDateTime adesso(QDate(2024, 3, 14), QTime(10, 0, 0));

QByteArray documento(const QString &versione, const QString &resto = QString())
{
    return QStringLiteral("{\"versione\": \"%1\"%2}").arg(versione, resto).toUtf8();
}
} // namespace

class TestControlloAggiornamenti : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<ServerHttpProva> m_server;

    std::unique_ptr<ControlloAggiornamenti> crea(const QString &installata = QStringLiteral("1.2"),
                                                 std::optional<QUrl> documento = std::nullopt,
                                                 std::chrono::milliseconds attesa = 60s)
    {
        ControlloAggiornamenti::Configurazione config;
        config.documento = documento.value_or(m_server->url());
        config.versioneInstallata = installata;
        config.attesaMassima = attesa;
        return std::make_unique<ControlloAggiornamenti>(
            m_env->servizi, std::make_unique<QSettings>(m_env->settingsFile(), QSettings::IniFormat), config);
    }
    QVariant ultimoScritto() const
    {
        return QSettings(m_env->settingsFile(), QSettings::IniFormat)
            .value(ControlloAggiornamenti::chiaveUltimoControllo);
    }
    void scriviUltimo(const QVariant &valore)
    {
        QSettings s(m_env->settingsFile(), QSettings::IniFormat);
        s.setValue(ControlloAggiornamenti::chiaveUltimoControllo, valore);
        s.sync();
    }
    void servi(const QByteArray &corpo, int stato = 200, const QByteArray &tipo = "application/json")
    {
        m_server->imposta({stato, tipo, corpo, 0ms, false});
    }
    // Runs a manual check to its end and returns the alerts it showed.
    QList<RichiestaAvviso> verificaManuale(ControlloAggiornamenti &c)
    {
        QSignalSpy concluso(&c, &ControlloAggiornamenti::controlloConcluso);
        c.controlloManuale();
        [&] { QVERIFY(concluso.wait(10000)); }();
        return m_env->avvisi.mostrati;
    }

private Q_SLOTS:
    void init()
    {
        Orologio::imposta([] { return adesso; });
        m_env = std::make_unique<TestEnv>();
        m_server = std::make_unique<ServerHttpProva>();
        QVERIFY(m_server->avvia());
    }
    void cleanup()
    {
        m_server.reset();
        m_env.reset();
        Orologio::imposta({});
    }

    void productAddressesAreTheMakersHttpsSite()
    {
        const QUrl doc = ControlloAggiornamenti::indirizzoDocumento();
        QCOMPARE(doc.scheme(), QString("https"));
        QCOMPARE(doc.host(), Marchio::homePage().host());
        QCOMPARE(doc.path(), QString("/tessera/versione.json"));
        QCOMPARE(ControlloAggiornamenti::versioneInstallata(), QString(TESSERA_VERSION));
    }

    void versionOrder_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("aPiuRecente");
        QTest::addColumn<bool>("bPiuRecente");
        QTest::newRow("1.10 vs 1.9") << "1.10"
                                     << "1.9" << true << false;
        QTest::newRow("1.2 vs 1.2.0") << "1.2"
                                      << "1.2.0" << false << false;
        QTest::newRow("1.2.1 vs 1.2") << "1.2.1"
                                      << "1.2" << true << false;
        QTest::newRow("letters count as 0") << "2.0-beta"
                                            << "2.0" << false << false;
        QTest::newRow("empty pieces dropped") << "1..2"
                                              << "1.2" << false << false;
        QTest::newRow("signed pieces") << "+1.-2"
                                       << "1" << false << true;
        QTest::newRow("sign alone is 0") << "1.+"
                                         << "1.0" << false << false;
        QTest::newRow("overflow is 0") << "1.99999999999999999999"
                                       << "1.0" << false << false;
    }
    void versionOrder()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, aPiuRecente);
        QFETCH(bool, bPiuRecente);
        QCOMPARE(ControlloAggiornamenti::versionePiuRecente(a, b), aPiuRecente);
        QCOMPARE(ControlloAggiornamenti::versionePiuRecente(b, a), bPiuRecente);
    }

    void fetchAndDecode_data()
    {
        QTest::addColumn<int>("stato");
        QTest::addColumn<QByteArray>("tipo");
        QTest::addColumn<QByteArray>("corpo");
        QTest::addColumn<bool>("riuscito");
        QTest::addColumn<QString>("versione");
        QTest::addColumn<QVariant>("url");  // invalid = absent
        QTest::addColumn<QVariant>("note"); // invalid = absent

        const QByteArray html = "<html><body><h1>Not Found</h1></body></html>";
        const QVariant no;
        QTest::newRow("404 html") << 404 << QByteArray("text/html") << html << false << "" << no << no;
        QTest::newRow("200 html") << 200 << QByteArray("text/html") << html << false << "" << no << no;
        QTest::newRow("empty body") << 200 << QByteArray("application/json") << QByteArray() << false << ""
                                    << no << no;
        QTest::newRow("no versione") << 200 << QByteArray("application/json")
                                     << QByteArray("{\"url\": \"https://x.it/\", \"note\": \"n\"}") << false
                                     << "" << no << no;
        QTest::newRow("versione a number") << 200 << QByteArray("application/json")
                                           << QByteArray("{\"versione\": 2.1}") << false << "" << no << no;
        QTest::newRow("url a number")
            << 200 << QByteArray("application/json") << QByteArray("{\"versione\": \"2.0\", \"url\": 3}")
            << false << "" << no << no;
        QTest::newRow("array on top") << 200 << QByteArray("application/json")
                                      << QByteArray("[{\"versione\": \"2.0\"}]") << false << "" << no << no;
        // Only the body counts, whatever the status says.
        QTest::newRow("404 with a document")
            << 404 << QByteArray("application/json") << QByteArray("{\"versione\": \"3.0\"}") << true << "3.0"
            << no << no;
        QTest::newRow("only versione")
            << 200 << QByteArray("text/plain") << QByteArray("{\"versione\": \"1.4.2\"}") << true << "1.4.2"
            << no << no;
        QTest::newRow("everything, extra keys ignored")
            << 200 << QByteArray("application/json")
            << QByteArray("{\"versione\": \"2.0\", \"url\": \"https://orvala.it/d\", \"note\": \"Più "
                          "veloce\", \"data\": 5}")
            << true << "2.0" << QVariant("https://orvala.it/d") << QVariant("Più veloce");
        QTest::newRow("empty note kept")
            << 200 << QByteArray("application/json") << QByteArray("{\"versione\": \"2.0\", \"note\": \"\"}")
            << true << "2.0" << no << QVariant("");
    }
    void fetchAndDecode()
    {
        QFETCH(int, stato);
        QFETCH(QByteArray, tipo);
        QFETCH(QByteArray, corpo);
        QFETCH(bool, riuscito);
        QFETCH(QString, versione);
        QFETCH(QVariant, url);
        QFETCH(QVariant, note);

        servi(corpo, stato, tipo);
        auto c = crea();
        const auto esito = QCoro::waitFor(c->scaricaInfoVersione());
        QCOMPARE(m_server->richieste(), 1);
        QCOMPARE(m_server->ultimoPercorso(), QByteArray("/tessera/versione.json"));
        QCOMPARE(esito.riuscito(), riuscito);
        if (!riuscito) {
            QVERIFY(!esito.errore.isEmpty());
            return;
        }
        QCOMPARE(esito.info->versione, versione);
        QCOMPARE(esito.info->url.has_value(), url.isValid());
        if (url.isValid())
            QCOMPARE(*esito.info->url, url.toString());
        QCOMPARE(esito.info->note.has_value(), note.isValid());
        if (note.isValid())
            QCOMPARE(*esito.info->note, note.toString());
    }

    void failuresGiveOneAlertManuallyAndSilenceAutomatically_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::newRow("connection refused") << "rifiutata";
        QTest::newRow("404 page") << "404";
        QTest::newRow("server never answers") << "silenzio";
    }
    void failuresGiveOneAlertManuallyAndSilenceAutomatically()
    {
        QFETCH(QString, caso);
        std::optional<QUrl> indirizzo;
        if (caso == "rifiutata")
            indirizzo = ServerHttpProva::urlSenzaServer();
        else if (caso == "404")
            servi("<html>404</html>", 404, "text/html");
        else
            m_server->imposta({200, "application/json", documento("9.0"), 0ms, true});

        auto manuale = crea("1.2", indirizzo, 500ms);
        const auto avvisi = verificaManuale(*manuale);
        QCOMPARE(avvisi.size(), 1);
        QCOMPARE(avvisi[0].titolo, titoloFallito);
        QCOMPARE(avvisi[0].testo, testoFallito);
        QCOMPARE(avvisi[0].stile, StileAvviso::avvertenza);
        QVERIFY(m_env->apritore.aperti.isEmpty());
        m_env->avvisi.mostrati.clear();

        auto automatico = crea("1.2", indirizzo, 500ms);
        QSignalSpy concluso(automatico.get(), &ControlloAggiornamenti::controlloConcluso);
        automatico->controlloAutomatico();
        QVERIFY(concluso.wait(10000));
        QVERIFY(m_env->avvisi.mostrati.isEmpty());
        QVERIFY(m_env->notifiche.inviate.isEmpty());
        // A failed check waits its 20 hours like any other.
        QCOMPARE(ultimoScritto().toDateTime(), adesso);
    }

    void slowServerLeavesTheEventLoopFree()
    {
        m_server->imposta({200, "application/json", documento("1.2.0"), 1200ms, false});
        auto c = crea();
        int battiti = 0;
        QTimer battito;
        connect(&battito, &QTimer::timeout, [&] { ++battiti; });
        battito.start(10ms);

        QSignalSpy concluso(c.get(), &ControlloAggiornamenti::controlloConcluso);
        c->controlloManuale();
        QVERIFY(m_env->avvisi.mostrati.isEmpty()); // returned before the answer
        QVERIFY(concluso.wait(10000));
        QVERIFY2(battiti >= 40, qPrintable(QString("only %1 ticks in 1.2 s").arg(battiti)));
        QCOMPARE(m_env->avvisi.mostrati.size(), 1);
        QCOMPARE(m_env->avvisi.mostrati[0].titolo, QString("Sei aggiornato"));
    }

    void automaticCheckRunsOnlyAfter20Hours_data()
    {
        QTest::addColumn<QVariant>("ultimo");
        QTest::addColumn<bool>("scarica");
        QTest::newRow("never checked") << QVariant() << true;
        QTest::newRow("19 hours ago") << QVariant(adesso.addSecs(-19 * 3600)) << false;
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
            scriviUltimo(ultimo);
        servi(documento("1.2"));
        QVariant scrittoPrimaDelloScaricamento;
        m_server->allaRichiesta = [&](const QByteArray &) {
            scrittoPrimaDelloScaricamento = ultimoScritto();
        };

        auto c = crea();
        QSignalSpy concluso(c.get(), &ControlloAggiornamenti::controlloConcluso);
        c->controlloAutomatico();
        if (!scarica) {
            QCOMPARE(ultimoScritto(), ultimo);
            QCoreApplication::processEvents();
            QCOMPARE(concluso.count(), 0);
            QCOMPARE(m_server->richieste(), 0);
            return;
        }
        QVERIFY(concluso.wait(10000));
        QCOMPARE(m_server->richieste(), 1);
        QCOMPARE(scrittoPrimaDelloScaricamento.toDateTime(), adesso);
        QCOMPARE(ultimoScritto().toDateTime(), adesso);
    }

    void automaticCheckNotifiesOnlyANewerVersion_data()
    {
        QTest::addColumn<QByteArray>("corpo");
        QTest::addColumn<QString>("installata");
        QTest::addColumn<QString>("corpoNotifica"); // empty = no notification

        const QString base =
            QStringLiteral("È disponibile la versione %1 di Orvala – Tessera. Scaricala da www.orvala.it.");
        QTest::newRow("1.10 over 1.9") << documento("1.10") << "1.9" << base.arg("1.10");
        QTest::newRow("1.2.0 is 1.2") << documento("1.2.0") << "1.2" << QString();
        QTest::newRow("older") << documento("1.1", ", \"note\": \"x\"") << "1.2" << QString();
        QTest::newRow("with notes") << documento("2.0", ", \"note\": \"Copia più veloce\"") << "1.2"
                                    << base.arg("2.0") + "\nNovità: Copia più veloce";
        QTest::newRow("empty notes") << documento("2.0", ", \"note\": \"\"") << "1.2" << base.arg("2.0");
        QTest::newRow("200 html") << QByteArray("<html>ok</html>") << "1.2" << QString();
    }
    void automaticCheckNotifiesOnlyANewerVersion()
    {
        QFETCH(QByteArray, corpo);
        QFETCH(QString, installata);
        QFETCH(QString, corpoNotifica);
        servi(corpo);
        auto c = crea(installata);
        QSignalSpy concluso(c.get(), &ControlloAggiornamenti::controlloConcluso);
        c->controlloAutomatico();
        QVERIFY(concluso.wait(10000));
        QVERIFY(m_env->avvisi.mostrati.isEmpty());
        if (corpoNotifica.isEmpty()) {
            QVERIFY(m_env->notifiche.inviate.isEmpty());
            return;
        }
        QCOMPARE(m_env->notifiche.inviate.size(), 1);
        QCOMPARE(m_env->notifiche.inviate[0].first, QString("Aggiornamento disponibile"));
        QCOMPARE(m_env->notifiche.inviate[0].second, corpoNotifica);
    }

    void manualCheckOffersTheDownload_data()
    {
        QTest::addColumn<QByteArray>("corpo");
        QTest::addColumn<QString>("testo");
        QTest::addColumn<QUrl>("aperto");

        const QString base = QStringLiteral("È disponibile la versione 2.0 (tu hai la 1.2).");
        const QUrl home = Marchio::homePage();
        QTest::newRow("only versione") << documento("2.0") << base << home;
        QTest::newRow("empty notes") << documento("2.0", ", \"note\": \"\"") << base + "\n\nNovità: " << home;
        QTest::newRow("notes and url")
            << documento("2.0", ", \"note\": \"Nuovo\", \"url\": \"https://orvala.it/scarica\"")
            << base + "\n\nNovità: Nuovo" << QUrl("https://orvala.it/scarica");
        QTest::newRow("malformed url")
            << documento("2.0", ", \"url\": \"https://exa mple.it/%zz\"") << base << home;
        QTest::newRow("plain http url")
            << documento("2.0", ", \"url\": \"http://orvala.it/scarica\"") << base << home;
        QTest::newRow("local file url")
            << documento("2.0", ", \"url\": \"file:///etc/passwd\"") << base << home;
        QTest::newRow("no host") << documento("2.0", ", \"url\": \"https:/scarica\"") << base << home;
    }
    void manualCheckOffersTheDownload()
    {
        QFETCH(QByteArray, corpo);
        QFETCH(QString, testo);
        QFETCH(QUrl, aperto);
        servi(corpo);
        auto c = crea("1.2");
        const auto avvisi = verificaManuale(*c);
        QCOMPARE(avvisi.size(), 1);
        QCOMPARE(avvisi[0].titolo, QString("Aggiornamento disponibile"));
        QCOMPARE(avvisi[0].testo, testo);
        QCOMPARE(avvisi[0].stile, StileAvviso::avvertenza);
        QCOMPARE(avvisi[0].pulsanti, QStringList({"Vai al download", "Più tardi"}));
        QCOMPARE(m_env->apritore.aperti, QList<QUrl>{aperto});
        QVERIFY(m_env->notifiche.inviate.isEmpty());
    }

    void laterOpensNothingAndManualLeavesTheDateAlone()
    {
        const QDateTime ieri = adesso.addDays(-1);
        scriviUltimo(ieri);
        servi(documento("2.0", ", \"url\": \"https://orvala.it/scarica\""));
        m_env->avvisi.rispondi(1); // "Più tardi"
        auto c = crea("1.2");
        QCOMPARE(verificaManuale(*c).size(), 1);
        QVERIFY(m_env->apritore.aperti.isEmpty());
        QCOMPARE(ultimoScritto().toDateTime(), ieri);
    }

    void upToDateNamesTheInstalledVersion()
    {
        servi(documento("1.2.0"));
        auto c = crea("1.2");
        const auto avvisi = verificaManuale(*c);
        QCOMPARE(avvisi.size(), 1);
        QCOMPARE(avvisi[0].titolo, QString("Sei aggiornato"));
        QCOMPARE(avvisi[0].testo, QString("La versione 1.2 è la più recente."));
        QCOMPARE(avvisi[0].stile, StileAvviso::informativo);
        QVERIFY(!ultimoScritto().isValid());
    }
};

QTEST_GUILESS_MAIN(TestControlloAggiornamenti)
#include "TestControlloAggiornamenti.moc"
