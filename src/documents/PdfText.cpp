// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/PdfText.h"

#include "documents/Cancellation.h"

#include "platform/Failure.h"

#include <poppler-qt6.h>

namespace PdfText {

namespace {

// Some PDF writers map a CJK glyph back to the Kangxi radical that shares it
// (U+2F00 "⼀" for "一"): read as the ideograph, which is what was meant.
QString withIdeographs(QString text)
{
    for (QChar &c : text)
        if (c.unicode() >= 0x2F00 && c.unicode() <= 0x2FD5)
            c = QString(c).normalized(QString::NormalizationForm_KC).front();
    return text;
}

} // namespace

QString read(const QString &path)
{
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document)
        throw Failure(QStringLiteral("PDF 文件已损坏，无法打开。"));
    if (document->isLocked())
        throw Failure(QStringLiteral("PDF 文件已加密，无法读取。"));
    QStringList pages;
    bool anyText = false;
    for (int i = 0; i < document->numPages(); ++i) {
        Documents::throwIfCancelled();
        const std::unique_ptr<Poppler::Page> page = document->page(i);
        const QString text = page ? page->text(QRectF()).trimmed() : QString();
        anyText = anyText || !text.isEmpty();
        pages << text;
    }
    if (!anyText)
        throw Failure(QStringLiteral("PDF 文件没有文字层（可能是扫描的图片），没有可朗读的文字。"));
    return withIdeographs(pages.join(QStringLiteral("\n\n")));
}

} // namespace PdfText
