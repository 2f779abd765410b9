#include "disk/InfoDisco.h"
#include "disk/PropertyList.h"
#include "support/FakeEsecutoreDisco.h"

#include <QDateTime>
#include <QTest>

Q_DECLARE_METATYPE(InfoDisco)

namespace {
QString plist(const QString &corpo)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n") +
           corpo + QStringLiteral("\n</plist>\n");
}
} // namespace

class TestInfoDisco : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsEveryValueKind()
    {
        const auto tree = leggiPlist(plist(QStringLiteral(R"(<dict>
            <key>Testo</key><string>Chiavetta &amp; co</string>
            <key>Vuoto</key><string/>
            <key>Intero</key><integer>-42</integer>
            <key>Grande</key><integer>18446744073709551615</integer>
            <key>Reale</key><real>15.5</real>
            <key>Si</key><true/>
            <key>No</key><false/>
            <key>Data</key><date>2024-03-09T14:05:06Z</date>
            <key>Dati</key><data>
                Y2lh
                bw==
            </data>
            <key>Lista</key><array><integer>1</integer><dict/><array/></array>
        </dict>)"))
                                         .toUtf8());
        QVERIFY(tree);
        const QVariantMap m = tree->toMap();
        QCOMPARE(m.value("Testo"), QVariant(QString("Chiavetta & co")));
        QCOMPARE(m.value("Vuoto"), QVariant(QString()));
        QCOMPARE(m.value("Intero"), QVariant(qlonglong(-42)));
        QCOMPARE(m.value("Grande"), QVariant(qulonglong(18446744073709551615ULL)));
        QCOMPARE(m.value("Reale"), QVariant(15.5));
        QCOMPARE(m.value("Si"), QVariant(true));
        QCOMPARE(m.value("No"), QVariant(false));
        QCOMPARE(m.value("Data").toDateTime(), QDateTime(QDate(2024, 3, 9), QTime(14, 5, 6), Qt::UTC));
        QCOMPARE(m.value("Dati"), QVariant(QByteArray("ciao")));
        const QVariantList lista = m.value("Lista").toList();
        QCOMPARE(lista.size(), 3);
        QCOMPARE(lista[1].typeId(), QMetaType::QVariantMap);
        QCOMPARE(lista[2].typeId(), QMetaType::QVariantList);
    }

    void rejectsWhatIsNotAPropertyList_data()
    {
        QTest::addColumn<QString>("testo");
        QTest::newRow("empty") << QString();
        QTest::newRow("plain text") << "Disk /dev/sdb: 7.5 GiB";
        QTest::newRow("json") << "{\"ParentWholeDisk\": \"disk4\"}";
        QTest::newRow("other root") << "<html><dict/></html>";
        QTest::newRow("empty plist") << plist(QString());
        QTest::newRow("truncated") << plist("<dict><key>A</key><string>x</string>").chopped(10);
        QTest::newRow("key without value") << plist("<dict><key>A</key></dict>");
        QTest::newRow("value without key") << plist("<dict><string>x</string></dict>");
        QTest::newRow("unknown element") << plist("<dict><key>A</key><colour>red</colour></dict>");
        QTest::newRow("bad integer") << plist("<integer>12a</integer>");
        QTest::newRow("bad real") << plist("<real>1,5</real>");
        QTest::newRow("bad date") << plist("<date>ieri</date>");
        QTest::newRow("bad data") << plist("<data>***</data>");
        QTest::newRow("text in a boolean") << plist("<true>no</true>");
        QTest::newRow("two roots") << plist("<dict/><dict/>");
        QTest::newRow("junk after") << plist("<dict/>") + "<dict/>";
    }
    void rejectsWhatIsNotAPropertyList()
    {
        QFETCH(QString, testo);
        QVERIFY(!leggiPlist(testo.toUtf8()));
    }

    void identityAndSafetyRule_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<InfoDisco>("attesa");
        QTest::addColumn<bool>("ammesso");
        const auto r = [](const QVariantMap &m) { return FakeEsecutoreDisco::reportInfo(m); };
        QTest::newRow("external removable") << r({{"ParentWholeDisk", "disk4"},
                                                  {"Internal", false},
                                                  {"RemovableMedia", true},
                                                  {"TotalSize", 16000}})
                                            << InfoDisco{"disk4", false, true} << true;
        QTest::newRow("fallback key")
            << r({{"ParentWholeDisk", "sdb"}, {"Internal", false}, {"Removable", true}})
            << InfoDisco{"sdb", false, true} << true;
        QTest::newRow("RemovableMedia wins") << r({{"ParentWholeDisk", "sdb"},
                                                   {"Internal", false},
                                                   {"RemovableMedia", false},
                                                   {"Removable", true}})
                                             << InfoDisco{"sdb", false, false} << false;
        QTest::newRow("no Internal") << r({{"ParentWholeDisk", "sdb"}, {"RemovableMedia", true}})
                                     << InfoDisco{"sdb", true, true} << false;
        QTest::newRow("Internal as text")
            << r({{"ParentWholeDisk", "sdb"}, {"Internal", "false"}, {"RemovableMedia", true}})
            << InfoDisco{"sdb", true, true} << false;
        QTest::newRow("internal") << r({{"ParentWholeDisk", "disk0"},
                                        {"Internal", true},
                                        {"RemovableMedia", true}})
                                  << InfoDisco{"disk0", true, true} << false;
        QTest::newRow("nothing about removability") << r({{"ParentWholeDisk", "sdc"}, {"Internal", false}})
                                                    << InfoDisco{"sdc", false, false} << false;
        QTest::newRow("removability as number") << r({{"ParentWholeDisk", "sdc"},
                                                      {"Internal", false},
                                                      {"RemovableMedia", 1},
                                                      {"Removable", true}})
                                                << InfoDisco{"sdc", false, true} << true;
    }
    void identityAndSafetyRule()
    {
        QFETCH(QString, report);
        QFETCH(InfoDisco, attesa);
        QFETCH(bool, ammesso);
        const Risultato<InfoDisco> info = interpretaInfoDisco(report);
        QVERIFY(info.ok());
        QCOMPARE(info.valore(), attesa);
        QCOMPARE(info->esternoERimovibile(), ammesso);
    }

    void unreadableReports_data()
    {
        QTest::addColumn<QString>("report");
        QTest::newRow("empty output") << QString();
        QTest::newRow("not a plist") << "Could not find disk: /Volumes/X";
        QTest::newRow("not a dict") << plist("<array><string>disk4</string></array>");
        QTest::newRow("ParentWholeDisk a number")
            << FakeEsecutoreDisco::reportInfo({{"ParentWholeDisk", 4}, {"Internal", false}});
        QTest::newRow("ParentWholeDisk missing")
            << FakeEsecutoreDisco::reportInfo({{"Internal", false}, {"RemovableMedia", true}});
    }
    void unreadableReports()
    {
        QFETCH(QString, report);
        const Risultato<InfoDisco> info = interpretaInfoDisco(report);
        QVERIFY(!info.ok());
        QVERIFY(info.erroreDisco());
        QCOMPARE(*info.erroreDisco(), DiskUtilErrore::infoNonLeggibili());
        QCOMPARE(info.descrizioneErrore(),
                 QString("Impossibile leggere le informazioni del disco da diskutil."));
    }

    void asksTheUtilityAboutThePathAndPassesItsErrorOn()
    {
        FakeEsecutoreDisco fake;
        fake.rispondi({"info", "-plist", "/media/u/A"}, FakeEsecutoreDisco::reportInfo("sdb", false, true));
        const DiskUtilErrore fallito =
            DiskUtilErrore::comandoFallito("info -plist /media/u/B", 1, "Disco non trovato");
        fake.rispondi({"info", "-plist", "/media/u/B"}, fallito);

        const auto a = leggiInfoDisco(fake, "/media/u/A");
        QVERIFY(a.ok());
        QCOMPARE(a.valore(), (InfoDisco{"sdb", false, true}));
        const auto b = leggiInfoDisco(fake, "/media/u/B");
        QVERIFY(b.erroreDisco());
        QCOMPARE(*b.erroreDisco(), fallito);
        QCOMPARE(fake.chiamate().size(), 2);
        QVERIFY(!fake.chiamate()[0].conProgresso);
        QCOMPARE(fake.chiamate()[1].argomenti, (QStringList{"info", "-plist", "/media/u/B"}));
    }
};

QTEST_GUILESS_MAIN(TestInfoDisco)
#include "TestInfoDisco.moc"
