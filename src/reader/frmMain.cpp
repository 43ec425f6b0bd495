// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/frmMain.h"

#include "about/frmAbout.h"
#include "export/BackgroundExport.h"
#include "installer/modSetting.h"
#include "platform/Failure.h"
#include "platform/Layout.h"
#include "reader/ReaderAccessibility.h"
#include "reader/ReaderTextBox.h"
#include "reader/ReadingPlaces.h"
#include "reader/WrappedLabel.h"
#include "resources/Resources.h"
#include "settings/StoredSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QShortcut>

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextEdit>

namespace {

const QString PauseCaption = QStringLiteral("Pause");
const QString ResumeCaption = QStringLiteral("Resume");

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *b = placeControl<QPushButton>(parent, name, geometry);
    b->setText(caption);
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    return b;
}

QSlider *slider(QWidget *parent, const char *name, QRect geometry, int minimum, int maximum, int value,
                const QString &accessibleName)
{
    auto *s = placeControl<QSlider>(parent, name, geometry);
    s->setOrientation(Qt::Horizontal);
    s->setRange(minimum, maximum);
    s->setValue(value);
    s->setSingleStep(1);
    s->setPageStep(5);
    s->setTickPosition(QSlider::NoTicks);
    s->setAccessibleName(accessibleName);
    return s;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *l = placeControl<QLabel>(parent, name, geometry);
    l->setText(text);
    l->setAccessibleName(text);
    return l;
}

} // namespace

frmMain::frmMain(ReaderServices services, QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint),
      m_services(std::move(services)), m_export(std::make_unique<Exporter::BackgroundExport>(m_services.createSynthesis))
{
    if (m_services.settings)
        m_places = std::make_unique<ReadingPlaces>(*m_services.settings);
    setObjectName(QStringLiteral("frmMain"));
    static const bool accessibleAsWindow = (QAccessible::installFactory(readerForScreenReaders), true);
    Q_UNUSED(accessibleAsWindow);
    buildLayout();
}

// A file being saved when the window goes is abandoned (nothing partial is
// left): m_export cancels and waits as it goes.
frmMain::~frmMain() = default;

bool frmMain::exporting() const { return m_export->running(); }

