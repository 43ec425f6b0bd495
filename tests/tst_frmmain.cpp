// SPDX-License-Identifier: GPL-3.0-or-later
// The reader window with a scripted voice: layout, start-up, playback.
#include "platform/Failure.h"
#include "reader/frmMain.h"
#include "reader/ReaderTextBox.h"
#include "resources/Resources.h"
#include "support/ReaderFixture.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void layoutMatchesTheDesign_data();
    void layoutMatchesTheDesign();
    void windowIsFixedWithOnlyACloseBox();
    void focusFollowsTheTabOrder();
    void loadPreparesEverythingBeforeShowing();
    void sampleTextIsExactlyResource101();
    void voiceCreationFailureEndsTheStart_data();
    void voiceCreationFailureEndsTheStart();

    void transitions_data();
    void transitions();
    void keysPressTheirButtons_data();
    void keysPressTheirButtons();
    void speakWithEmptyTextDoesNothing();
    void failedSpeakReportsAndClearsSpeaking_data();
    void failedSpeakReportsAndClearsSpeaking();
    void failedStopReportsAndChangesNothing();
    void failuresDuringAFailureBoxOpenNoOtherBox();
    void failedPauseIsShownNotThrown();
    void failureDuringSpeechIsShownOnce();

    void slidersSendTheUsersValues();
    void slidersFailuresAreShownNotThrown();
    void closingReleasesTheVoice();

    void listShowsVoicesUnderTheirDisplayNames();
    void savedChoiceIsRestoredOnlyWhenInTheList_data();
    void savedChoiceIsRestoredOnlyWhenInTheList();
    void savedPositionBelowMinusOneEndsTheStart();
    void unreadableSavedChoiceEndsTheStartBeforeTheVoice();
    void damagedSettingsAreReportedOnceAndTheStartGoesOn();
    void pickingAnEntryAppliesThatVoiceByPosition();
    void typingInTheListAppliesNothing();
    void longVoiceNamesShowWhole();
    void windowIsAWindowToScreenReaders();
    void closingSavesTheSelectedPosition();
    void failedSaveStillCloses();

    void aboutMeOpensAModalDialogEachTime();
};

void TestFrmMain::layoutMatchesTheDesign_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry"); // in pixels: twips / 15
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("boldSongTi");
    QTest::newRow("cmdSpeak") << "cmdSpeak" << QRect(376, 48, 97, 25) << "Speak" << true;
    QTest::newRow("CBLg") << "CBLg" << QRect(368, 16, 113, 20) << "语言" << false;
    QTest::newRow("cmdStop") << "cmdStop" << QRect(376, 80, 97, 25) << "Stop" << true;
    QTest::newRow("cmdPause") << "cmdPause" << QRect(376, 112, 97, 25) << "Pause" << false;
    QTest::newRow("slVolume") << "slVolume" << QRect(280, 304, 153, 21) << "" << false;
    QTest::newRow("slRate") << "slRate" << QRect(64, 304, 145, 21) << "" << false;
    QTest::newRow("TTS") << "TTS" << QRect(16, 16, 337, 273) << "" << false;
    QTest::newRow("Label3") << "Label3" << QRect(376, 192, 97, 65)
                            << "    请选择相应的语言使用，你可以由其他地方拖动文本内容到左边的文本框中。" << false;
    QTest::newRow("cmdAboutMe") << "cmdAboutMe" << QRect(376, 264, 97, 25) << "About Me" << false;
    QTest::newRow("Command1") << "Command1" << QRect(376, 152, 97, 25) << "Clear" << false;
}

void TestFrmMain::layoutMatchesTheDesign()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(bool, boldSongTi);
    Reader reader;
    QWidget *widget = reader.control(name.toLatin1().constData());
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), caption);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), caption);
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QCOMPARE(combo->currentText(), caption);
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->count(), 0);
    }
    QVERIFY(!widget->accessibleName().isEmpty());
    QCOMPARE(widget->font().family(), QStringLiteral("宋体"));
    QCOMPARE(widget->font().pointSize(), 9);
    QCOMPARE(widget->font().bold(), boldSongTi);
}

