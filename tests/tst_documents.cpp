// SPDX-License-Identifier: GPL-3.0-or-later
// Documents in: real files in every format and encoding the reader opens,
// made by the test, and the bad inputs people have too.
#include "documents/Documents.h"
#include "documents/PdfText.h"
#include "documents/RichText.h"
#include "documents/TextDecoding.h"
#include "documents/XmlText.h"
#include "documents/ZipArchive.h"
#include "platform/Failure.h"
#include "support/DocumentFiles.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace DocumentFiles;

namespace {

const QString Paragraph =
    QStringLiteral("秋天的早晨，河边的雾还没有散。老张推着自行车走过石桥，车筐里放着刚买的豆腐和一把青菜。"
                   "他想起小时候，父亲也是这样每天早上去集市，回来的时候总会给他带一块热乎乎的烧饼。"
                   "如今集市搬到了城东，桥下的水却和从前一样，慢慢地向南流去。");
// The same story in traditional characters, as Big5 files carry it.
const QString TraditionalParagraph =
    QStringLiteral("秋天的早晨，河邊的霧還沒有散。老張推著自行車走過石橋，車筐裡放著剛買的豆腐和一把青菜。"
                   "他想起小時候，父親也是這樣每天早上去集市，回來的時候總會給他帶一塊熱乎乎的燒餅。");

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(bytes);
    return file.fileName();
}

QString failureOf(const QString &path)
{
    try {
        Documents::readText(path);
    } catch (const Failure &failure) {
        return failure.description();
    }
    return {};
}

} // namespace

class TestDocuments : public QObject
{
    Q_OBJECT

private slots:
    void everyEncodingGivesTheSameText_data();
    void everyEncodingGivesTheSameText();
    void detectorGuessMustFitTheBytes_data();
    void detectorGuessMustFitTheBytes();
    void everyFormatGivesItsTextInOrder_data();
    void everyFormatGivesItsTextInOrder();
    void epubChaptersAreReadOnceEach();
    void badInputsAreRefusedWithAReason_data();
    void badInputsAreRefusedWithAReason();
    void missingChapterIsSkippedAndNamed();
    void repeatedSpacesAreBounded();
    void unpackBudgetIsTheOneGiven();
    void unpackBudgetCountsEveryEntry();
    void namedEntitiesAreTheirCharacters_data();
    void namedEntitiesAreTheirCharacters();
    void htmlIsMadeSafeForQt_data();
    void terminalControlsAreDropped_data();
    void terminalControlsAreDropped();
    void rtfIsReadAsWritten_data();
    void rtfIsReadAsWritten();
    void pdfPagesAreReadAsHeard_data();
    void notesAreReadAfterTheirParagraph_data();
    void notesAreReadAfterTheirParagraph();
    void pdfPagesAreReadAsHeard();
    void pdfColumnsAndRunningLines();
    void htmlIsMadeSafeForQt();

private:
    QTemporaryDir m_dir;
};

void TestDocuments::everyEncodingGivesTheSameText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("UTF-8") << encoded(Paragraph, "UTF-8") << Paragraph;
    QTest::newRow("UTF-8 with BOM") << encoded(Paragraph, "UTF-8", true) << Paragraph;
    QTest::newRow("UTF-16LE with BOM") << encoded(Paragraph, "UTF-16LE", true) << Paragraph;
    QTest::newRow("UTF-16BE with BOM") << encoded(Paragraph, "UTF-16BE", true) << Paragraph;
    QTest::newRow("UTF-16LE without BOM") << encoded(Paragraph, "UTF-16LE") << Paragraph;
    QTest::newRow("UTF-16BE without BOM") << encoded(Paragraph, "UTF-16BE") << Paragraph;
    QTest::newRow("UTF-16LE without BOM, English")
        << encoded(QStringLiteral("Plain English,\nnothing else."), "UTF-16LE")
        << QStringLiteral("Plain English,\nnothing else.");
    QTest::newRow("GB18030") << encoded(Paragraph, "GB18030") << Paragraph;
    QTest::newRow("GBK") << encoded(Paragraph, "GBK") << Paragraph;
    QTest::newRow("GB2312, short") << encoded(QStringLiteral("你好，世界"), "GB2312") << QStringLiteral("你好，世界");
    QTest::newRow("Big5") << encoded(TraditionalParagraph, "Big5") << TraditionalParagraph;
    QTest::newRow("ASCII") << QByteArray("Plain English, nothing else.")
                           << QStringLiteral("Plain English, nothing else.");
}

