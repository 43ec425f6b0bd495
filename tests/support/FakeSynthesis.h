// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/SpeechSynthesis.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

// A synthesis that needs no helper: each character of the text is a tenth
// of a second of a square wave (its loudness the volume), a word of its own
// starting where its sound starts. Slow on request, to be cancelled.
class FakeSynthesis : public SpeechSynthesis
{
public:
    static constexpr int Rate = 22050;
    static constexpr int SamplesPerCharacter = Rate / 10;

    explicit FakeSynthesis(std::chrono::microseconds perCharacter = {}) : m_perCharacter(perCharacter) { }

    int sampleRate() const override { return Rate; }
    SpObjectTokens GetVoices() const override
    {
        return SpObjectTokens({SpObjectToken(QStringLiteral("fake:one"), QStringLiteral("Fake"))});
    }
    bool render(const QString &text, const Settings &settings, Sink &sink, const std::atomic<bool> &cancel) override
    {
        std::vector<int16_t> sound(SamplesPerCharacter);
        for (std::size_t i = 0; i < sound.size(); ++i)
            sound[i] = int16_t((i / 25 % 2 ? 1 : -1) * 100 * settings.volume);
        for (qsizetype c = 0; c < text.size(); ++c) {
            if (cancel.load())
                return false;
            if (m_perCharacter.count() > 0)
                std::this_thread::sleep_for(m_perCharacter);
            sink.word(qint64(c) * SamplesPerCharacter, long(c), 1);
            // Where the sink has room, every way a renderer may use it, in
            // turn: filled and handed over, handed over empty, left unused.
            if (int16_t *room = sink.room(sound.size()); room && c % 3 != 2) {
                std::copy(sound.cbegin(), sound.cend(), room);
                const bool filled = c % 3 == 0;
                if (!sink.samples(room, filled ? sound.size() : 0))
                    return false;
                if (filled)
                    continue;
            }
            if (!sink.samples(sound.data(), sound.size()))
                return false;
        }
        (void)sink.room(7); // and one left at the end
        return true;
    }

private:
    std::chrono::microseconds m_perCharacter;
};
