// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/SpokenTones.h"

#include <QVarLengthArray>

#include <algorithm>

namespace SpokenTones {

namespace {

// The tone digit that ends a syllable (an ASCII digit, so no Unicode
// look-up); 0 for no syllable (the engine's own reading), -1 for no digit.
int toneOf(const QString &syllable)
{
    if (syllable.isEmpty())
        return 0;
    const char16_t last = syllable.back().unicode();
    return last >= u'0' && last <= u'9' ? last - u'0' : -1;
}

void setTone(QString &syllable, int tone)
{
    if (!syllable.isEmpty() && syllable.back().isDigit())
        syllable.back() = QChar(u'0' + tone);
}

// Yi keeps its first tone after these (第一, 十一) and before digits (一二三);
// before 百, 千, 万 it changes as before any word (一百 yi4 bai3).
bool isNumeral(QChar c) { return QStringView(u"零一二三四五六七八九十两第").contains(c); }

// Verbs whose doubled form ("try a little") is said with a light second
// syllable. A list, since the words around do not tell a verb: adverbs
// doubled (常常, 慢慢, 渐渐) keep both tones.
constexpr QStringView DoubledVerbs = u"看想试听说走问谈聊找尝动练写读学玩坐歇摸闻洗擦查猜算讲逛";

// A run has rarely more than a few dozen words: the lists of one live on
// the stack, as this is done for every run of every text read.
using SmallSizes = QVarLengthArray<qsizetype, 64>;

// The prosodic words of a run, as the number of syllables in each: a word
// of one syllable is said together with a one-syllable word after it, or
// with a word of two (with the word before it at the run's end), and a
// light particle with the word before it: 很/好 is one group, 很/好/很/好
// two, 展览/馆 and 买/好/了 one each.
void prosodicWords(const QStringList &syllables, const std::vector<qsizetype> &wordSizes, SmallSizes &sizes)
{
    // Light particles (了, 吗, 的: neutral tones) do not count towards a
    // group's length, whether they are words of their own (买好/了) or end
    // the dictionary's word (好了吗, which then counts as 好 alone); a word of
    // nothing but particles (了吗) goes with the word before it.
    struct Unit
    {
        qsizetype core = 0, total = 0;
        bool merged = false;
    };
    QVarLengthArray<Unit, 64> units;
    qsizetype at = 0;
    for (qsizetype size : wordSizes) {
        qsizetype core = size;
        while (core > 0 && at + core - 1 < syllables.size() && toneOf(syllables[at + core - 1]) == 5)
            --core;
        if (core == 0 && !units.empty())
            units.back().total += size;
        else
            units.push_back({std::max<qsizetype>(core, 1), size});
        at += size;
    }
    // From the end: a one-syllable word joins a one-syllable word after it
    // (很/好), or a word of two that is not itself a group (小/老虎), so that
    // a group stays within three syllables and 很好很好 is two groups.
    QVarLengthArray<Unit, 64> groups; // backwards
    for (auto unit = units.rbegin(); unit != units.rend(); ++unit) {
        Unit &next = groups.empty() ? *unit : groups.back();
        if (unit->core == 1 && !groups.empty() && (next.core == 1 || (next.core == 2 && !next.merged))) {
            next.core += 1;
            next.total += unit->total;
            next.merged = true;
        } else {
            groups.push_back(*unit);
        }
    }
    sizes.clear();
    for (auto group = groups.rbegin(); group != groups.rend(); ++group)
        sizes.push_back(group->total);
    // A one-syllable word left alone at the end goes with the word before it (展览/馆).
    if (groups.size() >= 2 && groups.front().core == 1 && groups[1].core + 1 <= 3) {
        sizes.pop_back();
        sizes.back() += groups.front().total;
    }
}

} // namespace

void lightenReduplicatedVerbs(QStringList &syllables, QStringView characters, const std::vector<qsizetype> &wordSizes)
{
    qsizetype i = 0; // where word w starts in the run
    for (std::size_t w = 0; w < wordSizes.size(); i += wordSizes[w++]) {
        // As one word (看看) or as two of one syllable each (看/看), but not
        // the end of one word and the start of the next (好看/看书).
        const bool oneWord = wordSizes[w] == 2;
        const bool twoWords = wordSizes[w] == 1 && w + 1 < wordSizes.size() && wordSizes[w + 1] == 1;
        if (!(oneWord || twoWords) || i + 1 >= syllables.size() || i + 1 >= characters.size())
            continue;
        if (characters[i] == characters[i + 1] && DoubledVerbs.contains(characters[i]) && syllables[i] == syllables[i + 1]
            && toneOf(syllables[i]) != 5)
            setTone(syllables[i + 1], 5);
    }
}

void raiseThirdTones(QStringList &syllables, const std::vector<qsizetype> &wordSizes)
{
    SmallSizes sizes;
    prosodicWords(syllables, wordSizes, sizes);
    qsizetype from = 0;
    for (qsizetype size : sizes) {
        // Every third tone before another third tone of its prosodic word
        // rises; the last of them stays.
        for (qsizetype i = from; i + 1 < from + size && i + 1 < syllables.size(); ++i)
            if (toneOf(syllables[i]) == 3 && toneOf(syllables[i + 1]) == 3)
                setTone(syllables[i], 2);
        from += size;
    }
}

void changeYiAndBu(QStringList &syllables, QStringView characters)
{
    for (qsizetype i = 0; i + 1 < syllables.size() && i + 1 < characters.size(); ++i) {
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

void apply(QStringList &syllables, QStringView characters, const std::vector<qsizetype> &wordSizes)
{
    lightenReduplicatedVerbs(syllables, characters, wordSizes);
    raiseThirdTones(syllables, wordSizes);
    changeYiAndBu(syllables, characters);
}

} // namespace SpokenTones
