// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/Chapters.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace Documents {

namespace {

// A chapter line is a title, not a sentence that happens to start with 第.
constexpr qsizetype MaxTitleLength = 40;

bool endsASentence(QStringView trimmed)
{
    static const QString ends = QStringLiteral("。！？…」』”）)!?.:：;；");
    return !trimmed.isEmpty() && ends.contains(trimmed.back());
}

// A line that goes on from the one before (a paragraph wrapped by its
// writer) is no heading however it begins: the line before it has text,
// is no chapter line itself, and does not end a sentence.
bool continuesALine(QStringView previous, bool previousIsChapter)
{
    const QStringView trimmed = previous.trimmed();
    if (trimmed.isEmpty() || previousIsChapter)
        return false;
    return !endsASentence(trimmed);
}

// The first line after from (a line's end) that has any text, trimmed.
QStringView nextLineWithText(const QString &text, qsizetype from)
{
    while (from < text.size()) {
        qsizetype end = text.indexOf(u'\n', from + 1);
        if (end < 0)
            end = text.size();
        const QStringView line = QStringView(text).mid(from + 1, end - from - 1).trimmed();
        if (!line.isEmpty())
            return line;
        from = end;
    }
    return {};
}

// The numbered labels books give chapters: 第一章, 第12回, 卷三, Chapter 3, Part Two.
constexpr QStringView CjkLabel =
    u"第\\s*[0-9０-９零〇一二两三四五六七八九十百千]+\\s*[章回节卷部篇集幕]|[卷篇][0-9零〇一二三四五六七八九十百]+";
constexpr QStringView LatinLabel =
    u"(?i:(?:chapter|part|book)\\s+(?:[0-9]+|[ivxlc]+|one|two|three|four|five|six|seven|eight|nine|ten))";

// Chapters that need no number: 序, 后记.
constexpr QStringView Unnumbered = u"序|序言|序章|前言|引子|楔子|尾声|后记|附录";

// \s must take the no-break and ideographic spaces books put in 第 1 章.
constexpr auto PatternOptions = QRegularExpression::UseUnicodePropertiesOption;

// A label with nothing after it: "Chapter 1", "第三章".
bool isBareLabel(QStringView trimmed)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:%1|%2)$").arg(CjkLabel, LatinLabel), PatternOptions);
    return pattern.match(trimmed).hasMatch();
}

// The line under a bare label is its title when it is short, says no
// sentence and names no chapter of its own; printed books, and the PDFs
// made from them, set "Chapter 1" on one line and "风起" below.
bool isTitleUnderLabel(QStringView trimmed)
{
    static const QString sentenceEnds = QStringLiteral("。！？!?");
    return !trimmed.isEmpty() && trimmed.size() <= MaxTitleLength && !endsASentence(trimmed)
        && std::none_of(trimmed.begin(), trimmed.end(), [](QChar c) { return sentenceEnds.contains(c); })
        && !isChapterLine(trimmed);
}

} // namespace

bool isChapterLine(QStringView line)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(?:%1)(?:[\\s:：、.．·—-].*|$)|%2\\b.*|(?:%3)(?:[\\s:：、].*|$))$")
            .arg(CjkLabel, LatinLabel, Unnumbered),
        PatternOptions);
    const QStringView trimmed = line.trimmed();
    return !trimmed.isEmpty() && trimmed.size() <= MaxTitleLength && pattern.match(trimmed).hasMatch();
}

QList<Heading> chapters(const Document &document)
{
    // The top level that has at least two headings: a page whose only h1 is
    // its title has its chapters in h2.
    QMap<int, int> perLevel;
    for (const Heading &heading : document.headings)
        ++perLevel[heading.level];
    for (auto level = perLevel.cbegin(); level != perLevel.cend(); ++level) {
        if (level.value() < 2)
            continue;
        QList<Heading> found;
        for (const Heading &heading : document.headings)
            if (heading.level == level.key())
                found << heading;
        return found;
    }
    QList<Heading> found;
    const QString &text = document.text;
    QStringView previous;
    bool previousIsChapter = false;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QStringView line = QStringView(text).mid(start, end - start);
        const bool chapterLine = isChapterLine(line);
        if (chapterLine && !continuesALine(previous, previousIsChapter)) {
            qsizetype lead = 0;
            while (line.at(lead).isSpace())
                ++lead;
            const QStringView label = line.trimmed();
            QString title = label.toString().simplified();
            if (isBareLabel(label))
                if (const QStringView below = nextLineWithText(text, end); isTitleUnderLabel(below))
                    title += u' ' + below.toString().simplified();
            found.append({start + lead, 1, title});
        }
        previous = line;
        previousIsChapter = chapterLine;
        start = end + 1;
    }
    if (found.size() < 2)
        return {};
    return found;
}

} // namespace Documents
