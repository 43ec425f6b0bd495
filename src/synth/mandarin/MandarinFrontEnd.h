// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/mandarin/ReadingDictionary.h"
#include "synth/text/TextPieces.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

class ReadingChooser;

// What a Mandarin voice is told to say for a text. Han characters are read
// by words: each run of them is cut into the dictionary's words by the most
// probable segmentation (the product of the words' frequencies), and each
// word read as the dictionary has it, so that 银行 is yin2 hang2 and 行走
// xing2 zou3; characters the dictionary lacks are left to the engine.
// Numbers, dates, times, money, units and signs are said as a news reader
// says them (TextNormaliser) and read the same way. Runs of Latin letters
// are English, for the English voice. Everything keeps its
// place in the written text, so that word events point at what was written.
class MandarinFrontEnd
{
public:
    // chooser, when given, has the last word on the polyphonic characters it
    // considers (the reading model); without it the dictionary and the
    // context rules decide alone.
    explicit MandarinFrontEnd(const ReadingDictionary &dictionary, const ReadingChooser *chooser = nullptr)
        : m_dictionary(dictionary), m_chooser(chooser)
    {
    }

    struct Word
    {
        enum class Kind { Han, Latin, Other };
        Kind kind = Kind::Other;
        qsizetype start = 0; // in the text read
        qsizetype length = 0;
        QStringList syllables; // Han: pinyin with dictionary tones, one per character said
        QString spoken; // a written form read out (2008 -> 二零零八); empty: as written
        // A written form's own words, as their numbers of syllables (千米/每/
        // 小时), for the tone changes, which go by word.
        std::vector<qsizetype> spokenWordSizes;
    };
    // The text's words in order; blanks and everything between words are
    // Other words of their own.
    QList<Word> read(QStringView text) const;

    // One line as --pinyin prints it: pinyin syllables (v for u-umlaut),
    // English words as written, anything else as written; separated by
    // single spaces. With the dictionary's tones, or (--spoken-pinyin) with
    // the tones the voice is given, every tone change made.
    enum class Tones { Dictionary, Spoken };
    QString pinyinLine(QStringView line, Tones tones = Tones::Dictionary) const;

    // A piece of a text as the engine is given it: Mandarin with the
    // readings of this front end (tone changes of yi and bu applied), or
    // English for the English voice. Its code points map back into the
    // original piece.
    struct EnginePart
    {
        bool english = false;
        TextPiece piece;
    };
    QList<EnginePart> forEngine(const TextPiece &original, QStringView text) const;

    // The tones actually spoken: yi and bu change before the next syllable.
    static void applyToneChanges(QStringList &syllables, QStringView characters);

private:
    struct SpokenSyllables
    {
        QStringList syllables; // every word's, in order
        std::vector<qsizetype> firstOf; // word w's are syllables[firstOf[w] .. firstOf[w + 1])
    };
    static SpokenSyllables spokenSyllables(const QList<Word> &words, QStringView text);
    void readHan(QStringView text, qsizetype from, qsizetype to, QList<Word> &out) const;
    // The dictionary's phrases of two or more characters found in one run of
    // Han: those starting at from + i are found[firstAt[i] .. firstAt[i + 1]).
    struct Phrases
    {
        std::vector<ReadingDictionary::Word> found;
        std::vector<std::size_t> firstAt;
    };
    void chooseReadings(QStringView text, qsizetype from, QList<Word> &words, qsizetype first,
                        const QList<QStringList> &fromDictionary, const Phrases &phrases) const;
    // Room kept from one run of Han to the next: a text has a run between
    // every two marks, and making these afresh for each was a large part of
    // the cost of reading. A front end reads one text at a time (the helper
    // has one reader), so one set of room serves every call.
    struct Scratch
    {
        std::vector<int> best;
        std::vector<ReadingDictionary::Word> chosen;
        std::vector<ReadingDictionary::Word> words;
        Phrases phrases;
        QList<QStringList> fromDictionary;
    };
    mutable Scratch m_scratch;

    const ReadingDictionary &m_dictionary;
    const ReadingChooser *m_chooser = nullptr;
};
