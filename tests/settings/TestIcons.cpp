#include "settings/Colori.h"
#include "settings/Icone.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {
// Every symbol the panel, the cards and the windows name, the windows that
// other parts of the program build included.
const QStringList simboliDelProgramma = {
    "externaldrive.fill",
    "externaldrive.badge.questionmark",
    "doc.on.doc.fill",
    "doc.text",
    "arrow.triangle.2.circlepath",
    "tray.and.arrow.down.fill",
    "square.and.arrow.down",
    "trash.fill",
    "note.text.badge.plus",
    "list.bullet.rectangle",
    "line.3.horizontal.decrease.circle.fill",
    "info.circle.fill",
    "folder.fill",
    "folder.badge.gearshape",
    "exclamationmark.triangle.fill",
    "eject.fill",
    "xmark.circle.fill",
    "checkmark.circle.fill",
    "questionmark.circle.fill",
    "wrench.and.screwdriver.fill",
    "tortoise.fill",
    "lock.shield",
    "gearshape.fill",
    "gearshape",
    "bell.badge",
    "arrow.down.circle",
    "arrow.counterclockwise",
    "film",
    "photo",
    "globe",
    "sparkles",
    "stethoscope",
    "power",
    "magnifyingglass",
    "speedometer",
    "percent",
    "textformat",
};

int pixelPieni(const QImage &img, const QColor &colore, int *altriColori)
{
    int pieni = 0;
    *altriColori = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.alpha() < 250)
                continue;
            ++pieni;
            if (qAbs(c.red() - colore.red()) > 2 || qAbs(c.green() - colore.green()) > 2 ||
                qAbs(c.blue() - colore.blue()) > 2)
                ++*altriColori;
        }
    }
    return pieni;
}
} // namespace

class TestIcons : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everySymbolDrawsInItsColour_data()
    {
        QTest::addColumn<QString>("simbolo");
        for (const QString &s : simboliDelProgramma)
            QTest::newRow(qPrintable(s)) << s;
    }
    void everySymbolDrawsInItsColour()
    {
        QFETCH(QString, simbolo);
        QVERIFY2(!Icone::file(simbolo).isEmpty(), "no icon mapped");
        QVERIFY2(QFile::exists(Icone::file(simbolo)), qPrintable(Icone::file(simbolo)));
        const QColor colore = Colori::teal();
        const QImage img = Icone::pixmap(simbolo, colore, 32).toImage();
        int altri = 0;
        QVERIFY2(pixelPieni(img, colore, &altri) > 20, "the icon draws (almost) nothing");
        QCOMPARE(altri, 0);
    }

    // A symbol name written anywhere in the sources must have an icon, or the
    // user would see an empty badge. Dotted lower-case literals are symbol
    // names unless they are plainly file or host names.
    void noSymbolInTheSourcesLacksAnIcon()
    {
        const QString radice = qEnvironmentVariable("TESSERA_SOURCE_DIR");
        if (radice.isEmpty())
            QSKIP("TESSERA_SOURCE_DIR not set");
        static const QSet<QString> nonSimboli = {"it",  "com", "org",  "net",     "log",   "txt",
                                                 "rtf", "bin", "json", "ini",     "conf",  "plist",
                                                 "sh",  "svg", "png",  "desktop", "portal"};
        static const QSet<QString> prefissiNonSimboli = {"www", "org", "com", "io", "net", "fuse"};
        const QRegularExpression letterale(QStringLiteral(R"re("([a-z][a-z0-9]*(?:\.[a-z0-9]+)+)")re"));
        QStringList mancanti;
        int visti = 0;
        QDirIterator it(QDir(radice).filePath("src"), {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString percorso = it.next();
            const QString testo = QString::fromUtf8(TestSupport::readFile(percorso));
            for (auto m = letterale.globalMatch(testo); m.hasNext();) {
                const QString nome = m.next().captured(1);
                const QStringList parti = nome.split('.');
                if (nonSimboli.contains(parti.last()) || prefissiNonSimboli.contains(parti.first()))
                    continue;
                ++visti;
                if (Icone::file(nome).isEmpty())
                    mancanti << QStringLiteral("%1 (%2)").arg(nome, QFileInfo(percorso).fileName());
            }
        }
        QVERIFY(visti > 20); // the scan did find the panel's symbols
        QVERIFY2(mancanti.isEmpty(), qPrintable(mancanti.join(", ")));
    }

    void unknownSymbolIsTransparentNotACrash()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("nessuna icona"));
        const QImage img = Icone::pixmap(QStringLiteral("no.such.symbol"), Qt::red, 16).toImage();
        int altri = 0;
        QCOMPARE(pixelPieni(img, Qt::red, &altri), 0);
    }

    void logoAndContactSheet()
    {
        const QImage logo = Icone::logo(64).toImage();
        QVERIFY(logo.pixelColor(32, 4).alpha() == 255);
        QVERIFY(logo.pixelColor(0, 0).alpha() < 255); // rounded corners

        // A sheet of every icon, for a person to look at.
        const QStringList tutti = Icone::simboli();
        const int col = 8, cella = 40;
        QImage foglio(col * cella, ((tutti.size() + col - 1) / col + 1) * cella, QImage::Format_ARGB32);
        foglio.fill(Qt::white);
        QPainter p(&foglio);
        for (int i = 0; i < tutti.size(); ++i)
            Icone::disegna(p, tutti[i], Colori::coloreMarchioScuro(),
                           QRectF((i % col) * cella + 8, (i / col) * cella + 8, 24, 24));
        p.drawImage(QRectF(8, (tutti.size() / col + 1) * cella + 4, 32, 32), logo);
        p.end();
        QVERIFY(foglio.save(QDir(TestSupport::artifactsDir()).filePath("icone.png")));
    }
};

QTEST_MAIN(TestIcons)
#include "TestIcons.moc"