void TestDocuments::everyEncodingGivesTheSameText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QVERIFY(!bytes.isEmpty());
    const QString path = writeFile(m_dir, QStringLiteral("%1.txt").arg(QTest::currentDataTag()), bytes);
    QCOMPARE(Documents::readText(path), text);
}

void TestDocuments::detectorGuessMustFitTheBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("charset");
    const QByteArray big5 = encoded(TraditionalParagraph.repeated(3), "Big5");
    const QByteArray utf8 = encoded(Paragraph, "UTF-8");
    QTest::newRow("Big5") << big5 << QByteArray("Big5");
    // One damaged pair in a page of Big5 is still Big5 (GB18030 would garble all of it).
    QTest::newRow("Big5 with a pair Big5 lacks") << big5 + "\x81\x30" << QByteArray("Big5");
    QTest::newRow("UTF-8 cut inside its last character") << utf8.chopped(1) << QByteArray("UTF-8");
    // ICU is sure of Big5 here too, but a bad pair in every few is no Big5.
    QByteArray damaged;
    for (qsizetype at = 0; at < big5.size(); at += 60)
        damaged += big5.mid(at, 60) + "\x81\x30";
    QTest::newRow("Big5 with a bad pair every 60 bytes") << damaged << QByteArray("GB18030");
    QTest::newRow("short GB2312") << encoded(QStringLiteral("你好，世界"), "GB2312") << QByteArray("GB18030");
}

// The charset detector's guess is taken only when the bytes are in that set
// but for a stray sequence in a long text.
void TestDocuments::detectorGuessMustFitTheBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, charset);
    QCOMPARE(TextDecoding::charsetOf(bytes), charset);
}

void TestDocuments::terminalControlsAreDropped_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read");
    QTest::newRow("colours") << "\x1b[32m通过\x1b[0m：三项\x1b[1;31m失败\x1b[m" << "通过：三项失败";
    QTest::newRow("cursor and erase") << "进度\x1b[2K\r完成\x1b[?25h" << "进度\r完成";
    QTest::newRow("window title") << "\x1b]0;终端标题\x07正文" << "正文";
    QTest::newRow("link ended by ESC backslash") << "看\x1b]8;;http://example.org\x1b\\这里" << "看这里";
    QTest::newRow("man page overstrike") << "N\bNA\bAM\bME\bE _\bl_\bs" << "NAME ls";
    QTest::newRow("form feed and stray controls") << "一页\f二页\x01\x7f" << "一页\n二页";
    QTest::newRow("tabs and lines stay") << "甲\t乙\n丙" << "甲\t乙\n丙";
    QTest::newRow("escape at the very end") << "完\x1b" << "完";
}

void TestDocuments::terminalControlsAreDropped()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    QCOMPARE(TextDecoding::withoutTerminalControls(text), read);
}

