// SPDX-License-Identifier: GPL-3.0-or-later
// The labelled polyphone sentences as the reading model sees them, for
// tools/train-polyphones.py; and the front end's score on them.
//
//   polyphone_features DICTIONARY features FILE.tsv...
//       one line per sentence: its line, the label, the character, the reading the
//       dictionary and rules give, then the features, tab-separated
//   polyphone_features DICTIONARY score MODEL|- FILE.tsv...
//       per file: sentences, right without the model, right with it, the
//       same for the characters with two or more readings in the file, and
//       the characters most often wrong (with MODEL "-": without one);
//       each sentence read wrong on standard error
//
// A line of FILE.tsv: a sentence with one character between two U+2581,
// a tab, and its reading (pinyin, tone digit, "u:" for u-umlaut).
#include "synth/mandarin/MandarinFrontEnd.h"
#include "synth/mandarin/PolyphoneFeatures.h"
#include "synth/mandarin/PolyphoneModel.h"
#include "synth/mandarin/ReadingDictionary.h"
#include "synth/mandarin/TextNormaliser.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

struct Sentence
{
    int line = 0; // in its file, from 1
    QString text;
    qsizetype at = 0;
    QString label;
};

QList<Sentence> readSentences(const QString &path)
{
    QList<Sentence> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return out;
    }
    const QChar marker(0x2581);
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const qsizetype tab = line.lastIndexOf(u'\t');
        const qsizetype first = line.indexOf(marker);
        if (tab < 0 || first < 0 || first + 2 >= tab || line[first + 2] != marker)
            continue;
        Sentence s;
        s.line = number;
        s.text = line.left(tab);
        s.text.remove(first + 2, 1).remove(first, 1);
        s.at = first;
        s.label = line.mid(tab + 1).replace(QStringLiteral("u:"), QStringLiteral("v"));
        out.append(s);
    }
    return out;
}

// Sees what the front end knows at one place of one sentence, and lets a
// model (if any) choose there as it would.
class Probe : public ReadingChooser
{
public:
    explicit Probe(const PolyphoneModel *model) : m_model(model) { }
    void aim(qsizetype at)
    {
        m_at = at;
        m_seen = false;
    }
    bool considers(QChar, QStringView) const override { return true; }
    void choose(const PolyphoneContext &context, QString &syllable) const override
    {
        if (m_model && m_model->considers(context.text[context.at], syllable))
            m_model->choose(context, syllable);
        if (context.at != m_at || m_seen)
            return;
        m_seen = true;
        m_features.clear();
        polyphoneFeatures(context, [&](std::string_view f) { m_features.append(QString::fromUtf8(f.data(), qsizetype(f.size()))); });
        m_before = context.ruleReading;
    }
    mutable bool m_seen = false;
    mutable QStringList m_features;
    mutable QString m_before;

private:
    const PolyphoneModel *m_model;
    qsizetype m_at = -1;
};

// The reading the front end gives the character at s.at.
QString readingAt(const MandarinFrontEnd &frontEnd, const Sentence &s)
{
    for (const MandarinFrontEnd::Word &word : frontEnd.read(s.text))
        if (word.kind == MandarinFrontEnd::Word::Kind::Han && word.spoken.isEmpty() && s.at >= word.start
            && s.at < word.start + word.length && s.at - word.start < word.syllables.size())
            return word.syllables[s.at - word.start];
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DICTIONARY features FILE.tsv... | DICTIONARY score MODEL|- FILE.tsv...\n", argv[0]);
        return 2;
    }
    ReadingDictionary dictionary;
    if (const QString error = dictionary.open(QString::fromLocal8Bit(argv[1])); !error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    TextNormaliser::prepare();
    const bool features = std::strcmp(argv[2], "features") == 0;
    PolyphoneModel model;
    int files = 3;
    if (!features) {
        if (std::strcmp(argv[3], "-") != 0)
            if (const QString error = model.open(QString::fromLocal8Bit(argv[3])); !error.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
        files = 4;
    }
    QTextStream out(stdout);
    for (int f = files; f < argc; ++f) {
        const QList<Sentence> sentences = readSentences(QString::fromLocal8Bit(argv[f]));
        Probe probe(model.isOpen() ? &model : nullptr);
        const MandarinFrontEnd probed(dictionary, &probe);
        const MandarinFrontEnd plain(dictionary);
        if (features) {
            for (const Sentence &s : sentences) {
                probe.aim(s.at);
                (void)probed.read(s.text);
                if (!probe.m_seen)
                    continue; // not read as Han (inside a written form)
                out << s.line << '\t' << s.label << '\t' << s.text[s.at] << '\t' << probe.m_before << '\t' << probe.m_features.join(u'\t')
                    << '\n';
            }
            continue;
        }
        QHash<QChar, QSet<QString>> labelsOf;
        for (const Sentence &s : sentences)
            labelsOf[s.text[s.at]].insert(s.label);
        int total = 0, before = 0, after = 0, ambiguous = 0, ambiguousBefore = 0, ambiguousAfter = 0;
        std::map<QString, int> wrong;
        for (const Sentence &s : sentences) {
            const bool twoOrMore = labelsOf[s.text[s.at]].size() > 1;
            const bool rightBefore = readingAt(plain, s) == s.label;
            probe.aim(-1);
            const bool rightAfter = readingAt(probed, s) == s.label;
            ++total;
            before += rightBefore;
            after += rightAfter;
            ambiguous += twoOrMore;
            ambiguousBefore += twoOrMore && rightBefore;
            ambiguousAfter += twoOrMore && rightAfter;
            if (!rightAfter) {
                ++wrong[QString(s.text[s.at])];
                // Every miss on standard error, for whoever studies them.
                std::fprintf(stderr, "%s\t%d\t%s\t%s\n", qPrintable(s.text), int(s.at), qPrintable(s.label),
                             qPrintable(readingAt(probed, s)));
            }
        }
        QMultiMap<int, QString> worst;
        for (const auto &[character, count] : wrong)
            worst.insert(-count, character);
        QStringList top;
        for (auto it = worst.cbegin(); it != worst.cend() && top.size() < 10; ++it)
            top << QStringLiteral("%1 %2").arg(it.value()).arg(-it.key());
        out << argv[f] << '\t' << total << '\t' << before << '\t' << after << '\t' << ambiguous << '\t' << ambiguousBefore
            << '\t' << ambiguousAfter << '\t' << top.join(u',') << '\n';
    }
    return 0;
}
