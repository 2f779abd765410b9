#include "disk/InfoDisco.h"

#include <QTest>

Q_DECLARE_METATYPE(InfoDisco)

namespace {
QString plist(const QString &corpo)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST "
           "1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n" +
           corpo + "\n</plist>\n";
}
QString dict(const QString &corpo)
{
    return plist("<dict>" + corpo + "</dict>");
}
} // namespace

class TestInfoDisco : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Missing or odd facts lean towards refusal. No disk name expected: the report is unreadable.
    void identityAndSafetyRule_data()
    {
        QTest::addColumn<QString>("testo");
        QTest::addColumn<InfoDisco>("attesa");
        const auto riga = [](const char *nome, const QString &testo, const InfoDisco &attesa = {}) {
            QTest::newRow(nome) << testo << attesa;
        };
        const QString disco = "<key>ParentWholeDisk</key><string>sdb</string>",
                      esterno = "<key>Internal</key><false/>";
        const QString rmSi = "<key>RemovableMedia</key><true/>", remSi = "<key>Removable</key><true/>";
        riga("external removable", dict(disco + esterno + rmSi), {"sdb", false, true});
        riga("fallback key", dict(disco + esterno + remSi), {"sdb", false, true});
        riga("RemovableMedia false, Removable true",
             dict(disco + esterno + "<key>RemovableMedia</key><false/>" + remSi), {"sdb", false, false});
        riga("RemovableMedia not a boolean",
             dict(disco + esterno + "<key>RemovableMedia</key><integer>1</integer>" + remSi),
             {"sdb", false, true});
        riga("Internal missing", dict(disco + rmSi), {"sdb", true, true});
        riga("Internal as text", dict(disco + "<key>Internal</key><string>false</string>" + rmSi),
             {"sdb", true, true});
        riga("nothing about removability", dict(disco + esterno), {"sdb", false, false});
        riga("every value kind", dict(disco + esterno + remSi + R"(<key>T</key><string>a &amp; b</string>
            <key>V</key><string/><key>I</key><integer>-42</integer><key>G</key><integer>18446744073709551615</integer>
            <key>H</key><integer>-0x8000000000000000</integer><key>R</key><real>15.5</real><key>D</key><date>2024-03-09T14:05:06Z</date><key>B</key><data> Y2lh
                bw== </data><key>L</key><array><integer>1</integer><dict/><array/></array>)"),
             {"sdb", false, true});
        riga("empty output", QString());
        riga("not a plist", "Could not find disk: /Volumes/X");
        riga("not a dict", plist("<array><string>sdb</string></array>"));
        riga("ParentWholeDisk a number",
             dict("<key>ParentWholeDisk</key><integer>4</integer>" + esterno + rmSi));
        riga("ParentWholeDisk missing", dict(esterno + rmSi));
        for (const QString &guasto : QStringList{
                 "<key>A</key>", "<string>x</string>", "<key>A</key><colour>r</colour>",
                 "<key>A</key><integer>12a</integer>", "<key>A</key><real>1,5</real>",
                 "<key>A</key><date>ieri</date>", "<key>A</key><data>***</data>",
                 "<key>A</key><integer>0x-1</integer>", "<key>A</key><integer>-0x-8000000000000000</integer>",
                 "<key>A</key>" + QString("<array>").repeated(100000) + QString("</array>").repeated(100000)})
            QTest::newRow(qPrintable(guasto.left(40)))
                << dict(disco + esterno + rmSi + guasto) << InfoDisco{};
        riga("truncated", dict(disco + esterno + rmSi).chopped(10));
        riga("two roots", plist("<dict>" + disco + esterno + rmSi + "</dict><dict/>"));
        riga("other root", "<html><dict>" + disco + esterno + rmSi + "</dict></html>");
    }
    void identityAndSafetyRule()
    {
        QFETCH(QString, testo);
        QFETCH(InfoDisco, attesa);
        const Risultato<InfoDisco> info = interpretaInfoDisco(testo);
        if (!attesa.discoIntero.isEmpty()) {
            QVERIFY(info.ok());
            QCOMPARE(info.valore(), attesa);
            return;
        }
        QVERIFY(info.erroreDisco());
        QCOMPARE(*info.erroreDisco(), DiskUtilErrore::infoNonLeggibili());
    }
};

QTEST_GUILESS_MAIN(TestInfoDisco)
#include "TestInfoDisco.moc"
