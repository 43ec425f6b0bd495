// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/RtfText.h"

#include "documents/Cancellation.h"
#include "platform/Failure.h"

#include <QHash>
#include <QList>

#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <vector>

namespace RtfText {

namespace {

// Real documents nest a few dozen groups deep; far more is an attack on
// the reader's memory, not a document.
constexpr int MaxDepth = 1000;
constexpr qsizetype CancelCheckEvery = 64 * 1024;

// Destinations whose text is not the document's: tables, metadata,
// pictures and objects, running headers and footers, field codes, the
// numbers of list items (the list's text is read), comments.
bool isSkippedDestination(QByteArrayView word)
{
    static const QList<QByteArrayView> skipped = {
        "colortbl",  "stylesheet", "info",     "pict",     "object",         "objdata",   "header",  "headerl",
        "headerr",   "headerf",    "footer",   "footerl",  "footerr",        "footerf",   "listtable",
        "listoverridetable",       "rsidtbl",  "generator", "themedata",     "colorschememapping", "datastore",
        "latentstyles", "xmlnstbl", "filetbl", "revtbl",   "fldinst",        "bkmkstart", "bkmkend", "nonshppict",
        "shpinst",   "pntext",     "listtext", "annotation", "atnid",        "atnauthor", "pgdsctbl", "template",
        "userprops", "docvar",     "xe",       "tc",       "mmathPr",        "passwordhash"};
    return skipped.contains(word);
}

// Windows code page of an RTF font character set (\fcharsetN).
int codePageOfCharset(int charset, int documentCodePage)
{
    switch (charset) {
    case 0: return 1252;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return documentCodePage; // 1 (default), 2 (symbol) and the rest
    }
}

struct Group
{
    bool skip = false; // a destination that is not read
    bool footnote = false; // text goes to the notes
    bool fontTable = false;
    int unicodeSkip = 1; // \ucN: fallback characters after each \uN
    int font = -1;
};

class Reader
{
public:
    explicit Reader(const QByteArray &rtf) : m_rtf(rtf) { }

