// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>

// Where played speech goes: one stream at a time that asks for samples when
// it has room, can be held (corked), and says how much of what it took has
// been heard. The sound server is one; tests stand in with one that plays
// in simulated time.
class AudioSink
{
public:
    // Fills out with up to max samples; returns how many it gave (0: none
    // yet). Called on the sink's own thread.
    using Source = std::function<std::size_t(int16_t *out, std::size_t max)>;
    // The stream or the connection failed; called once, on the sink's thread.
    using Lost = std::function<void(const QString &description)>;

    virtual ~AudioSink() = default;

    // Opens a new mono 16-bit stream (closing the one before) that keeps
    // about bufferMs of audio. A corked stream plays nothing until
    // uncorked. On failure returns false with a description for the person.
    virtual bool open(int sampleRate, int bufferMs, bool corked, Source source, Lost lost, QString *error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual void setCorked(bool corked) = 0;
    // Takes what the source has now, as much as there is room for.
    virtual void fill() = 0;
    // Starts playing what is held even if it is less than the stream's
    // start threshold (the end of a text after the buffer ran dry).
    virtual void trigger() = 0;
    // Samples of this stream played so far.
    virtual std::int64_t playedSamples() const = 0;
    // How often a stream ran dry while playing, since the sink was made.
    virtual int underruns() const = 0;
};
