// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/audio/PcmQueue.h"

#include <algorithm>
#include <chrono>

PcmQueue::PcmQueue(std::size_t capacitySamples)
    : m_capacity(std::max<std::size_t>(capacitySamples, 1)), m_ring(m_capacity)
{ }

bool PcmQueue::push(const int16_t *samples, std::size_t count, quint64 generation)
{
    std::unique_lock lock(m_mutex);
    const bool wasEmpty = m_size == 0;
    bool notified = false;
    while (count > 0) {
        m_space.wait(lock, [&] { return m_closed || generation != m_generation || m_size < m_ring.size(); });
        if (m_closed || generation != m_generation)
            return false;
        const std::size_t tail = (m_head + m_size) % m_ring.size();
        const std::size_t n = std::min({count, m_ring.size() - m_size, m_ring.size() - tail});
        std::copy_n(samples, n, m_ring.begin() + tail);
        m_size += n;
        m_written += qint64(n);
        samples += n;
        count -= n;
        // Only a waiter that now has its samples is woken: waking it for less
        // costs a switch there and back for nothing.
        if (m_wantedSamples > 0 && m_size >= m_wantedSamples)
            m_data.notify_all();
        if (wasEmpty && !notified && m_arrived) {
            notified = true;
            // A copy: the callback may be replaced while it runs unlocked.
            const std::function<void()> arrived = m_arrived;
            lock.unlock();
            arrived();
            lock.lock();
        }
    }
    return true;
}

bool PcmQueue::pushWord(const TimedWord &word)
{
    std::lock_guard lock(m_mutex);
    if (m_closed || word.generation != m_generation)
        return false;
    m_words.push_back(word);
    if (word.endOfStream)
        m_data.notify_all();
    else if (word.mark.isEmpty())
        m_lastWord = word;
    return true;
}

bool PcmQueue::pushEndOfStream(quint64 generation, long stream)
{
    std::function<void()> arrived;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || generation != m_generation)
            return false;
        // A word is due once its first sample has played, so one stamped on
        // or past the end would never be due and would hold the end back for
        // good: it starts on the last sample instead (or, with no sample at
        // all, is never heard).
        for (auto word = m_words.rbegin(); word != m_words.rend() && !word->endOfStream && word->sample >= m_written;
             ++word)
            word->sample = m_written - 1;
        std::erase_if(m_words, [](const TimedWord &w) { return w.sample < 0; });
        m_words.push_back({m_written, generation, stream, 0, 0, true});
        m_data.notify_all();
        arrived = m_arrived;
    }
    // The consumer sleeps while nothing plays; an end (of a text with
    // nothing to hear, say) must wake it like samples do.
    if (arrived)
        arrived();
    return true;
}

std::optional<TimedWord> PcmQueue::lastWord() const
{
    std::lock_guard lock(m_mutex);
    return m_lastWord;
}

void PcmQueue::waitForSamples(std::size_t atLeast, int timeoutMs)
{
    const std::size_t enough = std::clamp<std::size_t>(atLeast, 1, m_ring.size());
    std::unique_lock lock(m_mutex);
    m_wantedSamples = enough;
    m_data.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_closed || m_size >= enough
            || std::any_of(m_words.cbegin(), m_words.cend(), [](const TimedWord &w) { return w.endOfStream; });
    });
    m_wantedSamples = 0;
}

void PcmQueue::setArrivalCallback(std::function<void()> callback)
{
    std::lock_guard lock(m_mutex);
    m_arrived = std::move(callback);
}

qint64 PcmQueue::written() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

std::size_t PcmQueue::pop(int16_t *out, std::size_t max)
{
    std::size_t total = 0;
    {
        std::lock_guard lock(m_mutex);
        while (total < max && m_size > 0) {
            const std::size_t n = std::min({max - total, m_size, m_ring.size() - m_head});
            std::copy_n(m_ring.begin() + m_head, n, out + total);
            m_head = (m_head + n) % m_ring.size();
            m_size -= n;
            total += n;
        }
        m_handedOver += qint64(total);
        if (total > 0 && !m_firstSampleNs)
            m_firstSampleNs = std::chrono::steady_clock::now().time_since_epoch().count();
    }
    if (total > 0)
        m_space.notify_all();
    return total;
}

