// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/MandarinFrontEnd.h"

#include "synth/mandarin/SpokenTones.h"

#include "synth/mandarin/ContextReadings.h"
#include "synth/mandarin/PolyphoneFeatures.h"
#include "synth/mandarin/ReadingDictionary.h"
#include "synth/mandarin/TextNormaliser.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// A character missing from the dictionary costs more than its rarest word.
constexpr int UnknownCharacterCost = 260;
// Longer runs of letters are no English word: their parts are raised as
// the engine says them, so that a long run is followed as it is read.
constexpr qsizetype LongestEnglishWord = 45;

bool isLatin(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Builds an engine text and, for each of its UTF-16 units, where it came
// from in the original piece.
struct EngineText
{
    QString text;
    QList<qsizetype> source;

    // Said for what is written at from: every unit of it points there.
    void append(QStringView s, qsizetype from)
    {
        text += s;
        source.resize(source.size() + s.size(), from);
    }
    // Written text passed on as it is: each unit points at itself.
    void appendWritten(QStringView s, qsizetype from)
    {
        text += s;
        for (qsizetype i = 0; i < s.size(); ++i)
            source.append(from + i);
    }
    TextPiece finish(const TextPiece &original, qsizetype to) const
    {
        TextPiece piece;
        piece.offset = original.offset;
        piece.length = original.length;
        QList<qsizetype> engineOffsets;
        piece.utf8 = synthesisSafeUtf8(text, &engineOffsets);
        piece.codePointOffsets.reserve(engineOffsets.size());
        for (qsizetype i = 0; i + 1 < engineOffsets.size(); ++i)
            piece.codePointOffsets.append(source[engineOffsets[i]]);
        piece.codePointOffsets.append(to);
        return piece;
    }
};

} // namespace

void MandarinFrontEnd::readHan(QStringView text, qsizetype from, qsizetype to, QList<Word> &out) const
{
    // The most probable segmentation: best[i] is the lowest total cost of
    // words covering text[from, from + i).
    const qsizetype n = to - from;
    std::vector<int> &best = m_scratch.best;
    best.assign(std::size_t(n) + 1, std::numeric_limits<int>::max());
    std::vector<ReadingDictionary::Word> &chosen = m_scratch.chosen;
    chosen.assign(std::size_t(n) + 1, {});
    best[0] = 0;
    std::vector<ReadingDictionary::Word> &words = m_scratch.words;
    // The longer phrases found at each start, kept for the chooser, which
    // looks at every phrase over a character: found once, here.
    Phrases &phrases = m_scratch.phrases;
    phrases.found.clear();
    if (m_chooser)
        phrases.firstAt.assign(std::size_t(n) + 1, 0);
    for (qsizetype i = 0; i < n; ++i) {
        if (m_chooser)
            phrases.firstAt[std::size_t(i)] = phrases.found.size();
        if (best[std::size_t(i)] == std::numeric_limits<int>::max())
            continue;
        m_dictionary.wordsAt(text.first(to), from + i, words);
        if (m_chooser)
            for (const ReadingDictionary::Word &word : words)
                if (word.length >= 2 && word.syllables)
                    phrases.found.push_back(word);
        const auto consider = [&](const ReadingDictionary::Word &word) {
            const std::size_t end = std::size_t(i + word.length);
            const int cost = best[std::size_t(i)] + word.cost;
            if (cost < best[end]) {
                best[end] = cost;
                chosen[end] = word;
            }
        };
        if (words.empty() || words.front().length != 1)
            consider({1, UnknownCharacterCost, nullptr});
        for (const ReadingDictionary::Word &word : words)
            consider(word);
    }
    // Found from the end backwards, then turned round in place.
    const qsizetype first = out.size();
    for (qsizetype end = n; end > 0;) {
        const ReadingDictionary::Word &word = chosen[std::size_t(end)];
        Word w;
        w.kind = Word::Kind::Han;
        w.start = from + end - word.length;
        w.length = word.length;
        w.syllables.reserve(word.length);
        for (int k = 0; k < word.length; ++k)
            w.syllables << (word.syllables ? m_dictionary.syllable(word.syllables[k]) : QString());
        out.append(std::move(w));
        end -= word.length;
    }
    std::reverse(out.begin() + first, out.end());
    if (!m_chooser) {
        settleReadingsByContext(text, out, first);
        return;
    }
    QList<QStringList> &fromDictionary = m_scratch.fromDictionary;
    fromDictionary.resize(0);
    for (qsizetype w = first; w < out.size(); ++w)
        fromDictionary.append(out[w].syllables);
    settleReadingsByContext(text, out, first);
    phrases.firstAt[std::size_t(n)] = phrases.found.size();
    chooseReadings(text, from, out, first, fromDictionary, phrases);
}

