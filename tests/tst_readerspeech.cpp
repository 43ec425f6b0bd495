// SPDX-License-Identifier: GPL-3.0-or-later
// The reader window with the real espeak-ng voice, heard through the test
// sound server: the word being spoken is the word selected in the text.
#include "reader/frmMain.h"
#include "playback/EspeakVoice.h"
#include "support/MemorySettingsStore.h"
#include "support/RecordingMessageBox.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

class TestReaderSpeech : public QObject
{
    Q_OBJECT

private slots:
    void selectionsFollowTheWords_data();
    void selectionsFollowTheWords();
};

void TestReaderSpeech::selectionsFollowTheWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("chinese") << QStringLiteral("春天来了，河水\n哗哗地流着。")
                             << QStringList({"春天", "来", "了", "河水", "哗哗", "地", "流", "着"}); // ICU's words
    QTest::newRow("english") << QStringLiteral("Spring has come, and the river\nflows again.")
                             << QStringList({"Spring", "has", "come", "and", "the", "river", "flows", "again"});
}

void TestReaderSpeech::selectionsFollowTheWords()
{
    QFETCH(QString, text);
    QFETCH(QStringList, words);
    QTemporaryDir userVoices;
    RecordingMessageBox messages;
    MemorySettingsStore settings = MemorySettingsStore::afterFirstRun();
    frmMain window({[&]() -> std::unique_ptr<SpVoice> {
                        EspeakVoice::Options options;
                        options.userVoiceFolder = userVoices.path();
                        return std::make_unique<EspeakVoice>(options);
                    },
                    &messages, &settings});
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *area = window.findChild<QPlainTextEdit *>(QStringLiteral("TTS"));
    area->setPlainText(text);
    // The English text goes to the English voice (the list is Mandarin first).
    if (words.first() == u"Spring") {
        const SpObjectTokens voices = window.voice()->GetVoices({}, {});
        for (long i = 0; i < voices.Count(); ++i)
            if (voices.Item(i).GetDescription(0) == u"English (America)")
                window.voice()->setVoice(voices.Item(i));
    }
    QTest::keyClick(window.findChild<QSlider *>(QStringLiteral("slRate")), Qt::Key_End); // fastest

    QStringList selected;
    // Connected after the window's own handler, so it sees the selection that handler made.
    connect(window.voice(), &SpVoice::Word, this, [&] { selected << area->textCursor().selectedText(); });
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("cmdSpeak")), Qt::LeftButton);
    QVERIFY2(QTest::qWaitFor([&] { return selected.size() >= words.size(); }, 15000), qPrintable(selected.join(u'|')));
    QCOMPARE(selected, words);
    QVERIFY(messages.messages.isEmpty());
    window.close();
}

QTEST_MAIN(TestReaderSpeech)
#include "tst_readerspeech.moc"
