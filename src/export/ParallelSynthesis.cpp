// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ParallelSynthesis.h"

#include "export/TextParts.h"
#include "platform/Failure.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <sys/mman.h>

namespace {

// How often a part may be rendered again after its helper was lost.
constexpr int Retries = 2;
// Samples handed to the sink at a time: a write to the file each (at 8192,
// a book took 11,500 writes and as many trips into the kernel).
constexpr std::size_t Chunk = 262144;

// Part buffers hold megabytes each, and every fresh page of them costs a
// fault; on a virtual machine a fault costs about ten microseconds, which
// came to several percent of a book's saving. Asked for huge pages, the
// kernel backs each 2 MB with one fault (a hint: without them nothing changes).
constexpr std::size_t HugePage = std::size_t(2) << 20;
// A fresh buffer starts this big instead of doubling its way up through
// small pages; most parts fit.
constexpr std::size_t FreshPartSamples = std::size_t(1) << 21;

template <typename T> struct HugePageAllocator
{
    using value_type = T;
    HugePageAllocator() = default;
    template <typename U> HugePageAllocator(const HugePageAllocator<U> &) { }
    T *allocate(std::size_t count)
    {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < HugePage)
            return std::allocator<T>().allocate(count);
        const std::size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
        void *memory = std::aligned_alloc(HugePage, rounded);
        if (!memory)
            throw std::bad_alloc();
        madvise(memory, rounded, MADV_HUGEPAGE);
        return static_cast<T *>(memory);
    }
    void deallocate(T *memory, std::size_t count)
    {
        if (count * sizeof(T) < HugePage)
            std::allocator<T>().deallocate(memory, count);
        else
            std::free(memory);
    }
    // Default-initialised, so that making room for samples about to be
    // written does not first fill it with zeros.
    template <typename U> void construct(U *at) { ::new (static_cast<void *>(at)) U; }
    template <typename U, typename... Args> void construct(U *at, Args &&...args)
    {
        ::new (static_cast<void *>(at)) U(std::forward<Args>(args)...);
    }
    bool operator==(const HugePageAllocator &) const = default;
};

using Samples = std::vector<int16_t, HugePageAllocator<int16_t>>;

struct Word
{
    qint64 sample;
    long position;
    long length;
};

// One part's speech, held until every part before it has been handed over.
struct RenderedPart
{
    Samples samples;
    std::vector<Word> words;
    bool done = false;
};

class PartSink : public SpeechSynthesis::Sink
{
public:
    explicit PartSink(RenderedPart &part) : m_part(part) { }
    ~PartSink() override { dropRoom(); }
    bool samples(const int16_t *data, std::size_t count) override
    {
        if (m_roomAt != NoRoom && data == m_part.samples.data() + m_roomAt
            && count <= m_part.samples.size() - m_roomAt) {
            m_part.samples.resize(std::exchange(m_roomAt, NoRoom) + count); // written in place already
            return true;
        }
        dropRoom();
        m_part.samples.insert(m_part.samples.end(), data, data + count);
        return true;
    }
    void word(qint64 sample, long position, long length) override
    {
        m_part.words.push_back({sample, position, length});
    }
    int16_t *room(std::size_t count) override
    {
        dropRoom();
        m_roomAt = m_part.samples.size();
        m_part.samples.resize(m_roomAt + count);
        return m_part.samples.data() + m_roomAt;
    }

private:
    static constexpr std::size_t NoRoom = std::size_t(-1);
    void dropRoom()
    {
        if (m_roomAt != NoRoom)
            m_part.samples.resize(std::exchange(m_roomAt, NoRoom));
    }

    RenderedPart &m_part;
    std::size_t m_roomAt = NoRoom;
};

// What the workers and the thread handing over share.
struct Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<RenderedPart> parts;
    std::size_t nextToRender = 0;
    std::size_t handedOver = 0; // parts given to the sink
    std::size_t window = 2;
    // Sample buffers of parts already handed over, for the next parts: a
    // fresh one is megabytes of new pages, each faulted in and zeroed.
    std::vector<Samples> spare;
    std::optional<Failure> failure;
    std::atomic<bool> stop{false};
};

} // namespace

ParallelSynthesis::ParallelSynthesis(SynthesisFactory factory, int jobs, qsizetype partUnits)
    : m_factory(std::move(factory)), m_jobs(std::clamp(jobs, 1, MaxJobs)), m_partUnits(partUnits)
{
    m_syntheses.resize(std::size_t(m_jobs));
    m_starting.resize(std::size_t(m_jobs));
    for (std::size_t job = 1; job < m_starting.size(); ++job)
        m_starting[job] = std::async(std::launch::async, m_factory);
    m_syntheses[0] = m_factory();
}

ParallelSynthesis::~ParallelSynthesis() = default;

int ParallelSynthesis::defaultJobs() { return std::clamp(int(std::thread::hardware_concurrency()), 1, MaxJobs); }

int ParallelSynthesis::sampleRate() const { return m_syntheses[0]->sampleRate(); }

SpObjectTokens ParallelSynthesis::GetVoices() const { return m_syntheses[0]->GetVoices(); }

