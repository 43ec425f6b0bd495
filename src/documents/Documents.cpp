// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/Documents.h"

#include "documents/Cancellation.h"
#include "documents/PdfText.h"
#include "documents/RichText.h"
#include "documents/RtfText.h"
#include "documents/TextDecoding.h"
#include "documents/XmlText.h"
#include "documents/ZipArchive.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Documents {

namespace {

// A cover is worth embedding only when it is an image of a reasonable size.
constexpr qint64 MaxCoverBytes = 8 << 20;

Document epub(ZipArchive &archive, QStringList *notes)
{
    const QString package = XmlText::epubPackagePath(archive.read(QStringLiteral("META-INF/container.xml")));
    const QString folder = package.contains(u'/') ? package.section(u'/', 0, -2) + u'/' : QString();
    const QByteArray packageXml = archive.read(package);
    Document document;
    document.info = XmlText::documentInfo(packageXml);
    if (const auto [href, type] = XmlText::epubCover(packageXml); !href.isEmpty()) {
        const QString path = QDir::cleanPath(folder + href);
        // A cover that cannot be read costs the book nothing but its cover.
        if (const qint64 size = archive.claimedSize(path); size > 0 && size <= MaxCoverBytes) {
            try {
                document.info.cover = archive.read(path);
                document.info.coverType = type;
            } catch (const Failure &) {
                document.info.cover.clear();
            }
        }
    }
    QStringList chapters, missing;
    qsizetype total = 0;
    for (const QString &chapter : XmlText::epubSpine(packageXml)) {
        throwIfCancelled();
        const QString path = QDir::cleanPath(folder + chapter);
        // A book with a chapter missing is still worth reading: the rest is
        // read, and the person is told what is not there.
        if (!archive.contains(path)) {
            missing << chapter;
            continue;
        }
        const QString text = XmlText::xhtml(archive.read(path));
        total += text.size();
        if (total > MaxTextUnits)
            throw Failure(QStringLiteral("文档的文字超过 %1 万字，超出可以朗读的长度。").arg(MaxTextUnits / 10000));
        // Each file of the spine is a chapter of the book.
        if (!text.trimmed().isEmpty())
            chapters << headingMark(1) + text;
    }
    if (chapters.isEmpty() && !missing.isEmpty())
        throw Failure(QStringLiteral("电子书的章节文件全部缺失（%1）。").arg(missing.join(QStringLiteral("、"))));
    if (!missing.isEmpty() && notes)
        *notes << QStringLiteral("电子书缺少 %1 个章节文件，已跳过：%2。")
                      .arg(missing.size())
                      .arg(missing.join(QStringLiteral("、")));
    document.text = chapters.join(QStringLiteral("\n\n"));
    return document;
}

// EPUB, DOCX and ODT are all zip archives: what is inside tells them apart.
Document zipDocument(const QString &path, QStringList *notes)
{
    ZipArchive archive(path, MaxUnpackedBytes);
    const QByteArray mimetype = archive.contains(QStringLiteral("mimetype"))
        ? archive.read(QStringLiteral("mimetype")).trimmed()
        : QByteArray();
    if (mimetype == "application/epub+zip")
        return epub(archive, notes);
    // A text document, or one LibreOffice made from a web page: the same body.
    const auto optional = [&](const QString &name) {
        return archive.contains(name) ? archive.read(name) : QByteArray();
    };
    const auto infoFrom = [&](const QString &name) {
        const QByteArray xml = optional(name);
        return xml.isEmpty() ? Info() : XmlText::documentInfo(xml);
    };
    if (mimetype == "application/vnd.oasis.opendocument.text"
        || mimetype == "application/vnd.oasis.opendocument.text-web")
        return {XmlText::openDocument(archive.read(QStringLiteral("content.xml"))), {},
                infoFrom(QStringLiteral("meta.xml"))};
    if (archive.contains(QStringLiteral("word/document.xml")))
        return {XmlText::wordDocument(archive.read(QStringLiteral("word/document.xml")),
                                      optional(QStringLiteral("word/footnotes.xml")),
                                      optional(QStringLiteral("word/endnotes.xml"))),
                {},
                infoFrom(QStringLiteral("docProps/core.xml"))};
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

Document readAnyText(const QString &path, QStringList *notes)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Failure(QStringLiteral("文件不存在。"), Failure::Reason::FileMissing);
    if (info.isDir())
        throw Failure(QStringLiteral("这是一个文件夹，不是文件。"));
    // Opened without waiting (a pipe would wait for a writer for ever), and
    // checked on the open descriptor itself, so nothing can be swapped in
    // between the check and the read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw Failure(QStringLiteral("无法读取文件（%1）。").arg(QString::fromLocal8Bit(strerror(errno))));
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw Failure(QStringLiteral("这不是普通文件（而是管道、设备或套接字），无法作为文档打开。"));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Failure(QStringLiteral("无法读取文件（%1）。").arg(file.errorString()));
    }
    if (file.size() > MaxFileBytes)
        throw Failure(QStringLiteral("文件大于 %1 MB，超出可以打开的大小。").arg(MaxFileBytes >> 20));
    const QByteArray head = file.peek(4096);
    if (head.startsWith("%PDF-")) {
        Document document;
        document.text = PdfText::read(path, &document.info);
        return document;
    }
    if (head.startsWith("PK\x03\x04"))
        return zipDocument(path, notes);
    const bool rtf = head.startsWith("{\\rtf");
    // Read no more than the size just checked, whatever the file grows to
    // meanwhile (and without reserving the whole limit for a small file).
    const QByteArray bytes = file.read(file.size());
    throwIfCancelled();
    Document document;
    const QString suffix = info.suffix().toLower();
    if (rtf)
        document.text = RtfText::read(bytes);
    else if (suffix == u"md" || suffix == u"markdown")
        document.text = RichText::markdown(TextDecoding::withoutTerminalControls(TextDecoding::decode(bytes)));
    else if (looksLikeHtml(suffix, head))
        document.text = RichText::html(TextDecoding::decode(bytes), &document.info.title);
    else
        // Logs and captured terminal output keep the colours they were shown in.
        document.text = TextDecoding::withoutTerminalControls(TextDecoding::decode(bytes));
    return document;
}

} // namespace

// Whatever the format's reader says, a document that is there but cannot be
// read is unreadable (a missing one and a cancelled read keep their reason).
Document read(const QString &path, QStringList *notes)
{
    try {
        Document document = readAnyText(path, notes);
        document.headings = takeHeadings(document.text);
        return document;
    } catch (const Failure &failure) {
        if (failure.reason() != Failure::Reason::Unspecified)
            throw;
        throw Failure(failure.description(), Failure::Reason::FileUnreadable);
    }
}

QString readText(const QString &path, QStringList *notes) { return read(path, notes).text; }

QString fileDialogFilter()
{
    return QStringLiteral("可朗读的文档 (*.txt *.text *.md *.markdown *.html *.htm *.xhtml *.epub *.docx *.odt *.rtf *.pdf);;"
                          "文本文件 (*.txt *.text);;Markdown (*.md *.markdown);;网页 (*.html *.htm *.xhtml);;"
                          "电子书 (*.epub);;Word 文档 (*.docx);;OpenDocument 文本 (*.odt);;RTF 文档 (*.rtf);;PDF 文档 (*.pdf);;"
                          "所有文件 (*)");
}

} // namespace Documents