void TestFrmMain::windowIsFixedWithOnlyACloseBox()
{
    Reader reader;
    frmMain &w = *reader.window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Murrowen"));
    QCOMPARE(w.minimumSize(), QSize(493, 336));
    QCOMPARE(w.maximumSize(), QSize(493, 336));
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!w.windowIcon().isNull());

    // The two sized-to-text labels start where they are placed and stay on one line.
    for (const char *name : {"Label1", "Label2"}) {
        auto *label = reader.control<QLabel>(name);
        QVERIFY(label->font().bold());
        QCOMPARE(label->height(), label->sizeHint().height());
    }
    QCOMPARE(reader.control<QLabel>("Label2")->pos(), QPoint(32, 304));
    QCOMPARE(reader.control<QLabel>("Label1")->pos(), QPoint(224, 304));
    auto *rate = reader.control<QSlider>("slRate");
    QCOMPARE(rate->minimum(), -10);
    QCOMPARE(rate->maximum(), 10);
    QCOMPARE(rate->value(), 0);
    QCOMPARE(rate->pageStep(), 5);
    auto *volume = reader.control<QSlider>("slVolume");
    QCOMPARE(volume->value(), 100);
    QCOMPARE(volume->tickPosition(), QSlider::NoTicks);
}

void TestFrmMain::focusFollowsTheTabOrder()
{
    Reader reader;
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowActive(reader.window.get()));
    const QStringList expected = {"cmdSpeak", "CBLg", "cmdStop",    "cmdPause", "slVolume",
                                  "slRate",   "TTS",  "cmdAboutMe", "Command1", "cmdSpeak"};
    reader.control("cmdSpeak")->setFocus();
    QStringList seen = {QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        // The combo box's focus lands on its text field.
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        seen << (focus ? focus->objectName() : QString());
    }
    QCOMPARE(seen, expected);
}

void TestFrmMain::loadPreparesEverythingBeforeShowing()
{
    Reader reader;
    QVERIFY(reader.loaded);
    QVERIFY(reader.messages.messages.isEmpty());
    QVERIFY(reader.fake);
    QCOMPARE(reader.window->flags(), ReaderSpeakFlags);
    QVERIFY(!reader.window->speaking());
    QVERIFY(!reader.window->paused());
    QCOMPARE(reader.pauseCaption(), QStringLiteral("Pause"));
    QVERIFY(!reader.window->isVisible());
    // Only the voice list is filled: not even the sliders' positions are sent.
    QCOMPARE(reader.calls(), QStringList({"GetVoices(,)"}));
}

void TestFrmMain::sampleTextIsExactlyResource101()
{
    const QString sample = LoadResString(101);
    QCOMPARE(sample.size(), 10625);
    Reader reader;
    QCOMPARE(reader.control<QPlainTextEdit>("TTS")->toPlainText(), sample);
    QVERIFY_THROWS_EXCEPTION(Failure, LoadResString(102));
}

void TestFrmMain::voiceCreationFailureEndsTheStart_data()
{
    QTest::addColumn<QString>("description");
    QTest::newRow("described") << QStringLiteral("无法启动语音引擎");
    QTest::newRow("empty description") << QString();
}

void TestFrmMain::voiceCreationFailureEndsTheStart()
{
    QFETCH(QString, description);
    Reader reader({.failCreation = true, .failure = description});
    QVERIFY(!reader.loaded);
    QCOMPARE(reader.messages.messages,
             QStringList(QStringLiteral("程序初始化Voice对象出错。") + Crlf + description + Crlf + Crlf
                         + QStringLiteral("退出。")));
    QVERIFY(!reader.window->voice());
    QVERIFY(!reader.window->isVisible());
    // The unload steps do not run after a failed start.
    reader.window->close();
    QCOMPARE(reader.messages.messages.size(), 1);
}

