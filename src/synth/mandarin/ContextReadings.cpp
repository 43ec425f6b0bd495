// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/ContextReadings.h"

bool isHanCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3400 && u <= 0x4DBF) || (u >= 0xF900 && u <= 0xFAFF);
}

namespace {

using Word = MandarinFrontEnd::Word;

struct Reading
{
    char16_t character;
    const char *syllable;
};

// Read as the verb before an aspect mark or a complement (种了三棵树,
// 长着大眼睛, 中了奖, 卷起来): alone and unmarked these characters are
// mostly the noun or measure word the dictionary gives them (这种, 长短,
// 中间). Each has the followers that make it a verb.
struct VerbReading
{
    char16_t character;
    const char *syllable;
    const char16_t *followers;
};
constexpr VerbReading VerbBeforeComplement[] = {
    {u'种', "zhong4", u"了着过上下出"}, {u'还', "huan2", u"了过"},     {u'中', "zhong4", u"了过"},
    {u'露', "lou4", u"了着"},           {u'长', "zhang3", u"了着出成到"}, {u'量', "liang2", u"了过"},
    {u'卷', "juan3", u"了着起成上"},    {u'缝', "feng2", u"了着上好"},  {u'钻', "zuan1", u"了过进"},
    {u'得', "de2", u"了过"},            {u'空', "kong4", u"出"},        {u'切', "qie1", u"了着开成"},
    {u'着', "zhao2", u"了"},            {u'卡', "qia3", u"在住"},       {u'奔', "ben4", u"着向往"},
    {u'处', "chu3", u"得不"},           {u'数', "shu3", u"了着过钱"},  {u'划', "hua2", u"到着"},
    {u'闷', "men4", u"在"},
};

// Standing alone as a word, these are the verb: the other reading lives in
// words the dictionary has (教室, 盛大, 记载).
constexpr Reading AloneAsVerb[] = {{u'教', "jiao1"}, {u'盛', "cheng2"}, {u'载', "zai4"}};

// After 很, 太, 真 and ending the clause: the adjective (说话很冲, 很横).
constexpr Reading AfterDegree[] = {{u'冲', "chong4"}, {u'横', "heng4"}, {u'散', "san3"}};

const char *readingIn(const auto &table, QChar c)
{
    for (const Reading &r : table)
        if (c == r.character)
            return r.syllable;
    return nullptr;
}

const VerbReading *verbBefore(QChar c, QChar next)
{
    for (const VerbReading &v : VerbBeforeComplement)
        if (c == v.character)
            return !next.isNull() && QStringView(v.followers).contains(next) ? &v : nullptr;
    return nullptr;
}

} // namespace

