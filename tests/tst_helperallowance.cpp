// SPDX-License-Identifier: GPL-3.0-or-later
// What a synthesis helper may send back for what it was given: real speech
// passes, floods are caught at the first frame too many.
#include "speech/helper/HelperAllowance.h"
#include "synth/protocol/SynthProtocol.h"

#include <QTest>

namespace {

constexpr int Rate = 22050;

// A text of units UTF-16 units handed over in one part of generation 1.
HelperAllowance givenText(qsizetype units)
{
    HelperAllowance allowance(Rate);
    allowance.textSent(1, units, true);
    return allowance;
}

// How many of count frames of one kind pass before the first refusal.
template <typename F> int passing(int count, F &&send)
{
    for (int i = 0; i < count; ++i)
        if (!send().isEmpty())
            return i;
    return count;
}

} // namespace

class TestHelperAllowance : public QObject
{
    Q_OBJECT

private slots:
    void realSpeechPasses();
    void floodsAreCaught_data();
    void floodsAreCaught();
    void voiceListClaimingMoreThanItHoldsIsRefused_data();
    void voiceListClaimingMoreThanItHoldsIsRefused();
};

// Ten characters at the slowest rate: a few seconds of audio, a word each.
void TestHelperAllowance::realSpeechPasses()
{
    HelperAllowance allowance = givenText(10);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(allowance.word(100), QString());
        QCOMPARE(allowance.pcm(Rate * 2), QString());
    }
    QCOMPARE(allowance.failure(1), QString());
    QCOMPARE(allowance.done(), QString());
}

void TestHelperAllowance::floodsAreCaught_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("passes"); // frames allowed before the first refusal
    // 10 units: 10 + 3 × 10 s of audio in one-second blocks.
    QTest::newRow("audio") << "pcm" << 40;
    // Before any audio: the slack only (words come a moment before their samples).
    QTest::newRow("words with no audio") << "word" << int(HelperAllowance::WordsSlack);
    QTest::newRow("a word stamped an hour ahead") << "far word" << 0;
    QTest::newRow("ends") << "done" << 1;
    QTest::newRow("failures of the text") << "failure" << 1;
    QTest::newRow("failures of a newer text") << "newer failure" << 0;
    QTest::newRow("voice failures with no voice chosen") << "voice failure" << 0;
}

void TestHelperAllowance::floodsAreCaught()
{
    QFETCH(QString, kind);
    QFETCH(int, passes);
    HelperAllowance allowance = givenText(10);
    const auto send = [&]() -> QString {
        if (kind == u"pcm")
            return allowance.pcm(Rate);
        if (kind == u"word")
            return allowance.word(0);
        if (kind == u"far word")
            return allowance.word(qint64(Rate) * 3600);
        if (kind == u"done")
            return allowance.done();
        if (kind == u"failure")
            return allowance.failure(1);
        if (kind == u"newer failure")
            return allowance.failure(2);
        return allowance.failure(0);
    };
    QCOMPARE(passing(100000, send), passes);
}

// Found by fuzzing: a greeting whose voice count was four thousand million
// made the reader reserve hundreds of gigabytes before reading a voice.
void TestHelperAllowance::voiceListClaimingMoreThanItHoldsIsRefused_data()
{
    QTest::addColumn<quint32>("claimed");
    QTest::addColumn<bool>("decodes");
    QTest::newRow("as many as it holds") << quint32(2) << true;
    QTest::newRow("one more") << quint32(3) << false;
    QTest::newRow("four thousand million") << quint32(0xFFFFFFF0) << false;
}

void TestHelperAllowance::voiceListClaimingMoreThanItHoldsIsRefused()
{
    QFETCH(quint32, claimed);
    QFETCH(bool, decodes);
    using namespace SynthProtocol;
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << qint32(Rate) << claimed;
    for (const QString &name : {QStringLiteral("甲"), QStringLiteral("乙")})
        out << VoiceInfo{name, name, QStringLiteral("cmn")};
    qint32 rate = 0;
    QList<VoiceInfo> voices;
    QCOMPARE(decode(payload, rate, voices), decodes);
    QVERIFY(voices.size() <= 2);
}

QTEST_GUILESS_MAIN(TestHelperAllowance)
#include "tst_helperallowance.moc"