// State (speaking, paused) before, the button pressed, the engine calls it
// makes, and the state and caption after.
void TestFrmMain::transitions_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("press");
    QTest::addColumn<QStringList>("expectedCalls");
    QTest::addColumn<bool>("speaking");
    QTest::addColumn<bool>("paused");

    const QStringList none;
    const QStringList pausedOnly = {"cmdPause"};
    const QStringList speakingOnly = {"cmdPause", "cmdSpeak"};
    const QStringList both = {"cmdPause", "cmdSpeak", "cmdPause"};
    const QString speak = QStringLiteral("Speak(%1,%2)").arg(LoadResString(101)).arg(ReaderSpeakFlags);
    const QString purge = QStringLiteral("Speak(<null>,2)");

    QTest::newRow("idle: Speak") << none << "cmdSpeak" << QStringList{speak} << false << false;
    QTest::newRow("idle: Pause") << none << "cmdPause" << QStringList{"Pause"} << false << true;
    QTest::newRow("idle: Stop") << none << "cmdStop" << QStringList{purge} << false << false;
    QTest::newRow("paused: Speak") << pausedOnly << "cmdSpeak" << QStringList{speak, "Resume"} << true << false;
    QTest::newRow("paused: Resume") << pausedOnly << "cmdPause" << QStringList{"Resume"} << false << false;
    QTest::newRow("paused: Stop") << pausedOnly << "cmdStop" << QStringList{purge, "Resume"} << false << false;
    QTest::newRow("speaking: Speak") << speakingOnly << "cmdSpeak" << QStringList{speak} << true << false;
    QTest::newRow("speaking: Pause") << speakingOnly << "cmdPause" << QStringList{"Pause"} << true << true;
    QTest::newRow("speaking: Stop") << speakingOnly << "cmdStop" << QStringList{purge} << false << false;
    QTest::newRow("both: Speak resumes only") << both << "cmdSpeak" << QStringList{"Resume"} << true << false;
    QTest::newRow("both: Resume") << both << "cmdPause" << QStringList{"Resume"} << true << false;
    QTest::newRow("both: Stop") << both << "cmdStop" << QStringList{purge, "Resume"} << false << false;
}

void TestFrmMain::transitions()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, press);
    QFETCH(QStringList, expectedCalls);
    QFETCH(bool, speaking);
    QFETCH(bool, paused);
    Reader reader;
    for (const QString &name : setup)
        reader.click(name.toLatin1().constData());
    reader.forget();
    reader.click(press.toLatin1().constData());
    QCOMPARE(reader.calls(), expectedCalls);
    QCOMPARE(reader.window->speaking(), speaking);
    QCOMPARE(reader.window->paused(), paused);
    QCOMPARE(reader.pauseCaption(), paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    QVERIFY(reader.messages.messages.isEmpty());
}

void TestFrmMain::keysPressTheirButtons_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("expectedCalls");
    const QString speak = QStringLiteral("Speak(%1,%2)").arg(LoadResString(101)).arg(ReaderSpeakFlags);
    QTest::newRow("F5 speaks") << QStringList{} << int(Qt::Key_F5) << QStringList{speak};
    QTest::newRow("F6 pauses") << QStringList{"cmdSpeak"} << int(Qt::Key_F6) << QStringList{"Pause"};
    QTest::newRow("F6 resumes") << QStringList{"cmdSpeak", "cmdPause"} << int(Qt::Key_F6) << QStringList{"Resume"};
    QTest::newRow("Esc stops") << QStringList{"cmdSpeak"} << int(Qt::Key_Escape) << QStringList{"Speak(<null>,2)"};
}

void TestFrmMain::keysPressTheirButtons()
{
    QFETCH(QStringList, setup);
    QFETCH(int, key);
    QFETCH(QStringList, expectedCalls);
    Reader reader;
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowActive(reader.window.get()));
    for (const QString &name : setup)
        reader.click(name.toLatin1().constData());
    reader.forget();
    QTest::keyClick(reader.control<QPlainTextEdit>("TTS"), Qt::Key(key));
    QCOMPARE(reader.calls(), expectedCalls);
    QVERIFY(!reader.control<QPushButton>("cmdSpeak")->toolTip().isEmpty());
}

void TestFrmMain::speakWithEmptyTextDoesNothing()
{
    Reader reader;
    reader.click("cmdPause");
    reader.control<QPlainTextEdit>("TTS")->clear();
    reader.forget();
    reader.click("cmdSpeak");
    QCOMPARE(reader.calls(), QStringList());
    QVERIFY(reader.window->paused());
    QVERIFY(!reader.window->speaking());
    QCOMPARE(reader.pauseCaption(), QStringLiteral("Resume"));
}

