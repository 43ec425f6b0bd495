// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/helper/HelperAllowance.h"

void HelperAllowance::textSent(quint64 generation, qsizetype units, bool final)
{
    m_unitsSent += units;
    m_finalsSent += final ? 1 : 0;
    m_textsSent += m_startsText ? 1 : 0;
    m_startsText = final;
    m_newestGeneration = std::max(m_newestGeneration, generation);
}

QString HelperAllowance::tooMuch() const
{
    return QStringLiteral("语音合成程序送回的内容远超文字所需，已被结束。");
}

QString HelperAllowance::pcm(qint64 samples)
{
    m_samples += samples;
    const qint64 allowed = qint64(m_sampleRate) * (AudioSecondsBase + AudioSecondsPerUnit * m_unitsSent);
    return m_samples > allowed ? tooMuch() : QString();
}

QString HelperAllowance::word(qint64 samplesAhead)
{
    ++m_words;
    if (samplesAhead > qint64(m_sampleRate) * AheadSecondsLimit)
        return tooMuch();
    // A word is at least one character of the text, and speech has a few
    // words a second at most; stamps come a moment before their samples.
    const qint64 heardSeconds = (m_samples + samplesAhead) / std::max(1, m_sampleRate);
    if (m_words > m_unitsSent + WordsSlack || m_words > WordsSlack + WordsPerAudioSecond * heardSeconds)
        return tooMuch();
    return {};
}

QString HelperAllowance::done()
{
    return ++m_dones > m_finalsSent ? tooMuch() : QString();
}

// A text fails once at most, a voice once per choice: more would only repeat
// a message, and one message box per frame is what a flood is after.
QString HelperAllowance::failure(quint64 generation)
{
    if (generation == 0)
        return ++m_voiceFailures > m_voicesSent ? tooMuch() : QString();
    if (generation > m_newestGeneration || ++m_textFailures > m_textsSent)
        return tooMuch();
    return {};
}
