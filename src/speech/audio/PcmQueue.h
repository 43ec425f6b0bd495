// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// A word that becomes due when the sample it is stamped with has been played.
struct TimedWord
{
    qint64 sample = 0; // in samples since the current output session began
    quint64 generation = 0; // the speech it belongs to; purges start a new one
    long stream = 0;
    long position = 0; // UTF-16 offset in the spoken text
    long length = 0;
    bool endOfStream = false; // not a word: the stream's last sample has been played
    // Not a word either when set: a mark the text's markup named, reached
    // at this sample (position and length are 0).
    QString mark = QString();
};

// The bounded hand-over between the synthesis thread (producer) and the audio
// output (consumer): PCM samples plus the words stamped on them. The producer
// blocks while the buffer is full, so memory stays bounded whatever the text
// length. A purge (reset) drops everything and wakes a blocked producer, whose
// pushes of the old generation are then refused.
class PcmQueue
{
public:
    explicit PcmQueue(std::size_t capacitySamples);

    // --- producer side (synthesis thread) ---
    // Blocks while full. Returns false when the generation is stale or the
    // queue is closed; the producer must then abandon its text.
    bool push(const int16_t *samples, std::size_t count, quint64 generation);
    bool pushWord(const TimedWord &word);
    // The stream's end, stamped after the last sample pushed so far.
    bool pushEndOfStream(quint64 generation, long stream);
    // Samples accepted so far in this session (the stamp of the next sample).
    qint64 written() const;

    // --- consumer side (audio thread) ---
    std::size_t pop(int16_t *out, std::size_t max);
    // Waits up to timeoutMs until at least atLeast samples are queued (fewer
    // when the queue holds less), an end of stream is queued, or the queue
    // closes: for consumers that are not driven by a clock. Words alone do
    // not wake it, since a word is only due with the samples after it, and
    // waking for each would spin while the producer is between pushes.
    void waitForSamples(std::size_t atLeast, int timeoutMs);
    // Moves the words whose first sample has been played (stamp < playedSamples)
    // into out, in order. An end of stream is due once the played position is
    // within endSlack samples of it: the sound server's clock may stop a hair
    // short of the last sample.
    void takeDueWords(qint64 playedSamples, qint64 endSlack, std::vector<TimedWord> &out);
    std::optional<qint64> nextWordSample() const;
    bool drained() const; // nothing buffered that has not been handed over
    qint64 handedOver() const; // samples given to the audio output this session

    // The first word (not an end or a mark) stamped at or after sample, if queued.
    std::optional<TimedWord> firstWordFrom(qint64 sample) const;
    // The last word (not a mark) pushed in this generation, queued or already taken.
    std::optional<TimedWord> lastWord() const;
    // Keeps what comes before sample (never less than what was handed over)
    // under a new generation, and drops the rest: the speech goes on from
    // there with whatever the producer pushes next.
    void truncate(qint64 sample, quint64 newGeneration);
    // Replaces the samples not yet handed over by what retime makes of them
    // (the same speech at another speed), and moves the words and ends
    // stamped among them in proportion. A slower speed may need more room
    // than the queue has; it keeps that room until the next reset.
    void retimeQueued(const std::function<std::vector<int16_t>(const std::vector<int16_t> &)> &retime);

    // Called on the producer's thread when samples arrive in an empty queue,
    // so the consumer can take them at once instead of at its next poll.
    void setArrivalCallback(std::function<void()> callback);

    // --- control (any thread) ---
    // Starts a new session: drops samples and words, resets the counters.
    // A new generation makes the producer's stale pushes fail.
    void reset(quint64 newGeneration);
    void close();
    quint64 generation() const { return m_generation.load(); }

    // Benchmarks: when the audio output took the first sample of the session.
    std::optional<std::int64_t> firstSampleAcceptedNs() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_space;
    std::condition_variable m_data;
    std::size_t m_wantedSamples = 0; // by a waitForSamples() under way
    const std::size_t m_capacity;
    std::vector<int16_t> m_ring;
    std::size_t m_head = 0; // next sample to pop
    std::size_t m_size = 0;
    qint64 m_written = 0;
    qint64 m_handedOver = 0;
    std::deque<TimedWord> m_words;
    std::atomic<quint64> m_generation{0};
    bool m_closed = false;
    std::optional<std::int64_t> m_firstSampleNs;
    std::function<void()> m_arrived;
    std::optional<TimedWord> m_lastWord;
};
