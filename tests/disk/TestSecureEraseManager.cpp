#include "disk/SecureEraseManager.h"

#include <QSignalSpy>
#include <QTest>

class TestSecureEraseManager : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void percentageNeverGoesBackNorPast100()
    {
        SecureEraseManager m;
        m.avvia(QStringLiteral("USB"));
        m.impostaFase(SecureEraseManager::Fase::cancellazione);
        QList<std::optional<double>> seen;
        for (double p : {10.0, 9.5, 30.0, 101.0, 100.0}) {
            m.registraPercentuale(p);
            seen << m.percentuale();
        }
        QCOMPARE(seen, (QList<std::optional<double>>{10.0, 10.0, 30.0, 30.0, 100.0}));
        m.registraPercentuale(qQNaN());
        QCOMPARE(m.percentuale(), std::optional<double>(100.0));
    }

    void phasesAndDescriptions()
    {
        SecureEraseManager m;
        QCOMPARE(m.descrizione(), QString());
        m.avvia(QStringLiteral("STUDIO"));
        QCOMPARE(m.fase(), SecureEraseManager::Fase::verifica);
        QCOMPARE(m.descrizione(), QString("Verifica del disco \"STUDIO\"…"));
        m.impostaFase(SecureEraseManager::Fase::cancellazione);
        m.registraPercentuale(100);
        QCOMPARE(m.descrizione(), QString("Cancellazione sicura di \"STUDIO\" in corso…"));
        m.impostaFase(SecureEraseManager::Fase::cancellazione); // keeps the percentage
        QCOMPARE(m.percentuale(), std::optional<double>(100));
        m.impostaFase(SecureEraseManager::Fase::formattazione); // clears it
        QVERIFY(!m.percentuale());
        QCOMPARE(m.descrizione(), QString("Riformattazione di \"STUDIO\"…"));
        m.azzera();
        QCOMPARE(m.fase(), SecureEraseManager::Fase::inattivo);
        QVERIFY(!m.percentuale());
        QCOMPARE(m.nomeVolume(), QString());
        QCOMPARE(m.descrizione(), QString());

        // A start after an erase forgets the old percentage.
        m.avvia(QStringLiteral("X"));
        m.registraPercentuale(40);
        m.azzera();
        m.avvia(QStringLiteral("Y"));
        QVERIFY(!m.percentuale());
    }

    void equalAssignmentsNotifyNobody()
    {
        SecureEraseManager m;
        QSignalSpy fase(&m, &SecureEraseManager::faseChanged);
        QSignalSpy pct(&m, &SecureEraseManager::percentualeChanged);
        QSignalSpy nome(&m, &SecureEraseManager::nomeVolumeChanged);
        m.azzera(); // already idle
        QCOMPARE(fase.count() + pct.count() + nome.count(), 0);
        m.avvia(QStringLiteral("A"));
        QCOMPARE(fase.count(), 1);
        QCOMPARE(nome.count(), 1);
        QCOMPARE(pct.count(), 0); // was none, stays none
        m.impostaFase(SecureEraseManager::Fase::verifica);
        QCOMPARE(fase.count(), 1);
        m.impostaFase(SecureEraseManager::Fase::cancellazione);
        m.registraPercentuale(5);
        m.registraPercentuale(5);
        QCOMPARE(pct.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSecureEraseManager)
#include "TestSecureEraseManager.moc"