// The chooser's turn, for each character it considers in words[first..]
// (one run of Han starting at from), with what the dictionary said before
// the rules, what the rules made of it, and the phrases over it.
void MandarinFrontEnd::chooseReadings(QStringView text, qsizetype from, QList<Word> &words, qsizetype first,
                                      const QList<QStringList> &fromDictionary, const Phrases &phrases) const
{
    for (qsizetype w = first; w < words.size(); ++w) {
        Word &word = words[w];
        for (qsizetype k = 0; k < word.syllables.size() && k < word.length; ++k) {
            const qsizetype at = word.start + k;
            if (word.syllables[k].isEmpty() || !m_chooser->considers(text[at], word.syllables[k]))
                continue;
            PolyphoneContext context;
            context.text = text;
            context.at = at;
            context.wordStart = word.start;
            context.wordLength = word.length;
            if (w > first) {
                context.previousStart = words[w - 1].start;
                context.previousLength = words[w - 1].length;
            }
            if (w + 1 < words.size()) {
                context.nextStart = words[w + 1].start;
                context.nextLength = words[w + 1].length;
            }
            context.dictionaryReading = fromDictionary[w - first][k];
            context.ruleReading = word.syllables[k];
            // Every longer phrase of the dictionary over this character, as
            // far back as four characters.
            for (qsizetype start = std::max(from, at - 3); start <= at; ++start) {
                const std::size_t i = std::size_t(start - from);
                for (std::size_t p = phrases.firstAt[i]; p < phrases.firstAt[i + 1]; ++p) {
                    const ReadingDictionary::Word &phrase = phrases.found[p];
                    if (start + phrase.length <= at)
                        continue;
                    const QString &reading = m_dictionary.syllable(phrase.syllables[at - start]);
                    if (!reading.isEmpty() && !context.covering.contains(reading))
                        context.covering.append(reading);
                }
            }
            m_chooser->choose(context, word.syllables[k]);
        }
    }
}

QList<MandarinFrontEnd::Word> MandarinFrontEnd::read(QStringView text) const
{
    QList<Word> words;
    const QList<TextNormaliser::Rewrite> rewrites = TextNormaliser::rewrites(text);
    qsizetype nextRewrite = 0;
    for (qsizetype i = 0; i < text.size();) {
        if (nextRewrite < rewrites.size() && rewrites[nextRewrite].start == i) {
            // A written form: its words are read like any Han text, and all
            // of them belong to what was written.
            const TextNormaliser::Rewrite &rewrite = rewrites[nextRewrite++];
            QList<Word> said;
            readHan(rewrite.spoken, 0, rewrite.spoken.size(), said);
            Word word{Word::Kind::Han, i, rewrite.length, {}, rewrite.spoken, {}};
            for (const Word &part : std::as_const(said)) {
                word.syllables << part.syllables;
                word.spokenWordSizes.push_back(part.syllables.size());
            }
            words.append(word);
            i += rewrite.length;
            continue;
        }
        const qsizetype limit = nextRewrite < rewrites.size() ? rewrites[nextRewrite].start : text.size();
        qsizetype end = i + 1;
        if (isHanCharacter(text[i])) {
            // A line break between two Han characters inside one piece only
            // wraps the line (the piece would have ended at a real one): the
            // words on either side are read as one run (银\n行 is yin2 hang2).
            bool wrapped = false;
            while (end < limit
                   && (isHanCharacter(text[end])
                       || (text[end] == u'\n' && end + 1 < limit && isHanCharacter(text[end + 1])
                           && isHanCharacter(text[end - 1])))) {
                wrapped = wrapped || text[end] == u'\n';
                ++end;
            }
            if (!wrapped) {
                readHan(text, i, end, words);
            } else {
                QString joined;
                QList<qsizetype> at; // where each joined character was written
                for (qsizetype k = i; k < end; ++k)
                    if (text[k] != u'\n') {
                        joined += text[k];
                        at << k;
                    }
                QList<Word> read;
                readHan(joined, 0, joined.size(), read);
                for (Word &word : read) {
                    const qsizetype last = at[word.start + word.length - 1];
                    word.start = at[word.start];
                    word.length = last + 1 - word.start; // the line break inside, if any, too
                    words.append(word);
                }
            }
        } else if (isLatin(text[i])) {
            while (end < limit
                   && (isLatin(text[end]) || (text[end] == u'\'' && end + 1 < limit && isLatin(text[end + 1]))))
                ++end;
            words.append({Word::Kind::Latin, i, end - i, {}, {}, {}});
        } else {
            if (text[i].isHighSurrogate() && end < text.size() && text[end].isLowSurrogate())
                ++end;
            words.append({Word::Kind::Other, i, end - i, {}, {}, {}});
        }
        i = end;
    }
    return words;
}

QString MandarinFrontEnd::pinyinLine(QStringView line, Tones tones) const
{
    QStringList tokens;
    bool lastWasMark = false; // the last token is marks that are no word ("——", "...")
    qsizetype lastEnd = -1;
    const QList<Word> words = read(line);
    const SpokenSyllables spoken = tones == Tones::Spoken ? spokenSyllables(words, line) : SpokenSyllables();
    for (qsizetype w = 0; w < words.size(); ++w) {
        const Word &word = words[w];
        const QStringView written = line.mid(word.start, word.length);
        if (word.kind == Word::Kind::Han) {
            const QStringView said = word.spoken.isEmpty() ? written : QStringView(word.spoken);
            const QString *read = tones == Tones::Spoken ? spoken.syllables.constData() + spoken.firstOf[std::size_t(w)]
                                                         : word.syllables.constData();
            for (qsizetype k = 0; k < word.syllables.size(); ++k)
                tokens << (read[k].isEmpty() ? said.mid(k, 1).toString() : read[k]);
            lastWasMark = false;
        } else if (!written.trimmed().isEmpty()) {
            // Neighbouring marks stay together as one token.
            const bool mark = word.kind == Word::Kind::Other;
            if (mark && lastWasMark && lastEnd == word.start)
                tokens.back() += written;
            else
                tokens << written.toString();
            lastWasMark = mark;
        }
        lastEnd = word.start + word.length;
    }
    return tokens.join(u' ');
}