// RTF as WordPad, LibreOffice and Word write it (written by hand here).
void TestDocuments::rtfIsReadAsWritten_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("paragraphs") << QByteArray("{\\rtf1\\ansi First line.\\par Second\\line line.\\par}")
                                << "First line.\nSecond\nline.";
    QTest::newRow("unicode escapes with fallbacks")
        << QByteArray("{\\rtf1\\ansi\\uc1\\u20320?\\u22909?\\uc2 \\u19990\\'ca\\'c0\\u30028??\\par}") << "你好世界";
    QTest::newRow("negative escape, surrogate pair")
        << QByteArray("{\\rtf1\\u-10176?\\u-9206?\\u-233?}") << QString::fromUtf8("\xF0\xA0\x80\x8A\xEF\xBC\x97");
    QTest::newRow("GBK bytes of the code page")
        << QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'c4\\'e3\\'ba\\'c3\\par}") << "你好";
    QTest::newRow("Chinese font in a Latin document")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fnil\\fcharset134 "
                      "\\'cb\\'ce\\'cc\\'e5;}}\\f0 caf\\'e9 \\f1\\'c4\\'e3\\'ba\\'c3\\par}")
        << QString::fromUtf8("caf\xC3\xA9 你好");
    QTest::newRow("Big5 font")
        << QByteArray("{\\rtf1{\\fonttbl{\\f2\\fcharset136 x;}}\\f2\\'a7\\'41\\'a6\\'6e}") << "你好";
    QTest::newRow("tables, metadata and pictures skipped")
        << QByteArray("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s1 Heading;}}"
                      "{\\info{\\title 标题}{\\author x}}{\\*\\generator Writer;}{\\header 页眉\\par}"
                      "{\\pict\\pngblip 89504e47}{\\*\\unknown hidden}\\u27491?\\u25991?\\par}")
        << "正文";
    QTest::newRow("binary data skipped") << QByteArray("{\\rtf1 a \\bin4 {}\\ b}") << "a b";
    QTest::newRow("field result read, instruction not")
        << QByteArray("{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt the site}}.}")
        << "see the site.";
    QTest::newRow("footnote after its paragraph")
        << QByteArray("{\\rtf1 Text{\\super\\chftn}{\\footnote\\pard{\\super\\chftn} The note.} goes on.\\par Next.\\par}")
        << "Text goes on.\nThe note.\nNext.";
    QTest::newRow("escaped braces and symbols")
        << QByteArray("{\\rtf1 \\{a\\}\\\\\\~b\\emdash c\\ldblquote d\\rdblquote\\tab e}")
        << QString::fromUtf8("{a}\\\xC2\xA0" "b\xE2\x80\x94" "c\xE2\x80\x9C" "d\xE2\x80\x9D\te");
    QTest::newRow("table cells apart") << QByteArray("{\\rtf1\\trowd a\\cell b\\cell\\row c\\par}") << "a\tb\t\nc";
    QTest::newRow("unbalanced, ends where the text ends") << QByteArray("{\\rtf1 open {\\b bold") << "open bold";
}

void TestDocuments::rtfIsReadAsWritten()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    const QString path = writeFile(m_dir, QStringLiteral("%1.rtf").arg(QTest::currentDataTag()), rtf);
    QCOMPARE(Documents::readText(path), text);
}

// Footnotes and endnotes are read once, after the paragraph citing them,
// without their marks.
void TestDocuments::notesAreReadAfterTheirParagraph_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("notes");
    QTest::addColumn<QString>("text");
    const QByteArray w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
    QTest::newRow("DOCX footnote and endnote")
        << "docx"
        << "<w:document " + w + "><w:body><w:p><w:r><w:t>正文</w:t></w:r><w:r><w:footnoteReference w:id=\"2\"/></w:r>"
               "<w:r><w:t>继续。</w:t></w:r><w:r><w:endnoteReference w:id=\"1\"/></w:r></w:p>"
               "<w:p><w:r><w:t>下一段。</w:t></w:r></w:p></w:body></w:document>"
        << "<w:footnotes " + w + "><w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/></w:r></w:p>"
               "</w:footnote><w:footnote w:id=\"2\"><w:p><w:r><w:footnoteRef/></w:r><w:r><w:t xml:space=\"preserve\">"
               " 脚注的文字。</w:t></w:r></w:p></w:footnote></w:footnotes>"
        << "正文继续。\n脚注的文字。\n尾注。\n下一段。";
    QTest::newRow("ODT note")
        << "odt"
        << QByteArray("<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:text>"
                      "<text:p>正文<text:note text:id=\"ftn1\" text:note-class=\"footnote\"><text:note-citation>1"
                      "</text:note-citation><text:note-body><text:p>注释的文字。</text:p></text:note-body></text:note>"
                      "继续。</text:p><text:p>下一段。</text:p></office:text></office:body></office:document-content>")
        << QByteArray() << "正文继续。\n注释的文字。\n下一段。";
    QTest::newRow("Markdown footnotes")
        << "md"
        << QByteArray("正文[^a]继续[^b]。\n\n下一段[^a]。\n\n[^a]: 第一个注释，\n    写了两行。\n[^b]: 第二个注释。\n\n"
                      "```\ncode[^a]\n```\n")
        << QByteArray() << "正文继续。\n第一个注释， 写了两行。\n第二个注释。\n下一段。\ncode[^a]";
}

