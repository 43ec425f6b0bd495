// The settings store on disk and the conversions of the two stored values.
#include "platform/Failure.h"
#include "settings/IniSettingsStore.h"
#include "settings/NumericText.h"
#include "settings/StoredSettings.h"
#include "support/MemorySettingsStore.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void voiceChoiceConversion_data();
    void voiceChoiceConversion();
    void runTimesConversion_data();
    void runTimesConversion();
    void positionsAreWrittenAsPlainDecimals();

    void iniRoundTripKeepsTextAndSections();
    void absentFileOrKeyReadsTheDefault();
    void corruptFileReadsDefaultsWithoutCrashing();
    void writeToReadOnlyFolderFails();
    void valuesWithCommasReadBackAsTheirText();
};

// text stored -> position, or the failure's kind ("mismatch" / "overflow")
void TestSettings::voiceChoiceConversion_data()
{
    QTest::addColumn<QString>("stored"); // null: absent
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("failure");
    QTest::newRow("absent") << QString() << 0 << "";
    QTest::newRow("3") << "3" << 3 << "";
    QTest::newRow("-1") << "-1" << -1 << "";
    QTest::newRow("blanks") << "  7 " << 7 << "";
    QTest::newRow("2.5 to even") << "2.5" << 2 << "";
    QTest::newRow("3.5 to even") << "3.5" << 4 << "";
    QTest::newRow("-2.5 to even") << "-2.5" << -2 << "";
    QTest::newRow("2.6") << "2.6" << 3 << "";
    QTest::newRow("exponent") << "1e2" << 100 << "";
    QTest::newRow("upper bound") << "32767" << 32767 << "";
    QTest::newRow("lower bound") << "-32768" << -32768 << "";
    QTest::newRow("rounds into range") << "32767.4" << 32767 << "";
    QTest::newRow("40000") << "40000" << 0 << "overflow";
    QTest::newRow("rounds out of range") << "32767.5" << 0 << "overflow";
    QTest::newRow("-32769") << "-32769" << 0 << "overflow";
    QTest::newRow("letters") << "abc" << 0 << "mismatch";
    QTest::newRow("empty") << "" << 0 << "mismatch";
    QTest::newRow("blank") << "   " << 0 << "mismatch";
    QTest::newRow("number and text") << "3x" << 0 << "mismatch";
    QTest::newRow("infinity") << "inf" << 0 << "mismatch";
}

void TestSettings::voiceChoiceConversion()
{
    QFETCH(QString, stored);
    QFETCH(int, position);
    QFETCH(QString, failure);
    MemorySettingsStore store;
    if (!stored.isNull())
        store.setVoiceChoice(stored);
    try {
        const short read = StoredSettings::readVoiceChoice(store);
        QVERIFY2(failure.isEmpty(), "should have failed");
        QCOMPARE(int(read), position);
    } catch (const Failure &f) {
        QVERIFY2(!failure.isEmpty(), qPrintable(f.description()));
        // The description helps a user repair the store by hand.
        QVERIFY(f.description().contains(QStringLiteral("DEF_LG")));
        QVERIFY(f.description().contains(QStringLiteral("“") + stored + QStringLiteral("”")));
        QVERIFY(f.description().contains(QStringLiteral("memory:Quenlor")));
        QVERIFY(f.description().contains(failure == u"overflow" ? QStringLiteral("溢出") : QStringLiteral("类型不匹配")));
    }
}

void TestSettings::runTimesConversion_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("installs");
    QTest::addColumn<bool>("fails");
    QTest::newRow("absent") << QString() << true << false;
    QTest::newRow("0") << "0" << true << false;
    QTest::newRow("0.0") << "0.0" << true << false;
    QTest::newRow("-0") << "-0" << true << false;
    QTest::newRow("1") << "1" << false << false;
    QTest::newRow("2") << "2" << false << false;
    QTest::newRow("0.001") << "0.001" << false << false;
    QTest::newRow("letters") << "yes" << false << true;
    QTest::newRow("empty") << "" << false << true;
}

void TestSettings::runTimesConversion()
{
    QFETCH(QString, stored);
    QFETCH(bool, installs);
    QFETCH(bool, fails);
    MemorySettingsStore store;
    if (!stored.isNull())
        store.values.insert(QStringLiteral("Quenlor/Sayrella/RunTimes"), stored);
    try {
        const double value = StoredSettings::readRunTimes(store);
        QVERIFY(!fails);
        QCOMPARE(value == 0, installs);
    } catch (const Failure &f) {
        QVERIFY2(fails, qPrintable(f.description()));
        QVERIFY(f.description().contains(QStringLiteral("RunTimes")));
    }
    StoredSettings::writeRunTimesDone(store);
    QCOMPARE(store.values.value(QStringLiteral("Quenlor/Sayrella/RunTimes")), QStringLiteral("1"));
}

