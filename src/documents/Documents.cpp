// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/Documents.h"

#include "documents/PdfText.h"
#include "documents/RichText.h"
#include "documents/TextDecoding.h"
#include "documents/XmlText.h"
#include "documents/ZipArchive.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Documents {

namespace {

QString epub(ZipArchive &archive)
{
    const QString package = XmlText::epubPackagePath(archive.read(QStringLiteral("META-INF/container.xml")));
    const QString folder = package.contains(u'/') ? package.section(u'/', 0, -2) + u'/' : QString();
    QStringList chapters;
    for (const QString &chapter : XmlText::epubSpine(archive.read(package))) {
        const QString text = XmlText::xhtml(archive.read(QDir::cleanPath(folder + chapter)));
        if (!text.trimmed().isEmpty())
            chapters << text;
    }
    return chapters.join(QStringLiteral("\n\n"));
}

// EPUB, DOCX and ODT are all zip archives: what is inside tells them apart.
QString zipDocument(const QString &path)
{
    ZipArchive archive(path, MaxUnpackedBytes);
    const QByteArray mimetype = archive.contains(QStringLiteral("mimetype"))
        ? archive.read(QStringLiteral("mimetype")).trimmed()
        : QByteArray();
    if (mimetype == "application/epub+zip")
        return epub(archive);
    if (mimetype == "application/vnd.oasis.opendocument.text")
        return XmlText::openDocument(archive.read(QStringLiteral("content.xml")));
    if (archive.contains(QStringLiteral("word/document.xml")))
        return XmlText::wordDocument(archive.read(QStringLiteral("word/document.xml")));
    throw Failure(QStringLiteral("这是一个压缩文件，但不是电子书（EPUB）、Word（DOCX）或 OpenDocument（ODT）文档。"));
}

bool looksLikeHtml(const QString &suffix, const QByteArray &head)
{
    if (suffix == u"html" || suffix == u"htm" || suffix == u"xhtml")
        return true;
    const QByteArray start = head.left(512).trimmed().toLower();
    return start.startsWith("<!doctype html") || start.startsWith("<html")
        || (start.startsWith("<?xml") && start.contains("<html"));
}

} // namespace

QString readText(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Failure(QStringLiteral("文件不存在。"));
    if (info.isDir())
        throw Failure(QStringLiteral("这是一个文件夹，不是文件。"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("无法读取文件（%1）。").arg(file.errorString()));
    if (file.size() > MaxFileBytes)
        throw Failure(QStringLiteral("文件大于 %1 MB，超出可以打开的大小。").arg(MaxFileBytes >> 20));
    const QByteArray head = file.peek(4096);
    if (head.startsWith("%PDF-"))
        return PdfText::read(path);
    if (head.startsWith("PK\x03\x04"))
        return zipDocument(path);
    // Read no more than the limit, whatever the file grows to meanwhile.
    const QByteArray bytes = file.read(MaxFileBytes);
    const QString suffix = info.suffix().toLower();
    if (suffix == u"md" || suffix == u"markdown")
        return RichText::markdown(TextDecoding::decode(bytes));
    if (looksLikeHtml(suffix, head))
        return RichText::html(TextDecoding::decode(bytes));
    return TextDecoding::decode(bytes);
}

QString fileDialogFilter()
{
    return QStringLiteral("可朗读的文档 (*.txt *.text *.md *.markdown *.html *.htm *.xhtml *.epub *.docx *.odt *.pdf);;"
                          "文本文件 (*.txt *.text);;Markdown (*.md *.markdown);;网页 (*.html *.htm *.xhtml);;"
                          "电子书 (*.epub);;Word 文档 (*.docx);;OpenDocument 文本 (*.odt);;PDF 文档 (*.pdf);;"
                          "所有文件 (*)");
}

} // namespace Documents