bool ParallelSynthesis::render(const QString &text, const Settings &settings, Sink &sink,
                               const std::atomic<bool> &cancel)
{
    // One helper has nobody to wait for at the end.
    const QList<TextParts::Part> pieces = TextParts::splitWithFineTail(text, m_partUnits, m_jobs > 1 ? m_jobs : 0);
    Shared shared;
    shared.parts.resize(std::size_t(pieces.size()));
    const int workers = int(std::min<qsizetype>(m_jobs, std::max<qsizetype>(1, pieces.size())));
    shared.window = std::size_t(2 * workers);

    const auto work = [&](int worker) {
        std::unique_ptr<SpeechSynthesis> &synthesis = m_syntheses[std::size_t(worker)];
        for (;;) {
            std::size_t index;
            RenderedPart rendered;
            {
                std::unique_lock lock(shared.mutex);
                shared.changed.wait(lock, [&] {
                    return shared.stop.load() || shared.nextToRender >= shared.parts.size()
                        || shared.nextToRender < shared.handedOver + shared.window;
                });
                if (shared.stop.load() || shared.nextToRender >= shared.parts.size())
                    return;
                index = shared.nextToRender++;
                if (!shared.spare.empty()) {
                    rendered.samples = std::move(shared.spare.back());
                    shared.spare.pop_back();
                }
            }
            if (rendered.samples.capacity() == 0)
                rendered.samples.reserve(FreshPartSamples);
            const TextParts::Part piece = pieces[qsizetype(index)];
            try {
                for (int attempt = 0;; ++attempt) {
                    try {
                        if (!synthesis) {
                            std::future<std::unique_ptr<SpeechSynthesis>> &starting = m_starting[std::size_t(worker)];
                            synthesis = starting.valid() ? starting.get() : m_factory();
                        }
                        rendered.samples.clear(); // keeps its room
                        rendered.words.clear();
                        PartSink partSink(rendered);
                        if (!synthesis->render(text.mid(piece.offset, piece.length), settings, partSink, shared.stop))
                            return; // stopped: the thread handing over knows why
                        break;
                    } catch (const Failure &failure) {
                        // A helper lost mid-part: a new one says the whole part again.
                        if (failure.reason() != Failure::Reason::EngineFailed || attempt >= Retries)
                            throw;
                        synthesis.reset();
                    }
                }
            } catch (const Failure &failure) {
                std::lock_guard lock(shared.mutex);
                if (!shared.failure)
                    shared.failure = failure;
                shared.stop = true;
                shared.changed.notify_all();
                return;
            }
            std::lock_guard lock(shared.mutex);
            rendered.done = true;
            shared.parts[index] = std::move(rendered);
            shared.changed.notify_all();
        }
    };

    // Every worker is stopped and joined however this ends: a sink that
    // throws (a full disk, a removed stick) used to leave joinable threads
    // behind, and the program was aborted with the user's text in it.
    class Workers
    {
    public:
        explicit Workers(Shared &shared) : m_shared(shared) { }
        ~Workers() { stopAll(); }
        Workers(const Workers &) = delete;
        Workers &operator=(const Workers &) = delete;
        void start(const std::function<void(int)> &work, int count)
        {
            for (int worker = 0; worker < count; ++worker)
                m_threads.emplace_back(work, worker);
        }
        void stopAll()
        {
            {
                std::lock_guard lock(m_shared.mutex);
                m_shared.stop = true;
            }
            m_shared.changed.notify_all();
            for (std::thread &thread : m_threads)
                thread.join();
            m_threads.clear();
        }

    private:
        Shared &m_shared;
        std::vector<std::thread> m_threads;
    } threads(shared);
    const auto stopAll = [&] { threads.stopAll(); };
    threads.start(work, workers);

    qint64 base = 0;
    for (std::size_t index = 0; index < shared.parts.size(); ++index) {
        RenderedPart part;
        {
            std::unique_lock lock(shared.mutex);
            while (!shared.parts[index].done && !shared.failure) {
                if (cancel.load())
                    break;
                shared.changed.wait_for(lock, std::chrono::milliseconds(50));
            }
            if (shared.failure) {
                const Failure failure = *shared.failure;
                lock.unlock();
                stopAll();
                throw failure;
            }
            if (!shared.parts[index].done) {
                lock.unlock();
                stopAll();
                return false;
            }
            part = std::move(shared.parts[index]);
            shared.parts[index] = {};
        }
        const long offset = long(pieces[qsizetype(index)].offset);
        auto word = part.words.cbegin();
        for (std::size_t at = 0; at < part.samples.size() || word != part.words.cend();) {
            // Each word before the samples it starts in, as one synthesis gives them.
            const std::size_t end = std::min(part.samples.size(), at + Chunk);
            for (; word != part.words.cend() && (word->sample < qint64(end) || end == part.samples.size()); ++word)
                sink.word(base + word->sample, offset + word->position, word->length);
            if (end > at && !sink.samples(part.samples.data() + at, end - at)) {
                stopAll();
                return false;
            }
            at = end;
        }
        base += qint64(part.samples.size());
        {
            std::lock_guard lock(shared.mutex);
            ++shared.handedOver;
            shared.spare.push_back(std::move(part.samples));
        }
        shared.changed.notify_all();
    }
    stopAll();
    return !cancel.load();
}
