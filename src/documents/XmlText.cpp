// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/XmlText.h"

#include "documents/Cancellation.h"
#include "documents/DocumentLimits.h"
#include "documents/DocumentOutline.h"
#include "platform/Failure.h"

#include <QHash>
#include <QSet>
#include <QUrl>
#include <QXmlStreamReader>

#include <cctype>
#include <functional>

namespace XmlText {

namespace {

constexpr int MaxSpaceRun = 16;

Failure malformed() { return Failure(QStringLiteral("文档内部结构已损坏。")); }

Failure tooMuchText()
{
    return Failure(
        QStringLiteral("文档的文字超过 %1 万字，超出可以朗读的长度。").arg(Documents::MaxTextUnits / 10000));
}

// Walks the document: element starts and ends, and text (in reading order).
// produced is the text the callbacks build, held to the document limit.
void walk(const QByteArray &xml, const QString &produced, const std::function<void(QXmlStreamReader &)> &onStart,
          const std::function<void(QXmlStreamReader &)> &onEnd, const std::function<void(QStringView)> &onText)
{
    QXmlStreamReader reader(xml);
    for (unsigned steps = 0; !reader.atEnd(); ++steps) {
        if (produced.size() > Documents::MaxTextUnits)
            throw tooMuchText();
        if (steps % 4096 == 0)
            Documents::throwIfCancelled();
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            onStart(reader);
            break;
        case QXmlStreamReader::EndElement:
            onEnd(reader);
            break;
        case QXmlStreamReader::Characters:
            onText(reader.text());
            break;
        case QXmlStreamReader::EntityReference:
            // An entity the document did not declare (XHTML's &nbsp; without its DTD).
            onText(reader.name() == u"nbsp" ? QStringView(u" ") : QStringView());
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        throw malformed();
}

// A document's own text never holds what the readers use as heading marks.
void appendText(QString &text, QStringView chars)
{
    for (QChar c : chars)
        if (!Documents::isHeadingMark(c))
            text += c;
}

// A Word paragraph's heading level from its style ("Heading2", or "2" as
// Chinese Word names 标题 2) or its outline level (0 is the top): 0 for none.
int wordHeadingLevel(QXmlStreamReader &r)
{
    const QStringView value = r.attributes().value(QLatin1String("w:val"));
    if (r.name() == u"outlineLvl") {
        bool ok = false;
        const int level = value.toInt(&ok);
        return ok && level >= 0 && level < 9 ? level + 1 : 0;
    }
    QStringView digits = value;
    if (value.startsWith(u"Heading", Qt::CaseInsensitive))
        digits = value.mid(7);
    bool ok = false;
    const int level = digits.toInt(&ok);
    return ok && level >= 1 && level <= 9 ? level : 0;
}

// Blank lines collapse to one line break between blocks; text ends without one.
QString tidy(QString text)
{
    QString out;
    out.reserve(text.size());
    int breaks = 0;
    for (QChar c : std::as_const(text)) {
        if (c == u'\n') {
            ++breaks;
            continue;
        }
        if (breaks > 0 && !out.isEmpty())
            out += u'\n';
        breaks = 0;
        out += c;
    }
    return out;
}

} // namespace

// An e-book's XHTML often uses HTML's named entities (&nbsp;, &mdash;…)
// without any DTD to declare them, which XML refuses: the whole chapter
// would be lost for one dash. The common ones become their characters
// before parsing; any other undeclared name says nothing. XML's own five
// are left to the parser.
static QByteArray withHtmlEntities(const QByteArray &xml)
{
    static const QHash<QByteArray, QByteArray> named = {
        {"nbsp", " "},       {"ensp", " "},       {"emsp", " "},       {"thinsp", " "},     {"mdash", "\u2014"},
        {"ndash", "\u2013"}, {"hellip", "\u2026"}, {"middot", "\u00b7"}, {"bull", "\u2022"},  {"lsquo", "\u2018"},
        {"rsquo", "\u2019"}, {"ldquo", "\u201c"}, {"rdquo", "\u201d"}, {"laquo", "\u00ab"}, {"raquo", "\u00bb"},
        {"copy", "\u00a9"},  {"reg", "\u00ae"},   {"trade", "\u2122"}, {"deg", "\u00b0"},   {"plusmn", "\u00b1"},
        {"times", "\u00d7"}, {"divide", "\u00f7"}, {"yen", "\u00a5"},  {"euro", "\u20ac"},  {"pound", "\u00a3"},
        {"sect", "\u00a7"},  {"para", "\u00b6"},  {"shy", ""},        {"zwj", ""},         {"zwnj", ""}};
    static const QSet<QByteArray> predefined = {"amp", "lt", "gt", "quot", "apos"};
    if (!xml.contains('&'))
        return xml;
    QByteArray out;
    out.reserve(xml.size());
    for (qsizetype i = 0; i < xml.size(); ++i) {
        if (xml[i] == '&') {
            qsizetype end = i + 1;
            while (end < xml.size() && end - i <= 10 && std::isalnum(static_cast<unsigned char>(xml[end])))
                ++end;
            if (end < xml.size() && xml[end] == ';' && end > i + 1) {
                const QByteArray name = xml.mid(i + 1, end - i - 1);
                if (!predefined.contains(name)) {
                    out += named.value(name);
                    i = end;
                    continue;
                }
            }
        }
        out += xml[i];
    }
    return out;
}

QString xhtml(const QByteArray &source)
{
    const QByteArray xml = withHtmlEntities(source);
    static const QSet<QString> blocks = {"p",   "div", "h1", "h2",         "h3",         "h4",      "h5",
                                         "h6",  "li",  "br", "tr",         "blockquote", "section", "article",
                                         "pre", "dt",  "dd", "figcaption", "table",      "ul",      "ol"};
    static const QSet<QString> hidden = {"head", "script", "style", "template", "noscript"};
    QString text;
    int skipping = 0;
    walk(
        xml, text,
        [&](QXmlStreamReader &r) {
            const QString name = r.name().toString().toLower();
            if (hidden.contains(name))
                ++skipping;
            else if (blocks.contains(name))
                text += u'\n';
        },
        [&](QXmlStreamReader &r) {
            const QString name = r.name().toString().toLower();
            if (hidden.contains(name))
                --skipping;
            else if (blocks.contains(name))
                text += u'\n';
        },
        [&](QStringView chars) {
            if (skipping > 0)
                return;
            // Line breaks in the source are layout, not text.
            for (QChar c : chars)
                text += (c == u'\n' || c == u'\r' || c == u'\t') ? u' ' : c;
        });
    return tidy(text);
}

// The notes of word/footnotes.xml or word/endnotes.xml by their id; the
// separators Word keeps there are no notes.
QHash<QString, QString> wordNotes(const QByteArray &xml)
{
    QHash<QString, QString> notes;
    if (xml.isEmpty())
        return notes;
    QString text, id;
    bool inText = false, isNote = false;
    walk(
        xml, text,
        [&](QXmlStreamReader &r) {
            const QStringView name = r.name();
            if (name == u"footnote" || name == u"endnote") {
                const QStringView type = r.attributes().value(QLatin1String("w:type"));
                isNote = type.isEmpty() || type == u"normal";
                id = r.attributes().value(QLatin1String("w:id")).toString();
                text.clear();
            } else if (name == u"t") {
                inText = true;
            }
        },
        [&](QXmlStreamReader &r) {
            const QStringView name = r.name();
            if (name == u"t")
                inText = false;
            else if (name == u"p")
                text += u' ';
            else if ((name == u"footnote" || name == u"endnote") && isNote)
                notes.insert(id, text.simplified());
        },
        [&](QStringView chars) {
            if (inText)
                text += chars;
        });
    return notes;
}

QString wordDocument(const QByteArray &xml, const QByteArray &footnotesXml, const QByteArray &endnotesXml)
{
    const QHash<QString, QString> footnotes = wordNotes(footnotesXml), endnotes = wordNotes(endnotesXml);
    QString text;
    QStringList cited; // notes of the paragraph being read, said after it
    bool inText = false;
    int paragraphs = 0; // nesting: a text box's paragraphs sit inside one
    walk(
        xml, text,
        [&](QXmlStreamReader &r) {
            const QStringView name = r.name();
            if (name == u"t")
                inText = true;
            else if (name == u"p")
                ++paragraphs;
            else if ((name == u"pStyle" || name == u"outlineLvl") && paragraphs == 1) {
                // Comes before the paragraph's text: the mark stands where it begins.
                if (const int level = wordHeadingLevel(r); level > 0)
                    text += Documents::headingMark(level);
            }
            else if (name == u"tab")
                text += u'\t';
            else if (name == u"br" || name == u"cr")
                text += u'\n';
            else if (name == u"footnoteReference" || name == u"endnoteReference") {
                const QString id = r.attributes().value(QLatin1String("w:id")).toString();
                const QString note = (name == u"footnoteReference" ? footnotes : endnotes).value(id);
                if (!note.isEmpty())
                    cited << note;
            }
        },
        [&](QXmlStreamReader &r) {
            if (r.name() == u"t") {
                inText = false;
            } else if (r.name() == u"p") {
                text += u'\n';
                if (--paragraphs == 0) {
                    for (const QString &note : std::as_const(cited))
                        text += note + u'\n';
                    cited.clear();
                }
            }
        },
        [&](QStringView chars) {
            if (inText)
                appendText(text, chars);
        });
    return tidy(text);
}

QString openDocument(const QByteArray &xml)
{
    QString text, note;
    QStringList cited; // notes of the paragraph being read, said after it
    int inBody = 0, inNote = 0, inCitation = 0, paragraphs = 0;
    // Notes are read after the paragraph that cites them, without the mark.
    QString *into = &text;
    walk(
        xml, text,
        [&](QXmlStreamReader &r) {
            const QStringView name = r.name();
            if (name == u"text" && r.namespaceUri().startsWith(u"urn:oasis:names:tc:opendocument:xmlns:office"))
                ++inBody;
            else if (name == u"note") {
                if (inNote++ == 0) {
                    note.clear();
                    into = &note;
                }
            } else if (name == u"note-citation")
                ++inCitation;
            else if ((name == u"p" || name == u"h") && inNote == 0) {
                ++paragraphs;
                if (name == u"h" && paragraphs == 1)
                    text += Documents::headingMark(
                        std::max(1, r.attributes().value(QLatin1String("text:outline-level")).toInt()));
            }
            else if (name == u"s")
                // A run of spaces is a pause at most: a few say all of it.
                *into += QString(std::clamp(r.attributes().value(QLatin1String("text:c")).toInt(), 1, MaxSpaceRun), u' ');
            else if (name == u"tab")
                *into += u'\t';
            else if (name == u"line-break")
                *into += u'\n';
        },
        [&](QXmlStreamReader &r) {
            const QStringView name = r.name();
            if (name == u"note-citation") {
                --inCitation;
            } else if (name == u"note") {
                if (--inNote == 0) {
                    into = &text;
                    if (const QString read = note.simplified(); !read.isEmpty())
                        cited << read;
                }
            } else if ((name == u"p" || name == u"h") && inNote > 0) {
                note += u' ';
            } else if (name == u"p" || name == u"h") {
                text += u'\n';
                if (--paragraphs <= 0) {
                    paragraphs = 0;
                    for (const QString &read : std::as_const(cited))
                        text += read + u'\n';
                    cited.clear();
                }
            }
        },
        [&](QStringView chars) {
            if (inBody > 0 && inCitation == 0)
                appendText(*into, chars);
        });
    return tidy(text);
}

QString epubPackagePath(const QByteArray &containerXml)
{
    QString path;
    walk(
        containerXml, path,
        [&](QXmlStreamReader &r) {
            if (r.name() == u"rootfile" && path.isEmpty())
                path = r.attributes().value(QLatin1String("full-path")).toString();
        },
        [](QXmlStreamReader &) {}, [](QStringView) {});
    if (path.isEmpty())
        throw Failure(QStringLiteral("电子书缺少内容清单。"));
    return path;
}

QStringList epubSpine(const QByteArray &packageXml)
{
    QHash<QString, QString> manifest; // id -> href
    QStringList order; // idrefs
    walk(
        packageXml, QString(),
        [&](QXmlStreamReader &r) {
            if (r.name() == u"item")
                manifest.insert(r.attributes().value(QLatin1String("id")).toString(),
                                r.attributes().value(QLatin1String("href")).toString());
            else if (r.name() == u"itemref" && r.attributes().value(QLatin1String("linear")) != u"no")
                order << r.attributes().value(QLatin1String("idref")).toString();
        },
        [](QXmlStreamReader &) {}, [](QStringView) {});
    QStringList chapters;
    for (const QString &id : std::as_const(order)) {
        const QString href = manifest.value(id);
        if (!href.isEmpty())
            chapters << QUrl::fromPercentEncoding(href.section(u'#', 0, 0).toUtf8());
    }
    if (chapters.isEmpty())
        throw Failure(QStringLiteral("电子书没有可读的章节。"));
    return chapters;
}

Documents::Info documentInfo(const QByteArray &xml)
{
    Documents::Info info;
    QString *into = nullptr, ignored;
    walk(
        xml, ignored,
        [&](QXmlStreamReader &r) {
            const QStringView name = r.name();
            // The first of each: a book lists its main title and author first.
            if (name == u"title" && info.title.isEmpty())
                into = &info.title;
            else if ((name == u"creator" || name == u"initial-creator") && info.author.isEmpty())
                into = &info.author;
        },
        [&](QXmlStreamReader &) { into = nullptr; },
        [&](QStringView chars) {
            if (into)
                *into += chars;
        });
    info.title = info.title.simplified();
    info.author = info.author.simplified();
    return info;
}

QPair<QString, QString> epubCover(const QByteArray &packageXml)
{
    QString coverId;
    QHash<QString, QPair<QString, QString>> items; // id -> (href, media type)
    QPair<QString, QString> cover;
    walk(
        packageXml, QString(),
        [&](QXmlStreamReader &r) {
            const QXmlStreamAttributes a = r.attributes();
            if (r.name() == u"item") {
                const QPair<QString, QString> item{QUrl::fromPercentEncoding(a.value(QLatin1String("href")).toUtf8()),
                                                   a.value(QLatin1String("media-type")).toString()};
                items.insert(a.value(QLatin1String("id")).toString(), item);
                // EPUB 3 names its cover in the manifest.
                if (a.value(QLatin1String("properties")).split(u' ').contains(u"cover-image"))
                    cover = item;
            } else if (r.name() == u"meta" && a.value(QLatin1String("name")) == u"cover") {
                // EPUB 2 names it in the metadata, by the item's id.
                coverId = a.value(QLatin1String("content")).toString();
            }
        },
        [](QXmlStreamReader &) {}, [](QStringView) {});
    if (cover.first.isEmpty() && !coverId.isEmpty())
        cover = items.value(coverId);
    if (!cover.second.startsWith(u"image/"))
        return {};
    return cover;
}

} // namespace XmlText
