// SPDX-License-Identifier: GPL-3.0-or-later
// The first-run installation: its steps with scripted platform services, and
// the installer stand-in for real on real and hostile packages.
#include "installer/SetupObj.h"
#include "installer/modSetting.h"
#include "installer/msiexec/PackageInstall.h"
#include "installer/package/VoicePackage.h"
#include "platform/Failure.h"
#include "platform/linux/LocalInstallerPlatform.h"
#include "speech/helper/VoiceCatalog.h"
#include "support/MemorySettingsStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One log for every service, so the order of the steps across them shows.
struct Script
{
    QStringList log;
    QString temporary = QStringLiteral("/tmp");
    QString system = QStringLiteral("/usr/lib/sayrella");
    QString program = QStringLiteral("/opt/sayrella");
    QString failOn; // a step name that throws
    int installerStatus = 0;
};

class ScriptedFiles : public FileSystem
{
public:
    explicit ScriptedFiles(Script &s) : m_s(s) { }
    QString GetSpecialFolder(int folder) override
    {
        m_s.log << QStringLiteral("folder %1").arg(folder);
        return folder == TemporaryFolder ? m_s.temporary : m_s.system;
    }
    QString ProgramFolder() override { return m_s.program; }
    void CopyFile(const QString &source, const QString &destination, bool overwrite) override
    {
        m_s.log << QStringLiteral("copy %1 -> %2%3").arg(source, destination, overwrite ? " (overwrite)" : "");
        if (m_s.failOn == u"copy")
            throw Failure(QStringLiteral("找不到 msc"));
    }
    void DeleteFile(const QString &path, bool force) override
    {
        m_s.log << QStringLiteral("delete %1%2").arg(path, force ? " (force)" : "");
        if (m_s.failOn == u"delete" && !force)
            throw Failure(QStringLiteral("只读"));
    }

private:
    Script &m_s;
};

class ScriptedProcess : public RunningProcess
{
public:
    explicit ScriptedProcess(Script &s) : m_s(s) { }
    int Wait() override
    {
        m_s.log << QStringLiteral("wait");
        if (m_s.failOn == u"wait")
            throw Failure(QStringLiteral("无法等待"));
        return m_s.installerStatus;
    }

private:
    Script &m_s;
};

class ScriptedRunner : public ProcessRunner
{
public:
    explicit ScriptedRunner(Script &s) : m_s(s) { }
    std::unique_ptr<RunningProcess> Start(const QString &program, const QStringList &arguments, int style) override
    {
        // What the user sees while the installer runs.
        QString shown;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == u"SetupObj" && w->isVisible())
                shown = w->findChild<QLabel *>("Label1")->text() + u'|' + w->findChild<QLabel *>("objCap")->text();
        m_s.log << QStringLiteral("start [%1] [%2] style %3, showing %4")
                       .arg(program, arguments.join("] ["))
                       .arg(style)
                       .arg(shown);
        if (m_s.failOn == u"start")
            throw Failure(QStringLiteral("找不到 msiexec"));
        return std::make_unique<ScriptedProcess>(m_s);
    }

private:
    Script &m_s;
};

class LoggingStore : public MemorySettingsStore
{
public:
    explicit LoggingStore(Script &s) : m_s(s) { }
    void SaveSetting(const QString &a, const QString &s, const QString &k, const QString &v) override
    {
        m_s.log << QStringLiteral("write %1=%2").arg(k, v);
        MemorySettingsStore::SaveSetting(a, s, k, v);
    }

private:
    Script &m_s;
};

QString runTimes(const MemorySettingsStore &store) { return store.values.value("Quenlor/Sayrella/RunTimes"); }

QByteArray packageWithHeader(const QByteArray &name, const QByteArray &data, const QByteArray &size = {})
{
    const QByteArray hash = QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
    return "SAYRELLA-VOICE-PACKAGE 1\nversion 1.0.0\nentry " + name + ' '
        + (size.isEmpty() ? QByteArray::number(data.size()) : size) + ' ' + hash + "\nend\n" + data;
}

QStringList treeOf(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

QString packageFile() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/msc"); }
QString installerProgram() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/msiexec"); }

} // namespace

class TestInstaller : public QObject
{
    Q_OBJECT

private slots:
    void firstRunStepsInOrder();
    void pathsWithBlanksReachTheInstallerWhole();
    void failuresLeaveNoMarkerAndNoCopy_data();
    void failuresLeaveNoMarkerAndNoCopy();
    void unwritableSettingsStopTheFirstRunBeforeInstalling();
    void installerSuccessStatuses_data();
    void installerSuccessStatuses();
    void markerDecidesWhetherToInstall_data();
    void markerDecidesWhetherToInstall();
    void progressWindowLayout();

