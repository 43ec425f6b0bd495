#include "synth/text/TextPieces.h"

#include <algorithm>

namespace {

bool isSentenceEnd(QStringView text, qsizetype i)
{
    const QChar c = text[i];
    switch (c.unicode()) {
    case u'。': case u'！': case u'？': case u'；': case u'!': case u'?': case u';': case u'\n':
    case u'…':
        return true;
    case u'.':
        return i + 1 < text.size() && text[i + 1].isSpace();
    default:
        return false;
    }
}

bool isSoftBreak(QChar c)
{
    switch (c.unicode()) {
    case u'，': case u'、': case u',': case u'：': case u':': case u' ': case u'\t': case u'\u3000':
        return true;
    default:
        return false;
    }
}

bool isUnreadable(char32_t c)
{
    return (c < 0x20 && c != u'\n' && c != u'\t' && c != u'\r') || (c >= 0x7f && c < 0xa0)
        || c == 0xfffd || c == 0xfffe || c == 0xffff; // espeak-ng glues U+FFFD to the words around it
}

} // namespace

QByteArray synthesisSafeUtf8(QStringView text, QList<qsizetype> *codePointOffsets)
{
    QString safe;
    safe.reserve(text.size());
    codePointOffsets->clear();
    codePointOffsets->reserve(text.size() + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        codePointOffsets->append(i);
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            safe.append(c);
            safe.append(text[++i]);
        } else if (c.isSurrogate() || isUnreadable(c.unicode())) {
            safe.append(QLatin1Char(' '));
        } else {
            safe.append(c);
        }
    }
    codePointOffsets->append(text.size());
    return safe.toUtf8();
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
    qsizetype end = from;
    qsizetype softCut = -1;
    qsizetype cut = -1;
    int codePoints = 0;
    while (end < text.size() && codePoints < maxCodePoints) {
        const bool pair = text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate();
        const qsizetype next = end + (pair ? 2 : 1);
        if (isSentenceEnd(text, end)) {
            cut = next;
            break;
        }
        if (isSoftBreak(text[end]))
            softCut = next;
        end = next;
        ++codePoints;
    }
    if (cut < 0)
        cut = (end >= text.size() || softCut < 0) ? end : softCut;
    piece.length = cut - from;
    piece.utf8 = synthesisSafeUtf8(QStringView(text).mid(from, piece.length), &piece.codePointOffsets);
    return piece;
}
