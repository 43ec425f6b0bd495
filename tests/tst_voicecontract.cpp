// SPDX-License-Identifier: GPL-3.0-or-later
// What every voice promises the reader, checked once per back end: the
// scripted fake the window's tests use and the real espeak-ng voice with its
// synthesis helper (heard through the test sound server). A back end that
// passes here can be put behind the window.
#include "platform/Failure.h"
#include "playback/EspeakVoice.h"
#include "speech/helper/SpeechRenderer.h"
#include "support/FakeSynthesis.h"
#include "support/FakeVoice.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString Counting = QStringLiteral("one two three four five six seven eight");

// Everything a voice said, in order.
class Recorder : public QObject
{
    Q_OBJECT

signals:
    void ended();

public:
    struct Word
    {
        long stream, position, length;
    };
    explicit Recorder(SpVoice &voice)
    {
        connect(&voice, &SpVoice::Word, this, [this](long s, const QVariant &, long p, long l) {
            words.append({s, p, l});
        });
        connect(&voice, &SpVoice::EndStream, this, [this](long s) {
            ends.append(s);
            emit ended();
        });
        connect(&voice, &SpVoice::failed, this, [this](Failure::Reason r, const QString &d) {
            failures.append(d);
            reasons.append(r);
        });
        connect(&voice, &SpVoice::stateChanged, this, [this](SpVoice::State s) { states.append(s); });
    }
    // In an event loop of its own, so that a voice's timers fire on time
    // (QTest::qWaitFor sleeps 10 ms between looks, which would set the pace
    // of a fast voice).
    bool waitForEnd(long stream, int timeoutMs = 15000)
    {
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        connect(this, &Recorder::ended, &loop, [&] {
            if (ends.contains(stream))
                loop.quit();
        });
        if (!ends.contains(stream))
            loop.exec();
        return ends.contains(stream);
    }
    QStringList spoken(const QString &text) const
    {
        QStringList out;
        for (const Word &w : words)
            out << text.mid(w.position, w.length);
        return out;
    }
    QList<Word> words;
    QList<long> ends;
    QStringList failures;
    QList<Failure::Reason> reasons;
    QList<SpVoice::State> states;
};

} // namespace

class TestVoiceContract : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void wordsComeInOrderThenTheEnd();
    void appendedTextsEndInTurn();
    void purgeEndsTheSpeechWithoutAnEnd();
    void pausesNestAndResumeContinues();
    void fasterRateEndsSooner();
    void silentVolumeStillSpeaksToTheEnd();
    void voicesAreOfferedByPositionAndSwitch();
    void synchronousSpeakReturnsOnceHeardOrPaused();
    void failureAfterReturnIsReportedOnceAndTheNextSpeakWorks();
    void renderingGivesSoundAndWordsInOrder();

private:
    bool isFake() const
    {
        QFETCH_GLOBAL(QString, backend);
        return backend == u"fake";
    }
    SpObjectToken voiceFor(const QString &language) const;
    // Makes the next text fail after Speak has returned, as only this back end can.
    QString textThatFails();

    std::unique_ptr<SpVoice> m_voice;
    QTemporaryDir m_userVoices;
};

void TestVoiceContract::initTestCase_data()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("fake") << "fake";
    QTest::newRow("espeak-ng") << "espeak-ng";
}

void TestVoiceContract::init()
{
    if (isFake()) {
        auto fake = std::make_unique<FakeVoice>(
            QList<SpObjectToken>{{QStringLiteral("fake:en"), QStringLiteral("English"), QStringLiteral("en")},
                                 {QStringLiteral("fake:vi"), QStringLiteral("Vietnamese"), QStringLiteral("vi")}});
        fake->speaksInTime = true;
        m_voice = std::move(fake);
    } else {
        EspeakVoice::Options options;
        options.userVoiceFolder = m_userVoices.path();
        m_voice = std::make_unique<EspeakVoice>(options);
    }
    m_voice->setVoice(voiceFor(QStringLiteral("en")));
}

void TestVoiceContract::cleanup() { m_voice.reset(); }

SpObjectToken TestVoiceContract::voiceFor(const QString &language) const
{
    // By the voice's own name: "espeak:gmw/en", "fake:en".
    for (const SpObjectToken &token : m_voice->GetVoices())
        if (token.id().endsWith(u'/' + language) || token.id().endsWith(u':' + language))
            return token;
    qFatal("no voice for %s", qPrintable(language));
}

QString TestVoiceContract::textThatFails()
{
    m_voice->setVoice(voiceFor(QStringLiteral("vi")));
    if (auto *fake = qobject_cast<FakeVoice *>(m_voice.get()))
        fake->failWhileSpeaking(QStringLiteral("合成失败"));
    // Crashes libespeak-ng's Vietnamese voice.
    return QString::fromUtf16(u"\u036c\u0327-\u0e41");
}

