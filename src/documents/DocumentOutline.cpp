// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/DocumentOutline.h"

#include <algorithm>

namespace Documents {

QString headingMark(int level)
{
    const QChar mark[2] = {QChar(HeadingMark), QChar(char16_t(HeadingMark + std::clamp(level, 1, 9)))};
    return QString(mark, 2);
}

QList<Heading> takeHeadings(QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isHeadingMark))
        return {};
    QList<Heading> headings;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!isHeadingMark(c)) {
            out += c;
            continue;
        }
        if (c != QChar(HeadingMark) || i + 1 >= text.size() || !isHeadingMark(text.at(i + 1)))
            continue;
        const int level = text.at(++i).unicode() - HeadingMark;
        // An empty heading is no chapter; two marks at one place keep the first.
        if (level >= 1 && (headings.isEmpty() || headings.last().offset != out.size()))
            headings.append({out.size(), level, {}});
    }
    text = out;
    for (Heading &heading : headings) {
        const qsizetype end = text.indexOf(u'\n', heading.offset);
        heading.title = text.mid(heading.offset, end < 0 ? -1 : end - heading.offset).simplified();
    }
    headings.removeIf([](const Heading &h) { return h.title.isEmpty(); });
    return headings;
}

} // namespace Documents