    QString run()
    {
        if (!m_rtf.startsWith("{\\rtf"))
            throw Failure(QStringLiteral("这不是 RTF 文档。"));
        std::vector<Group> groups{Group{}};
        const qsizetype n = m_rtf.size();
        qsizetype nextCheck = 0;
        for (qsizetype i = 0; i < n;) {
            if (i >= nextCheck) {
                Documents::throwIfCancelled();
                nextCheck = i + CancelCheckEvery;
            }
            const char c = m_rtf[i];
            if (c == '{') {
                flushBytes();
                if (groups.size() >= MaxDepth)
                    throw Failure(QStringLiteral("RTF 文档的组嵌套超过 %1 层，无法读取。").arg(MaxDepth));
                groups.push_back(groups.back());
                m_destinationPending = true;
                m_fallbackLeft = 0;
                ++i;
            } else if (c == '}') {
                flushBytes();
                const Group ended = groups.back();
                groups.pop_back();
                if (groups.empty())
                    break; // the document's end; anything after it is not the document
                if (ended.footnote && !groups.back().footnote)
                    endNote();
                m_fallbackLeft = 0;
                ++i;
            } else if (c == '\\') {
                i = controlAt(i, groups);
            } else if (c == '\r' || c == '\n') {
                ++i; // line breaks of the file itself are nothing
            } else {
                textByte(uchar(c), groups.back());
                ++i;
            }
        }
        flushBytes();
        if (!m_note.isEmpty())
            endNote();
        endParagraph();
        while (!m_text.isEmpty() && m_text.back().isSpace())
            m_text.chop(1);
        return m_text;
    }

private:
    // Reads the control word or symbol at i; returns where the text goes on.
    qsizetype controlAt(qsizetype i, std::vector<Group> &groups)
    {
        const qsizetype n = m_rtf.size();
        Group &group = groups.back();
        if (i + 1 >= n)
            return n;
        const char symbol = m_rtf[i + 1];
        if (!std::isalpha(uchar(symbol))) {
            m_destinationPending = false;
            switch (symbol) {
            case '\'': {
                bool ok = false;
                const int byte = QByteArray(m_rtf.constData() + i + 2, std::min<qsizetype>(2, n - i - 2)).toInt(&ok, 16);
                if (ok)
                    textByte(uchar(byte), group);
                return i + 4;
            }
            case '*':
                group.skip = true; // an optional destination this reader does not know
                return i + 2;
            case '~': put(QChar(0xA0), group); return i + 2;
            case '_': put(QChar(0x2011), group); return i + 2;
            case '-': return i + 2; // an optional hyphen
            case '\r':
            case '\n': endParagraphIn(group); return i + 2;
            default: put(QChar::fromLatin1(symbol), group); return i + 2; // \\ \{ \}
            }
        }
        qsizetype end = i + 1;
        while (end < n && end - i <= 32 && std::isalpha(uchar(m_rtf[end])))
            ++end;
        const QByteArrayView word(m_rtf.constData() + i + 1, end - i - 1);
        bool hasParameter = false;
        int parameter = 0;
        const qsizetype digitsFrom = end;
        if (end < n && (m_rtf[end] == '-' || std::isdigit(uchar(m_rtf[end])))) {
            ++end;
            while (end < n && end - digitsFrom < 11 && std::isdigit(uchar(m_rtf[end])))
                ++end;
            parameter = QByteArray(m_rtf.constData() + digitsFrom, end - digitsFrom).toInt(&hasParameter);
        }
        if (end < n && m_rtf[end] == ' ')
            ++end; // the delimiter belongs to the word
        const bool firstInGroup = m_destinationPending;
        m_destinationPending = false;
        if (word == "bin" && hasParameter)
            return std::min(n, end + std::max(0, parameter)); // binary data, skipped unread
        if (word == "fonttbl") {
            group.fontTable = true;
            return end;
        }
        if (isSkippedDestination(word) && (firstInGroup || group.skip || word == "pict")) {
            group.skip = true;
            return end;
        }
        if (word == "footnote") {
            group.footnote = true;
            return end;
        }
        control(word, hasParameter, parameter, group);
        return end;
    }

    void control(QByteArrayView word, bool hasParameter, int parameter, Group &group)
    {
        if (word == "ansicpg" && hasParameter) {
            m_codePage = parameter;
        } else if (word == "deff" && hasParameter) {
            m_defaultFont = parameter;
        } else if (word == "f" && hasParameter) {
            flushBytes();
            if (group.fontTable)
                m_definingFont = parameter;
            else
                group.font = parameter;
        } else if (word == "fcharset" && hasParameter && group.fontTable) {
            m_fontCharsets.insert(m_definingFont, parameter);
        } else if (word == "uc" && hasParameter) {
            group.unicodeSkip = std::max(0, parameter);
        } else if (word == "u" && hasParameter) {
            put(QChar(char16_t(parameter < 0 ? parameter + 65536 : parameter)), group);
            m_fallbackLeft = group.unicodeSkip;
        } else if (word == "par" || word == "sect" || word == "page" || word == "row") {
            endParagraphIn(group);
        } else if (word == "line") {
            put(QChar(u'\n'), group);
        } else if (word == "tab" || word == "cell") {
            put(QChar(u'\t'), group);
        } else if (const QChar c = symbolOf(word); !c.isNull()) {
            put(c, group);
        }
        // \chftn (a footnote's number) and formatting are not read.
    }

    static QChar symbolOf(QByteArrayView word)
    {
        static const QHash<QByteArray, char16_t> symbols = {
            {"emdash", 0x2014},    {"endash", 0x2013},    {"lquote", 0x2018}, {"rquote", 0x2019},
            {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"bullet", 0x2022}, {"emspace", 0x2003},
            {"enspace", 0x2002},   {"qmspace", 0x2005}};
        const auto found = symbols.constFind(word.toByteArray());
        return found == symbols.cend() ? QChar() : QChar(*found);
    }

