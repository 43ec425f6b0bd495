// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// What is known about one character when its reading is chosen: the text
// around it, the word the segmentation put it in and the words either side,
// the reading the dictionary gives it in that word, the one the context
// rules settled on, and its readings in every dictionary phrase that covers
// it. The same description serves the model that chooses and the tool that
// writes its training data, so both see exactly the same features.
struct PolyphoneContext
{
    QStringView text; // the whole text read
    qsizetype at = 0; // the character, in text
    qsizetype wordStart = 0; // the segmentation's word holding it
    qsizetype wordLength = 1;
    qsizetype previousStart = -1; // the Han word before it in its run; -1: none
    qsizetype previousLength = 0;
    qsizetype nextStart = -1; // the Han word after it in its run; -1: none
    qsizetype nextLength = 0;
    QString dictionaryReading; // as the dictionary reads it in its word
    QString ruleReading; // after the context rules (often the same)
    QStringList covering; // its readings in longer phrases covering it, each once
};

// Every feature of a context, each as UTF-8 bytes, to sink. Their order
// does not matter; each is given once.
void polyphoneFeatures(const PolyphoneContext &context, const std::function<void(std::string_view)> &sink);

// The same features as the keys a model file holds them by (see
// polyphoneFeatureKeyAfter), each hashed as it is made, into keys (cleared
// first): what the model reads, without making the features' text.
void polyphoneFeatureKeys(const PolyphoneContext &context, std::uint64_t keyPrefix, std::vector<std::uint64_t> &keys);

// The key of one feature of one character in a model file: FNV-1a, 64 bits,
// over the character's UTF-8, a unit separator (0x1F), then the feature.
std::uint64_t polyphoneFeatureKey(char16_t character, std::string_view feature);
// The same in two steps, the character's part once for all its features.
std::uint64_t polyphoneKeyPrefix(char16_t character);
std::uint64_t polyphoneFeatureKeyAfter(std::uint64_t prefix, std::string_view feature);

// Chooses the readings of polyphonic characters; the front end asks it
// about the characters it considers, after the dictionary and the rules.
class ReadingChooser
{
public:
    virtual ~ReadingChooser() = default;
    // Whether a character with this reading so far may read otherwise: only
    // then is its context gathered (a costly part of reading).
    virtual bool considers(QChar character, QStringView reading) const = 0;
    // syllable holds the reading so far; a chooser may replace it.
    virtual void choose(const PolyphoneContext &context, QString &syllable) const = 0;
};