void TestFrmMain::failedSpeakReportsAndClearsSpeaking_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("paused");
    QTest::newRow("from paused, Speak fails") << QStringList{"cmdPause"} << "Speak" << true;
    QTest::newRow("from paused, Resume fails") << QStringList{"cmdPause"} << "Resume" << true;
    QTest::newRow("from speaking") << QStringList{"cmdPause", "cmdSpeak"} << "Speak" << false;
}

void TestFrmMain::failedSpeakReportsAndClearsSpeaking()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, failing);
    QFETCH(bool, paused);
    Reader reader;
    for (const QString &name : setup)
        reader.click(name.toLatin1().constData());
    reader.fake->failOn(failing, QStringLiteral("找不到音频输出设备"));
    reader.click("cmdSpeak");
    QCOMPARE(reader.messages.messages,
             QStringList(QStringLiteral("语音进行时错误：") + Crlf + Crlf + QStringLiteral("找不到音频输出设备")));
    QVERIFY(!reader.window->speaking());
    QCOMPARE(reader.window->paused(), paused);
    QCOMPARE(reader.pauseCaption(), paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

// A helper that sends failure after failure used to open one modal box
// inside another, without end.
void TestFrmMain::failuresDuringAFailureBoxOpenNoOtherBox()
{
    Reader reader;
    int raised = 0;
    reader.messages.whileShown = [&] {
        if (++raised < 100)
            emit reader.fake->failed(Failure::Reason::EngineFailed, QStringLiteral("又一次失败"));
    };
    emit reader.fake->failed(Failure::Reason::EngineFailed, QStringLiteral("第一次失败"));
    QCOMPARE(reader.messages.deepest, 1);
    QCOMPARE(reader.messages.messages.size(), 1);
    // Once it is closed, the next failure is shown again.
    emit reader.fake->failed(Failure::Reason::EngineFailed, QStringLiteral("之后的失败"));
    QCOMPARE(reader.messages.messages.size(), 2);
}

void TestFrmMain::failedStopReportsAndChangesNothing()
{
    Reader reader;
    reader.click("cmdPause");
    reader.click("cmdSpeak"); // (true, false)
    reader.click("cmdPause"); // (true, true)
    reader.fake->failOn(QStringLiteral("Resume"), QStringLiteral("设备忙"));
    reader.click("cmdStop");
    QCOMPARE(reader.messages.messages, QStringList(QStringLiteral("Speak Error: 设备忙")));
    QVERIFY(reader.window->speaking());
    QVERIFY(reader.window->paused());
    QCOMPARE(reader.pauseCaption(), QStringLiteral("Resume"));
}

void TestFrmMain::failedPauseIsShownNotThrown()
{
    Reader reader;
    reader.fake->failOn(QStringLiteral("Pause"), QStringLiteral("暂停失败"));
    reader.click("cmdPause");
    QCOMPARE(reader.messages.messages, QStringList(QStringLiteral("暂停失败")));
    QVERIFY(!reader.window->paused());
    QCOMPARE(reader.pauseCaption(), QStringLiteral("Pause"));
}

// A failure that arrives after Speak returned (the synthesiser lost) is shown
// once, as a failed Speak is; the window stays usable and Speak works again.
void TestFrmMain::failureDuringSpeechIsShownOnce()
{
    Reader reader;
    reader.fake->speaksInTime = true;
    reader.fake->failWhileSpeaking(QStringLiteral("语音合成进程因信号 11 而终止。"));
    reader.click("cmdSpeak");
    QVERIFY(QTest::qWaitFor([&] { return !reader.messages.messages.isEmpty(); }, 2000));
    QTest::qWait(100);
    QCOMPARE(reader.messages.messages,
             QStringList(QStringLiteral("语音进行时错误：") + Crlf + Crlf
                         + QStringLiteral("语音合成进程因信号 11 而终止。")));
    QCOMPARE(reader.pauseCaption(), QStringLiteral("Pause"));
    reader.forget();
    reader.click("cmdSpeak");
    QVERIFY(reader.calls().first().startsWith(QStringLiteral("Speak(")));
    QCOMPARE(reader.fake->state(), SpVoice::State::Speaking);
}

void TestFrmMain::slidersSendTheUsersValues()
{
    Reader reader;
    auto *rate = reader.control<QSlider>("slRate");
    auto *volume = reader.control<QSlider>("slVolume");
    reader.forget();
    rate->setValue(4); // the program moving a slider sends nothing
    QCOMPARE(reader.calls(), QStringList());
    rate->setValue(0);

    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    QTest::keyClick(rate, Qt::Key_Home);
    QTest::keyClick(rate, Qt::Key_Right);
    QTest::keyClick(rate, Qt::Key_PageUp);
    QTest::keyClick(volume, Qt::Key_Home);
    QTest::keyClick(volume, Qt::Key_End);
    QTest::keyClick(volume, Qt::Key_PageDown);
    QCOMPARE(reader.calls(),
             QStringList({"Rate(-10)", "Rate(-9)", "Rate(-4)", "Volume(0)", "Volume(100)", "Volume(95)"}));
    QVERIFY(!reader.window->speaking());
    QVERIFY(!reader.window->paused());
}

void TestFrmMain::slidersFailuresAreShownNotThrown()
{
    Reader reader;
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    reader.fake->failOn(QStringLiteral("Rate"), QStringLiteral("语速无效"));
    QTest::keyClick(reader.control<QSlider>("slRate"), Qt::Key_End);
    QCOMPARE(reader.messages.messages, QStringList(QStringLiteral("语速无效")));
}

void TestFrmMain::closingReleasesTheVoice()
{
    Reader reader;
    reader.forget();
    reader.click("cmdSpeak");
    QVERIFY(reader.fake);
    const QStringList before = reader.calls();
    QVERIFY(reader.window->close());
    QVERIFY(!reader.fake); // released, with no Stop sent first
    QCOMPARE(before.size(), 1);
}

void TestFrmMain::listShowsVoicesUnderTheirDisplayNames()
{
    Reader reader({.voices = voices({"Microsoft Sam", "Microsoft Simplified Chinese", "microsoft sam", "Microsoft Mary",
                                     "Microsoft Mike", "Chinese (Mandarin)", "Chinese (Mandarin)"})});
    QCOMPARE(reader.entries(),
             QStringList({"英语Sam", "普通话", "microsoft sam", "英语Mary", "英语Mike", "Chinese (Mandarin)",
                          "Chinese (Mandarin)"}));
}

void TestFrmMain::savedChoiceIsRestoredOnlyWhenInTheList_data()
{
    QTest::addColumn<int>("voiceCount");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<int>("selected"); // -1: nothing
    QTest::addColumn<QString>("shownText");
    QTest::newRow("nothing saved: first voice") << 3 << QString() << 0 << "A";
    QTest::newRow("2 of 3") << 3 << "2" << 2 << "C";
    QTest::newRow("2 of 2: beyond the list") << 2 << "2" << -1 << "语言";
    QTest::newRow("-1: nothing chosen") << 3 << "-1" << -1 << "语言";
    QTest::newRow("no voices") << 0 << "0" << -1 << "语言";
}

void TestFrmMain::savedChoiceIsRestoredOnlyWhenInTheList()
{
    QFETCH(int, voiceCount);
    QFETCH(QString, saved);
    QFETCH(int, selected);
    QFETCH(QString, shownText);
    Reader reader({.voices = voices(QStringList({"A", "B", "C"}).mid(0, voiceCount)), .savedChoice = saved});
    QVERIFY(reader.loaded);
    QCOMPARE(reader.list()->currentIndex(), selected);
    QCOMPARE(reader.list()->currentText(), shownText);
    if (selected >= 0)
        QCOMPARE(reader.calls(),
                 QStringList({"GetVoices(,)", "GetVoices(,)", QStringLiteral("Voice(v%1)").arg(selected)}));
    else
        QCOMPARE(reader.calls(), QStringList({"GetVoices(,)"}));
}

void TestFrmMain::savedPositionBelowMinusOneEndsTheStart()
{
    Reader reader({.voices = voices({"A"}), .savedChoice = "-2"});
    QVERIFY(!reader.loaded);
    QCOMPARE(reader.messages.messages.size(), 1);
    QVERIFY(reader.messages.messages[0].startsWith(QStringLiteral("程序初始化Voice对象出错。\r\n")));
    // Like every failure of a stored value: the key, the value and the file.
    for (const QString &part :
         {QStringLiteral("DEF_LG"), QStringLiteral("“-2”"), reader.settings.location(QStringLiteral("Quenlor"))})
        QVERIFY2(reader.messages.messages[0].contains(part), qPrintable(reader.messages.messages[0]));
    QVERIFY(!reader.fake); // released
}

// Settings that cannot be read at all: the person is told once where they
// were kept, and the start goes on as on a new machine (the first run too).
void TestFrmMain::damagedSettingsAreReportedOnceAndTheStartGoesOn()
{
    ReaderOptions options;
    options.voices = voices({"A", "B"});
    options.damagedSettings = true;
    Reader reader(options);
    QVERIFY(reader.loaded);
    QCOMPARE(reader.messages.messages.size(), 1);
    QVERIFY(reader.messages.messages[0].contains(QStringLiteral("memory:Quenlor")));
    QVERIFY(reader.messages.messages[0].contains(QStringLiteral("memory:damaged")));
    QCOMPARE(reader.list()->currentIndex(), 0);
}

void TestFrmMain::unreadableSavedChoiceEndsTheStartBeforeTheVoice()
{
    for (const QString &saved : {QStringLiteral("abc"), QStringLiteral(""), QStringLiteral("40000")}) {
        Reader reader({.voices = voices({"A"}), .savedChoice = saved});
        QVERIFY(!reader.loaded);
        QCOMPARE(reader.voicesCreated, 0);
        QCOMPARE(reader.messages.messages.size(), 1);
        QVERIFY(reader.messages.messages[0].contains(QStringLiteral("DEF_LG")));
        QVERIFY(reader.messages.messages[0].endsWith(QStringLiteral("\r\n\r\n退出。")));
        reader.window->close();
        QCOMPARE(reader.settings.writes, 0); // nothing saved
    }
}

void TestFrmMain::pickingAnEntryAppliesThatVoiceByPosition()
{
    // Two voices with one description: each entry applies its own voice.
    Reader reader({.voices = voices({"Microsoft Sam", "Same", "Same"}), .savedChoice = "-1"});
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    reader.forget();
    reader.list()->setFocus();
    QTest::keyClick(reader.list(), Qt::Key_Down); // to entry 0
    QTest::keyClick(reader.list(), Qt::Key_Down); // to entry 1
    QTest::keyClick(reader.list(), Qt::Key_Down); // to entry 2
    QCOMPARE(reader.calls(),
             QStringList({"GetVoices(,)", "Voice(v0)", "GetVoices(,)", "Voice(v1)", "GetVoices(,)", "Voice(v2)"}));
    QCOMPARE(reader.fake->voice.id(), QStringLiteral("v2"));

    // A voice gone since the list was filled: shown, not thrown.
    reader.fake->voices.removeLast();
    reader.list()->setCurrentIndex(1);
    QTest::keyClick(reader.list(), Qt::Key_Down);
    QCOMPARE(reader.messages.messages.size(), 1);
}

// The popup shows each name whole (wider than the box if need be); after a
// pick, the box shows the name's beginning, not its end.
void TestFrmMain::longVoiceNamesShowWhole()
{
    const QString longName = QStringLiteral("English (America, New York City, evening voice)");
    Reader reader({.voices = voices({"Short", longName}), .savedChoice = "0"});
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    QAbstractItemView *popup = reader.list()->view();
    QCOMPARE(popup->textElideMode(), Qt::ElideNone);
    QVERIFY(popup->minimumWidth() >= popup->fontMetrics().horizontalAdvance(longName));
    reader.list()->setFocus();
    QTest::keyClick(reader.list(), Qt::Key_Down);
    QCOMPARE(reader.list()->currentText(), longName);
    QCOMPARE(reader.list()->lineEdit()->cursorPosition(), 0);
    // The accessible name stays the list's own; its value is the voice.
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(reader.list());
    QCOMPARE(list->text(QAccessible::Name), QStringLiteral("语言"));
    QCOMPARE(list->text(QAccessible::Value), longName);
    // The entries are there to walk: the list's first child holds a child
    // per voice, the picked one selected; the second is the text field, whose
    // text is the list's own text too.
    QCOMPARE(list->childCount(), 2);
    QAccessibleInterface *entries = list->child(0);
    QVERIFY(entries);
    QCOMPARE(list->indexOfChild(entries), 0);
    QStringList names, selected;
    for (int i = 0; i < entries->childCount(); ++i) {
        names << entries->child(i)->text(QAccessible::Name);
        if (entries->child(i)->state().selected)
            selected << names.last();
    }
    QCOMPARE(names, (QStringList{"Short", longName}));
    QCOMPARE(selected, QStringList{longName});
    QAccessibleInterface *field = list->child(1);
    QVERIFY(field && field->object() == reader.list()->lineEdit());
    QCOMPARE(list->indexOfChild(field), 1);
    QVERIFY(list->textInterface());
    QCOMPARE(list->textInterface()->text(0, list->textInterface()->characterCount()), longName);
}

// Screen readers find a window named by its caption, not a nameless panel.
void TestFrmMain::windowIsAWindowToScreenReaders()
{
    Reader reader;
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(reader.window.get());
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Murrowen"));
}

void TestFrmMain::typingInTheListAppliesNothing()
{
    Reader reader({.voices = voices({"A", "B"}), .savedChoice = "-1"});
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    reader.forget();
    reader.list()->lineEdit()->selectAll();
    QTest::keyClicks(reader.list()->lineEdit(), QStringLiteral("xyz"));
    QCOMPARE(reader.calls(), QStringList());
    QCOMPARE(reader.list()->count(), 2);
}

void TestFrmMain::closingSavesTheSelectedPosition()
{
    {
        Reader reader({.voices = voices({"A", "B", "C"}), .savedChoice = "1"});
        reader.list()->setCurrentIndex(2);
        QVERIFY(reader.window->close());
        QCOMPARE(reader.settings.voiceChoice(), QStringLiteral("2"));
    }
    {
        Reader reader({.voices = voices({"A"}), .savedChoice = "5"});
        QVERIFY(reader.window->close());
        QCOMPARE(reader.settings.voiceChoice(), QStringLiteral("-1"));
    }
    {
        Reader reader({.voices = {}});
        QVERIFY(reader.window->close());
        QCOMPARE(reader.settings.voiceChoice(), QStringLiteral("-1"));
    }
}

void TestFrmMain::failedSaveStillCloses()
{
    Reader reader({.voices = voices({"A"})});
    reader.settings.failWrites = true;
    QVERIFY(reader.window->close());
    QVERIFY(!reader.fake); // the voice was still released
    QCOMPARE(reader.messages.messages.size(), 1);
    QVERIFY(reader.messages.messages[0].contains(QStringLiteral("磁盘已满")));
    QVERIFY(reader.messages.messages[0].contains(QStringLiteral("语音")));
}

void TestFrmMain::aboutMeOpensAModalDialogEachTime()
{
    QCoreApplication::setApplicationName(QStringLiteral("Sayrella"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    Reader reader;
    reader.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(reader.window.get()));
    reader.click("cmdSpeak");
    reader.forget();
    for (int opening = 0; opening < 2; ++opening) {
        QString title;
        bool readerBlocked = false;
        QTimer::singleShot(0, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            title = dialog->windowTitle();
            readerBlocked = QApplication::activeModalWidget() != reader.window.get()
                && dialog->windowModality() == Qt::ApplicationModal;
            dialog->close();
        });
        reader.click("cmdAboutMe"); // returns when the dialog has been closed
        QCOMPARE(title, QStringLiteral("关于 Sayrella"));
        QVERIFY(readerBlocked);
    }
    QCOMPARE(reader.calls(), QStringList()); // speech is left alone
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
