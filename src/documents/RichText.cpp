// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/RichText.h"

#include "documents/DocumentOutline.h"
#include "documents/HtmlFlattening.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QVariant>

#include <functional>

namespace RichText {

namespace {

QString plainOf(const std::function<void(QTextDocument &)> &load, QString *title = nullptr)
{
    QTextDocument document;
    document.setResourceProvider([](const QUrl &) { return QVariant(); });
    load(document);
    if (title)
        *title = document.metaInformation(QTextDocument::DocumentTitle).simplified();
    // Qt writes a line separator or NBSP where the source had <br> or &nbsp;.
    const QString plain =
        document.toPlainText().replace(QChar(QChar::LineSeparator), u'\n').replace(QChar(QChar::Nbsp), u' ');
    // Each block is a line of the plain text, so its position is where its
    // line begins.
    QMap<int, int> headings; // position -> level
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (const int level = block.blockFormat().headingLevel(); level > 0)
            headings.insert(block.position(), level);
    QString text;
    text.reserve(plain.size() + 2 * headings.size());
    for (qsizetype i = 0; i < plain.size(); ++i) {
        if (const auto heading = headings.constFind(int(i)); heading != headings.cend())
            text += Documents::headingMark(heading.value());
        if (!Documents::isHeadingMark(plain.at(i)))
            text += plain.at(i);
    }
    return text;
}

// What Qt's HTML import is given: no scripts (Qt keeps their text, and a
// reader must not say it), and no nesting deeper than a real page has.
constexpr int MaxNesting = 48;

QString prepared(const QString &source)
{
    return HtmlFlattening::withNestingAtMost(HtmlFlattening::withoutScripts(source), MaxNesting);
}

// Qt's Markdown knows no footnotes: "[^1]" would be said as it stands and
// the notes read where they were written. Each note is moved to just after
// the paragraph that first cites it, and the marks go. Code is left alone.
QString withNotesAfterTheirParagraphs(const QString &source)
{
    static const QRegularExpression definition(QStringLiteral("^\\[\\^([^\\]\\s]+)\\]:[ \\t]?(.*)$"));
    static const QRegularExpression citation(QStringLiteral("\\[\\^([^\\]\\s]+)\\](?!:)"));
    if (!source.contains(QStringLiteral("[^")))
        return source;
    const QStringList lines = source.split(u'\n');
    QHash<QString, QString> notes;
    QStringList kept;
    bool inCode = false;
    QString *openNote = nullptr;
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QStringLiteral("```")) || trimmed.startsWith(QStringLiteral("~~~")))
            inCode = !inCode;
        if (!inCode) {
            if (const auto m = definition.match(line); m.hasMatch()) {
                openNote = &notes[m.captured(1)];
                *openNote = m.captured(2).trimmed();
                continue;
            }
            // A note goes on over lines indented under it.
            if (openNote && !trimmed.isEmpty() && (line.startsWith(u'\t') || line.startsWith(QStringLiteral("    ")))) {
                *openNote += u' ' + trimmed;
                continue;
            }
        }
        openNote = nullptr;
        kept << line;
    }
    QStringList out, pending;
    QSet<QString> said;
    inCode = false;
    const auto flush = [&] {
        for (const QString &note : std::as_const(pending))
            out << QString() << note;
        if (!pending.isEmpty())
            out << QString();
        pending.clear();
    };
    for (QString line : std::as_const(kept)) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QStringLiteral("```")) || trimmed.startsWith(QStringLiteral("~~~")))
            inCode = !inCode;
        if (!inCode) {
            for (auto it = citation.globalMatch(line); it.hasNext();) {
                const QString id = it.next().captured(1);
                if (notes.contains(id) && !said.contains(id)) {
                    said.insert(id);
                    pending << notes.value(id);
                }
            }
            line.remove(citation);
            if (trimmed.isEmpty())
                flush();
        }
        out << line;
    }
    flush();
    return out.join(u'\n');
}

} // namespace

QString html(const QString &source, QString *title)
{
    return plainOf([&](QTextDocument &d) { d.setHtml(prepared(source)); }, title);
}

QString markdown(const QString &source)
{
    // Raw HTML inside Markdown is read as HTML: its tags are markup, not text.
    return plainOf(
        [&](QTextDocument &d) {
            d.setMarkdown(prepared(withNotesAfterTheirParagraphs(source)), QTextDocument::MarkdownDialectGitHub);
        });
}

} // namespace RichText
