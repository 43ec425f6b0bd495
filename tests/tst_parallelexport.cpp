// SPDX-License-Identifier: GPL-3.0-or-later
// Saving with several helpers at once, with stand-in syntheses: the parts a
// text is cut into, the order they are handed over in, lost helpers, cancel,
// the bound on parts in flight, and the remaining-time estimate.
#include "support/FakeSynthesis.h"
#include "export/ParallelSynthesis.h"
#include "export/RemainingTime.h"
#include "export/TextParts.h"
#include "platform/Failure.h"

#include <QtTest>

#include <atomic>
#include <mutex>

namespace {

struct Heard : SpeechSynthesis::Sink
{
    bool samples(const int16_t *data, std::size_t count) override
    {
        audio.insert(audio.end(), data, data + count);
        return true;
    }
    void word(qint64 sample, long position, long length) override
    {
        // A word comes before the samples it starts in.
        QVERIFY(sample >= qint64(audio.size()));
        words.append({sample, position, length});
    }
    std::vector<int16_t> audio;
    QList<std::tuple<qint64, long, long>> words;
};

// Fifty sentences of varying length, some Latin, one with a surrogate pair.
QString book()
{
    QString text;
    for (int i = 0; i < 50; ++i) {
        text += QStringLiteral("第%1句话%2。").arg(i).arg(QString(i % 7 + 1, u'长'));
        if (i % 10 == 9)
            text += u'\n';
    }
    return text + QStringLiteral("最后是𠀀字。");
}

// A stand-in whose renders can be watched and made to fail.
class WatchedSynthesis : public FakeSynthesis
{
public:
    struct Watch
    {
        std::mutex mutex;
        int made = 0;
        int started = 0;
        // The nth render started (counting from 1) fails with this reason after
        // half its text; 0: none does.
        int failAt = 0;
        Failure::Reason reason = Failure::Reason::EngineFailed;
    };
    explicit WatchedSynthesis(Watch &watch, std::chrono::microseconds perCharacter = {})
        : FakeSynthesis(perCharacter), m_watch(watch)
    { }
    bool render(const QString &text, const Settings &settings, Sink &sink, const std::atomic<bool> &cancel) override
    {
        int n;
        {
            std::lock_guard lock(m_watch.mutex);
            n = ++m_watch.started;
        }
        if (n == m_watch.failAt) {
            FakeSynthesis::render(text.left(text.size() / 2), settings, sink, cancel);
            throw Failure(QStringLiteral("lost"), m_watch.reason);
        }
        return FakeSynthesis::render(text, settings, sink, cancel);
    }

private:
    Watch &m_watch;
};

SynthesisFactory watched(WatchedSynthesis::Watch &watch, std::chrono::microseconds perCharacter = {})
{
    return [&watch, perCharacter] {
        {
            std::lock_guard lock(watch.mutex);
            ++watch.made;
        }
        return std::make_unique<WatchedSynthesis>(watch, perCharacter);
    };
}

} // namespace

class TestParallelExport : public QObject
{
    Q_OBJECT

private slots:
    void partsAreWholeSentencesCoveringTheText_data();
    void partsAreWholeSentencesCoveringTheText();
    void jobsDoNotChangeWhatIsSaved_data();
    void jobsDoNotChangeWhatIsSaved();
    void lostHelperIsReplacedAndItsPartRedone_data();
    void lostHelperIsReplacedAndItsPartRedone();
    void cancelWithEveryJobBusy();
    void partsInFlightAreBounded();
    void remainingTime_data();
    void remainingTime();
};

