// SPDX-License-Identifier: GPL-3.0-or-later
// The window as the desktop drives it: the player's commands press its
// buttons (so the state table decides), Next and Previous step a sentence,
// the selection or the clipboard replaces the text and is read.
#include "reader/SentenceSteps.h"
#include "support/ReaderFixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

class TestReaderRemote : public QObject
{
    Q_OBJECT

private slots:
    void sentenceSteps_data();
    void sentenceSteps();
    void commandsAreClicks_data();
    void commandsAreClicks();
    void nextAndPreviousKeepTheState();
    void clipboardIsRead_data();
    void clipboardIsRead();
    void playerShowsTheWindow();
    void titleOfAnOpenedDocument_data();
    void titleOfAnOpenedDocument();
};

void TestReaderRemote::sentenceSteps_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("next"); // -1: none
    QTest::addColumn<int>("previous");

    const QString three = QStringLiteral("一二三。四五六。七八九。");
    QTest::newRow("middle of the first") << three << 1 << 4 << 0;
    QTest::newRow("start of the second") << three << 4 << 8 << 0;
    QTest::newRow("inside the second") << three << 5 << 8 << 4;
    QTest::newRow("in the last") << three << 9 << -1 << 8;
    QTest::newRow("at the last's start") << three << 8 << -1 << 4;
    QTest::newRow("at the text's end") << three << 12 << -1 << 8;
    QTest::newRow("blank after the last") << QStringLiteral("One. Two.\n\n  ") << 6 << -1 << 5;
    QTest::newRow("Latin with spaces") << QStringLiteral("One two. Three four. Five.") << 10 << 21 << 9;
    QTest::newRow("paragraph indented") << QStringLiteral("第一段。\n  第二段。") << 7 << -1 << 0;
    QTest::newRow("question and exclamation") << QStringLiteral("好吗？好！再见。") << 0 << 3 << 0;
    QTest::newRow("closing quote kept") << QStringLiteral("他说：“走吧。”然后走了。") << 2 << 8 << 0;
    // A sentence far longer than the look around a place (a list without stops).
    const QString longOne = QString(5000, QChar(u'字')) + QStringLiteral("。") + QStringLiteral("下一句。");
    QTest::newRow("long sentence, from its middle") << longOne << 4500 << 5001 << 0;
    QTest::newRow("long sentence, back from the next") << longOne << 5001 << -1 << 0;
    QTest::newRow("long sentence, inside the next") << longOne << 5002 << -1 << 5001;
    QTest::newRow("empty") << QString() << 0 << -1 << 0;
}

void TestReaderRemote::sentenceSteps()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, next);
    QFETCH(int, previous);
    QCOMPARE(SentenceSteps::nextStart(text, position).value_or(-1), next);
    QCOMPARE(SentenceSteps::previousStart(text, position), previous);
}

namespace {

Reader speakingReader()
{
    return Reader(ReaderOptions{.script = [](FakeVoice &voice) { voice.speaksInTime = true; }});
}

// Brings the window to a state by clicks: "speak,pause" and so on.
void clickThrough(const Reader &reader, const QString &clicks)
{
    for (const QString &name : clicks.split(u',', Qt::SkipEmptyParts)) {
        reader.click(name == u"speak" ? "cmdSpeak" : name == u"pause" ? "cmdPause" : "cmdStop");
        QCoreApplication::processEvents();
    }
}

} // namespace

// Each command against the rows of the state table, starting from each
// state the clicks lead to: the voice hears what a click would send.
void TestReaderRemote::commandsAreClicks_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("speaking");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QString>("status"); // after

    const QString sent = QStringLiteral("Speak(%1,11)");
    const QStringList none;
    const QStringList resume{QStringLiteral("Resume")};
    const QStringList pause{QStringLiteral("Pause")};
    const QStringList purge{QStringLiteral("Speak(<null>,2)")};
    QTest::newRow("stopped: play is Speak") << "" << "play" << QStringList{sent} << false << false << "Playing";
    QTest::newRow("stopped: play-pause is Speak") << "" << "playPause" << QStringList{sent} << false << false << "Playing";
    QTest::newRow("stopped: pause does nothing") << "" << "pause" << none << false << false << "Stopped";
    QTest::newRow("playing: play does nothing") << "speak" << "play" << none << false << false << "Playing";
    QTest::newRow("playing: pause") << "speak" << "pause" << pause << false << true << "Paused";
    QTest::newRow("playing: play-pause pauses") << "speak" << "playPause" << pause << false << true << "Paused";
    // Speak here would start the text again (Speak, then Resume): Play resumes.
    QTest::newRow("paused: play resumes") << "speak,pause" << "play" << resume << false << false << "Playing";
    QTest::newRow("paused: play-pause resumes") << "speak,pause" << "playPause" << resume << false << false << "Playing";
    QTest::newRow("paused: pause does nothing") << "speak,pause" << "pause" << none << false << true << "Paused";
    QTest::newRow("paused: stop purges and resumes") << "speak,pause" << "stop" << (purge + resume) << false << false
                                                     << "Stopped";
    QTest::newRow("paused after a restart: play resumes")
        << "speak,pause,speak,pause" << "play" << resume << true << false << "Playing";
    QTest::newRow("playing after a restart: stop") << "speak,pause,speak" << "stop" << purge << false << false
                                                   << "Stopped";
    // Stop, and stop again: nothing left to drop, the same purge, no failure.
    QTest::newRow("stopped twice") << "speak,stop" << "stop" << purge << false << false << "Stopped";
}

