// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/TextDecoding.h"

#include "platform/Failure.h"

#include <QStringDecoder>

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace TextDecoding {

namespace {

// ICU's confidence (0..100) from which its guess is taken as it stands.
constexpr int SureConfidence = 50;
// Enough of the file for the detector to judge; more only slows it.
constexpr qsizetype DetectorSample = 64 * 1024;

bool validUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(bytes);
    return !utf8.hasError();
}

// Counts the bytes a conversion has to replace, and replaces them.
void countAndSubstitute(const void *context, UConverterToUnicodeArgs *args, const char *codeUnits, int32_t length,
                        UConverterCallbackReason reason, UErrorCode *status)
{
    if (reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR || reason == UCNV_UNASSIGNED)
        ++*static_cast<qsizetype *>(const_cast<void *>(context));
    UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, reason, status);
}

// Whether the bytes are in the charset: every sequence valid but for a
// stray one in a long text (a file cut mid-character, one damaged byte).
// A short text with a wrong sequence is in another set: on a few bytes ICU
// can be sure of UTF-8 for GBK that is not.
bool convertsCleanly(const QByteArray &bytes, const QByteArray &charset)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(charset.constData(), &status), ucnv_close);
    if (U_FAILURE(status))
        return false;
    qsizetype errors = 0;
    ucnv_setToUCallBack(converter.get(), countAndSubstitute, &errors, nullptr, nullptr, &status);
    std::vector<UChar> out(std::size_t(bytes.size()) + 1);
    ucnv_toUChars(converter.get(), out.data(), int32_t(out.size()), bytes.constData(), int32_t(bytes.size()), &status);
    constexpr qsizetype BytesPerStrayError = 200;
    return U_SUCCESS(status) && errors * BytesPerStrayError <= bytes.size();
}

QByteArray detected(const QByteArray &bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> detector(ucsdet_open(&status), ucsdet_close);
    if (U_FAILURE(status))
        return {};
    const QByteArray sample = bytes.left(DetectorSample);
    ucsdet_setText(detector.get(), sample.constData(), int32_t(sample.size()), &status);
    const UCharsetMatch *match = ucsdet_detect(detector.get(), &status);
    if (U_FAILURE(status) || !match)
        return {};
    const int confidence = ucsdet_getConfidence(match, &status);
    const char *name = ucsdet_getName(match, &status);
    if (U_FAILURE(status) || !name || confidence < SureConfidence)
        return {};
    return QByteArray(name);
}

// Characters a text in the reader's languages is made of: wrongly paired
// bytes of UTF-16 fall mostly outside them (a line feed read the wrong way
// round is U+0A00, a space U+2000).
bool plausibleInText(char16_t u)
{
    return (u >= 0x20 && u < 0x7F) || u == u'\n' || u == u'\r' || u == u'\t' || (u >= 0xA0 && u <= 0x17F)
        || (u >= 0x2010 && u <= 0x2027) || (u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF)
        || (u >= 0xFF00 && u <= 0xFFEF);
}

// The share of plausible characters in the sample read as UTF-16 in one
// byte order; none when it holds a NUL character or a broken surrogate.
double utf16Plausibility(const QByteArray &sample, bool littleEndian)
{
    qsizetype plausible = 0, units = sample.size() / 2;
    for (qsizetype i = 0; i < units; ++i) {
        const auto a = uchar(sample[2 * i]), b = uchar(sample[2 * i + 1]);
        const char16_t u = littleEndian ? char16_t(a | b << 8) : char16_t(b | a << 8);
        if (u == 0)
            return 0;
        if (QChar::isSurrogate(u)) {
            // A pair is plausible; half of one is not text.
            if (!QChar::isHighSurrogate(u))
                return 0;
            if (i + 1 >= units) { // the sample may end inside a pair
                ++plausible;
                break;
            }
            const auto c = uchar(sample[2 * i + 2]), d = uchar(sample[2 * i + 3]);
            if (!QChar::isLowSurrogate(littleEndian ? char16_t(c | d << 8) : char16_t(d | c << 8)))
                return 0;
            ++i;
            plausible += 2;
            continue;
        }
        plausible += plausibleInText(u);
    }
    return units ? double(plausible) / double(units) : 0;
}

