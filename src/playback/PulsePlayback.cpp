// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/PulsePlayback.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <utility>

namespace {

// A server that takes longer than this to accept us is treated as absent.
constexpr pa_usec_t ConnectTimeoutUs = 5 * PA_USEC_PER_SEC;
// A connected server that takes longer than this to open a stream has
// stopped answering (stopped by a debugger or SIGSTOP, or hung).
constexpr pa_usec_t StreamTimeoutUs = 3 * PA_USEC_PER_SEC;
// The server starts playing once it holds this much. Small, so the first
// words are heard as soon as they exist (they come in larger pieces); after
// the buffer ran dry the stream waits for this much again, or for trigger().
constexpr pa_usec_t StartThresholdUs = 20 * PA_USEC_PER_MSEC;
const char *const ApplicationId = "io.github.sayrella.Sayrella";

class Locked
{
public:
    explicit Locked(pa_threaded_mainloop *loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~Locked() { pa_threaded_mainloop_unlock(m_loop); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    pa_threaded_mainloop *m_loop;
};

void forget(pa_operation *operation)
{
    if (operation)
        pa_operation_unref(operation);
}

// libpulse's last error on this connection, for the person.
QString reason(pa_context *context) { return QString::fromUtf8(pa_strerror(pa_context_errno(context))); }

QString cannotOpen(pa_context *context) { return QStringLiteral("无法打开音频输出（%1）。").arg(reason(context)); }

QString noServer() { return QStringLiteral("找不到可用的音频输出设备（没有运行中的声音服务器或声卡）。"); }

} // namespace

PulsePlayback::PulsePlayback() : m_loop(pa_threaded_mainloop_new())
{
    if (m_loop)
        pa_threaded_mainloop_start(m_loop);
}

PulsePlayback::~PulsePlayback()
{
    if (!m_loop)
        return;
    close();
    {
        Locked lock(m_loop);
        dropContext();
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

// With the loop locked.
void PulsePlayback::dropContext()
{
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

// With the loop locked: waits on the loop while waiting() holds, but no
// longer than timeoutUs. False when the time ran out.
template <typename Waiting> bool PulsePlayback::waitAtMost(std::uint64_t timeoutUs, Waiting &&waiting)
{
    const pa_usec_t deadline = pa_rtclock_now() + timeoutUs;
    // Wakes the wait below when the time is up, should nothing else happen.
    pa_time_event *alarm = m_context ? pa_context_rttime_new(
                               m_context, deadline,
                               [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *loop) {
                                   pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
                               },
                               m_loop)
                                     : nullptr;
    bool inTime = true;
    while (waiting() && (inTime = pa_rtclock_now() < deadline))
        pa_threaded_mainloop_wait(m_loop);
    if (alarm)
        pa_threaded_mainloop_get_api(m_loop)->time_free(alarm);
    return inTime;
}

// With the loop locked. Reuses a live connection; one that failed (the
// server went away) is dropped and made anew.
bool PulsePlayback::connectContext(QString *error)
{
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY)
        return true;
    dropContext();
    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, ApplicationId);
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, ApplicationId);
    m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), "Sayrella", properties);
    pa_proplist_free(properties);
    if (!m_context) {
        *error = noServer();
        return false;
    }
    pa_context_set_state_callback(m_context, &PulsePlayback::contextStateChanged, this);
    // No autospawn: speaking must not start a sound server behind the person's back.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        *error = noServer();
        return false;
    }
    pa_context_state_t state;
    waitAtMost(ConnectTimeoutUs, [&] {
        state = pa_context_get_state(m_context);
        return state != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state);
    });
    if (state != PA_CONTEXT_READY) {
        *error = noServer();
        return false;
    }
    return true;
}

bool PulsePlayback::open(int sampleRate, int bufferMs, bool corked, Source source, Lost lost, QString *error)
{
    close();
    if (!m_loop) {
        *error = noServer();
        return false;
    }
    Locked lock(m_loop);
    if (!connectContext(error))
        return false;
    m_sampleRate = sampleRate;
    m_written = 0;
    m_padding.clear();
    m_source = std::move(source);
    const pa_sample_spec spec{PA_SAMPLE_S16NE, uint32_t(sampleRate), 1};
    m_stream = pa_stream_new(m_context, "朗读", &spec, nullptr);
    if (!m_stream) {
        *error = cannotOpen(m_context);
        return false;
    }
    pa_stream_set_state_callback(m_stream, &PulsePlayback::streamStateChanged, this);
    pa_stream_set_write_callback(m_stream, &PulsePlayback::serverWantsSamples, this);
    pa_stream_set_underflow_callback(m_stream, &PulsePlayback::ranDry, this);
    // The server keeps bufferMs (volume changes and purges are heard that
    // soon) and asks for more once half of it has been played: fewer, larger
    // requests cost fewer wake-ups, and half is still ample margin.
    pa_buffer_attr buffer;
    buffer.maxlength = uint32_t(-1);
    buffer.tlength = uint32_t(pa_usec_to_bytes(pa_usec_t(bufferMs) * PA_USEC_PER_MSEC, &spec));
    buffer.prebuf = uint32_t(pa_usec_to_bytes(StartThresholdUs, &spec));
    buffer.minreq = buffer.tlength / 2;
    buffer.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE
                                         | PA_STREAM_ADJUST_LATENCY | (corked ? PA_STREAM_START_CORKED : 0));
    pa_stream_state_t state = PA_STREAM_FAILED;
    bool answered = true;
    if (pa_stream_connect_playback(m_stream, nullptr, &buffer, flags, nullptr, nullptr) >= 0)
        answered = waitAtMost(StreamTimeoutUs, [&] { return (state = pa_stream_get_state(m_stream)) == PA_STREAM_CREATING; });
    if (state != PA_STREAM_READY) {
        *error = answered ? cannotOpen(m_context) : QStringLiteral("声音服务器没有响应，无法打开音频输出。");
        dropStream();
        // A server that stopped answering is connected to anew next time.
        if (!answered)
            dropContext();
        return false;
    }
    // Losses from here on are news; a stream that never opened is an error of open().
    m_lost = std::move(lost);
    return true;
}