// Saving's side of a back end: a text rendered into samples with its words,
// in order, inside the text and the sound; a cancelled render says so.
void TestVoiceContract::renderingGivesSoundAndWordsInOrder()
{
    std::unique_ptr<SpeechSynthesis> synthesis;
    if (isFake()) {
        synthesis = std::make_unique<FakeSynthesis>();
    } else {
        EspeakVoice::Options options;
        options.userVoiceFolder = m_userVoices.path();
        synthesis = std::make_unique<SpeechRenderer>(options);
    }
    struct Kept : SpeechSynthesis::Sink
    {
        qint64 count = 0;
        QList<std::pair<qint64, long>> words; // sample, position
        bool samples(const int16_t *, std::size_t n) override
        {
            count += qint64(n);
            return true;
        }
        void word(qint64 sample, long position, long) override { words.append({sample, position}); }
    };
    std::atomic<bool> cancel{false};
    Kept kept;
    QVERIFY(synthesis->render(Counting, {}, kept, cancel));
    QVERIFY(kept.count > synthesis->sampleRate() / 2);
    QVERIFY(kept.words.size() >= 4);
    for (qsizetype i = 0; i < kept.words.size(); ++i) {
        QVERIFY(kept.words[i].second >= 0 && kept.words[i].second < Counting.size());
        QVERIFY(kept.words[i].first <= kept.count);
        if (i > 0) {
            QVERIFY(kept.words[i].first >= kept.words[i - 1].first);
            QVERIFY(kept.words[i].second > kept.words[i - 1].second);
        }
    }
    cancel = true;
    Kept none;
    QVERIFY(!synthesis->render(Counting, {}, none, cancel));
}

void TestVoiceContract::wordsComeInOrderThenTheEnd()
{
    Recorder log(*m_voice);
    QCOMPARE(m_voice->state(), SpVoice::State::Ready);
    const long stream = m_voice->Speak(Counting, SVSFlagsAsync);
    QCOMPARE(m_voice->state(), SpVoice::State::Speaking);
    QVERIFY(log.waitForEnd(stream));
    QCOMPARE(log.spoken(Counting), Counting.split(u' '));
    for (const Recorder::Word &w : std::as_const(log.words))
        QCOMPARE(w.stream, stream);
    QCOMPARE(log.ends, QList<long>{stream});
    QCOMPARE(m_voice->state(), SpVoice::State::Ready);
    QCOMPARE(log.states, (QList<SpVoice::State>{SpVoice::State::Speaking, SpVoice::State::Ready}));
}

void TestVoiceContract::appendedTextsEndInTurn()
{
    Recorder log(*m_voice);
    const long first = m_voice->Speak(QStringLiteral("one two"), SVSFlagsAsync);
    const long second = m_voice->Speak(QStringLiteral("three four"), SVSFlagsAsync);
    QVERIFY(second > first);
    QVERIFY(log.waitForEnd(second));
    QCOMPARE(log.ends, (QList<long>{first, second}));
    QCOMPARE(log.words.first().stream, first);
    QCOMPARE(log.words.last().stream, second);
    QCOMPARE(log.spoken(QStringLiteral("one two")).first(), QStringLiteral("one"));
}

void TestVoiceContract::purgeEndsTheSpeechWithoutAnEnd()
{
    Recorder log(*m_voice);
    const long stream = m_voice->Speak(Counting.repeated(5), SVSFlagsAsync);
    QVERIFY(QTest::qWaitFor([&] { return !log.words.isEmpty(); }, 10000));
    m_voice->Speak(QString(), SVSFPurgeBeforeSpeak);
    QCOMPARE(m_voice->state(), SpVoice::State::Ready);
    const qsizetype heard = log.words.size();
    QTest::qWait(600);
    QCOMPARE(log.words.size(), heard);
    QVERIFY(!log.ends.contains(stream));
}

void TestVoiceContract::pausesNestAndResumeContinues()
{
    Recorder log(*m_voice);
    const long stream = m_voice->Speak(Counting, SVSFlagsAsync);
    QVERIFY(QTest::qWaitFor([&] { return !log.words.isEmpty(); }, 10000));
    m_voice->Pause();
    m_voice->Pause();
    QCOMPARE(m_voice->state(), SpVoice::State::Paused);
    QTest::qWait(200); // words already due may still be on their way
    qsizetype heard = log.words.size();
    m_voice->Resume();
    QCOMPARE(m_voice->state(), SpVoice::State::Paused);
    QTest::qWait(500);
    QCOMPARE(log.words.size(), heard);
    m_voice->Resume();
    m_voice->Resume(); // more Resumes than Pauses do nothing
    QCOMPARE(m_voice->state(), SpVoice::State::Speaking);
    QVERIFY(log.waitForEnd(stream));
    QCOMPARE(log.spoken(Counting), Counting.split(u' '));
}