void frmMain::buildLayout()
{
    setWindowTitle(QStringLiteral("Murrowen"));
    setAccessibleName(windowTitle());
    setWindowIcon(ProgramIcon());
    setFixedSize(twips(7395), twips(5040));
    // The window's default font, used by every control that names none.
    setFont(songTiFont(9, false));
    const QFont bold9 = songTiFont(9, true);

    cmdSpeak = button(this, "cmdSpeak", QStringLiteral("Speak"), twipsRect(5640, 720, 1455, 375));
    cmdSpeak->setFont(bold9);

    CBLg = placeControl<QComboBox>(this, "CBLg", twipsRect(5520, 240, 1695, 300));
    CBLg->setEditable(true);
    CBLg->setInsertPolicy(QComboBox::NoInsert); // typing never adds or applies a voice
    CBLg->setEditText(QStringLiteral("语言"));
    CBLg->setAccessibleName(QStringLiteral("语言"));
    // Voice names are long ("English (America, New York City)"): the popup
    // shows them whole, wider than the box where needed.
    CBLg->view()->setTextElideMode(Qt::ElideNone);

    cmdStop = button(this, "cmdStop", QStringLiteral("Stop"), twipsRect(5640, 1200, 1455, 375));
    cmdStop->setFont(bold9);
    cmdPause = button(this, "cmdPause", PauseCaption, twipsRect(5640, 1680, 1455, 375));

    slVolume = slider(this, "slVolume", twipsRect(4200, 4560, 2295, 315), 0, 100, 100, QStringLiteral("音量"));
    slRate = slider(this, "slRate", twipsRect(960, 4560, 2175, 315), -10, 10, 0, QStringLiteral("语速"));

    // Both labels size themselves to their text, from the given top-left corner.
    Label2 = label(this, "Label2", QStringLiteral("速度"), twipsRect(480, 4560, 390, 180));
    Label2->setFont(bold9);
    Label2->adjustSize();
    Label1 = label(this, "Label1", QStringLiteral("Volume"), twipsRect(3360, 4560, 630, 180));
    Label1->setFont(bold9);
    Label1->adjustSize();

    TTS = placeControl<ReaderTextBox>(this, "TTS", twipsRect(240, 240, 5055, 4095));
    TTS->setTabChangesFocus(true); // Tab walks the controls, as everywhere else in the window
    TTS->setAccessibleName(QStringLiteral("朗读文本"));
    TTS->setBackgroundRole(QPalette::Base);

    Label3 = placeControl<WrappedLabel>(this, "Label3", twipsRect(5640, 2880, 1455, 975));
    Label3->setText(QStringLiteral("    请选择相应的语言使用，你可以由其他地方拖动文本内容到左边的文本框中。"));
    Label3->setAccessibleName(Label3->text());

    cmdAboutMe = button(this, "cmdAboutMe", QStringLiteral("About Me"), twipsRect(5640, 3960, 1455, 375));
    Command1 = button(this, "Command1", QStringLiteral("Clear"), twipsRect(5640, 2280, 1455, 375));

    // Whichever way the entry changes (a key in the closed list, a pick),
    // screen readers find it selected in the list of entries.
    connect(CBLg, &QComboBox::currentIndexChanged, this, [this] { selectCurrentEntry(CBLg); });
    // Only a pick from the list applies a voice; typing in its text field does not.
    connect(CBLg, &QComboBox::activated, this, [this] {
        CBLg->lineEdit()->setCursorPosition(0); // the picked name shows its beginning
        reportFailures([this] { CBLg_Click(); });
    });

    const QList<QWidget *> order = {cmdSpeak, CBLg, cmdStop, cmdPause, slVolume, slRate, TTS, cmdAboutMe, Command1};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(cmdSpeak, &QPushButton::clicked, this, &frmMain::cmdSpeak_Click);
    connect(cmdPause, &QPushButton::clicked, this, &frmMain::cmdPause_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    connect(cmdAboutMe, &QPushButton::clicked, this, &frmMain::cmdAboutMe_Click);
    connect(Command1, &QPushButton::clicked, this, [this] { reportFailures([this] { Command1_Click(); }); });
    // actionTriggered is the user moving the slider (keys, drag, wheel, a click
    // on the track); values set by the program raise nothing.
    connect(slRate, &QSlider::actionTriggered, this, &frmMain::slRate_Scroll);
    // Opening a document: Ctrl+O anywhere in the window, or the text area's menu.
    auto *open = new QShortcut(QKeySequence::Open, this);
    open->setContext(Qt::WindowShortcut);
    connect(open, &QShortcut::activated, this, &frmMain::ChooseDocument);
    connect(TTS, &ReaderTextBox::openRequested, this, &frmMain::ChooseDocument);
    connect(TTS, &ReaderTextBox::recentDocumentChosen, this, &frmMain::OpenDocument);
    auto *save = new QShortcut(QKeySequence::Save, this);
    save->setContext(Qt::WindowShortcut);
    connect(save, &QShortcut::activated, this, &frmMain::SaveAsAudio);
    connect(TTS, &ReaderTextBox::saveRequested, this, &frmMain::SaveAsAudio);
    connect(slVolume, &QSlider::actionTriggered, this, &frmMain::slVolume_Scroll);
    addPlaybackKeys();
    // What the desktop's player controls show follows the window.
    connect(TTS, &QPlainTextEdit::textChanged, this, &frmMain::playerChanged);
    connect(CBLg, &QComboBox::currentIndexChanged, this, &frmMain::playerChanged);
    connect(slVolume, &QSlider::valueChanged, this, &frmMain::playerChanged);
}

// F5 speaks, F6 pauses or resumes, Esc stops: each presses its button, so a
// key does nothing its button could not do now. They belong to the window:
// an open menu or dialog takes its keys first (Esc closes it, not speech).
void frmMain::addPlaybackKeys()
{
    const struct
    {
        QPushButton *button;
        QKeySequence key;
    } keys[] = {{cmdSpeak, QKeySequence(Qt::Key_F5)},
                {cmdPause, QKeySequence(Qt::Key_F6)},
                {cmdStop, QKeySequence(Qt::Key_Escape)}};
    for (const auto &[button, key] : keys) {
        auto *shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, button, [button] { Press(button); });
        button->setToolTip(key.toString(QKeySequence::NativeText));
    }
    // Alt+→ and Alt+← go to the next and the previous sentence while reading
    // (and move the caret there otherwise), as the player's Next and Previous do.
    const QKeySequence next(Qt::ALT | Qt::Key_Right), previous(Qt::ALT | Qt::Key_Left);
    for (const auto &[key, step] : {std::pair{next, &frmMain::nextSentence}, std::pair{previous, &frmMain::previousSentence}}) {
        auto *shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, step);
    }
    const QString steps = QStringLiteral("%1 下一句，%2 上一句")
                              .arg(next.toString(QKeySequence::NativeText), previous.toString(QKeySequence::NativeText));
    cmdSpeak->setToolTip(cmdSpeak->toolTip() + QLatin1Char('\n') + steps);
    TTS->setToolTip(steps);
}