void PulsePlayback::close()
{
    if (!m_loop)
        return;
    Locked lock(m_loop);
    dropStream();
    m_source = {};
    m_lost = {};
}

// With the loop locked: no callback of the stream runs after this.
void PulsePlayback::dropStream()
{
    if (!m_stream)
        return;
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulsePlayback::setCorked(bool corked)
{
    Locked lock(m_loop);
    if (m_stream)
        forget(pa_stream_cork(m_stream, corked ? 1 : 0, nullptr, nullptr));
}

// A stream that ran dry waits for its start threshold again, and a trigger
// alone does not always start it: one that reaches the server before the
// server has noticed the buffer ran dry is spent, and the bit after it then
// waits for more that never comes (the end of a text, seconds later taken
// for a stopped server). Silence up to the threshold starts it whatever the
// order; the clock leaves that silence out, so words and ends stay on their
// samples.
void PulsePlayback::trigger()
{
    Locked lock(m_loop);
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    const pa_sample_spec *spec = pa_stream_get_sample_spec(m_stream);
    const std::size_t bytes = pa_usec_to_bytes(StartThresholdUs, spec);
    const std::vector<char> silence(bytes, 0);
    if (pa_stream_write(m_stream, silence.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) == 0) {
        const std::int64_t samples = std::int64_t(bytes / sizeof(int16_t));
        m_padding.push_back({m_written, samples});
        m_written += samples;
    }
    forget(pa_stream_trigger(m_stream, nullptr, nullptr));
}

// With the loop locked: the stream's clock as samples of the source.
std::int64_t PulsePlayback::withoutPadding(std::int64_t streamSamples) const
{
    std::int64_t padded = 0;
    for (const Padding &padding : m_padding) {
        if (streamSamples <= padding.at)
            break;
        padded += std::min(padding.length, streamSamples - padding.at);
    }
    return streamSamples - padded;
}

void PulsePlayback::fill()
{
    Locked lock(m_loop);
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY)
        fillLocked(pa_stream_writable_size(m_stream));
}

std::int64_t PulsePlayback::playedSamples() const
{
    Locked lock(m_loop);
    pa_usec_t time = 0;
    if (!m_stream || pa_stream_get_time(m_stream, &time) < 0)
        return 0;
    return withoutPadding(std::int64_t(time * pa_usec_t(m_sampleRate) / PA_USEC_PER_SEC));
}

// Writes straight into the server's memory block; stops when the source has
// nothing more (its next samples will call fill()).
void PulsePlayback::fillLocked(std::size_t bytes)
{
    while (bytes >= sizeof(int16_t) && m_source) {
        void *data = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(m_stream, &data, &size) < 0 || !data)
            return;
        const std::size_t wanted = std::min(bytes, size) / sizeof(int16_t);
        const std::size_t given = m_source(static_cast<int16_t *>(data), wanted);
        if (given == 0) {
            pa_stream_cancel_write(m_stream);
            return;
        }
        if (pa_stream_write(m_stream, data, given * sizeof(int16_t), nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        m_written += std::int64_t(given);
        bytes -= given * sizeof(int16_t);
        if (given < wanted)
            return;
    }
}

void PulsePlayback::lose(const QString &description)
{
    // Reported once: the callback is given up as it is called.
    if (const Lost lost = std::exchange(m_lost, {}))
        lost(description);
}

void PulsePlayback::contextStateChanged(pa_context *context, void *self)
{
    auto *playback = static_cast<PulsePlayback *>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (!PA_CONTEXT_IS_GOOD(state) && playback->m_stream)
        playback->lose(QStringLiteral("与声音服务器的连接断开了（%1）。").arg(reason(context)));
    pa_threaded_mainloop_signal(playback->m_loop, 0);
}

void PulsePlayback::streamStateChanged(pa_stream *stream, void *self)
{
    auto *playback = static_cast<PulsePlayback *>(self);
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED)
        playback->lose(QStringLiteral("声音服务器停止了播放（%1）。").arg(reason(pa_stream_get_context(stream))));
    pa_threaded_mainloop_signal(playback->m_loop, 0);
}

void PulsePlayback::ranDry(pa_stream *, void *self) { ++static_cast<PulsePlayback *>(self)->m_underruns; }

void PulsePlayback::serverWantsSamples(pa_stream *, std::size_t bytes, void *self)
{
    static_cast<PulsePlayback *>(self)->fillLocked(bytes);
}
