// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <QFileInfo>
#include <QTest>

#include <functional>

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
    void damagedFilesAreKeptAsideNeverRead_data();
    void damagedFilesAreKeptAsideNeverRead();
    void unwritableFolderIsFoundBeforeUse();
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
        QVERIFY(
            f.description().contains(failure == u"overflow" ? QStringLiteral("溢出") : QStringLiteral("类型不匹配")));
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
    const QList<std::pair<short, QString>> cases = {{0, "0"},
                                                    {-1, "-1"},
                                                    {12, "12"},
                                                    {32767, "32767"},
                                                    {-32768, "-32768"}};
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

void TestSettings::damagedFilesAreKeptAsideNeverRead_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("damaged");
    const QByteArray valid = "[Sayrella]\nDEF_LG=2\nRunTimes=1\n";
    QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe[[[=\n=\n[Sayrella\nDEF_LG\n", 28)
            + QByteArray(1000, '\x01')
                                 << true;
    QTest::newRow("stray quote before the section") << "\"\n" + valid << true;
    QTest::newRow("unclosed quote in a value") << QByteArray("[Sayrella]\nDEF_LG=\"2\nRunTimes=1\n") << true;
    QTest::newRow("line that is no setting") << QByteArray("[Sayrella]\nDEF_LG 2\n") << true;
    QTest::newRow("10 MB value") << "[Sayrella]\nDEF_LG=" + QByteArray(10 << 20, '7') + "\n" << true;
    QTest::newRow("5 KB value") << "[Sayrella]\nRunTimes=" + QByteArray(5000, '1') + "\n" << true;
    QTest::newRow("2 MB of comments") << QByteArray("; x\n").repeated(500000) + valid << true;
    QTest::newRow("valid") << valid << false;
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + valid << false;
    QTest::newRow("comments and blank lines") << "; mine\n\n# also\n" + valid << false;
    QTest::newRow("quoted value") << QByteArray("[Sayrella]\nDEF_LG=\"2\"\n") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

// A file the store cannot read as settings is never read, never written over
// and never taken for "no settings": start-up keeps it aside (numbered when
// an older one is there), and the store then starts empty.
void TestSettings::damagedFilesAreKeptAsideNeverRead()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, damaged);
    QTemporaryDir dir;
    IniSettingsStore store(dir.path());
    const QString path = store.location("Quenlor");
    const auto writeFile = [&] {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    };
    writeFile();
    if (!damaged) {
        QCOMPARE(store.setAsideIfDamaged("Quenlor"), QString());
        store.SaveSetting("Quenlor", "Sayrella", "DEF_LG", "3"); // no false failure, whatever the old file began with
        QCOMPARE(store.GetSetting("Quenlor", "Sayrella", "DEF_LG", "0"), QStringLiteral("3"));
        return;
    }
    // Read or written before start-up sees it: refused, naming the file, which stays as it was.
    for (const auto &use : {std::function<void()>([&] { store.GetSetting("Quenlor", "Sayrella", "DEF_LG", "0"); }),
                            std::function<void()>([&] { store.SaveSetting("Quenlor", "Sayrella", "DEF_LG", "2"); })}) {
        try {
            use();
            QFAIL("a damaged file was used");
        } catch (const Failure &failure) {
            QVERIFY2(failure.description().contains(path), qPrintable(failure.description()));
        }
    }
    QCOMPARE(store.setAsideIfDamaged("Quenlor"), path + QStringLiteral(".damaged"));
    QFile kept(path + QStringLiteral(".damaged"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(store.GetSetting("Quenlor", "Sayrella", "RunTimes", "0"), QStringLiteral("0"));
    // Damaged again: the first one kept is not replaced.
    writeFile();
    QCOMPARE(store.setAsideIfDamaged("Quenlor"), path + QStringLiteral(".damaged.1"));
    QCOMPARE(QFileInfo(path + QStringLiteral(".damaged")).size(), qint64(content.size()));
}

void TestSettings::unwritableFolderIsFoundBeforeUse()
{
    QTemporaryDir dir;
    QFile taken(dir.filePath(QStringLiteral("config")));
    QVERIFY(taken.open(QIODevice::WriteOnly)); // the folder's name is taken by a file
    taken.close();
    IniSettingsStore store(taken.fileName());
    try {
        store.checkWritable("Quenlor");
        QFAIL("a folder that cannot be created passed the check");
    } catch (const Failure &failure) {
        QVERIFY(failure.description().contains(taken.fileName()));
    }
    IniSettingsStore fine(dir.filePath(QStringLiteral("fresh/config")));
    fine.checkWritable("Quenlor");
    QCOMPARE(QDir(dir.filePath(QStringLiteral("fresh/config")))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList()); // the check leaves nothing behind
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