void TestSettings::positionsAreWrittenAsPlainDecimals()
{
    MemorySettingsStore store;
    const QList<std::pair<short, QString>> cases = {{0, "0"}, {-1, "-1"}, {12, "12"}, {32767, "32767"}, {-32768, "-32768"}};
    for (const auto &[position, text] : cases) {
        StoredSettings::writeVoiceChoice(store, position);
        QCOMPARE(store.voiceChoice(), text);
        QCOMPARE(StoredSettings::readVoiceChoice(store), position);
    }
}

void TestSettings::iniRoundTripKeepsTextAndSections()
{
    QTemporaryDir dir;
    IniSettingsStore store(dir.path() + QStringLiteral("/new/folder"));
    store.SaveSetting("Quenlor", "Sayrella", "DEF_LG", "-1");
    store.SaveSetting("Quenlor", "Sayrella", "RunTimes", "1");
    store.SaveSetting("Quenlor", "Other", "DEF_LG", "5");
    store.SaveSetting("Quenlor", "Sayrella", "DEF_LG", "3"); // replaces
    IniSettingsStore again(dir.path() + QStringLiteral("/new/folder"));
    QCOMPARE(again.GetSetting("Quenlor", "Sayrella", "DEF_LG", "0"), QStringLiteral("3"));
    QCOMPARE(again.GetSetting("Quenlor", "Sayrella", "RunTimes", "0"), QStringLiteral("1"));
    QCOMPARE(again.GetSetting("Quenlor", "Other", "DEF_LG", "0"), QStringLiteral("5"));
    QCOMPARE(again.location("Quenlor"), dir.path() + QStringLiteral("/new/folder/Quenlor.ini"));
    QFile file(again.location("Quenlor"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.contains("[Sayrella]"));
    QVERIFY(content.contains("DEF_LG=3"));
    // Nothing is left beside the file (the save writes aside and renames).
    QCOMPARE(QDir(dir.path() + QStringLiteral("/new/folder")).entryList(QDir::Files), QStringList{"Quenlor.ini"});
}

void TestSettings::absentFileOrKeyReadsTheDefault()
{
    QTemporaryDir dir;
    IniSettingsStore store(dir.path());
    QCOMPARE(store.GetSetting("Quenlor", "Sayrella", "DEF_LG", "0"), QStringLiteral("0"));
    store.SaveSetting("Quenlor", "Sayrella", "RunTimes", "1");
    QCOMPARE(store.GetSetting("Quenlor", "Sayrella", "DEF_LG", "0"), QStringLiteral("0"));
    QCOMPARE(store.GetSetting("Quenlor", "Nowhere", "RunTimes", "0"), QStringLiteral("0"));
}

void TestSettings::corruptFileReadsDefaultsWithoutCrashing()
{
    QTemporaryDir dir;
    IniSettingsStore store(dir.path());
    QFile file(store.location("Quenlor"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\x00\xff\xfe[[[=\n=\n[Sayrella\nDEF_LG\n", 28));
    file.write(QByteArray(100000, '\x01'));
    file.close();
    const QString value = store.GetSetting("Quenlor", "Sayrella", "DEF_LG", "0");
    QCOMPARE(value, QStringLiteral("0"));
    // And a save repairs the file rather than failing.
    store.SaveSetting("Quenlor", "Sayrella", "DEF_LG", "2");
    QCOMPARE(store.GetSetting("Quenlor", "Sayrella", "DEF_LG", "0"), QStringLiteral("2"));
}

void TestSettings::writeToReadOnlyFolderFails()
{
    // A folder that cannot take the file: read-only for a normal user; for
    // root (who writes anywhere) the file's name is taken by a folder.
    QTemporaryDir dir;
    IniSettingsStore store(dir.path());
    if (geteuid() == 0)
        QVERIFY(QDir().mkpath(store.location("Quenlor")));
    else
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    try {
        store.SaveSetting("Quenlor", "Sayrella", "DEF_LG", "1");
        QFAIL("the write cannot have succeeded");
    } catch (const Failure &f) {
        QVERIFY(f.description().contains(store.location("Quenlor")));
        QVERIFY(f.description().contains(QStringLiteral("DEF_LG")));
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestSettings::valuesWithCommasReadBackAsTheirText()
{
    QTemporaryDir dir;
    IniSettingsStore store(dir.path());
    QFile file(store.location("Quenlor"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Sayrella]\nDEF_LG=1, 2\n");
    file.close();
    QCOMPARE(store.GetSetting("Quenlor", "Sayrella", "DEF_LG", "0"), QStringLiteral("1, 2"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
