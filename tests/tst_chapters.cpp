// SPDX-License-Identifier: GPL-3.0-or-later
// Where a book's chapters begin and what it says of itself, for each kind
// of document: the headings a save splits at, the title, author and cover
// it tags the files with.
#include "documents/Chapters.h"
#include "documents/Documents.h"
#include "support/DocumentFiles.h"

#include <QtTest>

class TestChapters : public QObject
{
    Q_OBJECT

private slots:
    void chaptersOfEachKindOfDocument_data();
    void chaptersOfEachKindOfDocument();
    void chapterLines_data();
    void chapterLines();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QString writeZip(const QString &name, const QList<QPair<QString, QByteArray>> &entries);
    QTemporaryDir m_dir;
};

QString TestChapters::write(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(bytes);
    return file.fileName();
}

QString TestChapters::writeZip(const QString &name, const QList<QPair<QString, QByteArray>> &entries)
{
    const QString path = m_dir.filePath(name);
    return DocumentFiles::writeZip(path, entries) ? path : QString();
}

namespace {

const QByteArray Png("\x89PNG\r\n\x1a\n-not-really-a-picture", 30);

QList<QPair<QString, QByteArray>> wordWithHeadings()
{
    const QByteArray body = "<w:p><w:pPr><w:pStyle w:val=\"Title\"/></w:pPr><w:r><w:t>河边</w:t></w:r></w:p>"
                            "<w:p><w:pPr><w:pStyle w:val=\"Heading1\"/></w:pPr><w:r><w:t>第一章 </w:t></w:r>"
                            "<w:r><w:t>风起</w:t></w:r></w:p>"
                            "<w:p><w:r><w:t>柳树发芽了。</w:t></w:r></w:p>"
                            "<w:p><w:pPr><w:pStyle w:val=\"2\"/></w:pPr><w:r><w:t>小节</w:t></w:r></w:p>"
                            "<w:p><w:pPr><w:pStyle w:val=\"1\"/></w:pPr><w:r><w:t>第二章 云涌</w:t></w:r></w:p>"
                            "<w:p><w:r><w:t>雨来了。</w:t></w:r></w:p>";
    return {{"[Content_Types].xml", "<?xml version=\"1.0\"?><Types/>"},
            {"word/document.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document "
                                  "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
                                      + body + "</w:body></w:document>"},
            {"docProps/core.xml",
             "<?xml version=\"1.0\"?><cp:coreProperties xmlns:cp=\"x\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
             "<dc:title>河边的小屋</dc:title><dc:creator>王小明</dc:creator></cp:coreProperties>"}};
}

QList<QPair<QString, QByteArray>> openDocumentWithHeadings()
{
    return {{"mimetype", "application/vnd.oasis.opendocument.text"},
            {"content.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
             "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
             "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:text>"
             "<text:h text:outline-level=\"1\">序</text:h><text:p>开头的话。</text:p>"
             "<text:h text:outline-level=\"2\">不是章</text:h>"
             "<text:h text:outline-level=\"1\">第一章 风起</text:h><text:p>柳树发芽了。</text:p>"
             "</office:text></office:body></office:document-content>"},
            {"meta.xml", "<?xml version=\"1.0\"?><office:document-meta xmlns:office=\"o\" xmlns:dc=\"d\" "
                         "xmlns:meta=\"m\"><office:meta><dc:title>小屋</dc:title>"
                         "<meta:initial-creator>李华</meta:initial-creator></office:meta></office:document-meta>"}};
}

QList<QPair<QString, QByteArray>> bookWithCover()
{
    QList<QPair<QString, QByteArray>> entries = DocumentFiles::epub({"春天来了。", "夏天的雨。", "秋天到了。"});
    for (auto &entry : entries)
        if (entry.first.endsWith(u".opf"))
            entry.second.replace(
                "<manifest>",
                "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>四季</dc:title>"
                "<dc:creator>张三</dc:creator><dc:creator>李四</dc:creator><meta name=\"cover\" content=\"pic\"/>"
                "</metadata><manifest><item id=\"pic\" href=\"images/cover.png\" media-type=\"image/png\"/>");
    entries.append({"OEBPS/images/cover.png", Png});
    return entries;
}

} // namespace

