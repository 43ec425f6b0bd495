// SPDX-License-Identifier: GPL-3.0-or-later
// What Mandarin voices say, heard through the real helper and engine: every
// Mandarin voice reads Han text as Mandarin at Mandarin speed, a written form
// sounds like its reading written out, and English inside Chinese is one
// stream whose words select what was written.
#include "speech/helper/SpeechRenderer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

const QString HanSentence = QStringLiteral("文字本来是有声音的，我们今天一起去公园散步。");

class Recording : public SpeechRenderer::Sink
{
public:
    bool samples(const int16_t *data, std::size_t count) override
    {
        pcm.insert(pcm.end(), data, data + count);
        return true;
    }
    void word(qint64 sample, long position, long length) override { words.append({sample, position, length}); }
    void mark(qint64 sample, const QString &name) override { marks.append({sample, name}); }
    struct Word
    {
        qint64 sample;
        long position, length;
    };
    std::vector<int16_t> pcm;
    QList<Word> words;
    QList<std::pair<qint64, QString>> marks;
};

// Samples of espeak-ng's own pinyin reading of text, at the Mandarin voices' speed.
qint64 pinyinVoiceSamples(const QString &text)
{
    QProcess engine;
    engine.start(QStringLiteral("espeak-ng"), {"-v", "cmn-latn-pinyin", "-s", "280", "--stdout", text});
    engine.waitForFinished(30000);
    const QByteArray wav = engine.readAllStandardOutput();
    return wav.size() > 44 ? (wav.size() - 44) / 2 : 0;
}

// The longest run of near-silence between the first and the last sound.
qint64 longestPause(const std::vector<int16_t> &pcm)
{
    const auto loud = [](int16_t s) { return std::abs(int(s)) > 300; };
    const auto first = std::find_if(pcm.begin(), pcm.end(), loud);
    const auto last = std::find_if(pcm.rbegin(), pcm.rend(), loud).base();
    qint64 longest = 0, run = 0;
    for (auto it = first; it < last; ++it) {
        run = loud(*it) ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

} // namespace

class TestMandarinSpeech : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyMandarinVoiceReadsAtMandarinSpeed_data();
    void everyMandarinVoiceReadsAtMandarinSpeed();
    void writtenFormSoundsLikeItsReadingWrittenOut_data();
    void writtenFormSoundsLikeItsReadingWrittenOut();
    void englishInsideChineseIsOneStream();
    void markupIsReadByTheFrontEndWithWordsInTheMarkup();
    void pitchIsHeard();

private:
    Recording render(const QString &text, const QString &voice = {});

    QTemporaryDir m_voices;
    std::unique_ptr<SpeechRenderer> m_renderer;
};