    void realInstallerOnTheRealPackage();
    void packageRoundTrip();
    void hostilePackages_data();
    void hostilePackages();
    void linksInTheVoiceFolderAreReplacedNotFollowed();
    void linkedFoldersAreFollowedAndNothingIsWrittenElsewhere_data();
    void linkedFoldersAreFollowedAndNothingIsWrittenElsewhere();
    void aFolderOfThePersonsOwnIsNeverTaken();
    void stagingLeftByAKilledInstallerIsRemoved();
    void commandLine_data();
    void commandLine();

    void localFilesCopyAndDeleteAsTheStepsNeed();
    void localProcessesStartWaitAndFail();
};

void TestInstaller::firstRunStepsInOrder()
{
    Script script;
    ScriptedFiles files(script);
    ScriptedRunner runner(script);
    LoggingStore store(script);
    modSetting::RunFirstTimeSetup(store, {&files, &runner});
    QCOMPARE(script.log,
             QStringList({
                 "folder 2",
                 "folder 1",
                 "copy /opt/sayrella/msc -> /tmp/msc.msi (overwrite)",
                 "start [/usr/lib/sayrella/msiexec] [/package] [/tmp/msc.msi] [/quiet] style 4, showing "
                 "正在初始化|普通话语音",
                 "wait",
                 "delete /tmp/msc.msi",
                 "write RunTimes=1",
             }));
    // The progress window is gone once the reader is about to appear.
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!(w->objectName() == u"SetupObj" && w->isVisible()));
}

void TestInstaller::pathsWithBlanksReachTheInstallerWhole()
{
    Script script;
    script.temporary = QStringLiteral("/tmp/a b; rm -rf x");
    script.system = QStringLiteral("/opt/My Programs");
    script.program = QStringLiteral("/"); // a root folder still gets its separator
    ScriptedFiles files(script);
    ScriptedRunner runner(script);
    SetupObj window({&files, &runner});
    window.SetupMSI(QStringLiteral("msc"), QStringLiteral("普通话语音"));
    QCOMPARE(script.log[2], QStringLiteral("copy //msc -> /tmp/a b; rm -rf x/msc.msi (overwrite)"));
    QVERIFY(script.log[3].startsWith(
        QStringLiteral("start [/opt/My Programs/msiexec] [/package] [/tmp/a b; rm -rf x/msc.msi] [/quiet]")));
}

// the failing step, the status the installer returns -> the log after the copy
void TestInstaller::failuresLeaveNoMarkerAndNoCopy_data()
{
    QTest::addColumn<QString>("failOn");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("descriptionHas");
    QTest::addColumn<QStringList>("tail");
    QTest::newRow("package missing") << "copy" << 0 << "找不到 msc" << QStringList{};
    QTest::newRow("installer missing") << "start" << 0 << "找不到 msiexec"
                                       << QStringList{"delete /tmp/msc.msi (force)"};
    QTest::newRow("cannot wait") << "wait" << 0 << "无法等待" << QStringList{"wait", "delete /tmp/msc.msi (force)"};
    QTest::newRow("installer failed") << "" << 1603 << "1603" << QStringList{"wait", "delete /tmp/msc.msi (force)"};
    QTest::newRow("copy is read-only") << "delete" << 0 << "只读"
                                       << QStringList{"wait", "delete /tmp/msc.msi", "delete /tmp/msc.msi (force)"};
}

void TestInstaller::failuresLeaveNoMarkerAndNoCopy()
{
    QFETCH(QString, failOn);
    QFETCH(int, status);
    QFETCH(QString, descriptionHas);
    QFETCH(QStringList, tail);
    Script script;
    script.failOn = failOn;
    script.installerStatus = status;
    ScriptedFiles files(script);
    ScriptedRunner runner(script);
    LoggingStore store(script);
    try {
        modSetting::RunFirstTimeSetup(store, {&files, &runner});
        QFAIL("the first run must fail");
    } catch (const Failure &f) {
        QVERIFY2(f.description().contains(descriptionHas), qPrintable(f.description()));
    }
    QCOMPARE(runTimes(store), QString()); // the next start tries again
    QStringList afterCopy = script.log.mid(3);
    if (!afterCopy.isEmpty() && afterCopy.first().startsWith(u"start"))
        afterCopy.removeFirst();
    QCOMPARE(afterCopy, tail);
}