void PcmQueue::takeDueWords(qint64 playedSamples, qint64 endSlack, std::vector<TimedWord> &out)
{
    std::lock_guard lock(m_mutex);
    const auto due = [&](const TimedWord &w) {
        return w.endOfStream ? w.sample <= playedSamples + endSlack : w.sample < playedSamples;
    };
    while (!m_words.empty() && due(m_words.front())) {
        out.push_back(m_words.front());
        m_words.pop_front();
    }
}

std::optional<qint64> PcmQueue::nextWordSample() const
{
    std::lock_guard lock(m_mutex);
    if (m_words.empty())
        return std::nullopt;
    return m_words.front().sample;
}

std::optional<TimedWord> PcmQueue::firstWordFrom(qint64 sample) const
{
    std::lock_guard lock(m_mutex);
    for (const TimedWord &word : m_words)
        if (!word.endOfStream && word.mark.isEmpty() && word.sample >= sample)
            return word;
    return std::nullopt;
}

void PcmQueue::truncate(qint64 sample, quint64 newGeneration)
{
    {
        std::lock_guard lock(m_mutex);
        sample = std::clamp(sample, m_handedOver, m_written);
        m_size = std::size_t(sample - m_handedOver);
        m_written = sample;
        while (!m_words.empty() && m_words.back().sample >= sample)
            m_words.pop_back();
        for (TimedWord &word : m_words)
            word.generation = newGeneration;
        if (m_lastWord && m_lastWord->sample >= sample)
            m_lastWord.reset();
        if (m_lastWord)
            m_lastWord->generation = newGeneration;
        m_generation = newGeneration;
    }
    m_space.notify_all();
}

void PcmQueue::retimeQueued(const std::function<std::vector<int16_t>(const std::vector<int16_t> &)> &retime)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_size == 0)
            return;
        std::vector<int16_t> queued(m_size);
        for (std::size_t i = 0; i < m_size; ++i)
            queued[i] = m_ring[(m_head + i) % m_ring.size()];
        const std::vector<int16_t> retimed = retime(queued);
        if (retimed.size() > m_ring.size())
            m_ring.resize(retimed.size());
        std::copy(retimed.begin(), retimed.end(), m_ring.begin());
        m_head = 0;
        m_size = retimed.size();
        const auto moved = [&](qint64 sample) {
            if (sample <= m_handedOver)
                return sample;
            return m_handedOver + (sample - m_handedOver) * qint64(retimed.size()) / qint64(queued.size());
        };
        for (TimedWord &word : m_words)
            word.sample = moved(word.sample);
        if (m_lastWord)
            m_lastWord->sample = moved(m_lastWord->sample);
        m_written = m_handedOver + qint64(m_size);
    }
    m_space.notify_all();
}

bool PcmQueue::drained() const
{
    std::lock_guard lock(m_mutex);
    return m_size == 0;
}

qint64 PcmQueue::handedOver() const
{
    std::lock_guard lock(m_mutex);
    return m_handedOver;
}

void PcmQueue::reset(quint64 newGeneration)
{
    {
        std::lock_guard lock(m_mutex);
        m_generation = newGeneration;
        m_ring.resize(m_capacity);
        m_head = 0;
        m_size = 0;
        m_written = 0;
        m_handedOver = 0;
        m_words.clear();
        m_lastWord.reset();
        m_firstSampleNs.reset();
    }
    m_space.notify_all();
}

void PcmQueue::close()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_space.notify_all();
    m_data.notify_all();
}

std::optional<std::int64_t> PcmQueue::firstSampleAcceptedNs() const
{
    std::lock_guard lock(m_mutex);
    return m_firstSampleNs;
}