void TestParallelExport::partsAreWholeSentencesCoveringTheText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("fineTail");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("sentences joined up to the target")
        << QStringLiteral("一二。三四。五六。七八。") << 5 << 0 << QStringList{"一二。三四。", "五六。七八。"};
    QTest::newRow("a sentence longer than the target stays whole")
        << QStringLiteral("一二三四五六七八。九。") << 2 << 0 << QStringList{"一二三四五六七八。", "九。"};
    QTest::newRow("a run without sentence ends is cut at four targets")
        << QStringLiteral("一二三四五六七八九十甲乙") << 2 << 0 << QStringList{"一二三四五六七八", "九十甲乙"};
    QTest::newRow("a surrogate pair is never split")
        << QStringLiteral("一𠀀𠀀𠀀𠀀") << 1 << 0 << QStringList{"一𠀀𠀀", "𠀀𠀀"};
    QTest::newRow("a part may end right at its target")
        << QStringLiteral("一二\n三四\n五六") << 3 << 0 << QStringList{"一二\n", "三四\n", "五六"};
    QTest::newRow("the last part cut four times finer")
        << QStringLiteral("一二。三四。五六。七八。") << 4 << 1 << QStringList{"一二。三四。", "五六。", "七八。"};
    QTest::newRow("a tail as long as the text")
        << QStringLiteral("一二。三四。五六。") << 8 << 3 << QStringList{"一二。", "三四。", "五六。"};
    QTest::newRow("nothing") << QString() << 5 << 0 << QStringList{};
}

void TestParallelExport::partsAreWholeSentencesCoveringTheText()
{
    QFETCH(QString, text);
    QFETCH(int, target);
    QFETCH(int, fineTail);
    QFETCH(QStringList, parts);
    QStringList made;
    qsizetype next = 0;
    for (const TextParts::Part &part : TextParts::splitWithFineTail(text, target, fineTail)) {
        QCOMPARE(part.offset, next);
        made << text.mid(part.offset, part.length);
        next = part.offset + part.length;
    }
    QCOMPARE(made, parts);
}

void TestParallelExport::jobsDoNotChangeWhatIsSaved_data()
{
    QTest::addColumn<int>("jobs");
    QTest::addColumn<int>("partUnits");
    QTest::newRow("one job") << 1 << 30;
    QTest::newRow("two jobs") << 2 << 30;
    QTest::newRow("three jobs, small parts") << 3 << 5;
    QTest::newRow("more jobs than parts") << 8 << 1000;
}

// The stand-in has no state from text to text, so the parts joined must be
// exactly the whole text rendered at once: every sample, every word.
void TestParallelExport::jobsDoNotChangeWhatIsSaved()
{
    QFETCH(int, jobs);
    QFETCH(int, partUnits);
    const std::atomic<bool> never{false};
    FakeSynthesis whole;
    Heard expected;
    QVERIFY(whole.render(book(), {}, expected, never));
    WatchedSynthesis::Watch watch;
    ParallelSynthesis parallel(watched(watch, std::chrono::microseconds(jobs > 1 ? 50 : 0)), jobs, partUnits);
    Heard heard;
    QVERIFY(parallel.render(book(), {}, heard, never));
    QCOMPARE(heard.words, expected.words);
    QVERIFY(heard.audio == expected.audio);
    QVERIFY(watch.made <= jobs);
}

void TestParallelExport::lostHelperIsReplacedAndItsPartRedone_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<Failure::Reason>("reason");
    QTest::addColumn<bool>("saved");
    QTest::newRow("first render lost") << 1 << Failure::Reason::EngineFailed << true;
    QTest::newRow("a later render lost") << 4 << Failure::Reason::EngineFailed << true;
    QTest::newRow("a voice missing is no lost helper") << 3 << Failure::Reason::VoiceMissing << false;
}

void TestParallelExport::lostHelperIsReplacedAndItsPartRedone()
{
    QFETCH(int, failAt);
    QFETCH(Failure::Reason, reason);
    QFETCH(bool, saved);
    const std::atomic<bool> never{false};
    FakeSynthesis whole;
    Heard expected;
    QVERIFY(whole.render(book(), {}, expected, never));
    WatchedSynthesis::Watch watch;
    watch.failAt = failAt;
    watch.reason = reason;
    ParallelSynthesis parallel(watched(watch), 2, 40);
    Heard heard;
    try {
        QVERIFY(parallel.render(book(), {}, heard, never));
        QVERIFY(saved);
        QCOMPARE(heard.words, expected.words); // nothing missing, nothing twice
        QVERIFY(heard.audio == expected.audio);
        QCOMPARE(watch.made, 3); // two, and the one that replaced the lost
    } catch (const Failure &failure) {
        QVERIFY(!saved);
        QCOMPARE(failure.reason(), reason);
    }
}

