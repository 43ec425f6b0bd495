// SPDX-License-Identifier: GPL-3.0-or-later
// The text handling between the reader and espeak-ng: cutting texts into
// pieces, mapping espeak-ng's code-point positions back to UTF-16, cleaning
// up its word ranges, the rate scale, and when text is read as markup.
#include "synth/text/MarkupCheck.h"
#include "synth/text/SpeechRate.h"
#include "synth/text/SsmlText.h"
#include "synth/text/TextPieces.h"
#include "support/IcuWords.h"
#include "synth/text/WordGrouping.h"
#include "synth/text/WordPositionFilter.h"

#include <QTest>

#include <cmath>

class TestSpeechText : public QObject
{
    Q_OBJECT

private slots:
    void piecesCoverTheTextExactly_data();
    void piecesCoverTheTextExactly();
    void piecesAreSentences_data();
    void piecesAreSentences();
    void longRunsAreCutWithoutSplittingSurrogates();
    void codePointPositionsMapToUtf16();
    void unreadableCharactersKeepTheirCount();
    void engineTextOfEveryWidth_data();
    void engineTextOfEveryWidth();

    void wordRangesAreCleanedUp_data();
    void wordRangesAreCleanedUp();
    void wordRangesNeverGoBackwards();
    void entityWordsLandOnTheEntity();
    void wordsAreGroupedAsICUSegmentsThem_data();
    void wordsAreGroupedAsICUSegmentsThem();
    void wordsSaidWithoutAnEventOfTheirOwnAreRaised_data();
    void wordsSaidWithoutAnEventOfTheirOwnAreRaised();

    void rateScale();
    void chineseSpeaksFasterByDefault();

    void markupIsReadOnlyWhenWellFormedAndKnown_data();
    void markupIsReadOnlyWhenWellFormedAndKnown();
    void markupIsSaidAsItsTextWithItsMarks_data();
    void markupIsSaidAsItsTextWithItsMarks();
};

void TestSpeechText::piecesCoverTheTextExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("english") << QStringLiteral("One sentence. Another one! And a third? Yes.");
    QTest::newRow("chinese") << QStringLiteral("今天天气很好。我们去公园散步吧！好不好？");
    QTest::newRow("no punctuation") << QString(1000, QChar(u'字'));
    QTest::newRow("emoji run") << QString::fromUtf8("😀").repeated(500);
    QTest::newRow("mixed") << QStringLiteral("第1章\n\nHello, 世界；x<y & z…end");
}

void TestSpeechText::piecesCoverTheTextExactly()
{
    QFETCH(QString, text);
    QString joined;
    qsizetype from = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        const TextPiece piece = nextPlainPiece(text, from, 240);
        if (piece.length == 0)
            break;
        QCOMPARE(piece.offset, from);
        QVERIFY(piece.codePointOffsets.size() - 1 <= 240);
        QCOMPARE(piece.codePointOffsets.last(), piece.length);
        joined += text.mid(from, piece.length);
        from += piece.length;
    }
    QCOMPARE(joined, text);
}

