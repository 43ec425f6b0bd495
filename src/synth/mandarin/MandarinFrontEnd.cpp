// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/MandarinFrontEnd.h"

#include "synth/mandarin/ContextReadings.h"
#include "synth/mandarin/ReadingDictionary.h"
#include "synth/mandarin/TextNormaliser.h"

#include <limits>
#include <vector>

namespace {

// A character missing from the dictionary costs more than its rarest word.
constexpr int UnknownCharacterCost = 260;
// Longer runs of letters are no English word: their parts are raised as
// the engine says them, so that a long run is followed as it is read.
constexpr qsizetype LongestEnglishWord = 45;

bool isLatin(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Yi keeps its first tone after these (第一, 十一) and before digits (一二三);
// before 百, 千, 万 it changes as before any word (一百 yi4 bai3).
bool isNumeral(QChar c) { return QStringView(u"零一二三四五六七八九十两第").contains(c); }

int toneOf(const QString &syllable) { return syllable.isEmpty() ? 0 : syllable.back().digitValue(); }

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
        for (qsizetype i = 0; i < s.size(); ++i)
            source.append(from);
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
    std::vector<int> best(std::size_t(n) + 1, std::numeric_limits<int>::max());
    std::vector<ReadingDictionary::Word> chosen(std::size_t(n) + 1);
    best[0] = 0;
    std::vector<ReadingDictionary::Word> words;
    for (qsizetype i = 0; i < n; ++i) {
        if (best[std::size_t(i)] == std::numeric_limits<int>::max())
            continue;
        m_dictionary.wordsAt(text.first(to), from + i, words);
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
    QList<Word> backwards;
    for (qsizetype end = n; end > 0;) {
        const ReadingDictionary::Word &word = chosen[std::size_t(end)];
        Word w;
        w.kind = Word::Kind::Han;
        w.start = from + end - word.length;
        w.length = word.length;
        for (int k = 0; k < word.length; ++k)
            w.syllables << (word.syllables ? QString(m_dictionary.syllable(word.syllables[k])) : QString());
        backwards.append(w);
        end -= word.length;
    }
    const qsizetype first = out.size();
    for (auto it = backwards.crbegin(); it != backwards.crend(); ++it)
        out.append(*it);
    settleReadingsByContext(text, out, first);
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
            Word word{Word::Kind::Han, i, rewrite.length, {}, rewrite.spoken};
            for (const Word &part : std::as_const(said))
                word.syllables << part.syllables;
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
            words.append({Word::Kind::Latin, i, end - i, {}, {}});
        } else {
            if (text[i].isHighSurrogate() && end < text.size() && text[end].isLowSurrogate())
                ++end;
            words.append({Word::Kind::Other, i, end - i, {}, {}});
        }
        i = end;
    }
    return words;
}

QString MandarinFrontEnd::pinyinLine(QStringView line) const
{
    QStringList tokens;
    bool lastWasMark = false; // the last token is marks that are no word ("——", "...")
    qsizetype lastEnd = -1;
    for (const Word &word : read(line)) {
        const QStringView written = line.mid(word.start, word.length);
        if (word.kind == Word::Kind::Han) {
            const QStringView said = word.spoken.isEmpty() ? written : QStringView(word.spoken);
            for (qsizetype k = 0; k < word.syllables.size(); ++k)
                tokens << (word.syllables[k].isEmpty() ? said.mid(k, 1).toString() : word.syllables[k]);
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
    for (qsizetype i = 0; i + 1 < syllables.size(); ++i) {
        const int next = toneOf(syllables[i + 1]);
        if (characters[i] == u'一' && syllables[i] == u"yi1") {
            // 第一, 十一, 一二三: a numeral keeps its tone.
            if ((i > 0 && isNumeral(characters[i - 1])) || isNumeral(characters[i + 1]) || next == 0)
                continue;
            syllables[i] = next == 4 || next == 5 ? QStringLiteral("yi2") : QStringLiteral("yi4");
        } else if (characters[i] == u'不' && syllables[i] == u"bu4" && next == 4) {
            syllables[i] = QStringLiteral("bu2");
        }
    }
}

QList<MandarinFrontEnd::EnginePart> MandarinFrontEnd::forEngine(const TextPiece &original, QStringView text) const
{
    QList<EnginePart> parts;
    EngineText current;
    bool english = false;
    const auto flush = [&](qsizetype upTo) {
        if (!current.text.trimmed().isEmpty())
            parts.append({english, current.finish(original, upTo)});
        current = {};
    };
    const QList<Word> words = read(text);
    // Tone changes look across word boundaries within a run of Han: the
    // syllables of the whole run, with their characters, in one list.
    QStringList runSyllables;
    QString runCharacters;
    qsizetype runIndex = 0;
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
        if (runIndex >= runSyllables.size()) {
            // The first word of a run of Han: gather the run's syllables.
            runSyllables.clear();
            runCharacters.clear();
            runIndex = 0;
            for (qsizetype v = w; v < words.size() && words[v].kind == Word::Kind::Han; ++v) {
                runSyllables << words[v].syllables;
                runCharacters += words[v].spoken.isEmpty()
                    ? text.mid(words[v].start, words[v].length).toString().remove(QChar(u'\n'))
                    : words[v].spoken;
            }
            applyToneChanges(runSyllables, runCharacters);
        }
        // A written form read out points at the whole of what was written.
        const bool rewritten = !word.spoken.isEmpty();
        qsizetype writtenAt = word.start; // the next character said, past line breaks
        for (qsizetype k = 0; k < word.syllables.size(); ++k, ++runIndex) {
            const QString &syllable = runSyllables[runIndex];
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
