// The scripted voice that the window's tests rely on.
#include "platform/Failure.h"
#include "speech/fake/FakeVoice.h"
#include "support/WordLog.h"

#include <QTest>

class TestFakeVoice : public QObject
{
    Q_OBJECT

private slots:
    void recordsCallsInOrder();
    void failsExactlyTheOperationItWasToldTo();
    void raisesWordWithTheCurrentStream();
    void offersItsVoicesByPosition();
};

void TestFakeVoice::recordsCallsInOrder()
{
    FakeVoice voice;
    QCOMPARE(voice.Speak(QStringLiteral("你好"), 11), 1);
    QCOMPARE(voice.Speak(QString(), SVSFPurgeBeforeSpeak), 2);
    voice.Pause();
    voice.Resume();
    voice.setRate(-10);
    voice.setVolume(0);
    QCOMPARE(voice.calls, QStringList({"Speak(你好,11)", "Speak(<null>,2)", "Pause", "Resume", "Rate(-10)", "Volume(0)"}));
    QVERIFY(voice.lastTextWasNull);
    QCOMPARE(voice.rate, -10);
    QCOMPARE(voice.volume, 0);
}

void TestFakeVoice::failsExactlyTheOperationItWasToldTo()
{
    FakeVoice voice;
    voice.failOn(QStringLiteral("Resume"), QStringLiteral("设备已断开"));
    voice.Pause();
    try {
        voice.Resume();
        QFAIL("Resume should have failed");
    } catch (const Failure &failure) {
        QCOMPARE(failure.description(), QStringLiteral("设备已断开"));
    }
    QCOMPARE(voice.calls.last(), QStringLiteral("Resume")); // the attempt is still recorded
    voice.succeedOn(QStringLiteral("Resume"));
    voice.Resume();
}

void TestFakeVoice::raisesWordWithTheCurrentStream()
{
    FakeVoice voice;
    WordLog log(voice);
    voice.Speak(QStringLiteral("abc"), 11);
    voice.raiseWord(1, 2);
    QCOMPARE(log.entries.size(), 1);
    QCOMPARE(log.entries[0].stream, 1);
    QCOMPARE(log.entries[0].position, 1);
    QCOMPARE(log.entries[0].length, 2);
}

void TestFakeVoice::offersItsVoicesByPosition()
{
    FakeVoice voice({SpObjectToken(QStringLiteral("a"), QStringLiteral("Microsoft Sam")),
                     SpObjectToken(QStringLiteral("b"), QStringLiteral("Microsoft Simplified Chinese"))});
    const SpObjectTokens tokens = voice.GetVoices({}, {});
    QCOMPARE(tokens.Count(), 2);
    QCOMPARE(tokens.Item(1).GetDescription(0), QStringLiteral("Microsoft Simplified Chinese"));
    QVERIFY_THROWS_EXCEPTION(Failure, tokens.Item(2));
    QVERIFY_THROWS_EXCEPTION(Failure, tokens.Item(-1));
    voice.setVoice(tokens.Item(1));
    QCOMPARE(voice.voice.id(), QStringLiteral("b"));
}

QTEST_GUILESS_MAIN(TestFakeVoice)
#include "tst_fakevoice.moc"
