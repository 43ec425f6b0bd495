// SPDX-License-Identifier: GPL-3.0-or-later
// The speech-dispatcher module as the server drives it: the real program
// over pipes, with the real helper, in a home of its own.
#include "dispatcher/ModuleSettings.h"
#include "speech/helper/SpeechRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <vector>

namespace {

// One complete answer of the module: its lines up to the one whose code is
// followed by a space, and for an audio event its samples.
struct Answer
{
    QByteArray code;
    QByteArrayList lines;
    std::vector<int16_t> samples;
    bool audioValid = true;
};

// The server's reading of a 705 event: header lines, then the escaped
// samples after "705-AUDIO" and its NUL, up to the line's end.
void decodeAudio(Answer &answer)
{
    int declared = -1, bits = 0, channels = 0;
    for (const QByteArray &line : std::as_const(answer.lines)) {
        if (line.startsWith("705-num_samples="))
            declared = line.mid(16).toInt();
        else if (line.startsWith("705-bits="))
            bits = line.mid(9).toInt();
        else if (line.startsWith("705-num_channels="))
            channels = line.mid(17).toInt();
        else if (line.startsWith(QByteArray("705-AUDIO\0", 10))) {
            const QByteArray data = line.mid(10);
            QByteArray bytes;
            for (qsizetype i = 0; i < data.size(); ++i)
                bytes.append(data[i] == 0x7d && i + 1 < data.size() ? char(data[++i] ^ 0x20) : data[i]);
            answer.samples.resize(std::size_t(bytes.size() / 2));
            std::memcpy(answer.samples.data(), bytes.constData(), answer.samples.size() * 2);
            answer.audioValid = bytes.size() % 2 == 0;
        }
    }
    answer.audioValid = answer.audioValid && bits == 16 && channels == 1 && declared == int(answer.samples.size());
}

class Module
{
public:
    explicit Module(const QString &home)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(SAYRELLA_MODULE), {});
        m_process.waitForStarted();
    }
    ~Module()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    void send(const QByteArray &bytes) { m_process.write(bytes); }
    // The next answer, or nullopt when none is complete within the time.
    std::optional<Answer> next(int timeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            if (auto answer = take())
                return answer;
            const int left = timeoutMs - int(timer.elapsed());
            if (left <= 0 || (!m_process.waitForReadyRead(left) && m_process.state() == QProcess::NotRunning))
                return std::nullopt;
            m_buffer += m_process.readAll();
        }
    }
    // Answers up to and including the first whose code is one of these.
    QList<Answer> until(const QList<QByteArray> &codes, int timeoutMs = 60000)
    {
        QList<Answer> answers;
        while (auto answer = next(timeoutMs)) {
            answers.append(*answer);
            if (codes.contains(answer->code))
                break;
        }
        return answers;
    }
    void initialise()
    {
        send("INIT\n");
        const auto init = next();
        QVERIFY(init);
        QCOMPARE(init->code, QByteArray("299"));
        send("AUDIO\naudio_output_method=server\n.\n");
        QCOMPARE(next()->code, QByteArray("207"));
        QCOMPARE(next()->code, QByteArray("203"));
    }
    QProcess &process() { return m_process; }

private:
    std::optional<Answer> take()
    {
        Answer answer;
        qsizetype at = 0;
        for (;;) {
            const qsizetype newline = m_buffer.indexOf('\n', at);
            if (newline < 0)
                return std::nullopt;
            const QByteArray line = m_buffer.mid(at, newline - at);
            answer.lines.append(line);
            at = newline + 1;
            if (line.size() < 4 || line[3] == ' ') {
                answer.code = line.left(3);
                m_buffer.remove(0, at);
                if (answer.code == "705")
                    decodeAudio(answer);
                return answer;
            }
        }
    }

    QProcess m_process;
    QByteArray m_buffer;
};

QByteArrayList codes(const QList<Answer> &answers)
{
    QByteArrayList out;
    for (const Answer &a : answers)
        out.append(a.code);
    return out;
}

qsizetype audioSamples(const QList<Answer> &answers)
{
    qsizetype n = 0;
    for (const Answer &a : answers)
        n += qsizetype(a.samples.size());
    return n;
}

// The events a message made, audio left out, marks by name.
QByteArrayList events(const QList<Answer> &answers)
{
    QByteArrayList out;
    for (const Answer &a : answers) {
        if (a.code == "700")
            out.append("700 " + a.lines.front().mid(4));
        else if (a.code != "705")
            out.append(a.code);
    }
    return out;
}

