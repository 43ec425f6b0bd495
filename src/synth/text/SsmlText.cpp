// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/text/SsmlText.h"

#include <QXmlStreamReader>

#include <algorithm>

std::pair<qsizetype, qsizetype> SsmlText::sourceRange(qsizetype from, qsizetype length) const
{
    const qsizetype last = source.size() - 1;
    const qsizetype start = source.value(std::clamp<qsizetype>(from, 0, last));
    // From its last character's place, not the next one's: a tag after the
    // word is not part of it.
    const qsizetype end = source.value(std::clamp<qsizetype>(from + length - 1, 0, last)) + 1;
    return {start, std::max(end, start + 1) - start};
}

namespace {

class Reader
{
public:
    explicit Reader(const QString &markup) : m_markup(markup), m_xml(markup) { }

    SsmlText read()
    {
        qsizetype consumed = 0; // of the markup, up to the end of the last token read
        int subDepth = 0; // inside a <sub>, whose text is replaced by its alias
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (m_xml.hasError())
                break;
            const qsizetype end = qsizetype(m_xml.characterOffset());
            switch (token) {
            case QXmlStreamReader::StartElement: {
                const QStringView name = m_xml.name();
                if (name == u"mark")
                    m_result.marks.append({m_result.text.size(), m_xml.attributes().value(QLatin1String("name")).toString()});
                else if (name == u"sub") {
                    // The alias stands where the text it replaces begins.
                    if (subDepth++ == 0)
                        say(m_xml.attributes().value(QLatin1String("alias")).toString(), end, end);
                } else if (name == u"break" || name == u"p" || name == u"s")
                    endLine(consumed);
                break;
            }
            case QXmlStreamReader::EndElement:
                if (m_xml.name() == u"sub")
                    --subDepth;
                else if (m_xml.name() == u"p" || m_xml.name() == u"s")
                    endLine(consumed);
                break;
            case QXmlStreamReader::Characters:
                // The reader looks a character ahead: the text ends where
                // its own characters do, which matters when what follows
                // cannot be read.
                consumed = subDepth == 0 ? sayCharacters(consumed, end) : end;
                continue;
            default:
                break;
            }
            consumed = end;
        }
        if (m_xml.hasError()) {
            // What could not be read is said as it stands.
            say(m_markup.mid(consumed), consumed, m_markup.size(), true);
        }
        m_result.source.append(m_markup.size());
        return std::move(m_result);
    }

private:
    // The characters of a text token, each mapped to its place in the
    // markup where it is written as itself; an entity's characters all map
    // to the entity's start.
    // Returns where the characters end in the markup.
    qsizetype sayCharacters(qsizetype from, qsizetype to)
    {
        const QStringView decoded = m_xml.text();
        qsizetype at = from;
        for (const QChar c : decoded) {
            // Step over the markup's own spelling of this character.
            while (at < to && m_markup[at] == u'\r')
                ++at;
            const qsizetype place = std::min(at, to - 1);
            m_result.text.append(c);
            m_result.source.append(place);
            if (at < to && m_markup[at] == u'&') {
                const qsizetype semicolon = m_markup.indexOf(u';', at);
                at = semicolon < 0 || semicolon >= to ? at + 1 : semicolon + 1;
            } else if (at < to) {
                ++at;
            }
        }
        return at;
    }
    void say(const QString &what, qsizetype from, qsizetype to, bool literal = false)
    {
        for (qsizetype i = 0; i < what.size(); ++i) {
            m_result.text.append(what[i]);
            m_result.source.append(literal ? std::min(from + i, to) : from);
        }
    }
    // A line break between two stretches of speech, unless one is there already.
    void endLine(qsizetype at)
    {
        if (!m_result.text.isEmpty() && m_result.text.back() != u'\n') {
            m_result.text.append(u'\n');
            m_result.source.append(at);
        }
    }

    const QString &m_markup;
    QXmlStreamReader m_xml;
    SsmlText m_result;
};

} // namespace

SsmlText readSsml(const QString &markup)
{
    // A fragment ("a <mark name='x'/> b") has no root: it is given ours,
    // and the offsets are taken back by its length.
    static const QString open = QStringLiteral("<r>");
    const QString wrapped = open + markup + QStringLiteral("</r>");
    SsmlText read = Reader(wrapped).read();
    const qsizetype shift = open.size();
    for (qsizetype &at : read.source)
        at = std::clamp<qsizetype>(at - shift, 0, markup.size());
    // The closing root, if reading stopped inside it, is not the caller's text.
    if (read.text.endsWith(QStringLiteral("</r>")) && read.source.size() > 4) {
        read.text.chop(4);
        read.source.remove(read.source.size() - 5, 4);
    }
    return read;
}
