// SPDX-License-Identifier: GPL-3.0-or-later
// The About dialog and its system-information launcher over a fixture hive.
#include "about/frmAbout.h"
#include "platform/linux/HiveRegistry.h"
#include "platform/linux/LocalProcesses.h"
#include "support/RecordingLauncher.h"
#include "support/RecordingMessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

using namespace RegistryCodes;

namespace {

const QString PathKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString FolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");

struct About
{
    QTemporaryDir dir;
    std::unique_ptr<HiveRegistry> registry;
    RecordingLauncher launcher;
    LocalFileSearch files;
    RecordingMessageBox messages;
    std::unique_ptr<frmAbout> dialog;

    explicit About(const QByteArray &hive)
    {
        QFile file(dir.filePath(QStringLiteral("machine.reg")));
        if (file.open(QIODevice::WriteOnly))
            file.write(hive);
        file.close();
        registry = std::make_unique<HiveRegistry>(file.fileName());
        dialog = std::make_unique<frmAbout>(AboutServices{registry.get(), &launcher, &files, &messages});
        dialog->Form_Load();
    }

    QString tool(const QString &name)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("#!/bin/sh\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
};

const QByteArray Fixture = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Fixture]
"Plain"="abcdefgh"
"WithoutZero"=hex(1):61,62,63,64,65,66,67,68
"Chinese"="系统信息"
"Number"=dword:00000005
"Big"=dword:12345678
"Empty"=hex(1):
"Expand"=hex(2):25,48,4f,4d,45,25,2f,62,69,6e,00
"Binary"=hex:01,02,03
"Long"="LONG"
)";

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void getKeyValue_data();
    void getKeyValue();
    void valuesLongerThanTheBufferAreNotRead();
    void keysOpenForReadingOnly();

    void firstValueIsStartedWithoutLookingFurther();
    void folderValueIsUsedWhenTheFirstIsAbsent();
    void folderWithoutTheToolSaysUnavailable();
    void nothingConfiguredSaysUnavailable();
    void missingProgramSaysUnavailable();
    void hugeHiveIsNotRead();

    void dialogShowsTitleAndVersion();
    void keysAndFocus();
    void layout();
    void readableInAnyTheme_data();
    void readableInAnyTheme();
};

// value name -> (found, text); "<keep>" means KeyVal is left as it came in
void TestAbout::getKeyValue_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text");
    const QString fixture = QStringLiteral("SOFTWARE\\Fixture");
    QTest::newRow("string") << fixture << "Plain" << true << "abcdefgh";
    QTest::newRow("value names ignore case") << fixture << "plain" << true << "abcdefgh";
    QTest::newRow("without its terminator") << fixture << "WithoutZero" << true << "abcdefgh";
    QTest::newRow("double-byte text") << fixture << "Chinese" << true << "系统信息";
    QTest::newRow("32-bit 5") << fixture << "Number" << true << "5";
    QTest::newRow("32-bit 0x12345678") << fixture << "Big" << true << "305419896";
    QTest::newRow("no data") << fixture << "Empty" << true << "";
    QTest::newRow("expandable") << fixture << "Expand" << true << qEnvironmentVariable("HOME") + "/bin";
    QTest::newRow("another type") << fixture << "Binary" << true << "<keep>";
    QTest::newRow("missing value") << fixture << "Nothing" << false << "";
    QTest::newRow("missing key") << "SOFTWARE\\Nowhere"
                                 << "Plain" << false << "";
}

void TestAbout::getKeyValue()
{
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(bool, found);
    QFETCH(QString, text);
    About about(Fixture);
    QString value = QStringLiteral("held before");
    QCOMPARE(about.dialog->GetKeyValue(HKEY_LOCAL_MACHINE, key, name, value), found);
    QCOMPARE(value, text == u"<keep>" ? QStringLiteral("held before") : text);
    QVERIFY(!value.contains(QChar(0)));
}