void TestDocuments::notesAreReadAfterTheirParagraph()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, notes);
    QFETCH(QString, text);
    if (kind == u"docx") {
        const QByteArray endnotes = "<w:endnotes xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                                    "<w:endnote w:id=\"1\"><w:p><w:r><w:t>尾注。</w:t></w:r></w:p></w:endnote></w:endnotes>";
        QCOMPARE(XmlText::wordDocument(source, notes, endnotes), text);
    } else if (kind == u"odt") {
        QCOMPARE(XmlText::openDocument(source), text);
    } else {
        QCOMPARE(Documents::readText(writeFile(m_dir, QStringLiteral("notes.md"), source)), text);
    }
}

void TestDocuments::pdfPagesAreReadAsHeard_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QString>("heard");
    QTest::newRow("running header and numbered footer")
        << QStringList{"手册\n第一页。\n1 / 3", "手册\n第二页。\n2 / 3", "手册\n第三页。\n3 / 3"}
        << "手册\n第一页。\n\n第二页。\n\n第三页。";
    QTest::newRow("header of two lines, part numbers differ")
        << QStringList{"书名\n第1部分\n甲。", "书名\n第1部分\n乙。", "书名\n第2部分\n丙。", "书名\n第2部分\n丁。"}
        << "书名\n第1部分\n甲。\n\n乙。\n\n丙。\n\n丁。";
    QTest::newRow("page numbers alone")
        << QStringList{"- 3 -\n甲", "乙\n第 5 页", "Page 7 of 9\n丙", "丁\niv"} << "甲\n\n乙\n\n丙\n\n丁";
    QTest::newRow("two pages repeat nothing") << QStringList{"标题\n正文一", "标题\n正文二"}
                                              << "标题\n正文一\n\n标题\n正文二";
    QTest::newRow("leaders and spaces")
        << QStringList{"目录\n第一章 简介........1\n第二章 安装 · · · · · 5\n甲    乙　　丙\n圆周率3.14……"}
        << "目录\n第一章 简介 1\n第二章 安装 5\n甲 乙 丙\n圆周率3.14……";
    QTest::newRow("a word is no page number") << QStringList{"civil\n正文", "正文\nmild"} << "civil\n正文\n\n正文\nmild";
}

void TestDocuments::pdfPagesAreReadAsHeard()
{
    QFETCH(QStringList, pages);
    QFETCH(QString, heard);
    QCOMPARE(PdfText::asHeard(pages), heard);
}

// A real PDF: two columns under a running header, a page number below.
void TestDocuments::pdfColumnsAndRunningLines()
{
    const QString path = m_dir.filePath(QStringLiteral("columns.pdf"));
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A5));
        writer.setResolution(72);
        QPainter painter(&writer);
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(12);
        painter.setFont(font);
        for (int page = 1; page <= 3; ++page) {
            if (page > 1)
                writer.newPage();
            painter.drawText(QRect(40, 20, 340, 20), Qt::AlignCenter, QStringLiteral("数据手册"));
            const QString left = QStringLiteral("左栏第%1页的文字从这里开始，一直写到这一栏的底部为止。").arg(page);
            const QString right = QStringLiteral("右栏第%1页的文字在左栏之后读，也写到底部。").arg(page);
            painter.drawText(QRect(40, 60, 150, 400), Qt::TextWordWrap, left.repeated(3));
            painter.drawText(QRect(220, 60, 150, 400), Qt::TextWordWrap, right.repeated(3));
            painter.drawText(QRect(40, 540, 340, 20), Qt::AlignCenter, QString::number(page));
        }
    }
    const QString text = Documents::readText(path);
    QCOMPARE(text.count(QStringLiteral("数据手册")), 1);
    QVERIFY2(!text.contains(QChar(0x2EDA)), qPrintable(text)); // 页, not the radical that looks like it
    for (int page = 1; page <= 3; ++page) {
        const qsizetype left = text.indexOf(QStringLiteral("左栏第%1页").arg(page));
        const qsizetype right = text.indexOf(QStringLiteral("右栏第%1页").arg(page));
        QVERIFY2(left >= 0 && right > left, qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("\n%1\n").arg(page)) && !text.endsWith(QString::number(page)),
                 qPrintable(text));
    }
}