// A store that cannot record the first run would install at every start:
// the start ends before anything is copied or run, naming the folder.
void TestInstaller::unwritableSettingsStopTheFirstRunBeforeInstalling()
{
    Script script;
    ScriptedFiles files(script);
    ScriptedRunner runner(script);
    LoggingStore store(script);
    store.failWrites = true;
    try {
        modSetting::RunFirstTimeSetup(store, {&files, &runner});
        QFAIL("the first run must fail");
    } catch (const Failure &f) {
        QVERIFY2(f.description().contains(store.location(QStringLiteral("Quenlor"))), qPrintable(f.description()));
    }
    QCOMPARE(script.log, QStringList());
}

void TestInstaller::installerSuccessStatuses_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("success");
    QTest::newRow("0") << 0 << true;
    QTest::newRow("1641 restart started") << 1641 << true;
    QTest::newRow("3010 restart needed") << 3010 << true;
    QTest::newRow("1") << 1 << false;
    QTest::newRow("1620") << 1620 << false;
}

void TestInstaller::installerSuccessStatuses()
{
    QFETCH(int, status);
    QFETCH(bool, success);
    Script script;
    script.installerStatus = status;
    ScriptedFiles files(script);
    ScriptedRunner runner(script);
    LoggingStore store(script);
    bool failed = false;
    try {
        modSetting::RunFirstTimeSetup(store, {&files, &runner});
    } catch (const Failure &f) {
        failed = true;
        QVERIFY(f.description().contains(QString::number(status)));
    }
    QCOMPARE(!failed, success);
    QCOMPARE(runTimes(store), success ? QStringLiteral("1") : QString());
}

void TestInstaller::markerDecidesWhetherToInstall_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("installs");
    QTest::addColumn<bool>("fails");
    QTest::newRow("absent") << QString() << true << false;
    QTest::newRow("0.0 installs again") << "0.0" << true << false;
    QTest::newRow("1") << "1" << false << false;
    QTest::newRow("2 does not") << "2" << false << false;
    QTest::newRow("letters end the start") << "abc" << false << true;
}

void TestInstaller::markerDecidesWhetherToInstall()
{
    QFETCH(QString, stored);
    QFETCH(bool, installs);
    QFETCH(bool, fails);
    Script script;
    ScriptedFiles files(script);
    ScriptedRunner runner(script);
    LoggingStore store(script);
    if (!stored.isNull())
        store.values.insert("Quenlor/Sayrella/RunTimes", stored);
    try {
        modSetting::RunFirstTimeSetup(store, {&files, &runner});
        QVERIFY(!fails);
    } catch (const Failure &f) {
        QVERIFY(fails);
        QVERIFY(f.description().contains("RunTimes"));
    }
    QCOMPARE(script.log.contains("wait"), installs);
    if (!installs)
        QCOMPARE(script.log, QStringList());
}

void TestInstaller::progressWindowLayout()
{
    Script script;
    ScriptedFiles files(script);
    ScriptedRunner runner(script);
    SetupObj window({&files, &runner});
    QCOMPARE(window.size(), QSize(319, 60));
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    auto *label = window.findChild<QLabel *>("Label1");
    auto *caption = window.findChild<QLabel *>("objCap");
    QCOMPARE(label->text(), QStringLiteral("正在初始化"));
    QCOMPARE(caption->text(), QStringLiteral("普通话语音包"));
    QCOMPARE(label->pos(), QPoint(48, 24));
    QCOMPARE(caption->pos(), QPoint(128, 24));
    QCOMPARE(label->font().family(), QStringLiteral("宋体"));
    QCOMPARE(label->font().pointSizeF(), 10.5);
    QVERIFY(!label->font().bold());
    QVERIFY(caption->font().bold());
    // On one line, side by side.
    QVERIFY(label->geometry().right() < caption->geometry().left());
    QVERIFY(window.findChildren<QAbstractButton *>().isEmpty());
}