void TestChapters::chaptersOfEachKindOfDocument_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("chapters");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("author");
    QTest::addColumn<QByteArray>("cover");
    QTest::newRow("plain text, lines that name chapters")
        << write("book.txt", "河边的小屋\n\n第一章 风起\n柳树发芽了。\n第二章：云涌\n雨来了。\n  第12回 归来  \n"
                             "第三章节课很有趣，不是一章。\n后记\n完。")
        << QStringList{"第一章 风起", "第二章：云涌", "第12回 归来", "后记"} << "" << "" << QByteArray();
    QTest::newRow("plain text, English chapters")
        << write("english.txt", "Chapter 1\nIt rained.\nCHAPTER II The Storm\nIt poured.\nThe chapter ended.")
        << QStringList{"Chapter 1", "CHAPTER II The Storm"} << "" << "" << QByteArray();
    // As a manual's text export writes them: no-break spaces in 第 1 章, and
    // a wrapped line that happens to begin with 附录.
    QTest::newRow("plain text, no-break spaces, a wrapped line")
        << write("manual.txt", "序言\n\n    本书。\n\n第\u00a01\u00a0章 教程\n\n    见 Unicode 标准\n    附录 #11）。\n\n"
                               "第\u00a02\u00a0章 软件包\n\n    内容。")
        << QStringList{"序言", "第 1 章 教程", "第 2 章 软件包"} << "" << "" << QByteArray();
    // A bare label takes the short line below it as its title, not a
    // sentence and not the next chapter.
    QTest::newRow("plain text, titles under bare labels")
        << write("printed.txt", "Chapter 1\nThe River House\n天亮了。\n第二章\n\n  风起  \n柳树发芽了。\n"
                                "第三章\n雨来了，天黑了。\n第四章\n第五章 归来\n完。")
        << QStringList{"Chapter 1 The River House", "第二章 风起", "第三章", "第四章", "第五章 归来"} << "" << ""
        << QByteArray();
    QTest::newRow("plain text, a bare label under a long line, and at the text's end")
        << write("edges.txt", "卷一\n" + QString(41, u'长').toUtf8() + "\n正文。\n卷二\n")
        << QStringList{"卷一", "卷二"} << "" << "" << QByteArray();
    QTest::newRow("plain text, one chapter line is no chapters")
        << write("one.txt", "第一章 风起\n柳树发芽了。") << QStringList{} << "" << "" << QByteArray();
    QTest::newRow("Markdown: the only # is the title, ## are the chapters")
        << write("book.md", "# 四季\n\n引言。\n\n## 春\n\n柳树。\n\n### 小节\n\n## 夏\n\n雨。\n")
        << QStringList{"春", "夏"} << "" << "" << QByteArray();
    QTest::newRow("HTML: h1 chapters, the page's title")
        << write("book.html", "<html><head><title>四季 </title></head><body><h1>春</h1><p>柳树。</p><h2>小</h2>"
                              "<h1>夏</h1><p>雨。</p></body></html>")
        << QStringList{"春", "夏"} << "四季" << "" << QByteArray();
    QTest::newRow("DOCX: Heading1 and Chinese Word's style 1, core properties")
        << writeZip("book.docx", wordWithHeadings()) << QStringList{"第一章 风起", "第二章 云涌"} << "河边的小屋"
        << "王小明" << QByteArray();
    QTest::newRow("ODT: outline level 1, meta.xml")
        << writeZip("book.odt", openDocumentWithHeadings()) << QStringList{"序", "第一章 风起"} << "小屋" << "李华"
        << QByteArray();
    QTest::newRow("EPUB: a chapter per spine item, the package's title, first author, cover")
        << writeZip("book.epub", bookWithCover()) << QStringList{"第1章", "第2章", "第3章"} << "四季" << "张三"
        << Png;
}

void TestChapters::chaptersOfEachKindOfDocument()
{
    QFETCH(QString, path);
    QFETCH(QStringList, chapters);
    QFETCH(QString, title);
    QFETCH(QString, author);
    QFETCH(QByteArray, cover);
    const Documents::Document document = Documents::read(path);
    QStringList found;
    for (const Documents::Heading &chapter : Documents::chapters(document)) {
        found << chapter.title;
        // The chapter's file begins with its heading's lines (its title, with
        // spaces and line breaks made plain).
        QVERIFY2(document.text.mid(chapter.offset, chapter.title.size() + 20).simplified().startsWith(chapter.title),
                 qPrintable(chapter.title));
    }
    QCOMPARE(found, chapters);
    QCOMPARE(document.info.title, title);
    QCOMPARE(document.info.author, author);
    QCOMPARE(document.info.cover, cover);
    // The marks that carried the headings are gone from what is read.
    QVERIFY(std::none_of(document.text.cbegin(), document.text.cend(), Documents::isHeadingMark));
    QCOMPARE(Documents::readText(path), document.text);
}

void TestChapters::chapterLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("chapter");
    QTest::newRow("第一章") << "第一章" << true;
    QTest::newRow("第十二章 with title") << "第十二章 归来" << true;
    QTest::newRow("第 3 章, full-width colon") << "第 3 章：雨" << true;
    QTest::newRow("第一百二十回") << "第一百二十回 结局" << true;
    QTest::newRow("卷三") << "卷三" << true;
    QTest::newRow("楔子") << "楔子" << true;
    QTest::newRow("Chapter 12") << "Chapter 12" << true;
    QTest::newRow("Part Two") << "Part Two: Home" << true;
    QTest::newRow("a sentence about a chapter") << "第一章讲的是春天，第二章讲夏天。" << false;
    QTest::newRow("第三章节课") << "第三章节课很有趣" << false;
    QTest::newRow("too long for a title") << "第一章 " + QString(50, u'长') << false;
    QTest::newRow("序 inside a word") << "序列号是多少" << false;
    QTest::newRow("chapter in a sentence") << "The chapter ended." << false;
}

void TestChapters::chapterLines()
{
    QFETCH(QString, line);
    QFETCH(bool, chapter);
    QCOMPARE(Documents::isChapterLine(line), chapter);
}

QTEST_GUILESS_MAIN(TestChapters)
#include "tst_chapters.moc"
