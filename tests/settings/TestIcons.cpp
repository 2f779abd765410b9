#include "settings/Colori.h"
#include "settings/Icone.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

class TestIcons : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A symbol name written anywhere in the sources must have an icon that
    // draws in the colour asked, or the user would see an empty badge.
    // Dotted lower-case literals are symbol names unless they are plainly
    // file or host names.
    void everySymbolInTheSourcesDrawsInItsColour()
    {
        const QString radice = qEnvironmentVariable("TESSERA_SOURCE_DIR");
        if (radice.isEmpty())
            QSKIP("TESSERA_SOURCE_DIR not set");
        static const QSet<QString> nonSimboli = {"it",  "com", "org",  "net",     "log",   "txt",
                                                 "rtf", "bin", "json", "ini",     "conf",  "plist",
                                                 "sh",  "svg", "png",  "desktop", "portal"};
        static const QSet<QString> prefissiNonSimboli = {"www", "org", "com", "io", "net", "fuse"};
        const QRegularExpression letterale(QStringLiteral(R"re("([a-z][a-z0-9]*(?:\.[a-z0-9]+)+)")re"));
        const QStringList mappati = Icone::simboli();
        QSet<QString> simboli(mappati.begin(), mappati.end());
        int visti = 0;
        QDirIterator it(QDir(radice).filePath("src"), {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString testo = QString::fromUtf8(TestSupport::readFile(it.next()));
            for (auto m = letterale.globalMatch(testo); m.hasNext();) {
                const QString nome = m.next().captured(1);
                const QStringList parti = nome.split('.');
                if (!nonSimboli.contains(parti.last()) && !prefissiNonSimboli.contains(parti.first())) {
                    simboli << nome;
                    ++visti;
                }
            }
        }
        QVERIFY(visti > 20); // the scan did find the panel's symbols

        const QColor colore = Colori::teal();
        QStringList guasti;
        for (const QString &s : simboli) {
            const QImage img = Icone::pixmap(s, colore, 32).toImage();
            int pieni = 0, altriColori = 0;
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    const QColor c = img.pixelColor(x, y);
                    if (c.alpha() < 250)
                        continue;
                    ++pieni;
                    altriColori += qAbs(c.red() - colore.red()) > 2 || qAbs(c.green() - colore.green()) > 2 ||
                                   qAbs(c.blue() - colore.blue()) > 2;
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