void TestSpeechText::piecesAreSentences_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("mixed") << QStringLiteral("第一句话。第二句，还有逗号。Third one. 4.5 stays")
                           << QStringList{"第一句话。", "第二句，还有逗号。", "Third one. ", "4.5 stays"};
    // A closing quote stays with its sentence.
    QTest::newRow("quote") << QStringLiteral("他说：“好。”然后走了。") << QStringList{"他说：“好。”", "然后走了。"};
    QTest::newRow("full-width stop") << QStringLiteral("第一句．第二句．") << QStringList{"第一句．", "第二句．"};
    QTest::newRow("bracket") << QStringLiteral("（这是括号里的话。）下一句。")
                             << QStringList{"（这是括号里的话。）", "下一句。"};
    // Lines wrapped at a width are not sentences; short lines and ends are.
    const QString wrapped = QStringLiteral("这是一段按照固定宽度折行的中文文字，读的时候不应该在行尾停顿，因为广\n"
                                           "泛的词语可能被拆开。下一句。");
    QTest::newRow("hard-wrapped Chinese") << wrapped << QStringList{wrapped.chopped(4), "下一句。"};
    const QString english = QStringLiteral("A line of English wrapped at a fixed width goes\non here. Next.");
    QTest::newRow("hard-wrapped English") << english << QStringList{english.chopped(5), "Next."};
    QTest::newRow("short lines are verses and headings")
        << QStringLiteral("静夜思\n李白\n床前明月光") << QStringList{"静夜思\n", "李白\n", "床前明月光"};
    const QString line = QStringLiteral("这是一段按照固定宽度折行的中文文字，读的时候不应该在行尾停顿");
    QTest::newRow("blank line") << line + "\n\n下一段" << QStringList{line + "\n", "\n", "下一段"};
    QTest::newRow("indented next line") << line + "\n　　下一段" << QStringList{line + "\n", "　　下一段"};
    QTest::newRow("full stop at the line's end") << line + "。\n下一句" << QStringList{line + "。\n", "下一句"};
    QTest::newRow("quote closing a sentence") << line + "。”\n下一句" << QStringList{line + "。”\n", "下一句"};
}

void TestSpeechText::piecesAreSentences()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pieces);
    QStringList made;
    for (qsizetype from = 0;;) {
        const TextPiece piece = nextPlainPiece(text, from, 240);
        if (piece.length == 0)
            break;
        made << text.mid(from, piece.length);
        from += piece.length;
    }
    QCOMPARE(made, pieces);
}

void TestSpeechText::longRunsAreCutWithoutSplittingSurrogates()
{
    // 100,000 Hanzi in a row made espeak-ng lose words; they are cut into
    // pieces, and a piece never ends between the halves of a surrogate pair.
    const QString text = QStringLiteral("字") + QString::fromUtf8("𠀀").repeated(300);
    // Cut at one of ICU's word boundaries before the limit.
    const TextPiece first = nextPlainPiece(text, 0, 100);
    QVERIFY(first.codePointOffsets.size() - 1 <= 100);
    QVERIFY(first.codePointOffsets.size() - 1 > 50);
    QVERIFY(!text[first.length].isLowSurrogate());
    const auto segments = icuWords(text);
    QVERIFY(std::any_of(segments.begin(), segments.end(),
                        [&](const auto &w) { return w.first + w.second == first.length; }));

    // A blank near the limit is a better cut than the middle of a word.
    const QString words = QString(80, u'a') + u' ' + QString(80, u'b');
    QCOMPARE(nextPlainPiece(words, 0, 100).length, 81);
}

void TestSpeechText::codePointPositionsMapToUtf16()
{
    // espeak-ng numbers code points from 1; an emoji before a word must not shift it.
    const QString text = QString::fromUtf8("我😀你好 ok");
    const TextPiece piece = wholeTextPiece(text);
    QCOMPARE(piece.toUtf16Range(1, 1), std::make_pair(qsizetype(0), qsizetype(1)));
    QCOMPARE(piece.toUtf16Range(2, 1), std::make_pair(qsizetype(1), qsizetype(3)));
    QCOMPARE(piece.toUtf16Range(3, 1), std::make_pair(qsizetype(3), qsizetype(4)));
    QCOMPARE(piece.toUtf16Range(6, 2), std::make_pair(qsizetype(6), qsizetype(8)));
    // Out-of-range reports are clamped to the text.
    QCOMPARE(piece.toUtf16Range(0, 1), std::make_pair(qsizetype(0), qsizetype(1)));
    QCOMPARE(piece.toUtf16Range(50, 3), std::make_pair(qsizetype(8), qsizetype(8)));
    QCOMPARE(piece.toUtf16Range(7, 99), std::make_pair(qsizetype(7), qsizetype(8)));

    // A piece in the middle adds its own offset.
    const QString two = QStringLiteral("你好。世界。");
    const TextPiece second = nextPlainPiece(two, 3, 240);
    QCOMPARE(second.toUtf16Range(2, 1), std::make_pair(qsizetype(4), qsizetype(5)));
}

