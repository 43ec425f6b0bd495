// SPDX-License-Identifier: GPL-3.0-or-later
// The reader window's text area: the word heard selected, Clear, drops, typing
// while speaking, reading from where the person is.
#include "reader/ReaderTextBox.h"
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

class TestReaderText : public QObject
{
    Q_OBJECT

private slots:
    void spokenWordIsSelected_data();
    void spokenWordIsSelected();
    void clearWhileSpeakingEmptiesAndSelectsNothing();
    void droppedTextReplacesEverything();
    void dropsWithoutTextChangeNothing_data();
    void dropsWithoutTextChangeNothing();
    void dropsAreCopiesAndCanBeUndone();
    void clearCanBeUndone();
    void typingWhileSpeakingKeepsTheText();
    void speakStartsWhereThePersonIs_data();
    void speakStartsWhereThePersonIs();
    void wordsFollowEditsAndNeverPointIntoOtherText_data();
    void wordsFollowEditsAndNeverPointIntoOtherText();
    void selectionStaysVisibleWithoutFocus();
    void spokenWordIsScrolledIntoView();
};

// text, then the word the engine reports (position, length) -> the selected text ("": nothing new selected)
void TestReaderText::spokenWordIsSelected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("changed");
    QTest::newRow("start") << "abcdef ghi" << 0 << 3 << "abc" << true;
    QTest::newRow("middle") << "abcdef ghi" << 7 << 3 << "ghi" << true;
    QTest::newRow("at the end") << "abcdef ghi" << 10 << 0 << "" << true;
    QTest::newRow("runs past the end") << "abcdef ghi" << 8 << 9 << "hi" << true;
    QTest::newRow("past the end") << "abcdef ghi" << 11 << 1 << "" << false;
    QTest::newRow("negative") << "abcdef ghi" << -1 << 2 << "" << false;
    QTest::newRow("emoji") << QString::fromUtf8("我😀你") << 1 << 2 << QString::fromUtf8("😀") << true;
    QTest::newRow("after an emoji") << QString::fromUtf8("我😀你") << 3 << 1 << "你" << true;
    QTest::newRow("second line") << "第一行\n第二行" << 4 << 2 << "第二" << true;
}

void TestReaderText::spokenWordIsSelected()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, length);
    QFETCH(QString, selected);
    QFETCH(bool, changed);
    Reader reader;
    textArea(reader)->setPlainText(text);
    reader.click("cmdSpeak");
    // A selection from before, which a word outside the text must leave alone.
    QTextCursor before(textArea(reader)->document());
    before.setPosition(1);
    before.setPosition(2, QTextCursor::KeepAnchor);
    textArea(reader)->setTextCursor(before);
    reader.fake->raiseWord(position, length);
    const QTextCursor cursor = textArea(reader)->textCursor();
    if (changed) {
        QCOMPARE(cursor.selectionStart(), position);
        QCOMPARE(cursor.selectedText(), selected);
    } else {
        QCOMPARE(cursor.selectionStart(), 1);
        QCOMPARE(cursor.selectionEnd(), 2);
    }
    QVERIFY(reader.messages.messages.isEmpty());
    QCOMPARE(textArea(reader)->toPlainText(), text);
}

void TestReaderText::clearWhileSpeakingEmptiesAndSelectsNothing()
{
    Reader reader;
    reader.click("cmdSpeak");
    reader.forget();
    reader.click("Command1");
    QCOMPARE(textArea(reader)->toPlainText(), QString());
    QCOMPARE(reader.calls(), QStringList()); // speech goes on: no Stop, no purge
    reader.fake->raiseWord(120, 2);
    QVERIFY(!textArea(reader)->textCursor().hasSelection());
    QVERIFY(reader.messages.messages.isEmpty());
    QVERIFY(!reader.window->speaking());
    QCOMPARE(reader.pauseCaption(), QStringLiteral("Pause"));
}

