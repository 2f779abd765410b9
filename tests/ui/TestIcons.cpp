#include "comune/Colori.h"
#include "support/TestEnv.h"
#include "ui/Icone.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

class TestIcons : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every symbol name written in the sources has an icon that draws
    // something, or the user would see an empty badge. Dotted lower-case
    // literals are symbol names unless they are plainly file or host names.
    void everySymbolInTheSourcesHasAnIcon()
    {
        const QRegularExpression letterale(QStringLiteral(R"re("([a-z][a-z0-9]*(?:\.[a-z0-9]+)+)")re"));
        const QRegularExpression nonSimbolo(
            QStringLiteral(R"(^(www|org|com|io|net|fuse)\.|\.(it|com|org|net|log|)"
                           R"(txt|rtf|bin|json|ini|conf|plist|sh|svg|png|desktop|portal)$)"));
        QStringList simboli;
        for (QDirIterator it(qEnvironmentVariable("TESSERA_SOURCE_DIR") + "/src", {"*.cpp", "*.h"},
                             QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            for (auto m = letterale.globalMatch(QString::fromUtf8(TestSupport::readFile(it.next())));
                 m.hasNext();) {
                if (const QString nome = m.next().captured(1); !nonSimbolo.match(nome).hasMatch())
                    simboli << nome;
            }
        }
        QVERIFY(simboli.size() > 20); // the scan did find the panel's symbols
        simboli.removeDuplicates();
        QStringList mancanti;
        for (const QString &s : simboli) {
            const QImage img = Icone::pixmap(s, Colori::teal(), 32).toImage();
            QImage vuota(img.size(), img.format());
            vuota.fill(Qt::transparent);
            if (Icone::file(s).isEmpty() || img == vuota)
                mancanti << s;
        }
        QVERIFY2(mancanti.isEmpty(), qPrintable(mancanti.join(", ")));
    }
};

QTEST_MAIN(TestIcons)
#include "TestIcons.moc"