void MandarinFrontEnd::applyToneChanges(QStringList &syllables, QStringView characters)
{
    SpokenTones::changeYiAndBu(syllables, characters);
}

// Every word's syllables as they are said, one after the other: the tone
// changes look across the words of a run of Han (no punctuation between),
// so each run's syllables are changed together, with its characters and its
// words' sizes. One list for the whole text, not one per word: a list per
// word was a large part of the cost of reading.
MandarinFrontEnd::SpokenSyllables MandarinFrontEnd::spokenSyllables(const QList<Word> &words, QStringView text)
{
    SpokenSyllables spoken;
    spoken.firstOf.reserve(std::size_t(words.size()) + 1);
    spoken.syllables.reserve(text.size());
    QString characters;
    std::vector<qsizetype> sizes;
    QStringList run; // one run's syllables, changed together; its room kept
    for (qsizetype w = 0; w < words.size();) {
        if (words[w].kind != Word::Kind::Han) {
            spoken.firstOf.push_back(spoken.syllables.size());
            spoken.syllables << words[w].syllables;
            ++w;
            continue;
        }
        characters.clear();
        sizes.clear();
        run.resize(0);
        const qsizetype runStart = spoken.syllables.size();
        for (; w < words.size() && words[w].kind == Word::Kind::Han; ++w) {
            const Word &word = words[w];
            spoken.firstOf.push_back(runStart + run.size());
            run << word.syllables;
            if (word.spoken.isEmpty()) {
                for (const QChar c : text.mid(word.start, word.length))
                    if (c != u'\n')
                        characters += c;
                sizes.push_back(word.syllables.size());
            } else {
                characters += word.spoken;
                sizes.insert(sizes.end(), word.spokenWordSizes.begin(), word.spokenWordSizes.end());
            }
        }
        SpokenTones::apply(run, characters, sizes);
        for (QString &syllable : run)
            spoken.syllables.append(std::move(syllable));
    }
    spoken.firstOf.push_back(spoken.syllables.size());
    return spoken;
}

QList<MandarinFrontEnd::EnginePart> MandarinFrontEnd::forEngine(const TextPiece &original, QStringView text) const
{
    QList<EnginePart> parts;
    EngineText current;
    // Room for a syllable and a blank a character, kept from part to part.
    current.text.reserve(text.size() * 4);
    current.source.reserve(text.size() * 4);
    bool english = false;
    const auto flush = [&](qsizetype upTo) {
        if (!QStringView(current.text).trimmed().isEmpty())
            parts.append({english, current.finish(original, upTo)});
        current.text.resize(0);
        current.source.resize(0);
    };
    const QList<Word> words = read(text);
    const SpokenSyllables said = spokenSyllables(words, text);
    for (qsizetype w = 0; w < words.size(); ++w) {
        const Word &word = words[w];
        const QStringView written = text.mid(word.start, word.length);
        const bool isEnglish = word.kind == Word::Kind::Latin;
        // Blanks between English words stay with them; anything else ends them.
        const bool blank = word.kind == Word::Kind::Other && written.trimmed().isEmpty();
        if (!blank && isEnglish != english) {
            flush(word.start);
            english = isEnglish;
        }
        if (word.kind == Word::Kind::Latin && word.length <= LongestEnglishWord) {
            // The English voice says "iPhone" as "i" and "Phone": every part
            // of it points at its start, so that one word selects it whole.
            current.append(written, word.start);
            continue;
        }
        if (word.kind != Word::Kind::Han) {
            current.appendWritten(written, word.start);
            continue;
        }
        // A written form read out points at the whole of what was written.
        const bool rewritten = !word.spoken.isEmpty();
        qsizetype writtenAt = word.start; // the next character said, past line breaks
        for (qsizetype k = 0; k < word.syllables.size(); ++k) {
            const QString &syllable = said.syllables[said.firstOf[std::size_t(w)] + k];
            while (!rewritten && writtenAt < word.start + word.length - 1 && text[writtenAt] == u'\n')
                ++writtenAt;
            const qsizetype at = rewritten ? word.start : writtenAt++;
            if (syllable.isEmpty()) {
                // The engine's own reading.
                current.appendWritten(rewritten ? QStringView(word.spoken).mid(k, 1) : text.mid(at, 1), at);
                continue;
            }
            current.append(syllable, at);
            current.append(u" ", rewritten ? word.start + word.length : at + 1);
        }
    }
    flush(text.size());
    return parts;
}