// A key or a player's command does what a click does now, and only what a
// click could do: a disabled or hidden button does nothing.
void frmMain::Press(QPushButton *button)
{
    if (button->isEnabled() && button->isVisible())
        button->click();
}

bool frmMain::Form_Load()
{
    try {
        SetAsideDamagedSettings();
        LoadVoiceChoice();
        RunFirstTimeSetup();
        Voice = m_services.createVoice();
        connect(Voice.get(), &SpVoice::Word, this, &frmMain::Voice_Word);
        connect(Voice.get(), &SpVoice::failed, this,
                [this](Failure::Reason, const QString &description) { Voice_Failed(description); });
        connect(Voice.get(), &SpVoice::stateChanged, this, &frmMain::NoteVoiceState);
        connect(Voice.get(), &SpVoice::Word, this, &frmMain::playerChanged);
        FillVoiceList();
        myVflag = ReaderSpeakFlags;
        TTS->setPlainText(LoadResString(101));
        if (m_places)
            TTS->setRecentDocuments(m_places->recentDocuments());
    } catch (const Failure &failure) {
        m_services.messageBox->Show(QStringLiteral("程序初始化Voice对象出错。") + CrLf + failure.description() + CrLf
                                    + CrLf + QStringLiteral("退出。"));
        Voice.reset();
        return false;
    }
    m_loaded = true;
    return true;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_loaded)
        Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    m_loaded = false;
    // Closing must not be held up by a store that cannot be written; the
    // user is told that the choice was not kept.
    try {
        SaveVoiceChoice();
    } catch (const Failure &failure) {
        m_services.messageBox->Show(QStringLiteral("无法保存所选的语音。") + CrLf + CrLf + failure.description());
    }
    RememberPlace();
    // No Stop first: releasing the voice silences it.
    Voice.reset();
}

// Settings that cannot be read at all are kept aside for the person, who is
// told once; the start goes on as on a machine where nothing is stored.
void frmMain::SetAsideDamagedSettings()
{
    SettingsStore &settings = *m_services.settings;
    const QString kept = settings.setAsideIfDamaged(StoredSettings::Application);
    if (!kept.isEmpty())
        m_services.messageBox->Show(
            QStringLiteral("设置文件 %1 已损坏，无法读取。").arg(settings.location(StoredSettings::Application)) + CrLf
            + QStringLiteral("原文件已保存为 %1，程序将按初次使用启动。").arg(kept));
}

void frmMain::LoadVoiceChoice() { VoiceChoice = StoredSettings::readVoiceChoice(*m_services.settings); }

void frmMain::RunFirstTimeSetup() { modSetting::RunFirstTimeSetup(*m_services.settings, m_services.installer); }

namespace {

// The names the list shows for the voices it knows by description.
QString displayName(const QString &description)
{
    static const std::pair<const char16_t *, const char16_t *> names[] = {
        {u"Microsoft Mary", u"英语Mary"},
        {u"Microsoft Sam", u"英语Sam"},
        {u"Microsoft Mike", u"英语Mike"},
        {u"Microsoft Simplified Chinese", u"普通话"},
    };
    for (const auto &[known, shown] : names)
        if (description == QStringView(known))
            return QString::fromUtf16(shown);
    return description;
}

} // namespace