void TestVoiceContract::fasterRateEndsSooner()
{
    Recorder log(*m_voice);
    QElapsedTimer clock;
    const auto duration = [&](long rate) {
        m_voice->setRate(rate);
        clock.start();
        const long stream = m_voice->Speak(Counting, SVSFlagsAsync | SVSFPurgeBeforeSpeak);
        return log.waitForEnd(stream) ? clock.elapsed() : -1;
    };
    const qint64 normal = duration(0);
    const qint64 fast = duration(50); // beyond the scale: the fastest rate
    QVERIFY(normal > 0 && fast > 0);
    QVERIFY2(fast * 10 < normal * 6, qPrintable(QStringLiteral("%1 ms fast, %2 ms normal").arg(fast).arg(normal)));
}

void TestVoiceContract::silentVolumeStillSpeaksToTheEnd()
{
    Recorder log(*m_voice);
    m_voice->setVolume(500);
    m_voice->setVolume(-5);
    const long stream = m_voice->Speak(Counting, SVSFlagsAsync);
    QVERIFY(log.waitForEnd(stream));
    QCOMPARE(log.words.size(), Counting.count(u' ') + 1);
}

void TestVoiceContract::voicesAreOfferedByPositionAndSwitch()
{
    const SpObjectTokens voices = m_voice->GetVoices();
    QVERIFY(voices.Count() >= 2);
    QCOMPARE(voices.Item(voices.Count() - 1), *(voices.end() - 1));
    QVERIFY_THROWS_EXCEPTION(Failure, voices.Item(voices.Count()));
    QVERIFY_THROWS_EXCEPTION(Failure, voices.Item(-1));
    QVERIFY_THROWS_EXCEPTION(Failure, m_voice->setVoice(SpObjectToken(QStringLiteral("none:x"), QStringLiteral("x"))));
    Recorder log(*m_voice);
    m_voice->setVoice(voices.Item(0));
    const long stream = m_voice->Speak(QStringLiteral("one two"), SVSFlagsAsync);
    QVERIFY(log.waitForEnd(stream));
    QVERIFY(log.failures.isEmpty());
}

void TestVoiceContract::synchronousSpeakReturnsOnceHeardOrPaused()
{
    Recorder log(*m_voice);
    const long stream = m_voice->Speak(QStringLiteral("one two three"), SVSFDefault);
    QCoreApplication::processEvents(); // the end may be on its way to this thread
    QVERIFY(log.waitForEnd(stream, 500));
    QCOMPARE(log.words.size(), 3);

    // Paused, nothing could ever finish: it returns at once, and speaks on Resume.
    m_voice->Pause();
    QElapsedTimer clock;
    clock.start();
    const long paused = m_voice->Speak(QStringLiteral("four five"), SVSFDefault);
    QVERIFY(clock.elapsed() < 1000);
    m_voice->Resume();
    QVERIFY2(log.waitForEnd(paused),
             qPrintable(QStringLiteral("ends %1, words %2, state %3, stream %4")
                            .arg(QString::number(log.ends.size()))
                            .arg(log.words.size())
                            .arg(int(m_voice->state()))
                            .arg(paused)
                        + log.failures.join(u'|')));
}

void TestVoiceContract::failureAfterReturnIsReportedOnceAndTheNextSpeakWorks()
{
    Recorder log(*m_voice);
    m_voice->Speak(textThatFails(), SVSFlagsAsync);
    QVERIFY(QTest::qWaitFor([&] { return !log.failures.isEmpty(); }, 10000));
    QTest::qWait(1000);
    QCOMPARE(log.failures.size(), 1);
    QVERIFY(!log.failures.first().isEmpty());
    // The engine died on the text (the fake says so too): not a hang, not a missing voice.
    QCOMPARE(log.reasons, QList<Failure::Reason>{Failure::Reason::EngineFailed});
    QCOMPARE(m_voice->state(), SpVoice::State::Error);

    m_voice->setVoice(voiceFor(QStringLiteral("en")));
    const long stream = m_voice->Speak(Counting, SVSFlagsAsync);
    QCOMPARE(m_voice->state(), SpVoice::State::Speaking);
    QVERIFY(log.waitForEnd(stream));
    QCOMPARE(log.spoken(Counting), Counting.split(u' '));
    QCOMPARE(log.failures.size(), 1);
    QCOMPARE(m_voice->state(), SpVoice::State::Ready);
}

QTEST_MAIN(TestVoiceContract)
#include "tst_voicecontract.moc"
