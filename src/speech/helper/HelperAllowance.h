// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>


// What one helper may send back for what it was given. The helper runs
// the user's text through a large C engine and is not trusted: a helper
// that floods the reader with words, samples, endings or failures it cannot
// owe is ended before it costs the reader memory, disk or nested message
// boxes. Every bound is generous for real speech: at the slowest rate the
// engine needs well under a second of audio per character.
class HelperAllowance
{
public:
    explicit HelperAllowance(int sampleRate = 0) : m_sampleRate(sampleRate) { }

    // --- what the reader handed over ---
    void textSent(quint64 generation, qsizetype units, bool final);
    void voiceSent() { ++m_voicesSent; }

    // --- what came back: empty when allowed, else why the helper is ended ---
    QString pcm(qint64 samples);
    QString word(qint64 samplesAhead);
    QString done();
    QString failure(quint64 generation);

    // Bounds, exposed for tests.
    static constexpr qint64 AudioSecondsPerUnit = 3;
    static constexpr qint64 AudioSecondsBase = 10;
    static constexpr qint64 WordsSlack = 64;
    static constexpr qint64 WordsPerAudioSecond = 50;
    static constexpr qint64 AheadSecondsLimit = 60;

private:
    QString tooMuch() const;

    int m_sampleRate;
    qint64 m_unitsSent = 0;
    qint64 m_finalsSent = 0;
    qint64 m_voicesSent = 0;
    quint64 m_newestGeneration = 0;
    qint64 m_samples = 0;
    qint64 m_words = 0;
    qint64 m_dones = 0;
    qint64 m_voiceFailures = 0;
    qint64 m_textsSent = 0; // texts begun
    bool m_startsText = true; // the next part handed over begins a text
    qint64 m_textFailures = 0;
};