void TestReaderRemote::commandsAreClicks()
{
    QFETCH(QString, before);
    QFETCH(QString, command);
    QFETCH(QStringList, calls);
    QFETCH(bool, speaking);
    QFETCH(bool, paused);
    QFETCH(QString, status);

    const Reader reader = speakingReader();
    QVERIFY(reader.loaded);
    reader.window->show();
    const QString text = textArea(reader)->toPlainText();
    clickThrough(reader, before);
    reader.forget();
    ReaderRemote &remote = *reader.window;
    const QHash<QString, std::function<void()>> commands{{"play", [&] { remote.play(); }},
                                                          {"pause", [&] { remote.pause(); }},
                                                          {"playPause", [&] { remote.playPause(); }},
                                                          {"stop", [&] { remote.stop(); }}};
    commands.value(command)();
    QStringList expected = calls;
    expected.replaceInStrings(QStringLiteral("%1"), text);
    QCOMPARE(reader.calls(), expected);
    QCOMPARE(reader.window->speaking(), speaking);
    QCOMPARE(reader.window->paused(), paused);
    QCOMPARE(reader.pauseCaption(), paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    const QHash<ReaderRemote::Status, QString> names{{ReaderRemote::Status::Stopped, "Stopped"},
                                                     {ReaderRemote::Status::Playing, "Playing"},
                                                     {ReaderRemote::Status::Paused, "Paused"}};
    QCOMPARE(names.value(remote.status()), status);
}

// Next and Previous, by key and by command: speech goes on from the
// sentence and stays heard or paused; without speech only the caret moves.
void TestReaderRemote::nextAndPreviousKeepTheState()
{
    const Reader reader = speakingReader();
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    textArea(reader)->setPlainText(QStringLiteral("One two three. Four five six. Seven eight."));
    // Stopped: the caret moves, nothing is said; Speak then starts there.
    reader.forget();
    reader.window->nextSentence();
    QCOMPARE(reader.calls(), QStringList());
    QCOMPARE(textArea(reader)->textCursor().position(), 15);
    QVERIFY(reader.window->canGoNext());
    reader.click("cmdSpeak");
    QCOMPARE(reader.fake->lastText, QStringLiteral("Four five six. Seven eight."));
    // Heard: Alt+→ goes on from the next sentence, the flags as they were.
    // (No word is heard before the next line: the caret is the place.)
    reader.forget();
    QTest::keyClick(reader.window.get(), Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(reader.calls(), QStringList{QStringLiteral("Speak(Seven eight.,11)")});
    QCOMPARE(reader.window->status(), ReaderRemote::Status::Playing);
    QVERIFY(!reader.window->speaking() && !reader.window->paused());
    // The last sentence has no next: nothing changes.
    QVERIFY(!reader.window->canGoNext());
    reader.forget();
    reader.window->nextSentence();
    QCOMPARE(reader.calls(), QStringList());
    // At a sentence's start, Alt+← goes to the one before.
    QTest::keyClick(reader.window.get(), Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(reader.fake->lastText, QStringLiteral("Four five six. Seven eight."));
    // Paused on "five": back to its sentence's start, still paused; Resume
    // is heard from there.
    reader.click("cmdPause");
    reader.fake->raiseWord(5, 4);
    QCOMPARE(textArea(reader)->textCursor().selectedText(), QStringLiteral("five"));
    reader.forget();
    reader.window->previousSentence();
    QCOMPARE(reader.calls(), QStringList{QStringLiteral("Speak(Four five six. Seven eight.,11)")});
    QCOMPARE(reader.window->status(), ReaderRemote::Status::Paused);
    QCOMPARE(reader.pauseCaption(), QStringLiteral("Resume"));
    reader.click("cmdPause");
    QCOMPARE(reader.window->status(), ReaderRemote::Status::Playing);
    QTRY_COMPARE(reader.window->status(), ReaderRemote::Status::Stopped); // heard to its end
    QVERIFY(reader.window->positionMicroseconds() > 0);
}

void TestReaderRemote::clipboardIsRead_data()
{
    QTest::addColumn<QString>("clips"); // "text", "blank", "image", "nothing"
    QTest::addColumn<QString>("before"); // clicks
    QTest::addColumn<QStringList>("calls"); // %1: the clipboard's text
    QTest::addColumn<bool>("noted");

    const QStringList read{QStringLiteral("Speak(%1,11)")};
    QTest::newRow("text, stopped") << "text" << "" << read << false;
    QTest::newRow("text, while heard") << "text" << "speak" << read << false;
    // A paused Speak would only resume the old text: stopped first.
    QTest::newRow("text, while paused")
        << "text" << "speak,pause" << QStringList{QStringLiteral("Speak(<null>,2)"), QStringLiteral("Resume"), read[0]}
        << false;
    QTest::newRow("blank") << "blank" << "speak" << QStringList() << true;
    QTest::newRow("an image") << "image" << "" << QStringList() << true;
    QTest::newRow("nothing") << "nothing" << "" << QStringList() << true;
}

void TestReaderRemote::clipboardIsRead()
{
    QFETCH(QString, clips);
    QFETCH(QString, before);
    QFETCH(QStringList, calls);
    QFETCH(bool, noted);

    const Reader reader = speakingReader();
    reader.window->show();
    const QString old = textArea(reader)->toPlainText();
    const QString words = QStringLiteral("从别的程序复制的一句话。");
    QClipboard *clipboard = QGuiApplication::clipboard();
    auto *data = new QMimeData;
    if (clips == u"text")
        data->setText(words);
    else if (clips == u"blank")
        data->setText(QStringLiteral(" \n\t "));
    else if (clips == u"image")
        data->setImageData(QImage(4, 4, QImage::Format_RGB32));
    clipboard->setMimeData(data, QClipboard::Clipboard);
    clickThrough(reader, before);
    reader.forget();
    reader.window->HandleRequest({ReaderRequest::Kind::SpeakClipboard, {}});
    QStringList expected = calls;
    expected.replaceInStrings(QStringLiteral("%1"), words);
    QCOMPARE(reader.calls(), expected);
    QCOMPARE(reader.window->statusNote().isEmpty(), !noted);
    QCOMPARE(reader.messages.messages, QStringList()); // never a box
    if (noted) {
        QCOMPARE(textArea(reader)->toPlainText(), old);
        return;
    }
    QCOMPARE(textArea(reader)->toPlainText(), words);
    QCOMPARE(reader.window->title(), words.left(24).simplified() == words ? words : words.left(24) + QChar(0x2026));
    textArea(reader)->undo();
    QCOMPARE(textArea(reader)->toPlainText(), old);
}

// What the player shows: the first words as title, the voice, the volume
// (and the slider moved by it, as by the person), announced when they change.
void TestReaderRemote::playerShowsTheWindow()
{
    const Reader reader(ReaderOptions{.voices = voices({QStringLiteral("普通话女声"), QStringLiteral("English")}),
                                      .savedChoice = QStringLiteral("0")});
    QSignalSpy changed(reader.window.get(), &frmMain::playerChanged);
    textArea(reader)->setPlainText(QStringLiteral("  第一行\n第二行 很长很长很长很长很长很长很长很长很长很长很长很长很长"));
    QVERIFY(!changed.isEmpty());
    QCOMPARE(reader.window->title(), QStringLiteral("第一行 第二行 很长很长很长很长很长很长很长很长") + QChar(0x2026));
    QCOMPARE(reader.window->voiceName(), QStringLiteral("普通话女声"));
    changed.clear();
    reader.window->setVolume(0.25);
    QCOMPARE(reader.control<QSlider>("slVolume")->value(), 25);
    QCOMPARE(reader.fake->volume, 25L);
    QCOMPARE(reader.window->volume(), 0.25);
    QVERIFY(!changed.isEmpty());
    // A next sentence far past the look ahead of the place is still found.
    textArea(reader)->setPlainText(QString(5000, QChar(u'字')) + QStringLiteral("。下一句。"));
    QVERIFY(reader.window->canGoNext());
    textArea(reader)->clear();
    QVERIFY(!reader.window->canPlay() && !reader.window->canGoNext() && !reader.window->canGoPrevious());
}

void TestReaderRemote::titleOfAnOpenedDocument_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("title");
    QTest::newRow("a page with its title") << "page.html"
                                           << QByteArray("<html><head><title> 春天的\n故事 </title></head>"
                                                         "<body><p>正文。</p></body></html>")
                                           << QStringLiteral("春天的 故事");
    QTest::newRow("plain text: the file's name") << "第二章.txt" << QByteArray("正文。") << QStringLiteral("第二章");
}

// The document's own title, or its file's name, until the text is edited;
// then the text's first words.
void TestReaderRemote::titleOfAnOpenedDocument()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, title);
    QTemporaryDir dir;
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    QFile other(dir.filePath(QStringLiteral("另一份.txt")));
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("另一份。") > 0);
    other.close();
    const Reader reader;
    // Asked for while another is being read (two starts in a row): both
    // are read, the later last.
    reader.window->openDocument(other.fileName());
    QVERIFY(reader.window->openingDocument());
    reader.window->openDocument(file.fileName());
    QTRY_VERIFY(!reader.window->openingDocument());
    QTRY_COMPARE(reader.window->title(), title);
    QVERIFY(reader.messages.messages.isEmpty());
    textArea(reader)->insertPlainText(QStringLiteral("新的"));
    QCOMPARE(reader.window->title(), QStringLiteral("新的正文。"));
}

QTEST_MAIN(TestReaderRemote)
#include "tst_readerremote.moc"