void TestMandarinSpeech::initTestCase()
{
    // A voice file as the Mandarin voice package installs one.
    QFile file(QDir(m_voices.path()).filePath(QStringLiteral("cmn-sayrella")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("name 普通话女声\nlanguage cmn\npitch 120 190\n");
    file.close();
    HelperOptions options;
    options.userVoiceFolder = m_voices.path();
    m_renderer = std::make_unique<SpeechRenderer>(options);
}

Recording TestMandarinSpeech::render(const QString &text, const QString &voice)
{
    Recording recording;
    const std::atomic<bool> never{false};
    if (!m_renderer->render(text, {voice, 0, 100}, recording, never))
        qFatal("rendering stopped");
    return recording;
}

void TestMandarinSpeech::everyMandarinVoiceReadsAtMandarinSpeed_data()
{
    QTest::addColumn<QString>("voice");
    QTest::newRow("built-in Mandarin") << "espeak:sit/cmn";
    QTest::newRow("built-in Mandarin, pinyin") << "espeak:sit/cmn-Latn-pinyin";
    QTest::newRow("installed voice file") << QStringLiteral("file:%1/cmn-sayrella").arg(m_voices.path());
}

// The built-in voice used to read Han as English pinyin ("wen two"), and a
// voice file at the speed of English: both half as long again.
void TestMandarinSpeech::everyMandarinVoiceReadsAtMandarinSpeed()
{
    QFETCH(QString, voice);
    const qint64 expected = pinyinVoiceSamples(HanSentence);
    QVERIFY(expected > 22050);
    const qint64 samples = qint64(render(HanSentence, voice).pcm.size());
    const double ratio = double(samples) / double(expected);
    qInfo("%s: %.3f of espeak-ng's pinyin reading", qPrintable(voice), ratio);
    QVERIFY2(ratio > 0.9 && ratio < 1.1, qPrintable(QString::number(ratio)));
}

void TestMandarinSpeech::writtenFormSoundsLikeItsReadingWrittenOut_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("readOut");
    QTest::newRow("date") << "2008-08-08开幕" << "二零零八年八月八日开幕";
    QTest::newRow("percent") << "增长3.5%" << "增长百分之三点五";
    QTest::newRow("time") << "10:30出发" << "十点三十分出发";
    QTest::newRow("money") << "￥1.25" << "一点二五元";
}

void TestMandarinSpeech::writtenFormSoundsLikeItsReadingWrittenOut()
{
    QFETCH(QString, written);
    QFETCH(QString, readOut);
    const Recording a = render(written);
    const Recording b = render(readOut);
    QVERIFY(!b.pcm.empty());
    const double ratio = double(a.pcm.size()) / double(b.pcm.size());
    QVERIFY2(ratio > 0.97 && ratio < 1.03, qPrintable(QString::number(ratio)));
    // The highlight stays on what was written: every word is inside the text.
    for (const Recording::Word &w : a.words)
        QVERIFY(w.position >= 0 && w.position + w.length <= written.size());
}

void TestMandarinSpeech::englishInsideChineseIsOneStream()
{
    const QString text = QStringLiteral("我用iPhone拍照");
    const Recording r = render(text);
    QStringList heard;
    for (const Recording::Word &w : r.words)
        heard << QStringLiteral("%1+%2").arg(w.position).arg(w.length);
    QVERIFY2(std::any_of(r.words.cbegin(), r.words.cend(), [](const Recording::Word &w) {
        return w.position == 2 && w.length == 6; // "iPhone", said by the English voice
    }), qPrintable(heard.join(u' ')));
    // No gap inside longer than a comma's pause in Mandarin.
    const Recording comma = render(QStringLiteral("我用，拍照"));
    QVERIFY2(longestPause(r.pcm) <= longestPause(comma.pcm),
             qPrintable(QStringLiteral("%1 against %2").arg(longestPause(r.pcm)).arg(longestPause(comma.pcm))));
}

// SSML (as screen readers send it) is read by the front end, not by the
// engine's own Mandarin: the date is said as a date, the marks cost no
// pause, and words are told where they stand in the markup, so that the
// window still selects them.
void TestMandarinSpeech::markupIsReadByTheFrontEndWithWordsInTheMarkup()
{
    const QString plain = QStringLiteral("银行行长来了，2008年8月8日。");
    const QString markup = QStringLiteral("<speak>银行<mark name=\"m1\"/>行长来了，<mark name=\"m2\"/>2008年8月8日。</speak>");
    Recording said;
    SpeechSynthesis::Settings settings;
    settings.markup = true;
    const std::atomic<bool> never{false};
    QVERIFY(m_renderer->render(markup, settings, said, never));
    const Recording asText = render(plain);
    const double ratio = double(said.pcm.size()) / double(asText.pcm.size());
    QVERIFY2(ratio > 0.95 && ratio < 1.08, qPrintable(QString::number(ratio)));
    QCOMPARE(said.marks.size(), 2);
    QCOMPARE(said.marks[0].second, QStringLiteral("m1"));
    QVERIFY(said.marks[0].first > 0 && said.marks[0].first < said.marks[1].first);
    QStringList words;
    for (const Recording::Word &w : said.words) {
        const QString word = markup.mid(w.position, w.length);
        QVERIFY2(!word.contains(u'<') && !word.contains(u'>'), qPrintable(word));
        words << word;
    }
    QVERIFY2(words.value(0) == QStringLiteral("银行") && words.contains(QStringLiteral("行长")), qPrintable(words.join(u'|')));
}

void TestMandarinSpeech::pitchIsHeard()
{
    const std::atomic<bool> never{false};
    Recording low, high;
    SpeechSynthesis::Settings settings;
    settings.pitch = 0;
    QVERIFY(m_renderer->render(HanSentence, settings, low, never));
    settings.pitch = 100;
    QVERIFY(m_renderer->render(HanSentence, settings, high, never));
    // The same sounds (about as long), not the same samples.
    QVERIFY(std::abs(double(high.pcm.size()) / double(low.pcm.size()) - 1) < 0.1);
    QVERIFY(high.pcm != low.pcm);
    // And back to the voice's own: a pitch is no lasting change of voice.
    settings.pitch = 50;
    Recording normal;
    QVERIFY(m_renderer->render(HanSentence, settings, normal, never));
    QVERIFY(normal.pcm != high.pcm && normal.pcm != low.pcm);
}

QTEST_GUILESS_MAIN(TestMandarinSpeech)
#include "tst_mandarinspeech.moc"