void TestSpeechText::unreadableCharactersKeepTheirCount()
{
    QString text = QStringLiteral("a");
    text += QChar(0);
    text += QChar(0xd800); // lone high surrogate
    text += QChar(0x7);
    text += QStringLiteral("b");
    QList<qsizetype> offsets;
    const QByteArray utf8 = synthesisSafeUtf8(text, &offsets);
    QVERIFY(!utf8.contains('\0'));
    QCOMPARE(QString::fromUtf8(utf8).size(), text.size());
    QCOMPARE(offsets, QList<qsizetype>({0, 1, 2, 3, 4, 5}));
}

// Every width of UTF-8, and what the engine must not see, side by side.
void TestSpeechText::engineTextOfEveryWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QList<qsizetype>>("offsets");
    QTest::newRow("empty") << QString() << QByteArray() << QList<qsizetype>{0};
    QTest::newRow("one to four bytes") << QString::fromUtf8("aé中😀") << QByteArray("a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80")
                                      << QList<qsizetype>{0, 1, 2, 3, 5};
    QTest::newRow("a lone low surrogate between") << (QStringLiteral("中") + QChar(0xdc00) + QStringLiteral("文"))
                                                  << QByteArray("\xe4\xb8\xad \xe6\x96\x87") << QList<qsizetype>{0, 1, 2, 3};
    QTest::newRow("a high surrogate at the end") << (QStringLiteral("a") + QChar(0xd83d)) << QByteArray("a ")
                                                 << QList<qsizetype>{0, 1, 2};
    QTest::newRow("replacement and delete") << QString::fromUtf8("x\uFFFD\x7F\ty") << QByteArray("x  \ty")
                                            << QList<qsizetype>{0, 1, 2, 3, 4, 5};
}

void TestSpeechText::engineTextOfEveryWidth()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, utf8);
    QFETCH(QList<qsizetype>, offsets);
    QList<qsizetype> found{7, 7}; // replaced, not added to
    QCOMPARE(synthesisSafeUtf8(text, &found), utf8);
    QCOMPARE(found, offsets);
}

void TestSpeechText::wordRangesAreCleanedUp_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("expectedStart"); // -1: dropped
    QTest::addColumn<int>("expectedLength");
    const QString emoji = QString::fromUtf8("a😀b");
    QTest::newRow("plain") << QStringLiteral("hello world") << 6 << 11 << 6 << 5;
    QTest::newRow("empty range") << QStringLiteral("hello") << 2 << 2 << -1 << 0;
    QTest::newRow("negative start") << QStringLiteral("hello") << -4 << 3 << 0 << 3;
    QTest::newRow("past the end") << QStringLiteral("hello") << 3 << 40 << 3 << 2;
    QTest::newRow("starts past the end") << QStringLiteral("hello") << 9 << 12 << -1 << 0;
    QTest::newRow("trailing blank") << QStringLiteral("00.00 x") << 0 << 6 << 0 << 5;
    QTest::newRow("inside a pair") << emoji << 2 << 3 << 1 << 2;
    QTest::newRow("ends inside a pair") << emoji << 0 << 2 << 0 << 3;
}

void TestSpeechText::wordRangesAreCleanedUp()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, expectedStart);
    QFETCH(int, expectedLength);
    WordPositionFilter filter(text, false);
    const auto word = filter.accept(start, end);
    if (expectedStart < 0) {
        QVERIFY(!word);
        return;
    }
    QVERIFY(word);
    QCOMPARE(word->first, expectedStart);
    QCOMPARE(word->second, expectedLength);
}

