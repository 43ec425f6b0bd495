// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/AudioSink.h"

#include <atomic>
#include <cstdint>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

// One playback stream at a time on the PulseAudio server (or PipeWire's
// PulseAudio service), through libpulse's own thread.
//
// The server asks for samples when its buffer has room, and they are pulled
// from the source right then, on libpulse's thread: nothing here polls or
// ticks, so a minute of speech costs a few dozen wake-ups a second at most.
// The connection to the server is made when a stream is opened and made
// again when it was lost, so a server that restarts (or first appears
// after the reader) is used by the next stream.
class PulsePlayback : public AudioSink
{
public:
    PulsePlayback();
    ~PulsePlayback() override;
    PulsePlayback(const PulsePlayback &) = delete;
    PulsePlayback &operator=(const PulsePlayback &) = delete;

    bool open(int sampleRate, int bufferMs, bool corked, Source source, Lost lost, QString *error) override;
    void close() override;
    bool isOpen() const override { return m_stream != nullptr; }
    void setCorked(bool corked) override;
    void fill() override;
    void trigger() override;
    // The server's clock, interpolated between its reports.
    std::int64_t playedSamples() const override;
    // Each text's end counts once.
    int underruns() const override { return m_underruns.load(); }

private:
    bool connectContext(QString *error);
    template <typename Waiting> bool waitAtMost(std::uint64_t timeoutUs, Waiting &&waiting);
    void dropContext();
    void fillLocked(std::size_t bytes);
    void dropStream();
    void lose(const QString &description);
    static void contextStateChanged(pa_context *context, void *self);
    static void streamStateChanged(pa_stream *stream, void *self);
    static void serverWantsSamples(pa_stream *stream, std::size_t bytes, void *self);
    static void ranDry(pa_stream *stream, void *self);
    std::int64_t withoutPadding(std::int64_t streamSamples) const;

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    int m_sampleRate = 0;
    // Samples written to the stream, silence included; and the silence
    // written to start a last bit, where it lies in the stream.
    std::int64_t m_written = 0;
    struct Padding
    {
        std::int64_t at = 0;
        std::int64_t length = 0;
    };
    std::vector<Padding> m_padding;
    Source m_source;
    Lost m_lost;
    std::atomic<int> m_underruns{0};
};