void settleReadingsByContext(QStringView text, QList<Word> &words, qsizetype first)
{
    static const QStringView Pronouns = u"我你他她它您咱们";
    static const QStringView Counting = u"一二两三四五六七八九十几数每半";
    // 这块地, 那片地: after a demonstrative or a measure word 地 is the ground.
    static const QStringView Determiners = u"这那此该各每块片个种些亩";
    static const QStringView Returned = u"钱书给债款账车";
    static const QStringView Growing = u"得出成高胖";
    static const QStringView Nap = u"一个好午";
    static const QStringView Carrying = u"着在起上";
    // What is poured: 倒一杯水, 倒茶, 倒进锅里.
    static const QStringView Poured = u"一半杯碗水茶酒满进入出回";
    static const QStringView Degrees = u"很太真挺好更最";
    for (qsizetype w = first; w < words.size(); ++w) {
        Word &word = words[w];
        if (word.length == 2 && text[word.start + 1] == u'着' && QStringView(u"穿戴").contains(text[word.start])
            && word.syllables.size() == 2 && (word.start == 0 || text[word.start - 1] != u'的')) {
            word.syllables[1] = QStringLiteral("zhe5"); // 穿着红衣服 is wearing, 他的穿着 his clothes
            continue;
        }
        if (word.length == 2 && word.syllables.size() == 2 && text.mid(word.start, 2) == u"东西") {
            // 东西 is a thing (dōngxi), unless it is east and west: before a
            // direction, a side or an extent (东西方向, 东西两侧, 东西长五里,
            // 东西南北, 东西文化), after 贯/横/从.
            static const QStringView Directional = u"方两走南向长宽之横部侧文交半城街各";
            const QChar after = word.start + 2 < text.size() ? text[word.start + 2] : QChar();
            const QChar beforeIt = word.start > 0 ? text[word.start - 1] : QChar();
            const bool eastAndWest = Directional.contains(after) || QStringView(u"贯横从").contains(beforeIt);
            word.syllables[1] = eastAndWest ? QStringLiteral("xi1") : QStringLiteral("xi5");
            continue;
        }
        if (word.length == 2 && text[word.start] == u'地' && word.start >= 2 && w > first
            && text[word.start - 1] == text[word.start - 2]) {
            word.syllables[0] = QStringLiteral("de5"); // 哗哗地下着雨: the adverb's mark, not 地下
            continue;
        }
        if (word.length != 1 || word.syllables.size() != 1)
            continue;
        const QChar c = text[word.start];
        const Word *before = w > first ? &words[w - 1] : nullptr;
        const QChar previous = before ? text[word.start - 1] : QChar();
        const bool hanFollows = w + 1 < words.size() && words[w + 1].kind == Word::Kind::Han;
        const QChar next = hanFollows ? text[word.start + 1] : QChar();
        // The character after next, inside this run of Han.
        const QChar afterNext = hanFollows && (words[w + 1].length > 1 || (w + 2 < words.size() && words[w + 2].kind == Word::Kind::Han))
                                    ? text[word.start + 2]
                                    : QChar();
        QString &syllable = word.syllables.front();
        if (const VerbReading *verb = verbBefore(c, next);
            verb && !(c == u'得' && next == u'了' && afterNext.isNull())) { // 走得了: can go
            syllable = QLatin1String(verb->syllable);
            continue;
        }
        if (const char *verb = readingIn(AloneAsVerb, c)) {
            syllable = QLatin1String(verb);
            continue;
        }
        if (const char *adjective = readingIn(AfterDegree, c);
            adjective && before && Degrees.contains(previous) && !hanFollows) {
            syllable = QLatin1String(adjective);
            continue;
        }
        if (c == u'地' && before && hanFollows && !Determiners.contains(previous)
            && (before->length >= 2 || (before->length == 1 && word.start >= 2 && text[word.start - 2] == previous)))
            syllable = QStringLiteral("de5"); // 慢慢地走, 高兴地说: an adverb's mark
        else if (c == u'得' && before)
            syllable = Pronouns.contains(previous) && hanFollows ? QStringLiteral("dei3") // 我得走了
                                                               : QStringLiteral("de5"); // 跑得快
        else if (c == u'行' && before && Counting.contains(previous) && !Counting.contains(next))
            syllable = QStringLiteral("hang2"); // 一行字: a line; 一行五人 is a party
        else if (c == u'还' && ((hanFollows && Returned.contains(next)) || (before && !hanFollows) || (Pronouns.contains(next) && afterNext.isNull())))
            syllable = QStringLiteral("huan2"); // 还钱, 按时还, 明天还你: giving back
        else if (c == u'只')
            syllable = before && Counting.contains(previous) ? QStringLiteral("zhi1") // 一只猫: a measure word
                                                             : QStringLiteral("zhi3"); // 只喝水: only
        else if (c == u'长' && hanFollows && Growing.contains(next))
            syllable = QStringLiteral("zhang3"); // 长得, 长出: growing
        else if (c == u'觉' && before && Nap.contains(previous) && !hanFollows)
            syllable = QStringLiteral("jiao4"); // 一觉, 好觉: a sleep
        else if (c == u'宿' && before && Counting.contains(previous))
            syllable = QStringLiteral("xiu3"); // 一宿: a night
        else if (c == u'背' && hanFollows && Carrying.contains(next))
            syllable = QStringLiteral("bei1"); // 背着, 背在身上: carrying
        else if (c == u'倒' && hanFollows && (Poured.contains(next) || (next == u'了' && Poured.contains(afterNext))))
            syllable = QStringLiteral("dao4"); // 倒一杯水: pouring
        else if (c == u'转' && before
                 && (!hanFollows || next == u'着' || text.mid(word.start + 1, 4).contains(u'圈')))
            syllable = QStringLiteral("zhuan4"); // 绕着太阳转: turning round
        else if (c == u'的' && previous == u'打' && QStringView(u"去到回走").contains(next))
            syllable = QStringLiteral("di1"); // 打的去机场: by taxi
        else if (c == u'了' && before && (previous == u'不' || previous == u'得') && word.start >= 2
                 && isHanCharacter(text[word.start - 2]) && !hanFollows)
            syllable = QStringLiteral("liao3"); // 受不了, 走得了: can or cannot
    }
}