void frmMain::FillVoiceList()
{
    const SpObjectTokens voices = Voice->GetVoices(QString(), QString());
    {
        // Filling is not a pick: the list must not select its first entry by itself.
        const QSignalBlocker quiet(CBLg);
        for (const SpObjectToken &token : voices)
            CBLg->addItem(displayName(token.GetDescription(0)));
        CBLg->setCurrentIndex(-1);
        CBLg->setEditText(QStringLiteral("语言"));
        QAbstractItemView *popup = CBLg->view();
        popup->setMinimumWidth(popup->sizeHintForColumn(0) + 2 * popup->frameWidth()
                               + popup->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
    }
    if (VoiceChoice < -1)
        throw StoredSettings::invalidVoiceChoice(*m_services.settings, VoiceChoice);
    if (VoiceChoice < CBLg->count()) {
        setListIndex(VoiceChoice);
        if (CBLg->currentIndex() >= 0) {
            CBLg->setEditText(CBLg->itemText(CBLg->currentIndex()));
            CBLg->lineEdit()->setCursorPosition(0); // a long name shows its beginning
        }
    }
}

// Setting the selection from the program applies the voice, as a pick does.
// Position -1 (nothing saved as chosen) selects and applies nothing.
void frmMain::setListIndex(int position)
{
    if (position == -1)
        return;
    if (position < -1)
        throw Failure(QStringLiteral("语音列表的位置 %1 无效。").arg(position));
    {
        const QSignalBlocker quiet(CBLg);
        CBLg->setCurrentIndex(position);
    }
    selectCurrentEntry(CBLg);
    CBLg_Click();
}

void frmMain::CBLg_Click()
{
    const SpObjectTokens voices = Voice->GetVoices(QString(), QString());
    Voice->setVoice(voices.Item(long(CBLg->currentIndex())));
}

void frmMain::SaveVoiceChoice() { StoredSettings::writeVoiceChoice(*m_services.settings, short(CBLg->currentIndex())); }

void frmMain::UpdatePlaybackState(bool speaking, bool paused)
{
    cmdPause->setText(paused ? ResumeCaption : PauseCaption);
    cmdPause->setAccessibleName(cmdPause->text());
    m_bPause = paused;
    m_bSpeaking = speaking;
}

void frmMain::cmdSpeak_Click()
{
    try {
        // The whole text, or from where the person placed the caret.
        const ReaderTextBox::Passage passage = TTS->passageToRead();
        if (passage.text == QString())
            return;
        if (!(m_bSpeaking && m_bPause)) {
            SpeakPassage(passage);
            if (!m_bPause)
                return;
        }
        Voice->Resume();
        UpdatePlaybackState(true, false);
    } catch (const Failure &failure) {
        SpeakFailed(failure);
    }
}

// A Speak that failed is shown, and the window no longer counts as speaking;
// a pause stays as it was.
void frmMain::SpeakFailed(const Failure &failure)
{
    m_services.messageBox->Show(QStringLiteral("语音进行时错误：") + CrLf + CrLf + failure.description());
    UpdatePlaybackState(false, m_bPause);
}

// Hands a passage to the voice (dropping what it was saying) and starts
// counting the time heard of it afresh.
void frmMain::SpeakPassage(const ReaderTextBox::Passage &passage)
{
    Voice->Speak(passage.text, myVflag);
    TTS->startSpeaking(passage.offset);
    m_heardBeforeMs = 0;
    if (m_heardSince.isValid())
        m_heardSince.start();
}

void frmMain::cmdPause_Click()
{
    reportFailures([this] {
        const QString caption = cmdPause->text();
        if (caption == PauseCaption) {
            Voice->Pause();
            UpdatePlaybackState(m_bSpeaking, true);
        } else if (caption == ResumeCaption) {
            Voice->Resume();
            UpdatePlaybackState(m_bSpeaking, false);
        }
    });
}

void frmMain::cmdStop_Click()
{
    try {
        Voice->Speak(QString(), SVSFPurgeBeforeSpeak);
        if (m_bPause)
            Voice->Resume();
        UpdatePlaybackState(false, false);
    } catch (const Failure &failure) {
        m_services.messageBox->Show(QStringLiteral("Speak Error: ") + failure.description());
    }
    RememberPlace();
}

void frmMain::slRate_Scroll()
{
    reportFailures([this] { Voice->setRate(slRate->sliderPosition()); });
}

void frmMain::slVolume_Scroll()
{
    reportFailures([this] { Voice->setVolume(slVolume->sliderPosition()); });
}

// A fresh dialog each time, modal over everything, gone when closed.
void frmMain::cmdAboutMe_Click()
{
    frmAbout dialog(m_services.about);
    dialog.Form_Load();
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.exec();
}

// Empties the text, as an edit that Ctrl+Z takes back; speech in progress goes
// on, and its later words select nothing.
void frmMain::Command1_Click() { TTS->replaceAll(QString()); }

// A failure met by speech already under way (the synthesiser lost, the
// sound server gone) is shown as a failed Speak is; the buttons keep their
// state, and the next Speak starts afresh.
//
// One such box at a time: failures that arrive while it is open (a helper
// flooding them) would otherwise each open a box inside the last one.
void frmMain::Voice_Failed(const QString &description)
{
    if (m_showingVoiceFailure)
        return;
    m_showingVoiceFailure = true;
    const auto shown = qScopeGuard([this] { m_showingVoiceFailure = false; });
    m_services.messageBox->Show(QStringLiteral("语音进行时错误：") + CrLf + CrLf + description);
}

void frmMain::Voice_Word(long, const QVariant &, long characterPosition, long length)
{
    HighlightWord(characterPosition, length);
}

// Selects the word being heard. A word outside the text (cleared or replaced
// while speaking) selects nothing and reports nothing.
void frmMain::HighlightWord(long position, long length) { TTS->selectRange(position, length); }
