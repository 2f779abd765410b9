#include "diagnostics/DiagnosticaManager.h"
#include "disk/SecureEraseManager.h"

#include <QSignalSpy>
#include <QTest>

using Op = DiagnosticaManager::Operazione;
using Tipo = RigaRapporto::Tipo;

class TestDiagnosticaManager : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneCheckAtATime()
    {
        SecureEraseManager erase;
        DiagnosticaManager m(&erase);
        QVERIFY(m.inizia(Op::verifica));
        m.registraPercentuale(20);
        QSignalSpy rapporto(&m, &DiagnosticaManager::rapportoChanged);
        QVERIFY(!m.inizia(Op::testVelocita));
        QCOMPARE(m.operazione(), Op::verifica);
        QCOMPARE(m.percentuale(), std::optional<double>(20)); // a refused start leaves the percentage alone
        QCOMPARE(rapporto.count(), 0);
        m.termina();
        QCOMPARE(m.operazione(), Op::nessuna);
        QVERIFY(!m.percentuale());
        QVERIFY(m.inizia(Op::testVelocita));
    }

    void refusedDuringEveryErasePhase_data()
    {
        QTest::addColumn<SecureEraseManager::Fase>("fase");
        QTest::newRow("verifica") << SecureEraseManager::Fase::verifica;
        QTest::newRow("cancellazione") << SecureEraseManager::Fase::cancellazione;
        QTest::newRow("formattazione") << SecureEraseManager::Fase::formattazione;
    }
    void refusedDuringEveryErasePhase()
    {
        QFETCH(SecureEraseManager::Fase, fase);
        SecureEraseManager erase;
        erase.avvia(QStringLiteral("USB"));
        erase.impostaFase(fase);
        DiagnosticaManager m(&erase);
        QSignalSpy op(&m, &DiagnosticaManager::operazioneChanged);
        QVERIFY(!m.inizia(Op::info));
        QCOMPARE(m.operazione(), Op::nessuna);
        QCOMPARE(op.count(), 0);
        erase.azzera();
        QVERIFY(m.inizia(Op::info));
    }

    void percentageNeverGoesBackNorPast100()
    {
        SecureEraseManager erase;
        DiagnosticaManager m(&erase);
        QVERIFY(m.inizia(Op::riparazione));
        QList<std::optional<double>> visti;
        for (double p : {20.0, 15.0, 40.0, 100.5, 100.0, qQNaN()}) {
            m.registraPercentuale(p);
            visti << m.percentuale();
        }
        QCOMPARE(visti, (QList<std::optional<double>>{20, 20, 40, 40, 100, 100}));
        // A late report after the end starts again from none.
        m.termina();
        m.registraPercentuale(35);
        QCOMPARE(m.percentuale(), std::optional<double>(35));
        QVERIFY(m.inizia(Op::verifica));
        QVERIFY(!m.percentuale());
    }

    void reportGrowsUntilCleared()
    {
        SecureEraseManager erase;
        DiagnosticaManager m(&erase);
        QSignalSpy rapporto(&m, &DiagnosticaManager::rapportoChanged);
        QVERIFY(m.inizia(Op::info));
        m.aggiungi(Tipo::info, QStringLiteral("— Info su \"A\" —"));
        m.aggiungi(Tipo::ok, QStringLiteral("File system: msdos"));
        m.pulisci(); // while the check runs
        QVERIFY(m.rapporto().isEmpty());
        m.aggiungi(Tipo::avviso,
                   QStringLiteral("Tipo di connessione USB non rilevabile per questo dispositivo."));
        m.termina();
        QVERIFY(m.inizia(Op::info));
        m.aggiungi(Tipo::errore, QStringLiteral("Impossibile leggere le informazioni"));
        QCOMPARE(rapporto.count(), 5);
        QCOMPARE(m.rapporto().size(), 2);
        QCOMPARE(m.rapporto()[0].tipo, Tipo::avviso);
        QCOMPARE(m.rapporto()[1].testo, QString("Impossibile leggere le informazioni"));
        QVERIFY(!m.rapporto()[0].id.isNull());
        QVERIFY(m.rapporto()[0].id != m.rapporto()[1].id);
    }
};

QTEST_GUILESS_MAIN(TestDiagnosticaManager)
#include "TestDiagnosticaManager.moc"