void TestAbout::valuesLongerThanTheBufferAreNotRead()
{
    const QByteArray hive = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fixture]\n\"Fits\"=\"" + QByteArray(1023, 'a')
        + "\"\n\"TooLong\"=\"" + QByteArray(1024, 'b') + "\"\n";
    About about(hive);
    QString value;
    QVERIFY(about.dialog->GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fixture", "Fits", value));
    QCOMPARE(value.size(), 1023);
    QVERIFY(!about.dialog->GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fixture", "TooLong", value));
    QCOMPARE(value, QString());
}

void TestAbout::keysOpenForReadingOnly()
{
    About about(Fixture);
    HKEY key = 0;
    QCOMPARE(about.registry->RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fixture", 0, KEY_ALL_ACCESS, &key),
             ERROR_ACCESS_DENIED);
    QCOMPARE(about.registry->RegOpenKeyEx(HKEY_LOCAL_MACHINE, "software\\fixture", 0, KEY_READ, &key), ERROR_SUCCESS);
    QCOMPARE(about.registry->RegCloseKey(key), ERROR_SUCCESS);
    QCOMPARE(about.registry->RegCloseKey(key), ERROR_INVALID_HANDLE);
}

void TestAbout::firstValueIsStartedWithoutLookingFurther()
{
    // No existence test on this path: it is handed to the launcher as it is.
    About about("[HKEY_LOCAL_MACHINE\\" + PathKey.toUtf8() + "]\n\"PATH\"=\"/opt/tools/system info\"\n");
    about.dialog->StartSysInfo();
    QCOMPARE(about.launcher.started, QStringList{"/opt/tools/system info"});
    QCOMPARE(about.launcher.styles, QList<int>{1});
    QVERIFY(about.messages.messages.isEmpty());
}

void TestAbout::folderValueIsUsedWhenTheFirstIsAbsent()
{
    About about("");
    about.tool(QStringLiteral("MSINFO32.EXE"));
    About withFolder("[HKEY_LOCAL_MACHINE\\" + FolderKey.toUtf8() + "]\n\"MSINFO\"=\"" + about.dir.path().toUtf8()
                     + "\"\n");
    withFolder.dialog->StartSysInfo();
    QCOMPARE(withFolder.launcher.started, QStringList{about.dir.filePath(QStringLiteral("MSINFO32.EXE"))});
    QVERIFY(withFolder.messages.messages.isEmpty());
}

void TestAbout::folderWithoutTheToolSaysUnavailable()
{
    QTemporaryDir empty;
    About about("[HKEY_LOCAL_MACHINE\\" + FolderKey.toUtf8() + "]\n\"MSINFO\"=\"" + empty.path().toUtf8() + "\"\n");
    about.dialog->StartSysInfo();
    QVERIFY(about.launcher.started.isEmpty());
    QCOMPARE(about.messages.messages, QStringList{"此时系统信息不可用"});
}

void TestAbout::nothingConfiguredSaysUnavailable()
{
    About about("");
    about.dialog->StartSysInfo();
    QVERIFY(about.launcher.started.isEmpty());
    QCOMPARE(about.messages.messages, QStringList{"此时系统信息不可用"});
}

// A hive too large to be the program's is not read at all (it used to cost
// seconds and gigabytes at every start): the tool is unavailable. Nothing is
// read before the About box asks.
void TestAbout::hugeHiveIsNotRead()
{
    About about("");
    const QString tool = about.tool(QStringLiteral("sysinfo"));
    QByteArray hive = "[HKEY_LOCAL_MACHINE\\" + PathKey.toUtf8() + "]\n\"PATH\"=\"" + tool.toUtf8() + "\"\n";
    QFile file(about.dir.filePath(QStringLiteral("huge.reg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(hive);
    file.write("; padding\n" + QByteArray(HiveRegistry::MaxHiveBytes, ';') + "\n");
    file.close();
    HiveRegistry huge(file.fileName());
    frmAbout dialog(AboutServices{&huge, &about.launcher, &about.files, &about.messages});
    dialog.StartSysInfo();
    QVERIFY(about.launcher.started.isEmpty());
    QCOMPARE(about.messages.messages, QStringList{"此时系统信息不可用"});

    // The same hive within the bound, written only after the registry was made: it is read when asked.
    QFile small(about.dir.filePath(QStringLiteral("later.reg")));
    HiveRegistry later(small.fileName());
    QVERIFY(small.open(QIODevice::WriteOnly));
    small.write(hive);
    small.close();
    frmAbout again(AboutServices{&later, &about.launcher, &about.files, &about.messages});
    again.StartSysInfo();
    QCOMPARE(about.launcher.started.size(), 1);
}

void TestAbout::missingProgramSaysUnavailable()
{
    About about("[HKEY_LOCAL_MACHINE\\" + PathKey.toUtf8() + "]\n\"PATH\"=\"/nonexistent/hardinfo\"\n");
    DetachedProcessLauncher real;
    frmAbout dialog(AboutServices{about.registry.get(), &real, &about.files, &about.messages});
    dialog.StartSysInfo();
    QCOMPARE(about.messages.messages, QStringList{"此时系统信息不可用"});
    // And the dialog stays open and unchanged.
    QCOMPARE(dialog.result(), 0);
}

void TestAbout::dialogShowsTitleAndVersion()
{
    QCoreApplication::setApplicationName(QStringLiteral("Sayrella"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    for (int opening = 0; opening < 2; ++opening) {
        About about("");
        QCOMPARE(about.dialog->windowTitle(), QStringLiteral("关于 Sayrella"));
        QCOMPARE(about.dialog->findChild<QLabel *>("lblTitle")->text(), QStringLiteral("Sayrella"));
        QCOMPARE(about.dialog->findChild<QLabel *>("lblVersion")->text(), QStringLiteral("版本 1.0.0"));
    }
}

void TestAbout::keysAndFocus()
{
    About about("");
    about.dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(about.dialog.get()));
    QCOMPARE(QApplication::focusWidget(), about.dialog->findChild<QPushButton *>("cmdOK"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    // A mnemonic presses its button visibly: the click lands a moment later.
    QTRY_COMPARE(about.messages.messages, QStringList{"此时系统信息不可用"});
    QVERIFY(about.dialog->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!about.dialog->isVisible());

    About again("");
    again.dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(again.dialog.get()));
    again.dialog->findChild<QPushButton *>("cmdSysInfo")->setFocus();
    // Enter presses the focused button, as Space does: it starts the tool
    // and leaves the box open.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(again.messages.messages, QStringList{"此时系统信息不可用"});
    QVERIFY(again.dialog->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!again.dialog->isVisible());
}

void TestAbout::layout()
{
    About about("");
    QCOMPARE(about.dialog->size(), QSize(382, 237));
    QCOMPARE(about.dialog->findChild<QPushButton *>("cmdOK")->geometry(), QRect(275, 175, 100, 23));
    QCOMPARE(about.dialog->findChild<QPushButton *>("cmdOK")->text(), QStringLiteral("确定"));
    QCOMPARE(about.dialog->findChild<QPushButton *>("cmdSysInfo")->text(), QStringLiteral("系统信息(&S)..."));
    QCOMPARE(about.dialog->findChild<QLabel *>("lblDisclaimer")->text(), QStringLiteral("与我们合作："));
    QCOMPARE(about.dialog->findChild<QWidget *>("Line1_1")->geometry(), QRect(6, 163, 370, 1));
    QCOMPARE(about.dialog->findChild<QWidget *>("Line1_0")->geometry(), QRect(7, 164, 369, 2));
    for (const char *name : {"Label1", "Label2", "Label3", "Label4"})
        QVERIFY(!about.dialog->findChild<QLabel *>(name)->text().isEmpty());
    QVERIFY(!about.dialog->findChild<QLabel *>("picIcon")->pixmap().isNull());
}

QTEST_MAIN(TestAbout)
void TestAbout::readableInAnyTheme_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<int>("pointSize"); // 0: the default font
    QTest::newRow("light, default font") << false << 0;
    QTest::newRow("dark, default font") << true << 0;
    QTest::newRow("light, 16 pt") << false << 16;
    QTest::newRow("dark, 20 pt") << true << 20;
}

// Black text on a dark window could not be read; a large system font cut the
// labels' texts off.
void TestAbout::readableInAnyTheme()
{
    QFETCH(bool, dark);
    QFETCH(int, pointSize);
    const QPalette lightPalette = QApplication::palette();
    const QFont defaultFont = QApplication::font();
    QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    QPalette palette = fusion->standardPalette();
    if (dark) {
        palette.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
        palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        palette.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
        palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        palette.setColor(QPalette::Button, QColor(0x45, 0x45, 0x45));
        palette.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    }
    QApplication::setPalette(palette);
    if (pointSize > 0) {
        QFont big = defaultFont;
        big.setPointSize(pointSize);
        QApplication::setFont(big);
    }
    {
        About about(Fixture);
        about.dialog->show();
        const QColor background = about.dialog->palette().color(QPalette::Window);
        for (QLabel *label : about.dialog->findChildren<QLabel *>()) {
            if (label->text().isEmpty())
                continue;
            const QColor text = label->palette().color(QPalette::WindowText);
            QVERIFY2(contrastRatio(text, background) >= MinimumContrast, qPrintable(label->objectName()));
            const QFontMetrics metrics(label->font());
            const bool onOneLine = metrics.horizontalAdvance(label->text()) <= label->width();
            const bool wholeWhenWrapped = label->wordWrap() && label->heightForWidth(label->width()) <= label->height();
            QVERIFY2(onOneLine || wholeWhenWrapped, qPrintable(label->objectName() + u' ' + label->text()));
        }
        // The light default keeps the title black, as designed.
        if (!dark)
            QCOMPARE(about.dialog->findChild<QLabel *>(QStringLiteral("lblTitle"))->palette().color(QPalette::WindowText),
                     QColor(Qt::black));
    }
    QApplication::setPalette(lightPalette);
    QApplication::setFont(defaultFont);
    delete fusion;
}

#include "tst_about.moc"
