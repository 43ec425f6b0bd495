// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/TextDecoding.h"

#include "platform/Failure.h"

#include <QStringDecoder>

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

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

// Whether every byte is valid in the charset (no substitutions needed).
bool convertsCleanly(const QByteArray &bytes, const QByteArray &charset)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(charset.constData(), &status), ucnv_close);
    if (U_FAILURE(status))
        return false;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    std::vector<UChar> out(std::size_t(bytes.size()) + 1);
    ucnv_toUChars(converter.get(), out.data(), int32_t(out.size()), bytes.constData(), int32_t(bytes.size()), &status);
    return U_SUCCESS(status);
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
        return {}; // no byte-order mark, NUL bytes: not text
    // ICU's guess when it is sure and names a set the reader's texts come in;
    // its other guesses for Chinese bytes are legacy European sets.
    // A guess is only taken when the bytes really are in that set: on short
    // texts ICU can be sure of UTF-8 for GBK bytes that are not.
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

} // namespace TextDecoding
