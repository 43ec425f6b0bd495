// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/RichText.h"

#include <QRegularExpression>
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

// Qt's HTML reader keeps the text of scripts; a reader must not say it.
QString withoutScripts(const QString &source)
{
    static const QRegularExpression scripts(QStringLiteral("<script\\b.*?</script\\s*>"),
                                            QRegularExpression::CaseInsensitiveOption
                                                | QRegularExpression::DotMatchesEverythingOption);
    QString cleaned = source;
    return cleaned.remove(scripts);
}

} // namespace

QString html(const QString &source)
{
    return plainOf([&](QTextDocument &d) { d.setHtml(withoutScripts(source)); });
}

QString markdown(const QString &source)
{
    // Raw HTML inside Markdown is read as HTML: its tags are markup, not text.
    return plainOf(
        [&](QTextDocument &d) { d.setMarkdown(withoutScripts(source), QTextDocument::MarkdownDialectGitHub); });
}

} // namespace RichText
