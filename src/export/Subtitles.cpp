// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Subtitles.h"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

namespace Subtitles {

namespace {

struct Span
{
    qsizetype start, end;
};

bool opens(QChar c)
{
    return c.category() == QChar::Punctuation_Open || c.category() == QChar::Punctuation_InitialQuote;
}

// ICU keeps closing marks with the sentence they close, and, by the same
// rule, opening ones that follow the full stop ("。（"): those start the
// next sentence.
void giveOpeningMarksToTheNext(const QString &text, QList<Span> &spans)
{
    for (qsizetype i = 0; i + 1 < spans.size(); ++i) {
        qsizetype k = spans[i].end;
        while (k > spans[i].start && (text[k - 1].isSpace() || opens(text[k - 1])))
            --k;
        while (k < spans[i].end && !opens(text[k]))
            ++k; // the blanks before the first opening mark stay
        if (k < spans[i].end && k > spans[i].start) {
            spans[i].end = k;
            spans[i + 1].start = k;
        }
    }
}

QList<Span> sentenceSpans(const QString &text)
{
    QList<Span> spans;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createSentenceInstance(icu::Locale("zh"), status));
    if (U_FAILURE(status))
        return {{0, text.size()}};
    const icu::UnicodeString alias(false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
    iterator->setText(alias);
    for (int32_t start = iterator->first(), end = iterator->next(); end != icu::BreakIterator::DONE;
         start = end, end = iterator->next())
        spans.append({start, end});
    giveOpeningMarksToTheNext(text, spans);
    return spans;
}

QString shown(QStringView text) { return text.toString().simplified(); }

// Cuts each cue's end at the next cue's start.
void chain(QList<Cue> &cues, qint64 totalSamples)
{
    for (qsizetype i = 0; i < cues.size(); ++i)
        cues[i].end = i + 1 < cues.size() ? cues[i + 1].start : std::max(totalSamples, cues[i].start);
}

QString lrcTime(qint64 sample, int rate)
{
    const qint64 centis = (sample * 100 + rate / 2) / rate;
    return QStringLiteral("[%1:%2.%3]")
        .arg(centis / 6000, 2, 10, QChar(u'0'))
        .arg(centis / 100 % 60, 2, 10, QChar(u'0'))
        .arg(centis % 100, 2, 10, QChar(u'0'));
}

QString srtTime(qint64 sample, int rate)
{
    const qint64 ms = (sample * 1000 + rate / 2) / rate;
    return QStringLiteral("%1:%2:%3,%4")
        .arg(ms / 3600000, 2, 10, QChar(u'0'))
        .arg(ms / 60000 % 60, 2, 10, QChar(u'0'))
        .arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(ms % 1000, 3, 10, QChar(u'0'));
}

// The sentences with the words that fall in each, in order.
template <typename F> void forEachSentence(const QString &text, const QList<Word> &words, F &&f)
{
    qsizetype w = 0;
    for (const Span &span : sentenceSpans(text)) {
        QList<Word> inside;
        while (w < words.size() && words[w].position < span.end) {
            if (words[w].position >= span.start)
                inside.append(words[w]);
            ++w;
        }
        if (!inside.isEmpty())
            f(span, inside);
    }
}

} // namespace

QList<Cue> sentences(const QString &text, const QList<Word> &words, qint64 totalSamples)
{
    QList<Cue> out;
    forEachSentence(text, words, [&](const Span &span, const QList<Word> &inside) {
        out.append({inside.first().sample, 0, shown(QStringView(text).mid(span.start, span.end - span.start))});
    });
    chain(out, totalSamples);
    return out;
}

QList<Cue> cues(const QString &text, const QList<Word> &words, qint64 totalSamples)
{
    QList<Cue> out;
    forEachSentence(text, words, [&](const Span &span, const QList<Word> &inside) {
        // A new cue starts at the word that would make the current one too
        // long (with what follows it up to the next word).
        qsizetype cueStart = span.start;
        qint64 cueSample = inside.first().sample;
        qsizetype firstWord = 0;
        for (qsizetype i = 0; i < inside.size(); ++i) {
            const qsizetype reach = i + 1 < inside.size() ? inside[i + 1].position : span.end;
            if (reach - cueStart > MaxCueChars && i > firstWord) {
                out.append({cueSample, 0, shown(QStringView(text).mid(cueStart, inside[i].position - cueStart))});
                cueStart = inside[i].position;
                cueSample = inside[i].sample;
                firstWord = i;
            }
        }
        out.append({cueSample, 0, shown(QStringView(text).mid(cueStart, span.end - cueStart))});
    });
    out.removeIf([](const Cue &c) { return c.text.isEmpty(); });
    chain(out, totalSamples);
    return out;
}

QString lrcLine(const Cue &sentence, int sampleRate)
{
    return lrcTime(sentence.start, sampleRate) + sentence.text + u'\n';
}

QString srtEntry(qsizetype number, const Cue &cue, int sampleRate)
{
    return QStringLiteral("%1\n%2 --> %3\n%4\n\n")
        .arg(number)
        .arg(srtTime(cue.start, sampleRate), srtTime(cue.end, sampleRate), cue.text);
}

} // namespace Subtitles
