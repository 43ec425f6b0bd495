// SPDX-License-Identifier: GPL-3.0-or-later
// The reader window's documents: opening (where it was left), saving as speech.
#include "reader/ReaderTextBox.h"
#include "export/ParallelSynthesis.h"
#include "support/ReaderFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>

#include <sys/mount.h>
#include <unistd.h>

class TestReaderDocuments : public QObject
{
    Q_OBJECT

private slots:
    void documentOpensWhereItWasLeft();
    void documentsOpenFromTheWindow();
    void speechIsSavedFromTheWindow();
    void windowClosedWhileSavingLeavesNothing();
    void chaptersAreSavedAFileEach();
    void fullDiskEndsTheSaveNotTheWindow();
};

// Ctrl+O anywhere in the window, and the first entry of the text area's
// menu, open a document whose text then replaces the text (Ctrl+Z takes it
// back); one that cannot be read is reported and changes nothing.
// A document opened again opens at the last word heard in it, and Speak
// goes on from that sentence; it leads the recent documents.
void TestReaderDocuments::documentOpensWhereItWasLeft()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("一.txt")), second = dir.filePath(QStringLiteral("二.txt"));
    for (const QString &path : {first, second}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("第一句话。第二句话。第三句话。").toUtf8());
    }
    QString chosen;
    ReaderOptions options;
    options.chooseDocument = [&] { return chosen; };
    Reader reader(options);
    const auto open = [&](const QString &path) {
        chosen = path;
        QTest::keyClick(reader.control<QPushButton>("cmdSpeak"), Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY(!reader.window->openingDocument());
    };
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowActive(reader.window.get()));
    open(first);
    reader.click("cmdSpeak");
    reader.fake->raiseWord(5, 2); // 第二
    reader.click("cmdStop");
    open(second);
    QCOMPARE(textArea(reader)->textCursor().position(), 0); // never read: from the start
    open(first);
    QCOMPARE(textArea(reader)->textCursor().position(), 5);
    reader.click("cmdSpeak");
    QCOMPARE(reader.fake->lastText, QStringLiteral("第二句话。第三句话。"));
    // A document changed since gives no place.
    QFile changed(first);
    QVERIFY(changed.open(QIODevice::WriteOnly));
    changed.write(QStringLiteral("新的文字。第二句话。").toUtf8());
    changed.close();
    open(second);
    open(first);
    QCOMPARE(textArea(reader)->textCursor().position(), 0);
}

void TestReaderDocuments::documentsOpenFromTheWindow()
{
    QTemporaryDir dir;
    QFile story(dir.filePath(QStringLiteral("故事.txt")));
    QVERIFY(story.open(QIODevice::WriteOnly));
    story.write(QStringLiteral("从前有座山。").toUtf8());
    story.close();
    QString chosen;
    int asked = 0;
    ReaderOptions options;
    options.chooseDocument = [&] {
        ++asked;
        return chosen;
    };
    Reader reader(options);
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowActive(reader.window.get()));
    const QString sample = textArea(reader)->toPlainText();

    chosen = story.fileName();
    QTest::keyClick(reader.control<QPushButton>("cmdSpeak"), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(asked, 1);
    QTRY_VERIFY(!reader.window->openingDocument());
    QCOMPARE(textArea(reader)->toPlainText(), QStringLiteral("从前有座山。"));
    QVERIFY(reader.messages.messages.isEmpty());
    textArea(reader)->setFocus();
    QTest::keyClick(textArea(reader), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(textArea(reader)->toPlainText(), sample);

    chosen = dir.filePath(QStringLiteral("没有这个文件.txt"));
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("打开文件…"));
        QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("保存为音频文件…"));
        QVERIFY(menu->actions().size() > 3); // Qt's own entries follow
        menu->actions().first()->trigger();
        menu->close();
    });
    QContextMenuEvent context(QContextMenuEvent::Mouse, QPoint(20, 20),
                              textArea(reader)->viewport()->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(textArea(reader)->viewport(), &context);
    QCOMPARE(asked, 2);
    QTRY_VERIFY(!reader.window->openingDocument());
    QCOMPARE(reader.messages.messages.size(), 1);
    QVERIFY(reader.messages.messages[0].contains(chosen));
    QVERIFY(reader.messages.messages[0].contains(QStringLiteral("不存在")));
    QCOMPARE(textArea(reader)->toPlainText(), sample);

    chosen.clear(); // cancelled: nothing happens
    reader.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(reader.window.get()));
    textArea(reader)->setFocus();
    QTRY_VERIFY(textArea(reader)->hasFocus());
    QTest::keyClick(textArea(reader), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(asked, 3);
    QVERIFY(!reader.window->openingDocument());
}

