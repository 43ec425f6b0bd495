// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/mandarin/MappedFile.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

// The phrase dictionary of the Mandarin front end: some 350,000 words and
// phrases with the reading of each character (pinyin, tone digits) and how
// often the word is used. The file (data/mandarin/readings.bin, made by
// tools/make-mandarin-data.py) is mapped, not parsed, and its pages are
// brought in with the mapping (about a millisecond from the page cache), so
// that the first text's words do not wait for them. It is opened before the
// helper confines itself and read-only afterwards.
class ReadingDictionary
{
public:
    ReadingDictionary() = default;
    ~ReadingDictionary();
    ReadingDictionary(const ReadingDictionary &) = delete;
    ReadingDictionary &operator=(const ReadingDictionary &) = delete;

    // Empty on success, else why the file cannot be used.
    QString open(const QString &path);
    bool isOpen() const { return m_entries != nullptr; }

    struct Word
    {
        int length = 0; // UTF-16 units (every word is Han characters of the BMP)
        int cost = 0; // 20 × -log10 of its frequency: lower is more common
        const quint16 *syllables = nullptr; // one per character, see syllable()
    };
    // Every word of the dictionary that starts at text[at], shortest first.
    void wordsAt(QStringView text, qsizetype at, std::vector<Word> &out) const;
    // The pinyin of a syllable id, tone digit last ("hang2"); empty for an
    // id the file does not have (the front end then leaves the character
    // to the engine). Made once when the file is opened, so that a word's
    // syllables share these strings rather than each making its own (that
    // was a tenth of all reading).
    const QString &syllable(quint16 id) const;

private:
    struct Entry;
    QStringView keyOf(const Entry &entry) const;

    MappedFile m_file;
    const Entry *m_entries = nullptr;
    quint32 m_entryCount = 0;
    QList<QString> m_syllables;
    const quint16 *m_keys = nullptr;
    const quint16 *m_readings = nullptr;
    quint32 m_keyUnits = 0;
    // Where the entries of each first character of the CJK blocks lie (low
    // index above, high index + 1 below; 0 while not yet looked up), filled
    // as characters come. Like the front end, not for use from two threads.
    static constexpr int CachedFirst = 0x3400;
    static constexpr int CachedLast = 0x9FFF;
    mutable std::unique_ptr<quint64[]> m_firstUnit;
};