void TestReaderText::droppedTextReplacesEverything()
{
    Reader reader;
    reader.click("cmdSpeak");
    reader.forget();
    auto *data = new QMimeData;
    data->setText(QStringLiteral("新的文字"));
    drop(textArea(reader)->viewport(), data);
    QCOMPARE(textArea(reader)->toPlainText(), QStringLiteral("新的文字"));
    QCOMPARE(reader.calls(), QStringList()); // speech of the old text goes on
    reader.fake->raiseWord(2, 2); // and selects nothing of the new one
    QCOMPARE(textArea(reader)->textCursor().selectedText(), QString());
    delete data;
}

void TestReaderText::dropsWithoutTextChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("files") << "files";
    QTest::newRow("image") << "image";
    // On X11 a list of files or links also answers as text: their addresses.
    QTest::newRow("file with its address as text") << "file+text";
    QTest::newRow("web link with its address as text") << "link+text";
}

void TestReaderText::dropsWithoutTextChangeNothing()
{
    QFETCH(QString, kind);
    Reader reader;
    const QString before = textArea(reader)->toPlainText();
    auto *data = new QMimeData;
    if (kind.startsWith(u"file"))
        data->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt"))});
    else if (kind.startsWith(u"link"))
        data->setUrls({QUrl(QStringLiteral("http://example.org/page"))});
    else
        data->setData(QStringLiteral("image/png"), QByteArray("\x89PNG", 4));
    if (kind.endsWith(u"+text"))
        data->setText(data->urls().first().toString());
    drop(textArea(reader)->viewport(), data);
    QCOMPARE(textArea(reader)->toPlainText(), before);
    QVERIFY(reader.messages.messages.isEmpty());
    delete data;
}

