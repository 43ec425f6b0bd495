// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/PageLayout.h"

#include <algorithm>

namespace PageLayout {

namespace {

struct Line
{
    QRectF box;
    QString text;
};

double medianHeight(const QList<Line> &lines)
{
    QList<double> heights;
    for (const Line &line : lines)
        heights << line.box.height();
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
}

// Words to pieces of lines: a word goes on the line it shares most of its
// height with, unless it stands further from it than a line is high.
QList<Line> linesOf(QList<Word> words)
{
    std::stable_sort(words.begin(), words.end(), [](const Word &a, const Word &b) {
        return a.box.center().y() < b.box.center().y();
    });
    QList<QList<Word>> rows;
    for (const Word &word : std::as_const(words)) {
        const double y = word.box.center().y();
        if (!rows.isEmpty()) {
            const QRectF &last = rows.back().back().box;
            if (y >= last.top() && y <= last.bottom()) {
                rows.back() << word;
                continue;
            }
        }
        rows << QList<Word>{word};
    }
    QList<Line> lines;
    for (QList<Word> &row : rows) {
        std::stable_sort(row.begin(), row.end(), [](const Word &a, const Word &b) { return a.box.left() < b.box.left(); });
        Line line{row.front().box, row.front().text};
        for (qsizetype i = 1; i < row.size(); ++i) {
            const Word &previous = row[i - 1], &word = row[i];
            const double gap = word.box.left() - line.box.right();
            if (gap > std::max(line.box.height(), word.box.height())) {
                lines << line;
                line = {word.box, word.text};
                continue;
            }
            line.text += (previous.spaceAfter ? QStringLiteral(" ") : QString()) + word.text;
            line.box = line.box.united(word.box);
        }
        lines << line;
    }
    return lines;
}

// The gaps along one axis that no line covers, as (start, end) pairs.
QList<std::pair<double, double>> gaps(const QList<Line> &lines, bool horizontal)
{
    QList<std::pair<double, double>> spans;
    for (const Line &line : lines)
        spans << (horizontal ? std::pair{line.box.left(), line.box.right()} : std::pair{line.box.top(), line.box.bottom()});
    std::sort(spans.begin(), spans.end());
    QList<std::pair<double, double>> out;
    double reach = spans.front().second;
    for (const auto &[start, end] : std::as_const(spans)) {
        if (start > reach)
            out.append({reach, start});
        reach = std::max(reach, end);
    }
    return out;
}

// Whether most lines of a column run (nearly) across it, as wrapped text does.
bool fillsItsWidth(const QList<Line> &lines)
{
    double left = lines.front().box.left(), right = lines.front().box.right();
    for (const Line &line : lines) {
        left = std::min(left, line.box.left());
        right = std::max(right, line.box.right());
    }
    const qsizetype full = std::count_if(lines.cbegin(), lines.cend(), [&](const Line &line) {
        return line.box.width() >= (right - left) * 0.7;
    });
    return full * 2 > lines.size();
}

void cut(QList<Line> lines, QStringList &out, int depth)
{
    if (lines.isEmpty())
        return;
    const double height = medianHeight(lines);
    // Columns first: the widest gutter running the region's whole height.
    if (depth < 64 && lines.size() > 1) {
        const auto across = gaps(lines, true);
        const auto widest = std::max_element(across.cbegin(), across.cend(), [](const auto &a, const auto &b) {
            return a.second - a.first < b.second - b.first;
        });
        if (widest != across.cend() && widest->second - widest->first >= height * 0.5) {
            const double at = (widest->first + widest->second) / 2;
            QList<Line> left, right;
            for (const Line &line : std::as_const(lines))
                (line.box.center().x() < at ? left : right) << line;
            // Columns of text fill their width line after line; the columns
            // of a table (a command and what it does) do not, and are read
            // row by row instead.
            if (fillsItsWidth(left) && fillsItsWidth(right)) {
                cut(left, out, depth + 1);
                cut(right, out, depth + 1);
                return;
            }
        }
        // Then blocks: gaps between lines wider than a line is high.
        QList<double> cuts;
        for (const auto &[start, end] : gaps(lines, false))
            if (end - start > height)
                cuts << (start + end) / 2;
        if (!cuts.isEmpty()) {
            QList<QList<Line>> blocks(cuts.size() + 1);
            for (const Line &line : std::as_const(lines)) {
                const auto block = std::upper_bound(cuts.cbegin(), cuts.cend(), line.box.center().y()) - cuts.cbegin();
                blocks[block] << line;
            }
            for (const QList<Line> &block : std::as_const(blocks))
                cut(block, out, depth + 1);
            return;
        }
    }
    // What could not be cut is read by rows; pieces side by side in a row
    // (a number and its title in a table of contents) are one line, left
    // to right.
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line &a, const Line &b) { return a.box.center().y() < b.box.center().y(); });
    for (qsizetype i = 0; i < lines.size();) {
        const QRectF &first = lines[i].box;
        qsizetype end = i + 1;
        while (end < lines.size() && lines[end].box.center().y() <= first.bottom())
            ++end;
        std::stable_sort(lines.begin() + i, lines.begin() + end,
                         [](const Line &a, const Line &b) { return a.box.left() < b.box.left(); });
        QString row = lines[i].text;
        for (qsizetype k = i + 1; k < end; ++k)
            row += u' ' + lines[k].text;
        out << row;
        i = end;
    }
}

} // namespace

QString readingOrder(const QList<Word> &words)
{
    if (words.isEmpty())
        return {};
    QStringList out;
    cut(linesOf(words), out, 0);
    return out.join(u'\n');
}

} // namespace PageLayout