class Recording : public SpeechSynthesis::Sink
{
public:
    bool samples(const int16_t *data, std::size_t count) override
    {
        m_samples.insert(m_samples.end(), data, data + count);
        return true;
    }
    void word(qint64, long, long) override { }
    void mark(qint64 sample, const QString &name) override { m_marks.append({sample, name}); }
    std::vector<int16_t> m_samples;
    QList<std::pair<qint64, QString>> m_marks;
};

// Texts long enough to be stopped or paused while they play.
QByteArray longText()
{
    QByteArray text;
    for (int i = 0; i < 40; ++i)
        text += "<mark name=\"s" + QByteArray::number(i) + "\"/>银行的行长今天来了，大家都很高兴。";
    return "<speak>" + text + "</speak>";
}

pid_t helperOf(qint64 module)
{
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(module));
    if (!children.open(QIODevice::ReadOnly))
        return -1;
    return pid_t(children.readAll().trimmed().split(' ').value(0).toInt());
}

} // namespace

class TestSpeechModule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_home.isValid()); }

    void commandsAreAnswered_data();
    void commandsAreAnswered();
    void voicesAreListedByLanguage();
    void messagesMakeTheirEventsInOrder_data();
    void messagesMakeTheirEventsInOrder();
    void audioIsTheHelpersSamplesWithMarksInStep();
    void stopEndsTheMessageThenTheNextPlays();
    void pauseStopsAtTheNextMark();
    void aHugeTextIsTakenAndStopped();
    void aDeadHelperIsReplacedForTheNextMessage();
    void quitEndsTheModule();

    void voiceIsChosenByNameThenLanguage_data();
    void voiceIsChosenByNameThenLanguage();
    void settingsReachTheEngineScales_data();
    void settingsReachTheEngineScales();

private:
    QTemporaryDir m_home;
};

void TestSpeechModule::commandsAreAnswered_data()
{
    QTest::addColumn<QByteArray>("commands");
    QTest::addColumn<QByteArrayList>("answers");
    QTest::newRow("audio through the server") << QByteArray("AUDIO\naudio_output_method=server\n.\n")
                                              << QByteArrayList{"207", "203"};
    QTest::newRow("audio of its own refused") << QByteArray("AUDIO\naudio_output_method=alsa\n.\n")
                                              << QByteArrayList{"207", "300"};
    // A 3xx to SET would make the server drop the message it is for.
    QTest::newRow("settings of every kind, nonsense too")
        << QByteArray("SET\nrate=abc\n=\nnovalue\npitch=-500\npitch_range=20\nvolume=100\npunctuation_mode=some\n"
                      "spelling_mode=on\ncap_let_recogn=icon\nlanguage=NULL\nsynthesis_voice=no such voice\n"
                      "voice=child_female\nsome_future_key=1\n.\n")
        << QByteArrayList{"203", "203"};
    QTest::newRow("empty settings") << QByteArray("SET\n.\n") << QByteArrayList{"203", "203"};
    QTest::newRow("log level") << QByteArray("LOGLEVEL\nlog_level=5\n.\n") << QByteArrayList{"207", "203"};
    QTest::newRow("debugging on and off") << QByteArray("DEBUG ON /nonexistent/log\nDEBUG OFF\n")
                                          << QByteArrayList{"200", "200"};
    QTest::newRow("unknown command") << QByteArray("HELLO THERE\n") << QByteArrayList{"300"};
    QTest::newRow("empty message") << QByteArray("SPEAK\n\n.\n") << QByteArrayList{"202", "301"};
    QTest::newRow("a character of two lines") << QByteArray("CHAR\na\nb\n.\n") << QByteArrayList{"202", "305"};
    QTest::newRow("stop and pause with nothing spoken, then a command")
        << QByteArray("STOP\nPAUSE\nHELLO\n") << QByteArrayList{"300"};
}

void TestSpeechModule::commandsAreAnswered()
{
    QFETCH(QByteArray, commands);
    QFETCH(QByteArrayList, answers);
    Module module(m_home.path());
    module.initialise();
    module.send(commands);
    QByteArrayList got;
    for (qsizetype i = 0; i < answers.size(); ++i)
        if (const auto answer = module.next())
            got.append(answer->code);
    QCOMPARE(got, answers);
    // Nothing else follows: no stray event for a message that was never spoken.
    QVERIFY(!module.next(300));
}

