#include "platform/TestiPiattaforma.h"

#include <QRegularExpression>
#include <QTest>

class TestTestiPiattaforma : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each table holds every key once with a text, so no build shows an empty
    // label; the Linux one names none of the Mac's programs, keys or settings.
    void tabelle_data()
    {
        QTest::addColumn<bool>("linux");
        QTest::newRow("linux") << true;
        QTest::newRow("macOS") << false;
    }
    void tabelle()
    {
        QFETCH(bool, linux);
        QList<int> chiavi;
        for (const VoceTestoPiattaforma &v : linux ? testiLinux() : testiMacOS()) {
            const QString testo = QString::fromUtf8(v.testo);
            QVERIFY(!testo.isEmpty());
            chiavi << int(v.chiave);
            if (linux) {
                static const QRegularExpression mac(QStringLiteral(
                    "Finder|macOS|TextEdit|⌘|Impostazioni di Sistema|Utility Disco|\\bMac\\b"));
                QVERIFY2(!mac.match(testo).hasMatch(), v.testo);
            }
        }
        std::ranges::sort(chiavi);
        QList<int> tutte;
        for (int k = 0; k < int(TestoPiattaforma::conteggio); ++k)
            tutte << k;
        QCOMPARE(chiavi, tutte);
    }
};

QTEST_MAIN(TestTestiPiattaforma)
#include "TestTestiPiattaforma.moc"
