// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/HtmlFlattening.h"

#include "documents/Cancellation.h"

#include <QSet>

namespace HtmlFlattening {

namespace {

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'-' || c == u':' || c == u'_'; }

// The next tag opening with prefix ("<script", "</script") at or after from,
// followed by something that ends the name; -1 if none.
qsizetype findTag(const QString &html, QLatin1StringView prefix, qsizetype from)
{
    for (qsizetype at = from; (at = html.indexOf(prefix, at, Qt::CaseInsensitive)) >= 0; ++at) {
        const qsizetype after = at + prefix.size();
        if (after >= html.size() || !isNameChar(html[after]))
            return at;
    }
    return -1;
}

// Where the tag starting at from ends (just after its '>'), quotes respected;
// html.size() when it never ends.
qsizetype tagEnd(const QString &html, qsizetype from)
{
    QChar quote;
    for (qsizetype i = from + 1; i < html.size(); ++i) {
        const QChar c = html[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            return i + 1;
        }
    }
    return html.size();
}

} // namespace

QString withoutScripts(const QString &html)
{
    QString out;
    out.reserve(html.size());
    for (qsizetype from = 0;;) {
        const qsizetype open = findTag(html, QLatin1StringView("<script"), from);
        if (open < 0) {
            out += QStringView(html).mid(from);
            break;
        }
        out += QStringView(html).mid(from, open - from);
        const qsizetype close = findTag(html, QLatin1StringView("</script"), open);
        if (close < 0)
            break;
        from = tagEnd(html, close);
    }
    return out;
}

QString withNestingAtMost(const QString &html, int maxDepth)
{
    static const QSet<QString> voidElements = {"area", "base", "br",    "col",   "embed", "hr",  "img",
                                               "input", "link", "meta", "param", "source", "track", "wbr"};
    QString out;
    out.reserve(html.size());
    int depth = 0;
    qint64 leftOut = 0; // open tags left out, whose closing tags go too
    qsizetype from = 0;
    for (qsizetype at; (at = html.indexOf(u'<', from)) >= 0;) {
        if ((at & 0xFFFF) == 0)
            Documents::throwIfCancelled();
        out += QStringView(html).mid(from, at - from);
        if (html.mid(at, 4) == u"<!--") {
            const qsizetype end = html.indexOf(QLatin1StringView("-->"), at + 4);
            from = end < 0 ? html.size() : end + 3;
            out += QStringView(html).mid(at, from - at);
            continue;
        }
        const bool closing = at + 1 < html.size() && html[at + 1] == u'/';
        const qsizetype nameStart = at + (closing ? 2 : 1);
        qsizetype nameEnd = nameStart;
        while (nameEnd < html.size() && isNameChar(html[nameEnd]))
            ++nameEnd;
        if (nameEnd == nameStart) { // "<!DOCTYPE", "<?xml", or a bare '<' in text: passed on as it is
            out += html[at];
            from = at + 1;
            continue;
        }
        const qsizetype end = tagEnd(html, at);
        from = end;
        const QString name = html.mid(nameStart, nameEnd - nameStart).toLower();
        const bool selfClosing = end - 2 > at && html[end - 2] == u'/';
        if (closing) {
            if (voidElements.contains(name))
                continue;
            if (leftOut > 0) {
                --leftOut;
                continue;
            }
            depth = std::max(0, depth - 1);
        } else if (!selfClosing && !voidElements.contains(name)) {
            if (depth >= maxDepth) {
                ++leftOut;
                out += QLatin1StringView("<br>");
                continue;
            }
            ++depth;
        }
        out += QStringView(html).mid(at, end - at);
    }
    out += QStringView(html).mid(from);
    return out;
}

} // namespace HtmlFlattening