void TestInstaller::realInstallerOnTheRealPackage()
{
    QTemporaryDir root;
    const QString home = root.filePath(QStringLiteral("user with blanks"));
    const QString packageCopy = root.filePath(QStringLiteral("temp folder/msc.msi"));
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("temp folder"))));
    QVERIFY(QFile::copy(packageFile(), packageCopy));
    QProcess installer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    installer.setProcessEnvironment(environment);
    installer.start(installerProgram(), {"/package", packageCopy, "/quiet"});
    QVERIFY(installer.waitForFinished(30000));
    QCOMPARE(installer.exitCode(), 0);
    QCOMPARE(installer.readAllStandardOutput(), QByteArray()); // quiet
    const QString voices = home + QStringLiteral("/data/sayrella/voices");
    const QList<SpObjectToken> installed = VoiceCatalog::userVoices(voices);
    QCOMPARE(installed.size(), 1);
    QVERIFY(installed[0].GetDescription(0).startsWith(QStringLiteral("普通话")));
    QCOMPARE(installed[0].language(), QStringLiteral("cmn"));

    // Not quiet: it says what it does. Twice is the same as once.
    installer.start(installerProgram(), {"/i", packageCopy});
    QVERIFY(installer.waitForFinished(30000));
    QCOMPARE(installer.exitCode(), 0);
    QVERIFY(installer.readAllStandardOutput().contains("cmn-sayrella"));
    QCOMPARE(treeOf(voices), QStringList{"/cmn-sayrella"});
}

void TestInstaller::packageRoundTrip()
{
    VoicePackage::Package package{QStringLiteral("2.1"), {{"a-voice", "name A\n"}, {"b.voice", QByteArray(5000, 'x')}}};
    VoicePackage::Package back;
    QString reason;
    QVERIFY2(VoicePackage::read(VoicePackage::write(package), &back, &reason), qPrintable(reason));
    QCOMPARE(back.version, QStringLiteral("2.1"));
    QCOMPARE(back.entries.size(), 2);
    QCOMPARE(back.entries[1].data, QByteArray(5000, 'x'));
}

void TestInstaller::hostilePackages_data()
{
    QTest::addColumn<QByteArray>("bytes"); // "<missing>": no file at all
    QTest::addColumn<int>("code");
    QFile real(packageFile());
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QByteArray good = real.readAll();
    QByteArray corrupted = good;
    corrupted[corrupted.size() - 3] = corrupted[corrupted.size() - 3] ^ 0x20;
    QTest::newRow("missing") << QByteArray("<missing>") << 1619;
    QTest::newRow("empty") << QByteArray() << 1620;
    QTest::newRow("truncated") << good.left(good.size() - 10) << 1620;
    QTest::newRow("header only") << good.left(good.indexOf("end\n") + 4) << 1620;
    QTest::newRow("corrupted") << corrupted << 1620;
    QTest::newRow("stray bytes") << good + "x" << 1620;
    QTest::newRow("not a package") << QByteArray("MZ\x90\0 binary junk", 16) << 1620;
    QTest::newRow("parent folder") << packageWithHeader("../evil", "x") << 1620;
    QTest::newRow("hidden parent") << packageWithHeader("a..b", "x") << 1620;
    QTest::newRow("absolute path") << packageWithHeader("/tmp/evil", "x") << 1620;
    QTest::newRow("sub folder") << packageWithHeader("sub/evil", "x") << 1620;
    QTest::newRow("absurd size") << packageWithHeader("big", "x", "99999999999999") << 1620;
    QTest::newRow("negative size") << packageWithHeader("neg", "x", "-5") << 1620;
    QTest::newRow("size with a plus sign") << packageWithHeader("plus", "x", "+1") << 1620;
    QTest::newRow("size in hex") << packageWithHeader("hex", "x", "0x1") << 1620;
    QTest::newRow("good") << good << 0;
}

void TestInstaller::hostilePackages()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);
    QTemporaryDir root;
    const QString package = root.filePath(QStringLiteral("pkg/msc.msi"));
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("pkg"))));
    if (bytes != "<missing>") {
        QFile file(package);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const QString voices = root.filePath(QStringLiteral("data/sayrella/voices"));
    const QStringList before = treeOf(root.path());
    char *errText = nullptr;
    size_t errSize = 0;
    FILE *err = open_memstream(&errText, &errSize);
    const int result = PackageInstall::install(package, voices, true, stdout, err);
    std::fclose(err);
    const QString message = QString::fromLocal8Bit(errText, qsizetype(errSize));
    std::free(errText);
    QCOMPARE(result, code);
    if (code == 0) {
        QCOMPARE(treeOf(voices), QStringList{"/cmn-sayrella"});
        return;
    }
    QVERIFY(message.startsWith(QStringLiteral("msiexec: ")));
    // Nothing half-installed and nothing written anywhere else.
    QCOMPARE(treeOf(root.path()), before);
}