void TestParallelExport::cancelWithEveryJobBusy()
{
    WatchedSynthesis::Watch watch;
    ParallelSynthesis parallel(watched(watch, std::chrono::milliseconds(2)), 3, 20);
    std::atomic<bool> cancel{false};
    QTimer::singleShot(100, [&] { cancel = true; });
    bool finished = true;
    QElapsedTimer clock;
    clock.start();
    std::thread saving([&] {
        Heard heard;
        finished = parallel.render(book().repeated(20), {}, heard, cancel);
    });
    while (!cancel)
        QTest::qWait(10);
    saving.join();
    QVERIFY(!finished);
    QCOMPARE(watch.made, 3);
    QVERIFY2(clock.elapsed() < 5000, "the busy jobs were not stopped");
}

// Parts are rendered ahead of the one being handed over by at most twice the
// jobs: a slow file does not make the whole book wait in memory.
void TestParallelExport::partsInFlightAreBounded()
{
    struct SlowSink : Heard
    {
        bool samples(const int16_t *data, std::size_t count) override
        {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            return Heard::samples(data, count);
        }
        void word(qint64 sample, long position, long length) override
        {
            Heard::word(sample, position, length);
            std::lock_guard lock(watch->mutex);
            const int part = int(std::upper_bound(starts.cbegin(), starts.cend(), position) - starts.cbegin());
            mostAhead = std::max(mostAhead, watch->started - part);
        }
        WatchedSynthesis::Watch *watch = nullptr;
        QList<qsizetype> starts;
        int mostAhead = 0;
    };
    const QString text = book().repeated(4);
    const std::atomic<bool> never{false};
    WatchedSynthesis::Watch watch;
    ParallelSynthesis parallel(watched(watch), 2, 10);
    SlowSink sink;
    sink.watch = &watch;
    for (const TextParts::Part &part : TextParts::splitWithFineTail(text, 10, 2))
        sink.starts << part.offset;
    QVERIFY(sink.starts.size() > 20);
    QVERIFY(parallel.render(text, {}, sink, never));
    // Renders started past the part being handed over: at most the window of
    // four parts, of which that part is one.
    QVERIFY2(sink.mostAhead <= 3, qPrintable(QString::number(sink.mostAhead)));
    QVERIFY(sink.mostAhead >= 2);
}

void TestParallelExport::remainingTime_data()
{
    QTest::addColumn<QList<QPointF>>("updates"); // (elapsed seconds, share)
    QTest::addColumn<double>("lastAtLeast"); // negative: unknown
    QTest::addColumn<double>("lastAtMost");
    QTest::newRow("too early to say") << QList<QPointF>{{1.0, 0.5}} << -1.0 << -1.0;
    QTest::newRow("too little done to say") << QList<QPointF>{{10.0, 0.005}} << -1.0 << -1.0;
    QTest::newRow("steady pace counts down with the clock")
        << QList<QPointF>{{2, 0.02}, {4, 0.04}, {6, 0.06}, {8, 0.08}, {10, 0.1}} << 89.9 << 90.1;
    // A pace that doubles for a moment (a part handed over at once) moves
    // the estimate by much less than the moment's pace would say.
    QTest::newRow("a jump in share moves the estimate a little")
        << QList<QPointF>{{2, 0.02}, {4, 0.04}, {6, 0.06}, {8, 0.08}, {8.5, 0.16}} << 80.0 << 95.0;
    QTest::newRow("done") << QList<QPointF>{{2, 0.02}, {3, 1.0}} << 0.0 << 0.0;
}

void TestParallelExport::remainingTime()
{
    QFETCH(QList<QPointF>, updates);
    QFETCH(double, lastAtLeast);
    QFETCH(double, lastAtMost);
    RemainingTime remaining;
    double last = 0;
    for (const QPointF &update : updates)
        last = remaining.update(update.x(), update.y());
    if (lastAtLeast < 0) {
        QVERIFY(last < 0);
        return;
    }
    QVERIFY2(last >= lastAtLeast && last <= lastAtMost, qPrintable(QString::number(last)));
}

QTEST_GUILESS_MAIN(TestParallelExport)
#include "tst_parallelexport.moc"