void TestSpeechModule::voicesAreListedByLanguage()
{
    Module module(m_home.path());
    module.initialise();
    module.send("LIST VOICES\n");
    const auto list = module.next();
    QVERIFY(list);
    QCOMPARE(list->lines.back(), QByteArray("200 OK VOICE LIST SENT"));
    QSet<QByteArray> names, languages;
    for (const QByteArray &line : list->lines.mid(0, list->lines.size() - 1)) {
        const QByteArrayList fields = line.mid(4).split('\t');
        QCOMPARE(fields.size(), 3);
        languages.insert(fields[1]);
        // Mandarin is listed twice (zh-CN and zh) under one name; every other name is one voice's.
        QVERIFY2(!names.contains(fields[0] + fields[1]), line.constData());
        names.insert(fields[0] + fields[1]);
    }
    QVERIFY(list->lines.front().endsWith("\tzh-CN\tnone"));
    for (const char *language : {"zh-CN", "zh", "en-GB", "en-US", "de", "yue"})
        QVERIFY2(languages.contains(language), language);
    QVERIFY(!list->lines.join('\n').contains("pinyin"));
}

void TestSpeechModule::messagesMakeTheirEventsInOrder_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::addColumn<bool>("audible");
    const QByteArrayList plain{"202", "200", "701", "702"};
    QTest::newRow("plain Chinese") << QByteArray("SPEAK\n你好\n.\n") << plain << true;
    QTest::newRow("two lines, one starting with a dot") << QByteArray("SPEAK\n第一行\n..第二行\n.\n") << plain << true;
    QTest::newRow("marks where Orca puts them")
        << QByteArray("SPEAK\n<speak><mark name=\"0:2\"/>你好，<mark name=\"3:5\"/>世界。<mark name=\"__spd_7\"/></speak>\n.\n")
        << QByteArrayList{"202", "200", "701", "700 0:2", "700 3:5", "700 __spd_7", "702"} << true;
    QTest::newRow("a mark in the middle of a word")
        << QByteArray("SPEAK\n<speak>银行<mark name=\"m\"/>行长</speak>\n.\n")
        << QByteArrayList{"202", "200", "701", "700 m", "702"} << true;
    QTest::newRow("English with marks, read by the engine")
        << QByteArray("SET\nlanguage=en\n.\nSPEAK\n<speak><mark name=\"a\"/>Hello <mark name=\"b\"/>world</speak>\n.\n")
        << QByteArrayList{"203", "203", "202", "200", "701", "700 a", "700 b", "702"} << true;
    QTest::newRow("markup that is not well-formed")
        << QByteArray("SPEAK\n<speak><mark name=\"x\">你好<p>\n.\n") << plain << true;
    QTest::newRow("a Han character") << QByteArray("CHAR\n行\n.\n") << plain << true;
    QTest::newRow("a letter") << QByteArray("CHAR\nb\n.\n") << plain << true;
    QTest::newRow("the space key as a character") << QByteArray("CHAR\nspace\n.\n") << plain << true;
    QTest::newRow("a key with modifiers") << QByteArray("KEY\ncontrol_alt_delete\n.\n") << plain << true;
    QTest::newRow("a sound icon says nothing") << QByteArray("SOUND_ICON\nmessage\n.\n") << plain << false;
}

void TestSpeechModule::messagesMakeTheirEventsInOrder()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArrayList, expected);
    QFETCH(bool, audible);
    Module module(m_home.path());
    module.initialise();
    module.send(message);
    const QList<Answer> answers = module.until({"702", "703", "704", "301"});
    QCOMPARE(events(answers), expected);
    for (const Answer &a : answers)
        QVERIFY(a.code != "705" || a.audioValid);
    QCOMPARE(audioSamples(answers) > 0, audible);
    // Audio only between the beginning and the end.
    const qsizetype begin = codes(answers).indexOf("701");
    for (qsizetype i = 0; i < begin; ++i)
        QVERIFY(answers[i].code != "705");
}

