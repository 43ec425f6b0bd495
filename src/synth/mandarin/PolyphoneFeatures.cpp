// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/PolyphoneFeatures.h"

#include "synth/mandarin/ContextReadings.h"

#include <string>

namespace {

void appendUtf8(std::string &out, char16_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void appendUtf8(std::string &out, QStringView s)
{
    for (const QChar c : s)
        appendUtf8(out, c.unicode());
}

// A neighbour as the model sees it: a Han character as itself, and classes
// for the rest, so that 3 and 7 (or 'a' and 'Z') are the same context.
// ^ and $ are the edges of the text.
void appendToken(std::string &out, QStringView text, qsizetype at)
{
    if (at < 0) {
        out += '^';
        return;
    }
    if (at >= text.size()) {
        out += '$';
        return;
    }
    const QChar c = text[at];
    if (isHanCharacter(c)) {
        appendUtf8(out, c.unicode());
    } else if (c.isDigit()) {
        out += '0';
    } else if (c.isLetter()) {
        out += 'a';
    } else if (c.isSpace()) {
        out += '_';
    } else if (c.isSurrogate()) {
        out += '?';
    } else {
        appendUtf8(out, c.unicode()); // punctuation as itself: ， and 。 differ
    }
}

void appendWord(std::string &out, QStringView text, qsizetype start, qsizetype length)
{
    if (start < 0) {
        out += '-';
        return;
    }
    appendUtf8(out, text.mid(start, length));
}

} // namespace

void polyphoneFeatures(const PolyphoneContext &context, const std::function<void(std::string_view)> &sink)
{
    const QStringView text = context.text;
    const qsizetype at = context.at;
    std::string f;
    const auto emitIt = [&] { sink(f); };
    f = "b";
    emitIt();
    // Single neighbours, three either side.
    for (int offset = -3; offset <= 3; ++offset) {
        if (offset == 0)
            continue;
        f = "c" + std::to_string(offset) + '=';
        appendToken(f, text, at + offset);
        emitIt();
    }
    // The n-grams that hold the character (its own place implied).
    struct Gram
    {
        const char *name;
        int from, to; // offsets, 0 excluded
    };
    static constexpr Gram Grams[] = {{"l2", -2, -1}, {"r2", 1, 2}, {"m", -1, 1},  {"l3", -3, -1},
                                     {"r3", 1, 3},   {"ml", -2, 1}, {"mr", -1, 2}};
    for (const Gram &gram : Grams) {
        f = gram.name;
        f += '=';
        for (int offset = gram.from; offset <= gram.to; ++offset)
            if (offset != 0)
                appendToken(f, text, at + offset);
        emitIt();
    }
    // The word it is in, and where in it.
    f = "w=";
    appendWord(f, text, context.wordStart, context.wordLength);
    emitIt();
    f = "p=" + std::to_string(at - context.wordStart) + '/' + std::to_string(context.wordLength);
    emitIt();
    f = "wl=";
    appendWord(f, text, context.previousStart, context.previousLength);
    emitIt();
    f = "wr=";
    appendWord(f, text, context.nextStart, context.nextLength);
    emitIt();
    // What the dictionary and the rules say.
    f = context.wordLength > 1 ? "dw=" : "d1=";
    appendUtf8(f, context.dictionaryReading);
    emitIt();
    if (context.ruleReading != context.dictionaryReading) {
        f = "r=";
        appendUtf8(f, context.ruleReading);
        emitIt();
    }
    for (const QString &reading : context.covering) {
        f = "cv=";
        appendUtf8(f, reading);
        emitIt();
    }
}

std::uint64_t polyphoneKeyPrefix(char16_t character)
{
    std::string prefix;
    appendUtf8(prefix, character); // the Basic Multilingual Plane only
    prefix += '\x1f';
    return polyphoneFeatureKeyAfter(1469598103934665603ULL, prefix);
}

std::uint64_t polyphoneFeatureKeyAfter(std::uint64_t prefix, std::string_view feature)
{
    std::uint64_t hash = prefix;
    for (const char byte : feature) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::uint64_t polyphoneFeatureKey(char16_t character, std::string_view feature)
{
    return polyphoneFeatureKeyAfter(polyphoneKeyPrefix(character), feature);
}
