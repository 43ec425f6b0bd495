// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/VoiceToken.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// Speech made as fast as it can be, to be kept rather than heard: a text
// with a voice, rate and volume rendered into samples and the words that
// start in them. Saving speech takes this, so that a window or a test can
// hand it the real back end or a stand-in.
class SpeechSynthesis
{
public:
    struct Settings
    {
        QString voiceId; // empty: the engine's starting voice (Mandarin)
        long rate = 0; // -10..10, as Speak
        int volume = 100;
        int pitch = 50; // 0..100, 50 the voice's own
        int pitchRange = 50;
        // The text may carry SSML: its marks are reported to the sink.
        bool markup = false;
    };
    // Where the rendered speech goes; called on the rendering thread.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // False stops the rendering (the sink could not take them).
        virtual bool samples(const int16_t *data, std::size_t count) = 0;
        // A word whose audio starts at this sample of the output.
        virtual void word(qint64 sample, long position, long length) = 0;
        // A mark of the text's markup, reached at this sample of the output.
        virtual void mark(qint64 sample, const QString &name)
        {
            (void)sample;
            (void)name;
        }
        // Room for up to count samples at the sink's end, for the renderer
        // to fill in place and hand over by passing that same memory to
        // samples() (even with none in it); a room not handed over is not
        // part of the speech. Saves a copy of every sample where the sink
        // holds them in memory. Null: no room, samples() copies.
        virtual int16_t *room(std::size_t count)
        {
            (void)count;
            return nullptr;
        }
    };

    virtual ~SpeechSynthesis() = default;

    virtual int sampleRate() const = 0;
    virtual SpObjectTokens GetVoices() const = 0;

    // Renders text into sink and returns when all of it is rendered (true),
    // or cancel was set or the sink refused (false). Throws Failure when the
    // synthesis fails (a voice that does not load: VoiceMissing; the engine
    // lost: EngineFailed).
    virtual bool render(const QString &text, const Settings &settings, Sink &sink, const std::atomic<bool> &cancel) = 0;
};

// Makes a synthesis for one save (on the thread that saves). Throws Failure
// when it cannot start.
using SynthesisFactory = std::function<std::unique_ptr<SpeechSynthesis>()>;