void TestSpeechModule::audioIsTheHelpersSamplesWithMarksInStep()
{
    const QByteArray text = "<speak>2008年8月8日，<mark name=\"a\"/>银行行长来了。<mark name=\"b\"/>Hello.</speak>";
    Module module(m_home.path());
    module.initialise();
    module.send("SET\nlanguage=zh-CN\nrate=0\npitch=0\nvolume=100\n.\n");
    module.until({"203"});
    module.until({"203"});
    module.send("SPEAK\n" + text + "\n.\n");
    const QList<Answer> answers = module.until({"702", "703"});
    std::vector<int16_t> heard;
    QList<std::pair<qint64, QString>> marks;
    for (const Answer &a : answers) {
        if (a.code == "700")
            marks.append({qint64(heard.size()), QString::fromUtf8(a.lines.front().mid(4))});
        heard.insert(heard.end(), a.samples.begin(), a.samples.end());
    }

    // The same text rendered by the reader's own renderer, in the same home.
    qputenv("HOME", QFile::encodeName(m_home.path()));
    SpeechRenderer renderer({}, SpeechRenderer::Pace::Listening);
    Recording made;
    SpeechSynthesis::Settings settings;
    settings.markup = true;
    std::atomic<bool> cancel{false};
    QVERIFY(renderer.render(QString::fromUtf8(text), settings, made, cancel));
    QVERIFY(made.m_samples.size() > 22050);
    QCOMPARE(heard.size(), made.m_samples.size());
    QVERIFY(heard == made.m_samples);
    // Each mark is told with the block its audio starts in (20 ms at most early).
    QCOMPARE(marks.size(), made.m_marks.size());
    for (qsizetype i = 0; i < marks.size(); ++i) {
        QCOMPARE(marks[i].second, made.m_marks[i].second);
        QVERIFY2(marks[i].first <= made.m_marks[i].first && made.m_marks[i].first - marks[i].first <= 441,
                 qPrintable(QStringLiteral("%1 vs %2").arg(marks[i].first).arg(made.m_marks[i].first)));
    }
    QVERIFY(marks[0].first > 22050 / 2); // after the date, not at the start
}

void TestSpeechModule::stopEndsTheMessageThenTheNextPlays()
{
    Module module(m_home.path());
    module.initialise();
    for (int round = 0; round < 2; ++round) { // a stop, then another: the second message is not lost to the first
        module.send("SPEAK\n" + longText() + "\n.\n");
        QList<Answer> answers = module.until({"705"});
        QCOMPARE(events(answers).mid(0, 3), (QByteArrayList{"202", "200", "701"}));
        module.send("STOP\n");
        const QList<Answer> after = module.until({"702", "703"});
        QCOMPARE(after.back().code, QByteArray("703"));
        // Stopped, not played to its end: forty sentences are a minute of speech.
        QVERIFY(audioSamples(answers) + audioSamples(after) < 22050 * 20);
        QVERIFY(!module.next(300));
    }
    module.send("SPEAK\n你好\n.\n");
    const QList<Answer> next = module.until({"702", "703"});
    QCOMPARE(events(next), (QByteArrayList{"202", "200", "701", "702"}));
    QVERIFY(audioSamples(next) > 0);
}

void TestSpeechModule::pauseStopsAtTheNextMark()
{
    Module module(m_home.path());
    module.initialise();
    module.send("SPEAK\n" + longText() + "\n.\n");
    QList<Answer> answers = module.until({"705"});
    module.send("PAUSE\n");
    answers += module.until({"702", "703", "704"});
    QCOMPARE(answers.back().code, QByteArray("704"));
    // The last thing before the pause is the mark the server takes it up again from.
    qsizetype last = answers.size() - 2;
    QCOMPARE(answers[last].code, QByteArray("700"));
    QVERIFY(answers[last].lines.front().startsWith("700-s"));
    QVERIFY(audioSamples(answers) < 22050 * 20);
    QVERIFY(!module.next(300));
}

void TestSpeechModule::aHugeTextIsTakenAndStopped()
{
    Module module(m_home.path());
    module.initialise();
    // Ten megabytes in lines of 1,000 characters, angle brackets and all.
    QByteArray line = "银行<行长>&来了 ";
    while (line.size() < 1000)
        line += line;
    QByteArray huge;
    while (huge.size() < (10 << 20))
        huge += line + '\n';
    module.send("SPEAK\n" + huge + ".\n");
    const QList<Answer> answers = module.until({"705", "702", "703", "301"}, 120000);
    QCOMPARE(events(answers).mid(0, 3), (QByteArrayList{"202", "200", "701"}));
    QCOMPARE(answers.back().code, QByteArray("705"));
    module.send("STOP\n");
    QCOMPARE(module.until({"702", "703"}).back().code, QByteArray("703"));
    module.send("SPEAK\n<speak><mark name=\"after\"/>好</speak>\n.\n");
    QCOMPARE(events(module.until({"702", "703"})), (QByteArrayList{"202", "200", "701", "700 after", "702"}));
}

void TestSpeechModule::aDeadHelperIsReplacedForTheNextMessage()
{
    Module module(m_home.path());
    module.initialise();
    module.send("SPEAK\n" + longText() + "\n.\n");
    module.until({"705"});
    const pid_t helper = helperOf(module.process().processId());
    QVERIFY(helper > 0);
    QCOMPARE(::kill(helper, SIGKILL), 0);
    const QList<Answer> ended = module.until({"702", "703"});
    QVERIFY(!ended.isEmpty());
    module.send("SPEAK\n你好\n.\n");
    const QList<Answer> next = module.until({"702", "703"});
    QCOMPARE(events(next), (QByteArrayList{"202", "200", "701", "702"}));
    QVERIFY(audioSamples(next) > 0);
    QVERIFY(helperOf(module.process().processId()) != helper);
}