// A drop takes a copy (the program it came from keeps its text), and is an
// edit like typing: Ctrl+Z brings the text from before back.
void TestReaderText::dropsAreCopiesAndCanBeUndone()
{
    Reader reader;
    const QString before = textArea(reader)->toPlainText();
    QMimeData data;
    data.setText(QStringLiteral("拖进来的一句话"));
    QWidget *target = textArea(reader)->viewport();
    // Offered a move only, the reader refuses: accepting would cut the text
    // out of the program it came from.
    QDragEnterEvent moveOnly(QPoint(20, 20), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &moveOnly);
    QVERIFY(!moveOnly.isAccepted());
    for (int drop = 0; drop < 2; ++drop) {
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(QPoint(20, 20), offered, &data, Qt::LeftButton, Qt::NoModifier);
        enter.setDropAction(Qt::MoveAction); // what a source editor proposes
        QCoreApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDropEvent dropped(QPoint(20, 20), offered, &data, Qt::LeftButton, Qt::NoModifier);
        dropped.setDropAction(Qt::MoveAction);
        QCoreApplication::sendEvent(target, &dropped);
        QVERIFY(dropped.isAccepted());
        QCOMPARE(dropped.dropAction(), Qt::CopyAction);
    }
    QCOMPARE(textArea(reader)->toPlainText(), QStringLiteral("拖进来的一句话"));
    textArea(reader)->setFocus();
    QTest::keyClick(textArea(reader), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(textArea(reader)->toPlainText(), QStringLiteral("拖进来的一句话")); // the second drop, one step
    QTest::keyClick(textArea(reader), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(textArea(reader)->toPlainText(), before);
}

void TestReaderText::clearCanBeUndone()
{
    Reader reader;
    const QString before = textArea(reader)->toPlainText();
    reader.click("Command1");
    QCOMPARE(textArea(reader)->toPlainText(), QString());
    QTest::keyClick(textArea(reader), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(textArea(reader)->toPlainText(), before);
    QTest::keyClick(textArea(reader), Qt::Key_Z, Qt::ControlModifier); // nothing before the sample text
    QCOMPARE(textArea(reader)->toPlainText(), before);
}

// A person typing in the text while it is read keeps what they type, their
// cursor and their selection; the word is still marked where it is heard.
void TestReaderText::typingWhileSpeakingKeepsTheText()
{
    Reader reader;
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowActive(reader.window.get()));
    QPlainTextEdit *text = textArea(reader);
    text->setPlainText(QStringLiteral("一二三四五六七八"));
    reader.click("cmdSpeak");
    text->setFocus();
    QTextCursor cursor(text->document());
    cursor.setPosition(1);
    text->setTextCursor(cursor);
    int expected = 1;
    const QString read = text->toPlainText();
    for (int word = 1, typed = 0; word < 7; word += 2, expected += 2, ++typed) {
        reader.fake->raiseWord(word, 1);
        QCOMPARE(text->textCursor().position(), expected);
        QVERIFY(!text->textCursor().hasSelection());
        // The word heard is marked where it is now, after what was typed.
        const QList<QTextEdit::ExtraSelection> marks = text->extraSelections();
        QCOMPARE(marks.size(), 1);
        QCOMPARE(marks[0].cursor.selectionStart(), word + typed);
        QCOMPARE(marks[0].cursor.selectedText(), read.mid(word, 1));
        QTest::keyClick(text, Qt::Key_Right);
        QTest::keyClick(text, Qt::Key_X);
    }
    QCOMPARE(text->toPlainText(), QStringLiteral("一二x三x四x五六七八"));

    // Focus elsewhere (as after pressing Speak): the word is the selection again.
    reader.control<QPushButton>("cmdSpeak")->setFocus();
    reader.fake->raiseWord(0, 1);
    QCOMPARE(text->textCursor().selectedText(), QStringLiteral("一"));
    QVERIFY(text->extraSelections().isEmpty());

    // Speak reads the text as it is now, after typing and after an undo.
    reader.click("cmdSpeak");
    QCOMPARE(reader.fake->lastText, QStringLiteral("一二x三x四x五六七八"));
    text->undo();
    reader.click("cmdSpeak");
    QCOMPARE(reader.fake->lastText, text->toPlainText());
    QVERIFY(reader.fake->lastText != QStringLiteral("一二x三x四x五六七八"));
}

// What Speak reads, and where the first word read is selected.
void TestReaderText::speakStartsWhereThePersonIs_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("firstWordSelects");
    QTest::newRow("untouched: the whole text") << ""
                                               << "第一句话。第二句话。第三句话。"
                                               << "第";
    QTest::newRow("caret clicked into a sentence") << "click 7"
                                                   << "第二句话。第三句话。"
                                                   << "第";
    QTest::newRow("caret moved by keys") << "keys 2"
                                         << "第一句话。第二句话。第三句话。"
                                         << "第";
    QTest::newRow("caret moved into the third") << "keys 11"
                                                << "第三句话。"
                                                << "第";
    QTest::newRow("a selection") << "select 6 3"
                                 << "二句话"
                                 << "二";
    QTest::newRow("placed, then typed") << "keys 7 type"
                                        << "第一句话。第二x句话。第三句话。"
                                        << "第";
}

void TestReaderText::speakStartsWhereThePersonIs()
{
    QFETCH(QString, action);
    QFETCH(QString, read);
    QFETCH(QString, firstWordSelects);
    Reader reader;
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowActive(reader.window.get()));
    QPlainTextEdit *text = textArea(reader);
    text->setPlainText(QStringLiteral("第一句话。第二句话。第三句话。"));
    text->setFocus();
    const QStringList words = action.split(u' ');
    if (words[0] == u"click") {
        QTextCursor at(text->document());
        at.setPosition(words[1].toInt());
        QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, text->cursorRect(at).center());
    } else if (words[0] == u"keys") {
        for (int i = 0; i < words[1].toInt(); ++i)
            QTest::keyClick(text, Qt::Key_Right);
    } else if (words[0] == u"select") {
        for (int i = 0; i < words[1].toInt(); ++i)
            QTest::keyClick(text, Qt::Key_Right);
        for (int i = 0; i < words[2].toInt(); ++i)
            QTest::keyClick(text, Qt::Key_Right, Qt::ShiftModifier);
    }
    if (action.endsWith(u"type"))
        QTest::keyClick(text, Qt::Key_X);
    reader.control<QPushButton>("cmdSpeak")->setFocus();
    reader.click("cmdSpeak");
    QCOMPARE(reader.fake->lastText, read);
    reader.fake->raiseWord(0, 1);
    QCOMPARE(text->textCursor().selectedText(), firstWordSelects);
    // The word read selects the place it was read from in the whole text.
    const qsizetype offset = text->toPlainText().size() - read.size();
    QCOMPARE(text->textCursor().selectionStart(), action.startsWith(u"select") ? 6 : offset);
    // Speak again after the highlight moved the caret: the whole text.
    reader.click("cmdStop");
    reader.click("cmdSpeak");
    QCOMPARE(reader.fake->lastText, text->toPlainText());
}