void TestDocuments::everyFormatGivesItsTextInOrder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("inOrder"); // what the text holds, in this order
    QTest::addColumn<QStringList>("never"); // markup, scripts and the like it must not hold
    const QStringList noMarkup{"<", ">", "alert", "color", "http"};
    QTest::newRow("Markdown") << writeFile(m_dir, "story.md",
                                           "# 河边\n\n秋天的**早晨**，有[雾](http://example.org/fog)。\n\n"
                                           "- 豆腐\n- 青菜\n\n<script>alert(1)</script>\n")
                              << QStringList{"河边", "秋天的早晨，有雾。", "豆腐", "青菜"}
                              << noMarkup + QStringList{"**", "#"};
    QTest::newRow("HTML") << writeFile(
        m_dir, "page.html",
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>标题不读</title>"
        "<style>p { color: red }</style><script>alert('x')</script></head><body>"
        "<h1>河边</h1><p>第一段&amp;<b>粗</b></p><p>第二段<img src=\"http://example.org/a.png\"></p>"
        "</body></html>") << QStringList{"河边", "第一段&粗", "第二段"}
                          << noMarkup + QStringList{"标题不读"};
    const QString epubPath = m_dir.filePath(QStringLiteral("book.epub"));
    QVERIFY(
        writeZip(epubPath,
                 epub({QStringLiteral("第一章的文字。"), QStringLiteral("第二章的文字。"), QStringLiteral("尾声。")})));
    QTest::newRow("EPUB") << epubPath
                          << QStringList{"第1章", "第一章的文字。", "\n\n", "第2章", "第二章的文字。", "尾声。"}
                          << noMarkup + QStringList{"不读"};
    const QString docxPath = m_dir.filePath(QStringLiteral("report.docx"));
    QVERIFY(writeZip(
        docxPath,
        docx({QStringLiteral("报告的第一段。"), QStringLiteral("Second paragraph."), QStringLiteral("第三段。")})));
    QTest::newRow("DOCX") << docxPath << QStringList{"报告的第一段。\nSecond paragraph.\n第三段。"} << noMarkup;
    const QString odtPath = m_dir.filePath(QStringLiteral("letter.odt"));
    QVERIFY(writeZip(odtPath, odt({QStringLiteral("亲爱的朋友："), QStringLiteral("你好。")})));
    QTest::newRow("ODT") << odtPath << QStringList{"亲爱的朋友：\n你好。"} << noMarkup;
    // LibreOffice's import of a web page saves the same body under another type.
    auto webOdt = odt({QStringLiteral("网页导入的文字。")});
    webOdt[0].second = "application/vnd.oasis.opendocument.text-web";
    const QString webOdtPath = m_dir.filePath(QStringLiteral("page.odt"));
    QVERIFY(writeZip(webOdtPath, webOdt));
    QTest::newRow("ODT from a web page") << webOdtPath << QStringList{"网页导入的文字。"} << noMarkup;
    const QString pdfPath = m_dir.filePath(QStringLiteral("pages.pdf"));
    QVERIFY(writePdf(pdfPath,
                     {QStringLiteral("第一张的文字"), QStringLiteral("第二张的文字"), QStringLiteral("Third page")}));
    QTest::newRow("PDF") << pdfPath << QStringList{"第一张的文字", "第二张的文字", "Third page"} << QStringList{};
    // By content, not by name: an EPUB called .txt is still an EPUB.
    const QString disguised = m_dir.filePath(QStringLiteral("book-really.txt"));
    QVERIFY(QFile::copy(epubPath, disguised));
    QTest::newRow("EPUB named .txt") << disguised << QStringList{"第一章的文字。"} << noMarkup;
}

void TestDocuments::everyFormatGivesItsTextInOrder()
{
    QFETCH(QString, path);
    QFETCH(QStringList, inOrder);
    QFETCH(QStringList, never);
    const QString text = Documents::readText(path);
    qsizetype at = 0;
    for (const QString &part : std::as_const(inOrder)) {
        const qsizetype found = text.indexOf(part, at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("“%1” missing after %2 in:\n%3").arg(part).arg(at).arg(text)));
        at = found + part.size();
    }
    for (const QString &bad : std::as_const(never))
        QVERIFY2(!text.contains(bad), qPrintable(QStringLiteral("“%1” in:\n%2").arg(bad, text)));
}