void TestSpeechModule::quitEndsTheModule()
{
    Module module(m_home.path());
    module.initialise();
    module.send("SPEAK\n" + longText() + "\n.\n");
    module.until({"705"});
    module.send("QUIT\n");
    const QList<Answer> answers = module.until({"210"});
    QCOMPARE(answers.back().code, QByteArray("210"));
    QVERIFY(module.process().waitForFinished(10000));
    QCOMPARE(module.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(module.process().exitCode(), 0);
}

void TestSpeechModule::voiceIsChosenByNameThenLanguage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("nothing asked: Mandarin") << QString() << QString() << "file:pkg";
    QTest::newRow("zh-CN") << QString() << "zh-CN" << "file:pkg";
    QTest::newRow("zh-TW is read by our Mandarin too") << QString() << "zh-TW" << "file:pkg";
    QTest::newRow("cmn") << QString() << "cmn" << "file:pkg";
    QTest::newRow("en-US exactly") << QString() << "en-US" << "espeak:en-us";
    QTest::newRow("en_US as some clients spell it") << QString() << "en_US" << "espeak:en-us";
    QTest::newRow("en: the first English") << QString() << "en" << "espeak:en";
    QTest::newRow("en-AU: its main language") << QString() << "en-AU" << "espeak:en";
    QTest::newRow("a language we lack: Mandarin") << QString() << "xx" << "file:pkg";
    QTest::newRow("a name wins over the language") << "English (America)" << "zh" << "espeak:en-us";
    QTest::newRow("an unknown name: the language") << "nobody" << "en-US" << "espeak:en-us";
    QTest::newRow("the espeak-ng Mandarin by name") << "Chinese (Mandarin)" << "en" << "espeak:sit/cmn";
}

void TestSpeechModule::voiceIsChosenByNameThenLanguage()
{
    QFETCH(QString, name);
    QFETCH(QString, language);
    QFETCH(QString, chosen);
    const QList<ModuleVoice> voices = moduleVoices(SpObjectTokens({
        {"file:pkg", "普通话女声", "cmn"},
        {"espeak:sit/cmn", "Chinese (Mandarin)", "cmn"},
        {"espeak:sit/cmn-Latn-pinyin", "Chinese (Mandarin, latin as Pinyin)", "cmn-latn-pinyin"},
        {"espeak:en", "English (Great Britain)", "en-gb"},
        {"espeak:en-us", "English (America)", "en-us"},
    }));
    QCOMPARE(chooseVoice(voices, name, language), chosen);
}

void TestSpeechModule::settingsReachTheEngineScales_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<long>("rate");
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("pitch");
    QTest::addColumn<int>("range");
    QTest::newRow("defaults") << QByteArrayList{} << 0L << 100 << 50 << 50;
    QTest::newRow("the ends") << QByteArrayList{"rate=100", "volume=-100", "pitch=100", "pitch_range=-100"} << 10L << 0
                              << 100 << 0;
    QTest::newRow("beyond the ends") << QByteArrayList{"rate=-400", "volume=900"} << -10L << 100 << 50 << 50;
    QTest::newRow("the middle, rounded") << QByteArrayList{"rate=55", "volume=0", "pitch=-35"} << 6L << 50 << 32 << 50;
    QTest::newRow("nonsense keeps what was") << QByteArrayList{"rate=30", "rate=fast", "rate", "=3"} << 3L << 100 << 50
                                             << 50;
}

void TestSpeechModule::settingsReachTheEngineScales()
{
    QFETCH(QByteArrayList, lines);
    ModuleSettings settings;
    for (const QByteArray &line : lines)
        settings.set(line);
    const SpeechSynthesis::Settings s = settings.synthesis(QStringLiteral("v"));
    QFETCH(long, rate);
    QFETCH(int, volume);
    QFETCH(int, pitch);
    QFETCH(int, range);
    QCOMPARE(s.rate, rate);
    QCOMPARE(s.volume, volume);
    QCOMPARE(s.pitch, pitch);
    QCOMPARE(s.pitchRange, range);
    QVERIFY(s.markup);
}

QTEST_GUILESS_MAIN(TestSpeechModule)
#include "tst_speechmodule.moc"