void TestInstaller::linksInTheVoiceFolderAreReplacedNotFollowed()
{
    QTemporaryDir root;
    const QString voices = root.filePath(QStringLiteral("voices"));
    QVERIFY(QDir().mkpath(voices));
    const QString outside = root.filePath(QStringLiteral("precious"));
    QFile precious(outside);
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.write("keep me");
    precious.close();
    QVERIFY(QFile::link(outside, voices + QStringLiteral("/cmn-sayrella")));
    QCOMPARE(PackageInstall::install(packageFile(), voices, true, stdout, stderr), 0);
    QVERIFY(!QFileInfo(voices + QStringLiteral("/cmn-sayrella")).isSymLink());
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("keep me"));
}

void TestInstaller::linkedFoldersAreFollowedAndNothingIsWrittenElsewhere_data()
{
    QTest::addColumn<QString>("linked"); // which folder of data/sayrella/voices is a link to elsewhere/
    QTest::newRow("data folder") << "data/sayrella";
    QTest::newRow("voice folder") << "data/sayrella/voices";
}

// A person may keep the folder on another disk through a link: the voices
// land where the link points, and nowhere else.
void TestInstaller::linkedFoldersAreFollowedAndNothingIsWrittenElsewhere()
{
    QFETCH(QString, linked);
    QTemporaryDir root;
    const QString real = root.filePath(QStringLiteral("elsewhere/real"));
    QVERIFY(QDir().mkpath(real));
    QVERIFY(QDir().mkpath(QFileInfo(root.filePath(linked)).path()));
    QVERIFY(QFile::link(real, root.filePath(linked)));
    const QStringList before = treeOf(root.path());
    QCOMPARE(PackageInstall::install(packageFile(), root.filePath(QStringLiteral("data/sayrella/voices")), true, stdout,
                                     stderr),
             0);
    const QString voices = linked.endsWith(u"voices") ? real : real + QStringLiteral("/voices");
    QCOMPARE(treeOf(voices), QStringList{"/cmn-sayrella"});
    // Everything new is inside the real voice folder (the staging folder beside it is gone).
    QStringList added = treeOf(root.path());
    for (const QString &old : before)
        added.removeOne(old);
    const QString inside = voices.mid(root.path().size());
    for (const QString &path : std::as_const(added))
        QVERIFY2(path == inside || path.startsWith(inside + u'/'), qPrintable(path));
}

void TestInstaller::aFolderOfThePersonsOwnIsNeverTaken()
{
    QTemporaryDir root;
    const QString voices = root.filePath(QStringLiteral("voices"));
    QVERIFY(QDir().mkpath(voices + QStringLiteral("/cmn-sayrella")));
    QFile mine(voices + QStringLiteral("/cmn-sayrella/notes.txt"));
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("mine");
    mine.close();
    char *errText = nullptr;
    size_t errSize = 0;
    FILE *err = open_memstream(&errText, &errSize);
    QCOMPARE(PackageInstall::install(packageFile(), voices, true, stdout, err), 1603);
    std::fclose(err);
    QVERIFY(QString::fromLocal8Bit(errText, qsizetype(errSize)).contains(voices + QStringLiteral("/cmn-sayrella")));
    std::free(errText);
    QCOMPARE(treeOf(root.path()), (QStringList{"/voices", "/voices/cmn-sayrella", "/voices/cmn-sayrella/notes.txt"}));
}

// An installer killed while it writes leaves its staging folder; the next
// installation removes it, and only folders of that naming.
void TestInstaller::stagingLeftByAKilledInstallerIsRemoved()
{
    QTemporaryDir root;
    VoicePackage::Package big{QStringLiteral("1.0.0"), {}};
    for (int i = 0; i < VoicePackage::MaxEntries; ++i)
        big.entries.append(
            {QStringLiteral("voice-%1").arg(i), QByteArray(VoicePackage::MaxEntrySize, char('a' + i % 26))});
    QFile package(root.filePath(QStringLiteral("big.msi")));
    QVERIFY(package.open(QIODevice::WriteOnly));
    package.write(VoicePackage::write(big));
    package.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
    const QDir sayrella(root.filePath(QStringLiteral("data/sayrella")));
    const auto staging = [&] {
        return sayrella.entryList({QStringLiteral(".voices-staging-*")}, QDir::Dirs | QDir::Hidden);
    };
    for (int attempt = 0; attempt < 20 && staging().isEmpty(); ++attempt) {
        QProcess installer;
        installer.setProcessEnvironment(environment);
        installer.start(installerProgram(), {"/package", package.fileName(), "/quiet"});
        QVERIFY(installer.waitForStarted());
        // Killed the moment its staging folder has something in it.
        while (installer.state() == QProcess::Running) {
            const QStringList folders = staging();
            if (!folders.isEmpty() && !QDir(sayrella.filePath(folders.first())).isEmpty()) {
                installer.kill();
                break;
            }
        }
        installer.waitForFinished();
    }
    QVERIFY2(!staging().isEmpty(), "no installer was caught mid-write in 20 tries");
    QVERIFY(QDir().mkpath(sayrella.filePath(QStringLiteral(".voices-staging-of-someone-else"))));
    QCOMPARE(PackageInstall::install(packageFile(), sayrella.filePath(QStringLiteral("voices")), true, stdout, stderr),
             0);
    QCOMPARE(staging(), QStringList{".voices-staging-of-someone-else"});
}