void TestSpeechText::wordRangesNeverGoBackwards()
{
    // What espeak-ng reports for "Hello world 2024年 1,000.00" (in UTF-16 after mapping).
    const QString text = QStringLiteral("Hello world 2024年 1,000.00 ok");
    WordPositionFilter filter(text, false);
    const QList<std::pair<int, int>> raw = {{0, 5},   {6, 11},  {12, 16}, {13, 17}, {12, 16}, {16, 17},
                                            {18, 20}, {19, 21}, {20, 26}, {21, 27}, {3, 5},   {27, 29}};
    QStringList accepted;
    for (const auto &[start, end] : raw)
        if (const auto word = filter.accept(start, end))
            accepted << text.mid(word->first, word->second);
    QCOMPARE(accepted, QStringList({"Hello", "world", "2024", "年", "1,", "000.00", "ok"}));
}

void TestSpeechText::entityWordsLandOnTheEntity()
{
    const QString text = QStringLiteral("AT&amp;T rocks");
    WordPositionFilter markup(text, true);
    QCOMPARE(markup.accept(0, 2), std::make_optional(std::make_pair(0L, 2L)));
    QCOMPARE(markup.accept(6, 7), std::make_optional(std::make_pair(2L, 5L))); // reported on the ';'
    QCOMPARE(markup.accept(7, 8), std::make_optional(std::make_pair(7L, 1L)));
    // Plain text has no entities: the same range is left alone.
    WordPositionFilter plain(text, false);
    QCOMPARE(plain.accept(6, 7), std::make_optional(std::make_pair(6L, 1L)));
}

void TestSpeechText::rateScale()
{
    const double step = std::pow(3.0, 0.1);
    for (long rate = -10; rate <= 10; ++rate) {
        const SpeechSpeed speed = speechSpeedFor(rate, 175);
        const double effective = speed.wordsPerMinute * speed.stretch;
        QVERIFY2(std::abs(effective - 175 * std::pow(step, rate)) < 1.0, qPrintable(QString::number(rate)));
        QVERIFY(speed.wordsPerMinute >= 80 && speed.wordsPerMinute <= 450);
    }
    // Below the synthesiser's floor the speed comes from stretching, not clamping.
    const SpeechSpeed slowest = speechSpeedFor(-10, 175);
    QCOMPARE(slowest.wordsPerMinute, 80);
    QVERIFY(slowest.stretch < 0.75);
    QCOMPARE(speechSpeedFor(0, 175).stretch, 1.0);
    // Out-of-range rates act as the nearest end.
    QCOMPARE(speechSpeedFor(99, 175).stretch, speechSpeedFor(10, 175).stretch);
}

void TestSpeechText::chineseSpeaksFasterByDefault()
{
    QVERIFY(normalWordsPerMinute(QStringLiteral("cmn")) > normalWordsPerMinute(QStringLiteral("en-us")));
    QCOMPARE(normalWordsPerMinute(QStringLiteral("yue")), normalWordsPerMinute(QStringLiteral("cmn")));
    QCOMPARE(normalWordsPerMinute(QStringLiteral("fr-fr")), 175);
}

void TestSpeechText::markupIsReadOnlyWhenWellFormedAndKnown_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("markup");
    QTest::newRow("plain") << QStringLiteral("just words") << false;
    QTest::newRow("less than") << QStringLiteral("x<y and y>z") << false;
    QTest::newRow("bare ampersand") << QStringLiteral("AT&T") << false;
    QTest::newRow("unclosed tag") << QStringLiteral("hello <prosody rate='slow'>world") << false;
    QTest::newRow("unknown element") << QStringLiteral("<script>alert(1)</script>") << false;
    QTest::newRow("doctype") << QStringLiteral("<!DOCTYPE x [<!ENTITY a 'b'>]><speak>&a;</speak>") << false;
    QTest::newRow("undefined entity") << QStringLiteral("a &nbsp; b") << false;
    QTest::newRow("speak element") << QStringLiteral("<speak>hello <break time='1s'/> world</speak>") << true;
    QTest::newRow("fragment") << QStringLiteral("hello <emphasis>world</emphasis>") << true;
    QTest::newRow("entity") << QStringLiteral("AT&amp;T") << true;
    QTest::newRow("audio is admitted, never fetched")
        << QStringLiteral("<audio src='file:///etc/passwd'>x</audio>") << true;
}