// While a text is read the person may edit it: words move with the edits;
// a word whose text was removed or replaced selects nothing (speech goes on).
void TestReaderText::wordsFollowEditsAndNeverPointIntoOtherText_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("word"); // position in the text read
    QTest::addColumn<QString>("selects"); // empty: nothing
    QTest::newRow("typed before the word") << "insert 1 xy" << 3 << "四";
    QTest::newRow("typed after the word") << "insert 5 xy" << 3 << "四";
    QTest::newRow("the word deleted") << "remove 2 3" << 3 << "";
    QTest::newRow("everything replaced, as opening does") << "replace" << 3 << "";
    QTest::newRow("Clear, then typing") << "clear, type" << 0 << "";
    QTest::newRow("Clear undone") << "clear, undo" << 3 << "";
}

void TestReaderText::wordsFollowEditsAndNeverPointIntoOtherText()
{
    QFETCH(QString, edit);
    QFETCH(int, word);
    QFETCH(QString, selects);
    Reader reader;
    QPlainTextEdit *text = textArea(reader);
    text->setPlainText(QStringLiteral("一二三四五六七八"));
    reader.click("cmdSpeak");
    const QStringList parts = edit.split(u' ');
    QTextCursor cursor(text->document());
    if (parts[0] == u"insert") {
        cursor.setPosition(parts[1].toInt());
        cursor.insertText(parts[2]);
    } else if (parts[0] == u"remove") {
        cursor.setPosition(parts[1].toInt());
        cursor.setPosition(parts[1].toInt() + parts[2].toInt(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    } else if (parts[0] == u"replace") {
        static_cast<ReaderTextBox *>(text)->replaceAll(QStringLiteral("全新的另一篇文章"));
    } else {
        reader.click("Command1");
        if (edit.endsWith(u"type"))
            QTest::keyClicks(text, QStringLiteral("abcdefgh"));
        else
            text->undo();
    }
    text->setTextCursor(QTextCursor(text->document()));
    reader.fake->raiseWord(word, 1);
    QCOMPARE(text->textCursor().selectedText(), selects);
    QCOMPARE(reader.calls().contains(QStringLiteral("Speak(<null>,2)")), false); // speech goes on
}

void TestReaderText::selectionStaysVisibleWithoutFocus()
{
    Reader reader;
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    textArea(reader)->setPlainText(QStringLiteral("一二三四五六七八九十"));
    reader.click("cmdSpeak");
    QVERIFY(!textArea(reader)->hasFocus());
    reader.fake->raiseWord(2, 3);
    QTextCursor inside(textArea(reader)->document());
    inside.setPosition(3);
    const QPoint point = textArea(reader)->cursorRect(inside).center();
    const QImage image = textArea(reader)->viewport()->grab().toImage();
    const QColor highlight = textArea(reader)->palette().color(QPalette::Active, QPalette::Highlight);
    // Somewhere on the selected word's line, the selection colour shows.
    bool found = false;
    for (int dx = -8; dx <= 8 && !found; ++dx)
        for (int dy = -4; dy <= 4 && !found; ++dy)
            found = image.pixelColor(point + QPoint(dx, dy)) == highlight;
    QVERIFY(found);
}

void TestReaderText::spokenWordIsScrolledIntoView()
{
    Reader reader;
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    QPlainTextEdit *area = textArea(reader);
    QCOMPARE(area->verticalScrollBar()->value(), 0);
    const QString text = area->toPlainText();
    const int near = int(text.size()) - 20;
    reader.fake->raiseWord(near, 1);
    QVERIFY(area->verticalScrollBar()->value() > 0);
    QVERIFY(area->viewport()->rect().contains(area->cursorRect()));
    reader.fake->raiseWord(8, 1); // backwards: to the top again
    QVERIFY(area->viewport()->rect().contains(area->cursorRect()));
    QCOMPARE(area->textCursor().selectedText(), text.mid(8, 1));
}

QTEST_MAIN(TestReaderText)
#include "tst_readertext.moc"
