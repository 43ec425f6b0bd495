// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/Chapters.h"

#include <QMap>
#include <QRegularExpression>

namespace Documents {

namespace {

// A chapter line is a title, not a sentence that happens to start with 第.
constexpr qsizetype MaxTitleLength = 40;

// A line that goes on from the one before (a paragraph wrapped by its
// writer) is no heading however it begins: the line before it has text,
// is no chapter line itself, and does not end a sentence.
bool continuesALine(QStringView previous, bool previousIsChapter)
{
    const QStringView trimmed = previous.trimmed();
    if (trimmed.isEmpty() || previousIsChapter)
        return false;
    static const QString ends = QStringLiteral("。！？…」』”）)!?.:：;；");
    return !ends.contains(trimmed.back());
}

} // namespace

bool isChapterLine(QStringView line)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(?:第\\s*[0-9０-９零〇一二两三四五六七八九十百千]+\\s*[章回节卷部篇集幕](?:[\\s:：、.．·—-].*|$)"
        "|[卷篇][0-9零〇一二三四五六七八九十百]+(?:[\\s:：、.．·—-].*|$)"
        "|(?i:(?:chapter|part|book)\\s+(?:[0-9]+|[ivxlc]+|one|two|three|four|five|six|seven|eight|nine|ten)\\b.*)"
        "|(?:序|序言|序章|前言|引子|楔子|尾声|后记|附录)(?:[\\s:：、].*|$))$"),
        // \s must take the no-break and ideographic spaces books put in 第 1 章.
        QRegularExpression::UseUnicodePropertiesOption);
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
            found.append({start + lead, 1, line.trimmed().toString().simplified()});
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
