// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/RichText.h"

#include "documents/HtmlFlattening.h"

#include <QTextDocument>
#include <QVariant>

#include <functional>

namespace RichText {

namespace {

QString plainOf(const std::function<void(QTextDocument &)> &load)
{
    QTextDocument document;
    document.setResourceProvider([](const QUrl &) { return QVariant(); });
    load(document);
    // Qt writes a line separator or NBSP where the source had <br> or &nbsp;.
    return document.toPlainText().replace(QChar(QChar::LineSeparator), u'\n').replace(QChar(QChar::Nbsp), u' ');
}

// What Qt's HTML import is given: no scripts (Qt keeps their text, and a
// reader must not say it), and no nesting deeper than a real page has.
constexpr int MaxNesting = 48;

QString prepared(const QString &source)
{
    return HtmlFlattening::withNestingAtMost(HtmlFlattening::withoutScripts(source), MaxNesting);
}

} // namespace

QString html(const QString &source)
{
    return plainOf([&](QTextDocument &d) { d.setHtml(prepared(source)); });
}

QString markdown(const QString &source)
{
    // Raw HTML inside Markdown is read as HTML: its tags are markup, not text.
    return plainOf(
        [&](QTextDocument &d) { d.setMarkdown(prepared(source), QTextDocument::MarkdownDialectGitHub); });
}

} // namespace RichText