// Each chapter of the spine exactly once, in order, and nothing else: a
// chapter missing or read twice changes the text.
void TestDocuments::epubChaptersAreReadOnceEach()
{
    const QString path = m_dir.filePath(QStringLiteral("once.epub"));
    QVERIFY(writeZip(path, epub({QStringLiteral("春天来了。"), QStringLiteral("夏天很热。"), QStringLiteral("秋天凉快。")})));
    QCOMPARE(Documents::readText(path),
             QStringLiteral("第1章\n春天来了。\n\n第2章\n夏天很热。\n\n第3章\n秋天凉快。"));
}

void TestDocuments::badInputsAreRefusedWithAReason_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason"); // part of the message
    QTest::newRow("missing") << m_dir.filePath(QStringLiteral("nowhere.txt")) << "不存在";
    QTest::newRow("folder") << m_dir.path() << "文件夹";
    QTest::newRow("binary") << writeFile(m_dir, "program.txt",
                                         QByteArray("\x7f"
                                                    "ELF\x02\x01\x01\0\0\0\0",
                                                    12)
                                             + QByteArray(100, '\0'))
                            << "不是文本";
    QTest::newRow("damaged EPUB") << writeFile(m_dir, "broken.epub", "PK\x03\x04 this is no archive at all") << "损坏";
    QByteArray truncated;
    {
        const QString whole = m_dir.filePath(QStringLiteral("whole.docx"));
        QVERIFY(writeZip(whole, docx({QStringLiteral("文字")})));
        QFile file(whole);
        QVERIFY(file.open(QIODevice::ReadOnly));
        truncated = file.readAll();
        truncated.chop(40);
    }
    QTest::newRow("truncated DOCX") << writeFile(m_dir, "cut.docx", truncated) << "损坏";
    const QString locked = m_dir.filePath(QStringLiteral("locked.docx"));
    QVERIFY(writeZip(locked, docx({QStringLiteral("秘密")}), "secret"));
    QTest::newRow("encrypted DOCX") << locked << "加密";
    const QString lockedOdt = m_dir.filePath(QStringLiteral("locked.odt"));
    QVERIFY(writeZip(lockedOdt, odt({QStringLiteral("秘密")}), "secret"));
    QTest::newRow("encrypted ODT") << lockedOdt << "加密";
    QTest::newRow("unknown archive") << [&] {
        const QString path = m_dir.filePath(QStringLiteral("photos.zip"));
        writeZip(path, {{"a.jpg", "not really"}});
        return path;
    }() << "压缩文件";
    QTest::newRow("damaged PDF") << writeFile(m_dir, "broken.pdf", "%PDF-1.7\n% nothing more\n") << "损坏";
    const QString scan = m_dir.filePath(QStringLiteral("scan.pdf"));
    QVERIFY(writePdf(scan, {}));
    QTest::newRow("PDF without text") << scan << "文字层";
    const QString plainPdf = m_dir.filePath(QStringLiteral("plain.pdf"));
    QVERIFY(writePdf(plainPdf, {QStringLiteral("秘密")}));
    const QString lockedPdf = m_dir.filePath(QStringLiteral("locked.pdf"));
    QCOMPARE(
        QProcess::execute(QStringLiteral("qpdf"), {"--encrypt", "user", "owner", "256", "--", plainPdf, lockedPdf}), 0);
    QTest::newRow("encrypted PDF") << lockedPdf << "加密";
    QFile huge(m_dir.filePath(QStringLiteral("huge.txt")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(Documents::MaxFileBytes + 1)); // sparse: no disk used
    huge.close();
    QTest::newRow("over the size limit") << huge.fileName() << "MB";
    // 300 MB of blanks packed into a few hundred kilobytes.
    const QString bomb = m_dir.filePath(QStringLiteral("bomb.docx"));
    QVERIFY(writeZip(bomb, {{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", QByteArray(300 << 20, ' ')}}));
    QTest::newRow("zip bomb") << bomb << "过大";
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE w [<!ENTITY a \"哈哈哈哈哈哈哈哈哈哈\">";
    for (char c = 'b'; c <= 'k'; ++c)
        laughs += QByteArray("<!ENTITY ") + c + " \""
            + QByteArray(10, '&').replace("&", QByteArray("&") + char(c - 1) + ";") + "\">";
    laughs +=
        "]><w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body><w:p><w:t>&k;"
        "</w:t></w:p></w:body></w:document>";
    const QString billion = m_dir.filePath(QStringLiteral("laughs.docx"));
    QVERIFY(writeZip(billion, {{"word/document.xml", laughs}}));
    QTest::newRow("billion laughs") << billion << "损坏";
    // A pipe would keep the reading thread (and the program) waiting for ever.
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.txt"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QTest::newRow("named pipe") << fifo << "普通文件";
    QTest::newRow("byte-order mark, then binary")
        << writeFile(m_dir, "bom.txt", QByteArray("\xEF\xBB\xBF" "abc\0\0\0\x01\x02", 11)) << "不是文本";
    QList<QPair<QString, QByteArray>> hollow = epub({QStringLiteral("一"), QStringLiteral("二")});
    hollow.removeIf([](const auto &entry) { return entry.first.startsWith(u"OEBPS/text/"); });
    const QString hollowBook = m_dir.filePath(QStringLiteral("hollow.epub"));
    QVERIFY(writeZip(hollowBook, hollow));
    QTest::newRow("EPUB with no chapter file") << hollowBook << "全部缺失";
}

// A book with one chapter file missing is read all the same, and says which.
void TestDocuments::missingChapterIsSkippedAndNamed()
{
    QList<QPair<QString, QByteArray>> entries =
        epub({QStringLiteral("第一段文字。"), QStringLiteral("第二段文字。"), QStringLiteral("第三段文字。")});
    entries.removeIf([](const auto &entry) { return entry.first == u"OEBPS/text/chapter 1.xhtml"; });
    const QString book = m_dir.filePath(QStringLiteral("gap.epub"));
    QVERIFY(writeZip(book, entries));
    QStringList notes;
    const QString text = Documents::readText(book, &notes);
    QVERIFY(text.contains(QStringLiteral("第一段文字")));
    QVERIFY(!text.contains(QStringLiteral("第二段文字")));
    QVERIFY(text.contains(QStringLiteral("第三段文字")));
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes.first().contains(QStringLiteral("chapter 1.xhtml")), qPrintable(notes.first()));
}

// Small markup must not stand for unbounded text: 56 KB of ODT once
// unpacked to a thousand million blanks.
void TestDocuments::repeatedSpacesAreBounded()
{
    constexpr int Elements = 100000;
    QByteArray content = "<?xml version=\"1.0\"?><office:document-content "
                         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                         "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:text>"
                         "<text:p>开始";
    for (int i = 0; i < Elements; ++i)
        content += "<text:s text:c=\"1000\"/>";
    content += "结束</text:p></office:text></office:body></office:document-content>";
    const QString path = m_dir.filePath(QStringLiteral("spaces.odt"));
    QVERIFY(writeZip(path, {{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", content}}));
    const QString text = Documents::readText(path);
    QVERIFY(text.startsWith(QStringLiteral("开始")) && text.endsWith(QStringLiteral("结束")));
    QVERIFY2(text.size() <= qsizetype(Elements) * 16 + 4, qPrintable(QString::number(text.size())));
}

// The refusal names the budget the archive was opened with, not the
// program's largest.
void TestDocuments::unpackBudgetIsTheOneGiven()
{
    const QString path = m_dir.filePath(QStringLiteral("two-megabytes.docx"));
    QVERIFY(writeZip(path, {{"word/document.xml", QByteArray(2 << 20, ' ')}}));
    ZipArchive archive(path, qint64(1) << 20);
    try {
        archive.read(QStringLiteral("word/document.xml"));
        QFAIL("read past its budget");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(QStringLiteral("1 MB")), qPrintable(failure.description()));
    }
}

// Many entries each well under the budget: the budget is the whole
// document's, not each entry's.
void TestDocuments::unpackBudgetCountsEveryEntry()
{
    const QString path = m_dir.filePath(QStringLiteral("many-entries.zip"));
    QList<QPair<QString, QByteArray>> entries;
    for (int i = 0; i < 8; ++i)
        entries.append({QStringLiteral("part%1.xml").arg(i), QByteArray(300 << 10, 'a')});
    QVERIFY(writeZip(path, entries));
    ZipArchive archive(path, qint64(1) << 20);
    int read = 0;
    try {
        for (const auto &entry : std::as_const(entries)) {
            archive.read(entry.first);
            ++read;
        }
        QFAIL("read past its budget");
    } catch (const Failure &) {
        QCOMPARE(read, 3); // 3 × 300 KiB fit in 1 MiB, the fourth does not
    }
}

// HTML's named entities are the characters they name; in an e-book's XHTML
// (no DTD) &nbsp; is still a space, and an entity nobody declared is no text.
void TestDocuments::namedEntitiesAreTheirCharacters_data()
{
    QTest::addColumn<bool>("xhtml");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("text");
    QTest::newRow("HTML nbsp") << false << QByteArray("<p>甲&nbsp;乙</p>") << "甲 乙";
    QTest::newRow("HTML amp lt gt quot") << false << QByteArray("<p>&amp;&lt;&gt;&quot;</p>") << "&<>\"";
    QTest::newRow("HTML mdash hellip copy") << false << QByteArray("<p>&mdash;&hellip;&copy;</p>") << "—…©";
    QTest::newRow("HTML numeric") << false << QByteArray("<p>&#20013;&#x6587;</p>") << "中文";
    QTest::newRow("XHTML nbsp without DTD") << true
                                            << QByteArray("<html xmlns=\"http://www.w3.org/1999/xhtml\"><body>"
                                                          "<p>甲&nbsp;乙</p></body></html>")
                                            << "甲 乙";
    QTest::newRow("XHTML dashes and quotes") << true
                                             << QByteArray("<html><body><p>&ldquo;甲&mdash;乙&hellip;&rdquo;</p></body></html>")
                                             << "“甲—乙…”";
    QTest::newRow("XHTML unknown name says nothing") << true
                                                     << QByteArray("<html><body><p>甲&bogus;乙</p></body></html>")
                                                     << "甲乙";
    QTest::newRow("XHTML predefined") << true
                                      << QByteArray("<html><body><p>&amp;&lt;&#20013;</p></body></html>") << "&<中";
}

void TestDocuments::namedEntitiesAreTheirCharacters()
{
    QFETCH(bool, xhtml);
    QFETCH(QByteArray, source);
    QFETCH(QString, text);
    const QString read = xhtml ? XmlText::xhtml(source) : RichText::html(QString::fromUtf8(source));
    QCOMPARE(read.trimmed(), text);
}

// Scripts are not read, however they are written, and depth that only slows
// Qt's import down is flattened; the text stays, in order.
void TestDocuments::htmlIsMadeSafeForQt_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");
    QTest::newRow("script") << "<p>前<script>var a = '<p>';</script>后</p>" << "前后";
    QTest::newRow("capitals and attributes") << "<p>前<SCRIPT type=\"x\">say()</SCRIPT >后</p>" << "前后";
    QTest::newRow("two scripts") << "甲<script>1</script>乙<script>2</script>丙" << "甲乙丙";
    QTest::newRow("unclosed script hides the rest") << "<p>前<script>x = 1; 后" << "前";
    QTest::newRow("not a script") << "<scripture>经文</scripture>" << "经文";
    QTest::newRow("quoted '>' inside a tag") << "<p title=\"a>b\">文字</p>" << "文字";
    QTest::newRow("comment") << "<!-- <div><div> -->正文" << "正文";
    QString deep;
    for (int i = 0; i < 3000; ++i)
        deep += QStringLiteral("<div><span>层</span>");
    deep += QString(QStringLiteral("</div>")).repeated(3000);
    QTest::newRow("3,000 nested blocks") << deep << QString(QStringLiteral("层")).repeated(3000);
}

void TestDocuments::htmlIsMadeSafeForQt()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QString read = RichText::html(html);
    read.remove(u'\n');
    QCOMPARE(read.simplified(), text);
}

void TestDocuments::badInputsAreRefusedWithAReason()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    const QString failure = failureOf(path);
    QVERIFY2(failure.contains(reason),
             qPrintable(failure.isEmpty() ? QStringLiteral("(read without failure)") : failure));
}

QTEST_MAIN(TestDocuments)
#include "tst_documents.moc"