void TestSpeechText::markupIsReadOnlyWhenWellFormedAndKnown()
{
    QFETCH(QString, text);
    QFETCH(bool, markup);
    QCOMPARE(readAsMarkup(text), markup);
}

void TestSpeechText::markupIsSaidAsItsTextWithItsMarks_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("marks"); // name@place in what is said
    QTest::addColumn<QStringList>("words"); // each said character's markup, from its place to the next's
    QTest::newRow("a fragment") << "你好" << "你好" << QStringList{} << QStringList{"你", "好"};
    QTest::newRow("in speak") << "<speak>你好</speak>" << "你好" << QStringList{} << QStringList{"你", "好"};
    QTest::newRow("marks at the start, in the middle, at the end")
        << "<speak><mark name=\"a\"/>银行<mark name=\"b\"/>行长<mark name=\"c\"/></speak>" << "银行行长"
        << QStringList{"a@0", "b@2", "c@4"} << QStringList{"银", "行", "行", "长"};
    QTest::newRow("entities are one character each")
        << "a&amp;b &lt;c&gt;" << "a&b <c>" << QStringList{} << QStringList{"a", "&amp;", "b", " ", "&lt;", "c", "&gt;"};
    QTest::newRow("a sub says its alias") << "<sub alias=\"世界\">WORLD</sub>!" << "世界!" << QStringList{}
                                           << QStringList{"W", "W", "!"};
    QTest::newRow("paragraphs and breaks end lines")
        << "<p>一</p><p>二<break/>三</p>" << "一\n二\n三\n" << QStringList{}
        << QStringList{"一", "", "二", "", "三", ""};
    QTest::newRow("a mark with no name is still a mark") << "好<mark/>的" << "好的" << QStringList{"@1"}
                                                          << QStringList{"好", "的"};
    QTest::newRow("what cannot be read is said as written")
        << "好<p>的</q>人" << "好\n的</q>人" << QStringList{} << QStringList{"好", "", "的", "<", "/", "q", ">", "人"};
}

void TestSpeechText::markupIsSaidAsItsTextWithItsMarks()
{
    QFETCH(QString, markup);
    QFETCH(QString, said);
    QFETCH(QStringList, marks);
    QFETCH(QStringList, words);
    const SsmlText read = readSsml(markup);
    QCOMPARE(read.text, said);
    QStringList gotMarks;
    for (const SsmlText::Mark &m : read.marks)
        gotMarks << QStringLiteral("%1@%2").arg(m.name).arg(m.at);
    QCOMPARE(gotMarks, marks);
    QCOMPARE(read.source.size(), read.text.size() + 1);
    QStringList gotWords;
    for (qsizetype i = 0; i < read.text.size(); ++i) {
        // A line break stands for a tag: it has no characters of its own to select.
        if (read.text[i] == u'\n') {
            gotWords << QString();
            continue;
        }
        const auto [from, length] = read.sourceRange(i, 1);
        const qsizetype next = read.source[i + 1];
        gotWords << markup.mid(from, std::max<qsizetype>(length, next > from && markup[from] == u'&' ? next - from : length));
    }
    QCOMPARE(gotWords, words);
}

