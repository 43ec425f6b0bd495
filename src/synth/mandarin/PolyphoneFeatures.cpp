// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/PolyphoneFeatures.h"

#include "synth/mandarin/ContextReadings.h"

#include <string>
#include <vector>

namespace {

// A feature is written in pieces to an Out: a feature's bytes with put(),
// then done(). One writes the bytes out (for the training data), the other
// only hashes them as they come (for the model, which needs only keys):
// both are given exactly the same bytes, so they cannot disagree.
struct TextOut
{
    const std::function<void(std::string_view)> &sink;
    std::string text;
    void put(char c) { text += c; }
    void put(std::string_view s) { text += s; }
    void done()
    {
        sink(text);
        text.clear();
    }
};

struct KeyOut
{
    std::uint64_t prefix;
    std::vector<std::uint64_t> &keys;
    std::uint64_t hash = prefix;
    void put(char c)
    {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    void put(std::string_view s)
    {
        for (const char c : s)
            put(c);
    }
    void done()
    {
        keys.push_back(hash);
        hash = prefix;
    }
};

template<class Out>
void putUtf8(Out &out, char16_t c)
{
    if (c < 0x80) {
        out.put(char(c));
    } else if (c < 0x800) {
        out.put(char(0xC0 | (c >> 6)));
        out.put(char(0x80 | (c & 0x3F)));
    } else {
        out.put(char(0xE0 | (c >> 12)));
        out.put(char(0x80 | ((c >> 6) & 0x3F)));
        out.put(char(0x80 | (c & 0x3F)));
    }
}

template<class Out>
void putUtf8(Out &out, QStringView s)
{
    for (const QChar c : s)
        putUtf8(out, c.unicode());
}

template<class Out>
void putNumber(Out &out, qsizetype n)
{
    if (n < 0) {
        out.put('-');
        n = -n;
    }
    char digits[24];
    int count = 0;
    do {
        digits[count++] = char('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (count > 0)
        out.put(digits[--count]);
}

// A neighbour as the model sees it: a Han character as itself, and classes
// for the rest, so that 3 and 7 (or 'a' and 'Z') are the same context.
// ^ and $ are the edges of the text.
template<class Out>
void putToken(Out &out, QStringView text, qsizetype at)
{
    if (at < 0) {
        out.put('^');
        return;
    }
    if (at >= text.size()) {
        out.put('$');
        return;
    }
    const QChar c = text[at];
    if (isHanCharacter(c)) {
        putUtf8(out, c.unicode());
    } else if (c.isDigit()) {
        out.put('0');
    } else if (c.isLetter()) {
        out.put('a');
    } else if (c.isSpace()) {
        out.put('_');
    } else if (c.isSurrogate()) {
        out.put('?');
    } else {
        putUtf8(out, c.unicode()); // punctuation as itself: ， and 。 differ
    }
}

template<class Out>
void putWord(Out &out, QStringView text, qsizetype start, qsizetype length)
{
    if (start < 0) {
        out.put('-');
        return;
    }
    putUtf8(out, text.mid(start, length));
}

template<class Out>
void features(const PolyphoneContext &context, Out &out)
{
    const QStringView text = context.text;
    const qsizetype at = context.at;
    out.put('b');
    out.done();
    // Single neighbours, three either side.
    for (int offset = -3; offset <= 3; ++offset) {
        if (offset == 0)
            continue;
        out.put('c');
        putNumber(out, offset);
        out.put('=');
        putToken(out, text, at + offset);
        out.done();
    }
    // The n-grams that hold the character (its own place implied).
    struct Gram
    {
        std::string_view name;
        int from, to; // offsets, 0 excluded
    };
    static constexpr Gram Grams[] = {{"l2=", -2, -1}, {"r2=", 1, 2}, {"m=", -1, 1},  {"l3=", -3, -1},
                                     {"r3=", 1, 3},   {"ml=", -2, 1}, {"mr=", -1, 2}};
    for (const Gram &gram : Grams) {
        out.put(gram.name);
        for (int offset = gram.from; offset <= gram.to; ++offset)
            if (offset != 0)
                putToken(out, text, at + offset);
        out.done();
    }
    // The word it is in, and where in it.
    out.put("w=");
    putWord(out, text, context.wordStart, context.wordLength);
    out.done();
    out.put("p=");
    putNumber(out, at - context.wordStart);
    out.put('/');
    putNumber(out, context.wordLength);
    out.done();
    out.put("wl=");
    putWord(out, text, context.previousStart, context.previousLength);
    out.done();
    out.put("wr=");
    putWord(out, text, context.nextStart, context.nextLength);
    out.done();
    // What the dictionary and the rules say.
    out.put(context.wordLength > 1 ? "dw=" : "d1=");
    putUtf8(out, context.dictionaryReading);
    out.done();
    if (context.ruleReading != context.dictionaryReading) {
        out.put("r=");
        putUtf8(out, context.ruleReading);
        out.done();
    }
    for (const QString &reading : context.covering) {
        out.put("cv=");
        putUtf8(out, reading);
        out.done();
    }
}

} // namespace

void polyphoneFeatures(const PolyphoneContext &context, const std::function<void(std::string_view)> &sink)
{
    TextOut out{sink, {}};
    features(context, out);
}

void polyphoneFeatureKeys(const PolyphoneContext &context, std::uint64_t keyPrefix, std::vector<std::uint64_t> &keys)
{
    keys.clear();
    KeyOut out{keyPrefix, keys};
    features(context, out);
}

std::uint64_t polyphoneKeyPrefix(char16_t character)
{
    std::vector<std::uint64_t> none; // a prefix is no feature: nothing is done() with it
    KeyOut out{1469598103934665603ULL, none};
    putUtf8(out, character); // the Basic Multilingual Plane only
    out.put('\x1f');
    return out.hash;
}

std::uint64_t polyphoneFeatureKeyAfter(std::uint64_t prefix, std::string_view feature)
{
    std::vector<std::uint64_t> none; // the hash alone is wanted
    KeyOut out{prefix, none};
    out.put(feature);
    return out.hash;
}

std::uint64_t polyphoneFeatureKey(char16_t character, std::string_view feature)
{
    return polyphoneFeatureKeyAfter(polyphoneKeyPrefix(character), feature);
}
