// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/text/TextPieces.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>

namespace {

// ICU's break iterators, made once per thread (they are costly to make and
// not shareable), pointed at the text each time.
icu::BreakIterator &iterator(bool sentences, const QString &text)
{
    struct Held
    {
        std::unique_ptr<icu::BreakIterator> it;
        UText *alias = nullptr; // the text, not copied: the iterator keeps a reference to it
        ~Held() { utext_close(alias); }
    };
    thread_local Held sentenceIt, wordIt;
    Held &held = sentences ? sentenceIt : wordIt;
    UErrorCode status = U_ZERO_ERROR;
    if (!held.it)
        held.it.reset(sentences ? icu::BreakIterator::createSentenceInstance(icu::Locale("zh"), status)
                                : icu::BreakIterator::createWordInstance(icu::Locale("zh"), status));
    // Through UText: setText of a UnicodeString copies it, and a piece is
    // asked for many times in one text (every piece copied the whole part).
    status = U_ZERO_ERROR;
    held.alias = utext_openUChars(held.alias, reinterpret_cast<const UChar *>(text.utf16()), int64_t(text.size()), &status);
    held.it->setText(held.alias, status);
    return *held.it;
}

bool isUnreadable(char32_t c)
{
    return (c < 0x20 && c != u'\n' && c != u'\t' && c != u'\r') || (c >= 0x7f && c < 0xa0) || c == 0xfffd || c == 0xfffe
        || c == 0xffff; // espeak-ng glues U+FFFD to the words around it
}

bool isWide(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFF60)
        || c.isSurrogate();
}

bool endsSentence(QChar c) { return QStringView(u"。！？!?．.…；;：:").contains(c); }

// Hard-wrapped lines are at least this wide (display columns, a Han
// character two): shorter lines are headings, verses, list items, and their
// ends are real.
constexpr qsizetype WrappedLineColumns = 40;

} // namespace

bool isSoftLineBreak(QStringView text, qsizetype newline)
{
    if (newline <= 0 || newline + 1 >= text.size() || text[newline] != u'\n')
        return false;
    // The next line goes on at once: no blank line, no indent.
    const QChar next = text[newline + 1];
    if (next.isSpace() || next == QChar(0x3000))
        return false;
    qsizetype last = newline - 1;
    if (text[last] == u'\r')
        --last;
    if (last < 0 || text[last].isSpace() || endsSentence(text[last]))
        return false;
    // A closing quote or bracket after a full stop ends the sentence too.
    if ((text[last].category() == QChar::Punctuation_Close || text[last].category() == QChar::Punctuation_FinalQuote)
        && last > 0 && endsSentence(text[last - 1]))
        return false;
    qsizetype columns = 0;
    for (qsizetype i = last; i >= 0 && text[i] != u'\n' && columns < WrappedLineColumns; --i)
        columns += isWide(text[i]) ? 2 : 1;
    return columns >= WrappedLineColumns;
}

QByteArray synthesisSafeUtf8(QStringView text, QList<qsizetype> *codePointOffsets)
{
    // Written as UTF-8 straight away, into room made once (at most three
    // bytes a unit): every piece the engine is given passes here.
    QByteArray utf8(text.size() * 3, Qt::Uninitialized);
    char *out = utf8.data();
    codePointOffsets->resize(text.size() + 1);
    qsizetype *offsets = codePointOffsets->data();
    qsizetype codePoints = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        offsets[codePoints++] = i;
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t u = QChar::surrogateToUcs4(c, text[++i].unicode());
            *out++ = char(0xF0 | (u >> 18));
            *out++ = char(0x80 | ((u >> 12) & 0x3F));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        } else if (QChar::isSurrogate(c) || isUnreadable(c)) {
            *out++ = ' ';
        } else if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        } else {
            *out++ = char(0xE0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        }
    }
    offsets[codePoints++] = text.size();
    codePointOffsets->resize(codePoints);
    utf8.truncate(out - utf8.constData());
    return utf8;
}

std::pair<qsizetype, qsizetype> TextPiece::toUtf16Range(int codePointPosition, int codePointLength) const
{
    const qsizetype codePoints = codePointOffsets.size() - 1;
    const qsizetype first = std::clamp<qsizetype>(qsizetype(codePointPosition) - 1, 0, codePoints);
    const qsizetype last = std::clamp<qsizetype>(first + std::max(codePointLength, 0), first, codePoints);
    return {offset + codePointOffsets[first], offset + codePointOffsets[last]};
}

TextPiece wholeTextPiece(const QString &text)
{
    TextPiece piece;
    piece.length = text.size();
    piece.utf8 = synthesisSafeUtf8(text, &piece.codePointOffsets);
    return piece;
}

TextPiece nextPlainPiece(const QString &text, qsizetype from, int maxCodePoints)
{
    TextPiece piece;
    piece.offset = from;
    if (from >= text.size()) {
        piece.codePointOffsets = {0};
        return piece;
    }
    // Where maxCodePoints code points from here end.
    qsizetype limit = from;
    for (int codePoints = 0; limit < text.size() && codePoints < maxCodePoints; ++codePoints)
        limit += text[limit].isHighSurrogate() && limit + 1 < text.size() && text[limit + 1].isLowSurrogate() ? 2 : 1;
    // A whole sentence as ICU sees it (closing quotes and brackets stay with
    // their sentence, full-width stops count), if it fits; else the text up
    // to the last word boundary before the limit; else up to the limit.
    icu::BreakIterator &sentences = iterator(true, text);
    qsizetype cut = sentences.following(int32_t(from));
    // A line break inside a sentence (text wrapped at a width, every PDF) is
    // no sentence's end: the piece goes on to the real one, so that 广 and 泛
    // of a 广泛 broken across lines are said without a pause between them.
    while (cut != icu::BreakIterator::DONE && cut < limit && isSoftLineBreak(text, cut - 1)) {
        const qsizetype further = sentences.following(int32_t(cut));
        if (further == icu::BreakIterator::DONE || further > limit)
            break;
        cut = further;
    }
    if (cut == icu::BreakIterator::DONE || cut > limit) {
        cut = limit;
        if (limit < text.size()) {
            const int32_t word = iterator(false, text).preceding(int32_t(limit) + 1);
            if (word != icu::BreakIterator::DONE && word > from)
                cut = word;
        }
    }
    piece.length = cut - from;
    piece.utf8 = synthesisSafeUtf8(QStringView(text).mid(from, piece.length), &piece.codePointOffsets);
    return piece;
}
