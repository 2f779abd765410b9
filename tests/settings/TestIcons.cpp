#include "settings/Colori.h"
#include "settings/Icone.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

class TestIcons : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every symbol the table maps, and every symbol name written in the
    // sources, draws in the colour asked: a missing one would leave an empty
    // badge. Dotted lower-case literals are symbol names unless they are
    // plainly file or host names.
    void everySymbolDrawsInItsColour()
    {
        const QString radice = qEnvironmentVariable("TESSERA_SOURCE_DIR"); // set by CTest
        const QRegularExpression letterale(QStringLiteral(R"re("([a-z][a-z0-9]*(?:\.[a-z0-9]+)+)")re"));
        const QRegularExpression nonSimbolo(
            QStringLiteral(R"(^(www|org|com|io|net|fuse)\.|\.(it|com|org|net|log|)"
                           R"(txt|rtf|bin|json|ini|conf|plist|sh|svg|png|desktop|portal)$)"));
        QStringList simboli = Icone::simboli();
        const qsizetype mappati = simboli.size();
        for (QDirIterator it(radice + "/src", {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            for (auto m = letterale.globalMatch(QString::fromUtf8(TestSupport::readFile(it.next())));
                 m.hasNext();) {
                if (const QString nome = m.next().captured(1); !nonSimbolo.match(nome).hasMatch())
                    simboli << nome;
            }
        }
        QVERIFY(simboli.size() - mappati > 20); // the scan did find the panel's symbols
        simboli.removeDuplicates();

        const QColor colore = Colori::teal();
        QStringList guasti;
        for (const QString &s : simboli) {
            const QImage img = Icone::pixmap(s, colore, 32).toImage();
            int pieni = 0, altriColori = 0;
            for (int i = 0; i < img.width() * img.height(); ++i) {
                if (const QColor c = img.pixelColor(i % img.width(), i / img.width()); c.alpha() >= 250) {
                    ++pieni;
                    altriColori += std::max({qAbs(c.red() - colore.red()), qAbs(c.green() - colore.green()),
                                             qAbs(c.blue() - colore.blue())}) > 2;
                }
            }
            if (Icone::file(s).isEmpty() || pieni < 20 || altriColori > 0)
                guasti << s;
        }
        QVERIFY2(guasti.isEmpty(), qPrintable(guasti.join(", ")));
    }
};

QTEST_MAIN(TestIcons)
#include "TestIcons.moc"
