// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DocumentFiles.h"

#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <unicode/ucnv.h>
#include <zip.h>

namespace DocumentFiles {

bool writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &entries, const QByteArray &password)
{
    QFile::remove(path);
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_EXCL, &error);
    if (!archive)
        return false;
    // libzip reads the buffers when the archive is closed: keep them until then.
    QList<QByteArray> kept;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        kept.append(entries[i].second);
        zip_source_t *source = zip_source_buffer(archive, kept.last().constData(), zip_uint64_t(kept.last().size()), 0);
        const zip_int64_t index =
            zip_file_add(archive, entries[i].first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            return zip_discard(archive), false;
        if (i == 0)
            zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
        if (!password.isEmpty())
            zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, password.constData());
    }
    return zip_close(archive) == 0;
}

QList<QPair<QString, QByteArray>> epub(const QStringList &chapters)
{
    QList<QPair<QString, QByteArray>> entries{
        {"mimetype", "application/epub+zip"},
        {"META-INF/container.xml",
         "<?xml version=\"1.0\"?><container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
         "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
         "</rootfiles></container>"}};
    // The manifest lists the chapters backwards: the spine alone gives the order.
    QByteArray manifest, spine;
    for (qsizetype i = chapters.size() - 1; i >= 0; --i)
        manifest += "<item id=\"c" + QByteArray::number(i) + "\" href=\"text/chapter%20" + QByteArray::number(i)
            + ".xhtml\" media-type=\"application/xhtml+xml\"/>";
    for (qsizetype i = 0; i < chapters.size(); ++i)
        spine += "<itemref idref=\"c" + QByteArray::number(i) + "\"/>";
    entries.append({"OEBPS/content.opf",
                    "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" "
                    "version=\"3.0\"><manifest>"
                        + manifest + "</manifest><spine>" + spine + "</spine></package>"});
    for (qsizetype i = 0; i < chapters.size(); ++i)
        entries.append({QStringLiteral("OEBPS/text/chapter %1.xhtml").arg(i),
                        "<?xml version=\"1.0\" encoding=\"utf-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
                        "<title>不读</title><style>p { color: red }</style></head><body><h1>第"
                            + QByteArray::number(i + 1) + "章</h1><p>" + chapters[i].toUtf8()
                            + "</p><script>alert(1)</script></body></html>"});
    return entries;
}

QList<QPair<QString, QByteArray>> docx(const QStringList &paragraphs)
{
    QByteArray body;
    for (const QString &p : paragraphs) {
        // Each paragraph in two runs, as word processors write them.
        const QByteArray text = p.toUtf8();
        const qsizetype half = p.left(p.size() / 2).toUtf8().size();
        body += "<w:p><w:pPr><w:jc w:val=\"left\"/></w:pPr><w:r><w:rPr><w:b/></w:rPr><w:t>" + text.left(half)
            + "</w:t></w:r><w:r><w:t xml:space=\"preserve\">" + text.mid(half) + "</w:t></w:r></w:p>";
    }
    return {{"[Content_Types].xml",
             "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
            {"word/document.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document "
             "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
                 + body + "</w:body></w:document>"}};
}

QList<QPair<QString, QByteArray>> odt(const QStringList &paragraphs)
{
    QByteArray body;
    for (const QString &p : paragraphs)
        body += "<text:p text:style-name=\"P1\"><text:span>" + p.toUtf8() + "</text:span></text:p>";
    return {{"mimetype", "application/vnd.oasis.opendocument.text"},
            {"content.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
             "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
             "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:automatic-styles/>"
             "<office:body><office:text>"
                 + body + "</office:text></office:body></office:document-content>"}};
}

bool writePdf(const QString &path, const QStringList &pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A5));
    writer.setResolution(72);
    QPainter painter(&writer);
    if (!painter.isActive())
        return false;
    if (pages.isEmpty())
        painter.fillRect(QRect(50, 50, 200, 100), Qt::darkGray);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(14);
    painter.setFont(font);
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        painter.drawText(QRect(40, 40, 340, 500), Qt::TextWordWrap, pages[i]);
    }
    return painter.end();
}

QByteArray encoded(const QString &text, const char *charset, bool byteOrderMark)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter *converter = ucnv_open(charset, &status);
    QByteArray bytes(text.size() * 4 + 8, Qt::Uninitialized);
    const int32_t length =
        ucnv_fromUChars(converter, bytes.data(), int32_t(bytes.size()), reinterpret_cast<const UChar *>(text.utf16()),
                        int32_t(text.size()), &status);
    ucnv_close(converter);
    bytes.truncate(U_SUCCESS(status) ? length : 0);
    if (byteOrderMark) {
        const QByteArray name(charset);
        bytes.prepend(name == "UTF-8"          ? QByteArray("\xEF\xBB\xBF")
                          : name == "UTF-16LE" ? QByteArray("\xFF\xFE")
                                               : QByteArray("\xFE\xFF"));
    }
    return bytes;
}

} // namespace DocumentFiles