    // A byte of text: ASCII as it is, others in the current code page,
    // gathered so that a character's two bytes (GBK) decode together.
    void textByte(uchar byte, const Group &group)
    {
        if (group.skip || group.fontTable)
            return;
        if (m_fallbackLeft > 0) {
            --m_fallbackLeft; // the fallback of the last \uN
            return;
        }
        const int font = group.font >= 0 ? group.font : m_defaultFont;
        const int codePage = m_fontCharsets.contains(font) ? codePageOfCharset(m_fontCharsets.value(font), m_codePage)
                                                          : m_codePage;
        if (!m_pending.isEmpty() && (codePage != m_pendingCodePage || group.footnote != m_pendingFootnote))
            flushBytes();
        m_pendingCodePage = codePage;
        m_pendingFootnote = group.footnote;
        m_pending.append(char(byte));
    }

    void flushBytes()
    {
        if (m_pending.isEmpty())
            return;
        const QString decoded = decode(m_pending, m_pendingCodePage);
        m_pending.clear();
        (m_pendingFootnote ? m_note : m_text) += decoded;
    }

    QString decode(const QByteArray &bytes, int codePage)
    {
        UConverter *converter = converterFor(codePage);
        if (!converter)
            return QString::fromLatin1(bytes);
        QString text(bytes.size() + 1, Qt::Uninitialized);
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = ucnv_toUChars(converter, reinterpret_cast<UChar *>(text.data()), int32_t(text.size()),
                                             bytes.constData(), int32_t(bytes.size()), &status);
        if (U_FAILURE(status))
            return QString::fromLatin1(bytes);
        text.truncate(length);
        return text;
    }

    UConverter *converterFor(int codePage)
    {
        if (const auto found = m_converters.find(codePage); found != m_converters.end())
            return found->second.get();
        UConverter *converter = nullptr;
        const QByteArray names[] = {codePage == 65001 ? QByteArray("UTF-8") : QByteArray(),
                                    "windows-" + QByteArray::number(codePage), "cp" + QByteArray::number(codePage),
                                    "ibm-" + QByteArray::number(codePage)};
        for (const QByteArray &name : names) {
            UErrorCode status = U_ZERO_ERROR;
            if (!name.isEmpty() && (converter = ucnv_open(name.constData(), &status)) && U_SUCCESS(status))
                break;
            converter = nullptr;
        }
        m_converters[codePage].reset(converter);
        return converter;
    }

    void put(QChar c, const Group &group)
    {
        if (group.skip || group.fontTable)
            return;
        if (m_fallbackLeft > 0 && c != u'\n' && c != u'\t') {
            --m_fallbackLeft;
            return;
        }
        flushBytes();
        (group.footnote ? m_note : m_text) += c;
    }

    void endParagraphIn(const Group &group)
    {
        if (group.skip || group.fontTable)
            return;
        flushBytes();
        if (group.footnote)
            m_note += u'\n';
        else
            endParagraph();
    }

    // A paragraph of the text ends: the notes cited in it follow it.
    void endParagraph()
    {
        m_text += u'\n';
        for (const QString &note : std::as_const(m_notes))
            m_text += note + u'\n';
        m_notes.clear();
    }

    void endNote()
    {
        flushBytes();
        const QString note = m_note.trimmed();
        m_note.clear();
        if (!note.isEmpty())
            m_notes << note;
    }

    const QByteArray &m_rtf;
    QString m_text, m_note;
    QStringList m_notes; // read, waiting for the end of their paragraph
    QByteArray m_pending;
    int m_pendingCodePage = 1252;
    bool m_pendingFootnote = false;
    int m_codePage = 1252;
    int m_definingFont = -1;
    int m_defaultFont = -1;
    QHash<int, int> m_fontCharsets;
    struct CloseConverter
    {
        void operator()(UConverter *c) const { ucnv_close(c); }
    };
    std::map<int, std::unique_ptr<UConverter, CloseConverter>> m_converters;
    int m_fallbackLeft = 0;
    bool m_destinationPending = false;
};

} // namespace

QString read(const QByteArray &rtf) { return Reader(rtf).run(); }

} // namespace RtfText
