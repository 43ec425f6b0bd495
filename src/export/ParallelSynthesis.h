// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/SpeechSynthesis.h"

#include <future>
#include <memory>

// Saving a book with every core: the text is cut into runs of whole
// sentences (TextParts), each rendered by whichever of several syntheses
// (each its own helper) is free, and handed to the sink strictly in text
// order, with the words' samples and positions moved to where the part
// starts. The result does not depend on the number of jobs: one job renders
// the same parts one after another.
//
// Memory is bounded: at most twice as many parts as jobs are rendered or
// waiting to be handed over. A synthesis that fails with EngineFailed (its
// helper died or hung) is replaced and its part rendered again, twice at
// most, so nothing is missing and nothing is said twice.
class ParallelSynthesis : public SpeechSynthesis
{
public:
    // Roughly a minute and a half of speech: small enough that the parts in
    // flight stay a few megabytes, large enough that a part's round trip to
    // its helper costs nothing measurable.
    static constexpr qsizetype DefaultPartUnits = 600;
    // More helpers than this gain nothing on the machines the reader runs on
    // and cost a helper's memory each.
    static constexpr int MaxJobs = 8;

    // The first synthesis is made at once (throws Failure as factory does),
    // the others start beside it on threads of their own, so that they are
    // ready as soon as it is (each takes a good part of a tenth of a second).
    ParallelSynthesis(SynthesisFactory factory, int jobs, qsizetype partUnits = DefaultPartUnits);
    ~ParallelSynthesis() override;

    // The machine's cores, at most MaxJobs.
    static int defaultJobs();

    int sampleRate() const override;
    SpObjectTokens GetVoices() const override;
    bool render(const QString &text, const Settings &settings, Sink &sink, const std::atomic<bool> &cancel) override;

private:
    SynthesisFactory m_factory;
    int m_jobs;
    qsizetype m_partUnits;
    // Kept between renders, so that saving several files starts no helper twice.
    std::vector<std::unique_ptr<SpeechSynthesis>> m_syntheses;
    // The others being started; a failure here is the first part's retry.
    std::vector<std::future<std::unique_ptr<SpeechSynthesis>>> m_starting;
};