void TestInstaller::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::newRow("nothing") << QStringList{} << 1639;
    QTest::newRow("no file") << QStringList{"/package"} << 1639;
    QTest::newRow("unknown option") << QStringList{"/x", "f"} << 1639;
    QTest::newRow("two packages") << QStringList{"/package", "a", "/i", "b"} << 1639;
    QTest::newRow("missing package") << QStringList{"/quiet", "/PACKAGE", "/nonexistent/msc.msi"} << 1619;
}

void TestInstaller::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QTemporaryDir root;
    QCOMPARE(PackageInstall::run(arguments, root.path(), stdout, stderr), code);
    // As a process, the status is what the system can carry: its low eight bits.
    QProcess installer;
    installer.start(installerProgram(), arguments);
    QVERIFY(installer.waitForFinished(30000));
    QCOMPARE(installer.exitCode(), code & 0xff);
    QVERIFY(!installer.readAllStandardError().isEmpty());
}

void TestInstaller::localFilesCopyAndDeleteAsTheStepsNeed()
{
    LocalFileSystem files;
    QCOMPARE(files.GetSpecialFolder(FileSystem::TemporaryFolder), QDir::tempPath());
    // The program folder is where the voice package is, the system folder
    // where the installer stand-in is, from wherever the program runs.
    QVERIFY(QFileInfo::exists(files.ProgramFolder() + QStringLiteral("/msc")));
    QVERIFY(QFileInfo(files.GetSpecialFolder(FileSystem::SystemFolder) + QStringLiteral("/msiexec")).isExecutable());
    QVERIFY_THROWS_EXCEPTION(Failure, files.GetSpecialFolder(7));

    QTemporaryDir root;
    const QString source = root.filePath("msc"), copy = root.filePath("msc.msi");
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("new");
    file.close();
    QFile old(copy);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("left over from an earlier attempt");
    old.close();
    files.CopyFile(source, copy, true); // overwrites
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("new"));
    old.close();
    QVERIFY_THROWS_EXCEPTION(Failure, files.CopyFile(root.filePath("absent"), copy, true));

    // A read-only copy is neither replaced nor deleted without force.
    QFile::setPermissions(copy, QFile::ReadOwner);
    QVERIFY_THROWS_EXCEPTION(Failure, files.CopyFile(source, copy, true));
    QVERIFY_THROWS_EXCEPTION(Failure, files.DeleteFile(copy, false));
    QVERIFY(QFile::exists(copy));
    files.DeleteFile(copy, true);
    QVERIFY(!QFile::exists(copy));
    QVERIFY_THROWS_EXCEPTION(Failure, files.DeleteFile(copy, false));
    QCOMPARE(treeOf(root.path()), QStringList{"/msc"});
}

void TestInstaller::localProcessesStartWaitAndFail()
{
    LocalProcessRunner runner;
    QCOMPARE(runner.Start("/bin/sh", {"-c", "exit 67"}, 4)->Wait(), 67);
    // Each argument arrives whole: no shell splits or runs anything in it.
    QTemporaryDir root;
    const QString odd = root.filePath("a b; touch pwned");
    QCOMPARE(runner.Start("/bin/sh", {"-c", "test \"$1\" = \"$2\"", "sh", odd, odd}, 4)->Wait(), 0);
    QVERIFY(!QFile::exists(root.filePath("pwned")));
    QVERIFY_THROWS_EXCEPTION(Failure, runner.Start(root.filePath("no such program"), {}, 4));
    QVERIFY_THROWS_EXCEPTION(Failure, runner.Start("/bin/sh", {"-c", "kill -9 $$"}, 4)->Wait());
}

QTEST_MAIN(TestInstaller)
#include "tst_installer.moc"