// UTF-16 written without a byte-order mark (some Windows editors, some
// exports): its NUL bytes would otherwise make it binary. The byte order
// whose reading is almost all plausible text wins.
QByteArray utf16WithoutMark(const QByteArray &bytes)
{
    if (bytes.size() % 2 != 0)
        return {};
    const QByteArray sample = bytes.left(DetectorSample);
    const double little = utf16Plausibility(sample, true), big = utf16Plausibility(sample, false);
    constexpr double Enough = 0.95;
    if (little >= Enough && little > big)
        return "UTF-16LE";
    if (big >= Enough && big > little)
        return "UTF-16BE";
    return {};
}

} // namespace

QByteArray charsetOf(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    if (bytes.startsWith("\xFF\xFE"))
        return "UTF-16LE";
    if (bytes.startsWith("\xFE\xFF"))
        return "UTF-16BE";
    if (bytes.contains('\0'))
        return utf16WithoutMark(bytes); // empty: NUL bytes that are no text
    // ICU's guess when it is sure and names a set the reader's texts come in;
    // its other guesses for Chinese bytes are legacy European sets.
    // A guess is only taken when the bytes really are in that set.
    const QByteArray guess = detected(bytes);
    if ((guess == "UTF-8" || guess == "GB18030" || guess == "Big5" || guess == "UTF-16LE" || guess == "UTF-16BE")
        && convertsCleanly(bytes, guess))
        return guess;
    return validUtf8(bytes) ? "UTF-8" : "GB18030";
}

QString decode(const QByteArray &bytes)
{
    const QByteArray charset = charsetOf(bytes);
    if (charset.isEmpty())
        throw Failure(QStringLiteral("文件含有空字节，不是文本文件。"));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(charset.constData(), &status), ucnv_close);
    if (U_FAILURE(status))
        throw Failure(QStringLiteral("无法识别文件的编码（%1）。").arg(QString::fromLatin1(charset)));
    // At most two UTF-16 units per byte for every supported charset.
    QString text(bytes.size() + 1, Qt::Uninitialized);
    const int32_t length = ucnv_toUChars(converter.get(), reinterpret_cast<UChar *>(text.data()), int32_t(text.size()),
                                         bytes.constData(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        throw Failure(QStringLiteral("无法按 %1 编码读取文件。").arg(QString::fromLatin1(charset)));
    text.truncate(length);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    // A byte-order mark makes no file text: NUL characters after it say the
    // rest is binary (UTF-16 text has NUL bytes, never NUL characters).
    if (text.contains(QChar(0)))
        throw Failure(QStringLiteral("文件含有空字节，不是文本文件。"));
    return text;
}

QString withoutTerminalControls(const QString &text)
{
    constexpr char16_t Escape = 0x1B, Bell = 0x07, Backspace = 0x08, FormFeed = 0x0C, Csi = 0x9B;
    const auto isControl = [](char16_t u) { return u < 0x20 || (u >= 0x7F && u < 0xA0); };
    // Most texts have none: they are returned as they are, unshared.
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) {
            return isControl(c.unicode()) && c != u'\n' && c != u'\t' && c != u'\r';
        }))
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u == Escape || u == Csi) {
            const bool csi = u == Csi || (i + 1 < n && text[i + 1] == u'[');
            const bool osc = u == Escape && i + 1 < n && text[i + 1] == u']';
            if (u == Escape)
                ++i; // the byte after ESC belongs to the sequence
            if (csi) {
                // Parameters and intermediates, then one final byte.
                while (i + 1 < n && text[i + 1].unicode() >= 0x20 && text[i + 1].unicode() <= 0x3F)
                    ++i;
                while (i + 1 < n && text[i + 1].unicode() >= 0x20 && text[i + 1].unicode() <= 0x2F)
                    ++i;
                if (i + 1 < n && text[i + 1].unicode() >= 0x40 && text[i + 1].unicode() <= 0x7E)
                    ++i;
            } else if (osc) {
                // A title or a link, ended by BEL or by ESC backslash.
                while (i + 1 < n && text[i + 1] != QChar(Bell) && text[i + 1] != QChar(Escape))
                    ++i;
                if (i + 1 < n && text[i + 1] == QChar(Bell))
                    ++i;
                else if (i + 2 < n && text[i + 2] == u'\\')
                    i += 2;
            }
            continue;
        }
        if (u == Backspace) {
            if (!out.isEmpty() && out.back() != u'\n')
                out.chop(1); // the character struck over goes; the one after it stays
            continue;
        }
        if (u == FormFeed) {
            out += u'\n';
            continue;
        }
        if (isControl(u) && u != u'\n' && u != u'\t' && u != u'\r')
            continue;
        out += QChar(u);
    }
    return out;
}

} // namespace TextDecoding