// Ctrl+S saves the whole text with the rate and volume of the sliders, in a
// helper of its own (no sound device is used), and leaves the text alone.
void TestReaderDocuments::speechIsSavedFromTheWindow()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("朗读.wav"));
    int asked = 0;
    ReaderOptions options;
    options.savedChoice = "-1";
    options.chooseExport = [&] {
        ++asked;
        return std::optional<ExportDialog::Choice>({target, true});
    };
    Reader reader(options);
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowActive(reader.window.get()));
    textArea(reader)->setPlainText(QStringLiteral("今天天气很好。我们去公园散步吧！"));
    QTest::keyClick(reader.control<QPushButton>("cmdSpeak"), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(asked, 1);
    QVERIFY(reader.window->exporting());
    QVERIFY(reader.window->findChild<QProgressDialog *>("exportProgress"));
    QTRY_VERIFY_WITH_TIMEOUT(!reader.window->exporting(), 30000);
    QVERIFY2(reader.messages.messages.isEmpty(), qPrintable(reader.messages.messages.join(u'|')));
    QVERIFY(QFileInfo(target).size() > 10000);
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("朗读.lrc"))));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("朗读.srt"))));
    QCOMPARE(textArea(reader)->toPlainText(), QStringLiteral("今天天气很好。我们去公园散步吧！"));
}

// With a file per chapter chosen, the chapter lines of the text as it stands
// name and cut the files.
void TestReaderDocuments::chaptersAreSavedAFileEach()
{
    QTemporaryDir dir;
    ReaderOptions options;
    options.savedChoice = "-1";
    options.chooseExport = [&] {
        return std::optional<ExportDialog::Choice>({dir.filePath(QStringLiteral("朗读.ogg")), false, true});
    };
    Reader reader(options);
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    textArea(reader)->setPlainText(QStringLiteral("第一章 春\n柳树发芽了。\n第二章 夏\n雨来了。"));
    reader.window->SaveAsAudio();
    QTRY_VERIFY_WITH_TIMEOUT(!reader.window->exporting(), 30000);
    QVERIFY2(reader.messages.messages.isEmpty(), qPrintable(reader.messages.messages.join(u'|')));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{"朗读 01 第一章 春.ogg", "朗读 02 第二章 夏.ogg", "朗读.m3u8"}));
}

// The window goes while a long save is under way: the save is abandoned and
// waited for, and no file, finished or partial, is left.
void TestReaderDocuments::windowClosedWhileSavingLeavesNothing()
{
    QTemporaryDir dir;
    ReaderOptions options;
    options.savedChoice = "-1";
    options.chooseExport = [&] {
        return std::optional<ExportDialog::Choice>({dir.filePath(QStringLiteral("长文.flac")), true});
    };
    Reader reader(options);
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    textArea(reader)->setPlainText(QStringLiteral("今天天气很好，我们一起去公园散步。").repeated(2000));
    reader.window->SaveAsAudio();
    QVERIFY(reader.window->exporting());
    QTest::qWait(300);
    reader.window.reset();
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_MAIN(TestReaderDocuments)
#include "tst_readerdocuments.moc"

// The disk fills up in the middle of a save made as the program makes it
// (several helpers at once): the window says why, keeps its text and goes
// on; the next save there fails the same way, and neither leaves a file.
void TestReaderDocuments::fullDiskEndsTheSaveNotTheWindow()
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    if (geteuid() != 0 || mount("tmpfs", folder.constData(), "tmpfs", 0, "size=300k") != 0)
        QSKIP("no tmpfs can be mounted here");
    struct Unmount
    {
        QByteArray path;
        ~Unmount() { umount(path.constData()); }
    } unmount{folder};
    ReaderOptions options;
    options.savedChoice = "-1";
    options.chooseExport = [&] { return std::optional<ExportDialog::Choice>({dir.filePath(QStringLiteral("满.wav")), true}); };
    options.synthesis = [] {
        return std::make_unique<ParallelSynthesis>([] { return std::make_unique<FakeSynthesis>(); }, 2, 50);
    };
    Reader reader(options);
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    const QString text = QStringLiteral("今天天气很好，我们一起去公园散步。").repeated(100);
    textArea(reader)->setPlainText(text);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        reader.window->SaveAsAudio();
        QTRY_VERIFY_WITH_TIMEOUT(!reader.window->exporting(), 30000);
        QCOMPARE(reader.messages.messages.size(), attempt);
        QVERIFY2(reader.messages.messages.last().contains(QStringLiteral("磁盘已满")),
                 qPrintable(reader.messages.messages.last()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
        QCOMPARE(textArea(reader)->toPlainText(), text);
    }
}
