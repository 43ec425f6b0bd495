// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Timed subtitles for saved speech, from the same word events that drive the
// highlight: LRC (a line per sentence at its first word) and SRT (numbered
// cues, a sentence from its first word to the next sentence's, split at
// words when longer than about two lines).
namespace Subtitles {

struct Word
{
    // A book's words are many (two million for 10 MB of Chinese): 16 bytes
    // each. Texts are far shorter than 2^31 units.
    qint64 sample = 0; // where its audio starts in the saved file
    qint32 position = 0; // UTF-16 offset in the text
    qint32 length = 0;
};

struct Cue
{
    qint64 start = 0; // samples
    qint64 end = 0;
    QString text;
};

// About two lines of Chinese in a player.
constexpr qsizetype MaxCueChars = 40;

// Sentences (ICU's sentence breaks) that have a word, each from its first
// word to the next one's start (the last to the end of the audio).
QList<Cue> sentences(const QString &text, const QList<Word> &words, qint64 totalSamples);
// The same, long sentences split at words.
QList<Cue> cues(const QString &text, const QList<Word> &words, qint64 totalSamples);

// One line of the LRC, one numbered entry (from 1) of the SRT: a book's
// subtitles are written a piece at a time rather than built whole.
QString lrcLine(const Cue &sentence, int sampleRate);
QString srtEntry(qsizetype number, const Cue &cue, int sampleRate);

} // namespace Subtitles