void TestSpeechText::wordsSaidWithoutAnEventOfTheirOwnAreRaised_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("events"); // start, end of each event the engine raises
    QTest::addColumn<QStringList>("raised");
    // The engine says "of the", "in the" as one word and raises only the first.
    QTest::newRow("of the") << "sound of the rain" << QList<int>{0, 5, 6, 8, 13, 17}
                            << QStringList{"sound", "of", "the", "rain"};
    QTest::newRow("two skipped, punctuation")
        << "in the old, dry air." << QList<int>{0, 2, 16, 19} << QStringList{"in", "the", "old", "dry", "air"};
    QTest::newRow("Hanzi have their own") << "我们的书" << QList<int>{0, 1, 3, 4} << QStringList{"我", "书"};
    QTest::newRow("only punctuation between") << "one, two" << QList<int>{0, 3, 5, 8} << QStringList{"one", "two"};
    QTest::newRow("repeat is no gap") << "1,000 yuan" << QList<int>{0, 5, 2, 5, 6, 10} << QStringList{"1,000", "yuan"};
}

void TestSpeechText::wordsSaidWithoutAnEventOfTheirOwnAreRaised()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, events);
    QFETCH(QStringList, raised);
    WordPositionFilter filter(text, false);
    QStringList words;
    for (qsizetype i = 0; i + 1 < events.size(); i += 2) {
        for (const auto &[position, length] : filter.skippedBefore(events[i]))
            words << text.mid(position, length);
        if (const auto word = filter.accept(events[i], events[i + 1]))
            words << text.mid(word->first, word->second);
    }
    QCOMPARE(words, raised);
}

namespace {

bool isDictionaryScript(QChar c)
{
    const auto s = c.script();
    return s == QChar::Script_Han || s == QChar::Script_Hiragana || s == QChar::Script_Katakana
        || s == QChar::Script_Thai;
}

} // namespace

void TestSpeechText::wordsAreGroupedAsICUSegmentsThem_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("Chinese") << QStringLiteral("文字本来是有声音的。");
    QTest::newRow("Chinese with quotes") << QStringLiteral("他说：“好。”然后走了。");
    QTest::newRow("Japanese") << QStringLiteral("今日はとても良い天気ですね。");
    QTest::newRow("Thai") << QStringLiteral("ภาษาไทยง่ายนิดเดียว");
    QTest::newRow("mixed") << QStringLiteral("我在2024年买了3个apple，花了很多钱。OK");
}

// The engine raises a word per Hanzi (and kana, and Thai syllable); the
// reader raises ICU's words, each once, at the time of its first part;
// Latin and digits keep the engine's words; punctuation is never a word.
void TestSpeechText::wordsAreGroupedAsICUSegmentsThem()
{
    QFETCH(QString, text);
    const QList<QPair<long, long>> expected = icuWords(text);
    QVERIFY(!expected.isEmpty());
    WordGrouping grouping(text);
    QList<QPair<long, long>> raised;
    QList<int> eventOfWord; // which engine event raised each word
    int event = 0;
    const auto engineWord = [&](long start, long length) {
        ++event;
        if (const auto word = grouping.group(start, length)) {
            raised.append({word->first, word->second});
            eventOfWord.append(event);
        }
    };
    for (qsizetype i = 0; i < text.size();) {
        if (isDictionaryScript(text[i])) {
            engineWord(long(i), 1); // one event per character
            ++i;
        } else if (text[i].isLetterOrNumber()) {
            qsizetype end = i;
            while (end < text.size() && text[end].isLetterOrNumber() && !isDictionaryScript(text[end]))
                ++end;
            engineWord(long(i), long(end - i));
            i = end;
        } else {
            engineWord(long(i), 1); // the engine sometimes reports punctuation too
            ++i;
        }
    }
    QCOMPARE(raised, expected);
    // Each grouped word came with the event of its first character.
    for (qsizetype w = 1; w < raised.size(); ++w)
        QVERIFY(eventOfWord[w] > eventOfWord[w - 1]);
}

QTEST_GUILESS_MAIN(TestSpeechText)
#include "tst_speechtext.moc"
