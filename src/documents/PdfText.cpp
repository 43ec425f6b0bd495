// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/PdfText.h"

#include "documents/Cancellation.h"
#include "documents/PageLayout.h"

#include "platform/Failure.h"

#include <QHash>
#include <QRegularExpression>

#include <poppler-qt6.h>

namespace PdfText {

namespace {

// Some PDF writers map a CJK glyph back to the radical that shares it: a
// Kangxi radical (U+2F00 "⼀" for "一", undone by compatibility
// normalisation) or one of the supplement's simplified forms (U+2EDA "⻚"
// for "页", which normalisation leaves alone). Read as the ideograph, which
// is what was meant.
QString withIdeographs(QString text)
{
    static const QHash<char16_t, char16_t> supplement = {
        {0x2EC4, u'西'}, {0x2EC5, u'见'}, {0x2EC6, u'角'}, {0x2EC9, u'贝'}, {0x2ECB, u'车'}, {0x2ED3, u'长'},
        {0x2ED4, u'门'}, {0x2ED8, u'青'}, {0x2EDA, u'页'}, {0x2EDB, u'风'}, {0x2EDC, u'飞'}, {0x2EDD, u'食'},
        {0x2EE2, u'马'}, {0x2EE3, u'骨'}, {0x2EE5, u'鱼'}, {0x2EE6, u'鸟'}, {0x2EE7, u'卤'}, {0x2EE8, u'麦'},
        {0x2EE9, u'黄'}, {0x2EEC, u'齐'}, {0x2EEE, u'齿'}, {0x2EF0, u'龙'}, {0x2EF3, u'龟'}};
    for (QChar &c : text) {
        if (c.unicode() >= 0x2F00 && c.unicode() <= 0x2FD5)
            c = QString(c).normalized(QString::NormalizationForm_KC).front();
        else if (c.unicode() >= 0x2E80 && c.unicode() <= 0x2EFF)
            c = QChar(supplement.value(c.unicode(), c.unicode()));
    }
    return text;
}

// A line as it repeats from page to page: digits (page numbers, chapter
// numbers) and spacing do not count.
QString runningForm(const QString &line)
{
    QString form;
    for (const QChar c : line)
        if (c.isDigit()) {
            if (!form.endsWith(u'#')) // 9 and 10 are the same page number
                form += u'#';
        } else if (!c.isSpace()) {
            form += c;
        }
    return form;
}

bool isPageNumber(const QString &line)
{
    static const QRegularExpression number(QStringLiteral(
        "^\\s*(?:[-–—(\\[]\\s*)?(?:\\d+|(?=[ivxlcdm])m{0,3}(?:cm|cd|d?c{0,3})(?:xc|xl|l?x{0,3})(?:ix|iv|v?i{0,3}))(?:\\s*[-–—)\\]])?(?:\\s*/\\s*\\d+)?\\s*$|^\\s*第\\s*\\d+\\s*页(?:\\s*/?\\s*共\\s*\\d+\\s*页)?\\s*$|^\\s*(?:page|p\\.)\\s*\\d+(?:\\s*(?:/|of)\\s*\\d+)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    return number.match(line).hasMatch();
}

// Dot leaders (目录……12, "Chapter 1 ........ 5") and the spaces that PDF
// layout leaves between words and cells.
QString withoutLeaders(const QString &line)
{
    static const QRegularExpression leader(QStringLiteral("(?:\\s*[.·…．・]){4,}\\s*"));
    static const QRegularExpression spaces(QStringLiteral("[ \\t\\x{3000}]{2,}"));
    QString out = line;
    out.replace(leader, QStringLiteral(" "));
    out.replace(spaces, QStringLiteral(" "));
    return out;
}

} // namespace

QString asHeard(const QStringList &pages)
{
    QList<QStringList> lines;
    for (const QString &page : pages) {
        QStringList kept;
        for (const QString &line : page.split(u'\n'))
            if (!line.trimmed().isEmpty())
                kept << line;
        lines << kept;
    }
    // Running lines: the forms that open or close at least half the pages.
    // Two rounds, for a header of two lines (a title above a chapter name).
    const qsizetype enough = pages.size() >= 3 ? (pages.size() + 1) / 2 : pages.size() + 1;
    for (int round = 0; round < 2; ++round) {
        QHash<QString, qsizetype> first, last;
        for (const QStringList &page : std::as_const(lines))
            if (!page.isEmpty()) {
                ++first[runningForm(page.front())];
                ++last[runningForm(page.back())];
            }
        for (qsizetype p = 0; p < lines.size(); ++p) {
            QStringList &page = lines[p];
            // The first page's opening line is the title, even where later
            // pages repeat it as their running header.
            const bool repeated = !page.isEmpty() && p > 0 && first.value(runningForm(page.front())) >= enough;
            if (!page.isEmpty() && (repeated || isPageNumber(page.front())))
                page.removeFirst();
            if (!page.isEmpty() && (last.value(runningForm(page.back())) >= enough || isPageNumber(page.back())))
                page.removeLast();
        }
    }
    QStringList out;
    for (const QStringList &page : std::as_const(lines)) {
        QStringList read;
        for (const QString &line : page)
            read << withoutLeaders(line);
        if (!read.isEmpty())
            out << read.join(u'\n');
    }
    return out.join(QStringLiteral("\n\n"));
}

QString read(const QString &path, Documents::Info *info)
{
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document)
        throw Failure(QStringLiteral("PDF 文件已损坏，无法打开。"));
    if (document->isLocked())
        throw Failure(QStringLiteral("PDF 文件已加密，无法读取。"));
    QStringList pages;
    bool anyText = false;
    for (int i = 0; i < document->numPages(); ++i) {
        Documents::throwIfCancelled();
        const std::unique_ptr<Poppler::Page> page = document->page(i);
        QList<PageLayout::Word> words;
        if (page)
            for (const std::unique_ptr<Poppler::TextBox> &box : page->textList())
                words.append({box->text(), box->boundingBox(), box->hasSpaceAfter()});
        const QString text = PageLayout::readingOrder(words).trimmed();
        anyText = anyText || !text.isEmpty();
        pages << text;
    }
    if (!anyText)
        throw Failure(QStringLiteral("PDF 文件没有文字层（可能是扫描的图片），没有可朗读的文字。"));
    if (info) {
        info->title = document->info(QStringLiteral("Title")).simplified();
        info->author = document->info(QStringLiteral("Author")).simplified();
    }
    return withIdeographs(asHeard(pages));
}

} // namespace PdfText
