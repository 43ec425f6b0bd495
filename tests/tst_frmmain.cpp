// SPDX-License-Identifier: GPL-3.0-or-later
// The reader window with a scripted voice: layout, start-up, playback.
#include "platform/Failure.h"
#include "reader/frmMain.h"
#include "reader/ReaderTextBox.h"
#include "resources/Resources.h"
#include "support/FakeSynthesis.h"
#include "support/FakeVoice.h"
#include "support/MemorySettingsStore.h"
#include "support/RecordingMessageBox.h"

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

namespace {

struct ReaderOptions
{
    QList<SpObjectToken> voices;
    QString savedChoice; // null: nothing saved
    std::function<void(FakeVoice &)> script;
    bool failCreation = false;
    QString failure;
    bool damagedSettings = false;
    std::function<QString()> chooseDocument;
    std::function<std::optional<ExportDialog::Choice>()> chooseExport;
};

struct Reader
{
    RecordingMessageBox messages;
    MemorySettingsStore settings = MemorySettingsStore::afterFirstRun();
    QPointer<FakeVoice> fake;
    std::unique_ptr<frmMain> window;
    bool loaded = false;
    int voicesCreated = 0;

    Reader() : Reader(ReaderOptions{}) { }
    explicit Reader(ReaderOptions options)
    {
        if (!options.savedChoice.isNull())
            settings.setVoiceChoice(options.savedChoice);
        settings.damaged = options.damagedSettings;
        window = std::make_unique<frmMain>(ReaderServices{
            [=, this]() -> std::unique_ptr<SpVoice> {
                ++voicesCreated;
                if (options.failCreation)
                    throw Failure(options.failure);
                auto voice = std::make_unique<FakeVoice>(options.voices);
                fake = voice.get();
                if (options.script)
                    options.script(*voice);
                return voice;
            },
            &messages,
            &settings,
            {},
            {},
            [=](QWidget *) { return options.chooseDocument ? options.chooseDocument() : QString(); },
            [=](QWidget *, const QString &) {
                return options.chooseExport ? options.chooseExport() : std::optional<ExportDialog::Choice>();
            },
            // Saving renders with a stand-in: a millisecond a character, so
            // that a long text is still being saved when a test acts.
            [] { return std::make_unique<FakeSynthesis>(std::chrono::milliseconds(1)); }});
        loaded = window->Form_Load();
    }

    template <typename W = QWidget> W *control(const char *name) const
    {
        return window->findChild<W *>(QLatin1String(name));
    }
    void click(const char *name) const { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }
    QString pauseCaption() const { return control<QPushButton>("cmdPause")->text(); }
    QComboBox *list() const { return control<QComboBox>("CBLg"); }
    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < list()->count(); ++i)
            texts << list()->itemText(i);
        return texts;
    }
    // Calls after start-up, as the fake recorded them.
    QStringList calls() const { return fake->calls; }
    void forget() const { fake->calls.clear(); }
};

QList<SpObjectToken> voices(const QStringList &descriptions)
{
    QList<SpObjectToken> tokens;
    for (int i = 0; i < descriptions.size(); ++i)
        tokens << SpObjectToken(QStringLiteral("v%1").arg(i), descriptions[i]);
    return tokens;
}

const QString Crlf = QStringLiteral("\r\n");

} // namespace

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

    void spokenWordIsSelected_data();
    void spokenWordIsSelected();
    void clearWhileSpeakingEmptiesAndSelectsNothing();
    void droppedTextReplacesEverything();
    void dropsWithoutTextChangeNothing_data();
    void dropsWithoutTextChangeNothing();
    void dropsAreCopiesAndCanBeUndone();
    void clearCanBeUndone();
    void typingWhileSpeakingKeepsTheText();
    void documentOpensWhereItWasLeft();
    void speakStartsWhereThePersonIs_data();
    void speakStartsWhereThePersonIs();
    void wordsFollowEditsAndNeverPointIntoOtherText_data();
    void wordsFollowEditsAndNeverPointIntoOtherText();
    void documentsOpenFromTheWindow();
    void speechIsSavedFromTheWindow();
    void windowClosedWhileSavingLeavesNothing();
    void selectionStaysVisibleWithoutFocus();
    void spokenWordIsScrolledIntoView();
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
            emit reader.fake->failed(QStringLiteral("又一次失败"));
    };
    emit reader.fake->failed(QStringLiteral("第一次失败"));
    QCOMPARE(reader.messages.deepest, 1);
    QCOMPARE(reader.messages.messages.size(), 1);
    // Once it is closed, the next failure is shown again.
    emit reader.fake->failed(QStringLiteral("之后的失败"));
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

namespace {

QPlainTextEdit *textArea(const Reader &reader) { return reader.control<QPlainTextEdit>("TTS"); }

void drop(QWidget *target, QMimeData *data)
{
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
}

} // namespace

// text, then the word the engine reports (position, length) -> the selected text ("": nothing new selected)
void TestFrmMain::spokenWordIsSelected_data()
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

void TestFrmMain::spokenWordIsSelected()
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

void TestFrmMain::clearWhileSpeakingEmptiesAndSelectsNothing()
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

void TestFrmMain::droppedTextReplacesEverything()
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

void TestFrmMain::dropsWithoutTextChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("files") << "files";
    QTest::newRow("image") << "image";
    // On X11 a list of files or links also answers as text: their addresses.
    QTest::newRow("file with its address as text") << "file+text";
    QTest::newRow("web link with its address as text") << "link+text";
}

void TestFrmMain::dropsWithoutTextChangeNothing()
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
void TestFrmMain::dropsAreCopiesAndCanBeUndone()
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

void TestFrmMain::clearCanBeUndone()
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
void TestFrmMain::typingWhileSpeakingKeepsTheText()
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

// Ctrl+O anywhere in the window, and the first entry of the text area's
// menu, open a document whose text then replaces the text (Ctrl+Z takes it
// back); one that cannot be read is reported and changes nothing.
// A document opened again opens at the last word heard in it, and Speak
// goes on from that sentence; it leads the recent documents.
void TestFrmMain::documentOpensWhereItWasLeft()
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

// What Speak reads, and where the first word read is selected.
void TestFrmMain::speakStartsWhereThePersonIs_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("firstWordSelects");
    QTest::newRow("untouched: the whole text") << "" << "第一句话。第二句话。第三句话。" << "第";
    QTest::newRow("caret clicked into a sentence") << "click 7" << "第二句话。第三句话。" << "第";
    QTest::newRow("caret moved by keys") << "keys 2" << "第一句话。第二句话。第三句话。" << "第";
    QTest::newRow("caret moved into the third") << "keys 11" << "第三句话。" << "第";
    QTest::newRow("a selection") << "select 6 3" << "二句话" << "二";
    QTest::newRow("placed, then typed") << "keys 7 type" << "第一句话。第二x句话。第三句话。" << "第";
}

void TestFrmMain::speakStartsWhereThePersonIs()
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
void TestFrmMain::wordsFollowEditsAndNeverPointIntoOtherText_data()
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

void TestFrmMain::wordsFollowEditsAndNeverPointIntoOtherText()
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

void TestFrmMain::documentsOpenFromTheWindow()
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
void TestFrmMain::speechIsSavedFromTheWindow()
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

// The window goes while a long save is under way: the save is abandoned and
// waited for, and no file, finished or partial, is left.
void TestFrmMain::windowClosedWhileSavingLeavesNothing()
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

void TestFrmMain::selectionStaysVisibleWithoutFocus()
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

void TestFrmMain::spokenWordIsScrolledIntoView()
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
