// SPDX-License-Identifier: GPL-3.0-or-later
// The reading model of polyphones with the real dictionary and model file:
// readings chosen from context, the same scores as the trainer computed,
// the feature window at the edges of a text, and never a reading the
// character cannot have.
#include "synth/mandarin/MandarinFrontEnd.h"
#include "synth/mandarin/PolyphoneModel.h"
#include "synth/mandarin/ReadingDictionary.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <set>
#include <string>

namespace {

// Passes every choice on to the model, and keeps what it saw at one place.
class Watching : public ReadingChooser
{
public:
    explicit Watching(const PolyphoneModel &model) : m_model(model) { }
    // Asked about every character the model knows, to see its features.
    bool considers(QChar c, QStringView) const override { return m_model.knows(c); }
    void choose(const PolyphoneContext &context, QString &syllable) const override
    {
        const QString before = syllable;
        m_model.choose(context, syllable);
        if (context.at == watched) {
            scores = m_model.scores(context);
            features.clear();
            polyphoneFeatures(context, [&](std::string_view f) { features.insert(std::string(f)); });
        }
        // Allowed: a reading the model knows for it, or the one it had.
        const QList<QLatin1StringView> known = m_model.readings(context.text[context.at]);
        if (syllable != before && !known.contains(QLatin1StringView(syllable.toLatin1())))
            disallowed << QStringLiteral("%1 %2").arg(context.text[context.at]).arg(syllable);
    }
    qsizetype watched = -1;
    mutable QList<PolyphoneModel::Score> scores;
    mutable std::set<std::string> features;
    mutable QStringList disallowed;

private:
    const PolyphoneModel &m_model;
};

QString readingAt(const MandarinFrontEnd &frontEnd, const QString &text, qsizetype at)
{
    for (const MandarinFrontEnd::Word &word : frontEnd.read(text))
        if (word.kind == MandarinFrontEnd::Word::Kind::Han && at >= word.start && at < word.start + word.length)
            return word.syllables.value(at - word.start);
    return QString();
}

} // namespace

class TestPolyphoneModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readingsInContext_data();
    void readingsInContext();
    void trainerAndScorerAgree();
    void featureWindowAtTheEdges_data();
    void featureWindowAtTheEdges();
    void featureKeysAreTheFeaturesHashed_data();
    void featureKeysAreTheFeaturesHashed();
    void everyReadingChosenIsOneTheCharacterHas();
    void damagedModelIsRefused_data();
    void damagedModelIsRefused();

private:
    ReadingDictionary m_dictionary;
    PolyphoneModel m_model;
};

void TestPolyphoneModel::initTestCase()
{
    QCOMPARE(m_dictionary.open(QStringLiteral(SAYRELLA_READINGS)), QString());
    QCOMPARE(m_model.open(QStringLiteral(SAYRELLA_POLYPHONE_MODEL)), QString());
}

// Sentences of our own, grouped by character, each reading on both sides:
// the character at the start, in the middle and at the end of a phrase.
void TestPolyphoneModel::readingsInContext_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("reading");
    QTest::newRow("为 for") << "我为你高兴" << 1 << "wei4";
    QTest::newRow("为 as") << "大家选他为班长" << 4 << "wei2";
    QTest::newRow("为 because of, mid-sentence") << "他们为了孩子搬家" << 2 << "wei4";
    QTest::newRow("还 still") << "他还在睡觉" << 1 << "hai2";
    QTest::newRow("还 give back") << "记得把书还给图书馆" << 4 << "huan2";
    QTest::newRow("行 walk") << "这件事行不行" << 3 << "xing2";
    QTest::newRow("行 trade") << "他在银行工作" << 3 << "hang2";
    QTest::newRow("长 long") << "这条河很长" << 4 << "chang2";
    QTest::newRow("长 head of") << "校长来了" << 1 << "zhang3";
    QTest::newRow("重 heavy") << "这个箱子太重了" << 5 << "zhong4";
    QTest::newRow("重 again") << "请你重新说一遍" << 2 << "chong2";
    QTest::newRow("得 must") << "我得走了" << 1 << "dei3";
    QTest::newRow("得 complement") << "他跑得很快" << 2 << "de5";
    QTest::newRow("得 obtain") << "他得了第一名" << 1 << "de2";
    QTest::newRow("调 tone") << "这首歌的调子很美" << 4 << "diao4";
    QTest::newRow("调 adjust") << "请把音量调小一点" << 4 << "tiao2";
    QTest::newRow("更 more") << "今天比昨天更冷" << 5 << "geng4";
    QTest::newRow("更 change") << "系统更新完成了" << 2 << "geng1";
    QTest::newRow("供 supply") << "工厂供电正常" << 2 << "gong1";
    QTest::newRow("供 offer") << "桌上摆着供品" << 4 << "gong4";
    QTest::newRow("将 will") << "会议将在明天举行" << 2 << "jiang1";
    QTest::newRow("将 general") << "他是一员大将" << 5 << "jiang4";
    QTest::newRow("切 cut") << "把西瓜切成小块" << 3 << "qie1";
    QTest::newRow("切 all, at the start") << "切记不要迟到" << 0 << "qie4";
}

void TestPolyphoneModel::readingsInContext()
{
    QFETCH(QString, text);
    QFETCH(int, at);
    QFETCH(QString, reading);
    QVERIFY(m_model.knows(text[at]));
    QCOMPARE(readingAt(MandarinFrontEnd(m_dictionary, &m_model), text, at), reading);
}

// The trainer saved the scores it computes for a sample of sentences from
// the file it wrote; the front end's model computes them again here.
void TestPolyphoneModel::trainerAndScorerAgree()
{
    QFile sample(QStringLiteral(SAYRELLA_POLYPHONE_SCORES));
    QVERIFY(sample.open(QIODevice::ReadOnly | QIODevice::Text));
    Watching watching(m_model);
    const MandarinFrontEnd frontEnd(m_dictionary, &watching);
    int rows = 0;
    for (const QByteArray &line : sample.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QStringList fields = QString::fromUtf8(line).split(u'\t');
        QCOMPARE(fields.size(), 3);
        watching.watched = fields[1].toInt();
        watching.scores.clear();
        (void)frontEnd.read(fields[0]);
        const QStringList expected = fields[2].split(u' ');
        QCOMPARE(watching.scores.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const qsizetype colon = expected[i].indexOf(u':');
            QCOMPARE(QString(watching.scores[i].reading), expected[i].left(colon));
            // The same sums of the same stored weights; only the printing rounds.
            QVERIFY2(qAbs(watching.scores[i].score - expected[i].mid(colon + 1).toDouble()) < 1e-5,
                     qPrintable(fields[0] + u' ' + expected[i]));
        }
        ++rows;
    }
    QVERIFY(rows >= 10);
}

void TestPolyphoneModel::featureWindowAtTheEdges_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("at");
    QTest::addColumn<QStringList>("features");
    QTest::newRow("the start of a text") << "行不行" << 0 << QStringList{"c-1=^", "c-3=^", "l2=^^", "c1=不"};
    QTest::newRow("the end of a text") << "我们一起去银行" << 6 << QStringList{"c1=$", "r3=$$$", "c-1=银"};
    QTest::newRow("after digits") << "第3行" << 2 << QStringList{"c-1=0", "c-2=第", "m=0$"};
    QTest::newRow("between Latin letters") << "ABC行XY" << 3 << QStringList{"c-1=a", "c2=a", "c3=$", "l3=aaa"};
    QTest::newRow("beside punctuation") << "好，行。" << 2 << QStringList{"c-1=，", "c1=。", "c-3=^"};
    QTest::newRow("beside a blank") << "就 行 了" << 2 << QStringList{"c-1=_", "c1=_"};
    QTest::newRow("in a word") << "我去银行" << 3 << QStringList{"w=银行", "p=1/2", "dw=hang2", "wl=去"};
}

void TestPolyphoneModel::featureWindowAtTheEdges()
{
    QFETCH(QString, text);
    QFETCH(int, at);
    QFETCH(QStringList, features);
    Watching watching(m_model);
    watching.watched = at;
    (void)MandarinFrontEnd(m_dictionary, &watching).read(text);
    QVERIFY2(!watching.features.empty(), "the model was not asked about the character");
    for (const QString &feature : features)
        QVERIFY2(watching.features.count(feature.toStdString()),
                 qPrintable(QStringLiteral("%1 missing").arg(feature)));
}

// The model reads keys hashed as the features are made, the trainer the
// features' text: both must name the same features, at the edges too.
void TestPolyphoneModel::featureKeysAreTheFeaturesHashed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("at");
    QTest::addColumn<QStringList>("covering");
    QTest::newRow("the start of a text") << "行不行" << 0 << QStringList{};
    QTest::newRow("the end of a text") << "我们一起去银行" << 6 << QStringList{"hang2"};
    QTest::newRow("after digits, rules differ") << "第3行" << 2 << QStringList{"xing2", "hang2"};
    QTest::newRow("between Latin letters") << "ABC行XY" << 3 << QStringList{};
    QTest::newRow("beside a surrogate pair") << QString::fromUtf8("😀行。") << 2 << QStringList{"xing2"};
}

void TestPolyphoneModel::featureKeysAreTheFeaturesHashed()
{
    QFETCH(QString, text);
    QFETCH(int, at);
    QFETCH(QStringList, covering);
    PolyphoneContext context;
    context.text = text;
    context.at = at;
    context.wordStart = at;
    context.previousStart = at > 0 ? at - 1 : -1;
    context.previousLength = at > 0 ? 1 : 0;
    context.dictionaryReading = QStringLiteral("xing2");
    context.ruleReading = covering.isEmpty() ? context.dictionaryReading : covering.back();
    context.covering = covering;
    const std::uint64_t prefix = polyphoneKeyPrefix(text[at].unicode());
    std::vector<std::uint64_t> fromText;
    polyphoneFeatures(context, [&](std::string_view feature) {
        fromText.push_back(polyphoneFeatureKeyAfter(prefix, feature));
    });
    std::vector<std::uint64_t> keys{42}; // cleared first
    polyphoneFeatureKeys(context, prefix, keys);
    QVERIFY(fromText.size() >= 19);
    QCOMPARE(keys, fromText);
}

// Over every sentence of our tables, each reading the model gives is one it
// knows for the character, or the one the dictionary and rules gave.
void TestPolyphoneModel::everyReadingChosenIsOneTheCharacterHas()
{
    Watching watching(m_model);
    const MandarinFrontEnd frontEnd(m_dictionary, &watching);
    int sentences = 0;
    for (const char *path : {SAYRELLA_POLYPHONE_TABLE, SAYRELLA_POLYPHONE_HELD_OUT}) {
        QFile table(QString::fromUtf8(path));
        QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
        for (const QByteArray &line : table.readAll().split('\n'))
            if (!line.isEmpty() && !line.startsWith('#')) {
                (void)frontEnd.read(QString::fromUtf8(line.left(line.indexOf('\t'))));
                ++sentences;
            }
    }
    QVERIFY(sentences > 500);
    QCOMPARE(watching.disallowed, QStringList());
}

void TestPolyphoneModel::damagedModelIsRefused_data()
{
    QTest::addColumn<int>("keep"); // bytes of the real file kept; -1: all
    QTest::addColumn<QByteArray>("patch"); // written over its start
    QTest::newRow("empty") << 0 << QByteArray();
    QTest::newRow("header only") << 40 << QByteArray();
    QTest::newRow("cut short by a byte") << -2 << QByteArray();
    QTest::newRow("another file's magic") << -1 << QByteArray("SAYMDR1\0", 8);
}

void TestPolyphoneModel::damagedModelIsRefused()
{
    QFETCH(int, keep);
    QFETCH(QByteArray, patch);
    QFile real(QStringLiteral(SAYRELLA_POLYPHONE_MODEL));
    QVERIFY(real.open(QIODevice::ReadOnly));
    QByteArray bytes = real.readAll();
    bytes = keep == -1 ? bytes : keep == -2 ? bytes.chopped(1) : bytes.left(keep);
    bytes.replace(0, patch.size(), patch);
    QTemporaryDir folder;
    QFile damaged(folder.filePath(QStringLiteral("model.bin")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(bytes);
    damaged.close();
    PolyphoneModel model;
    QVERIFY(!model.open(damaged.fileName()).isEmpty());
    QVERIFY(!model.isOpen());
    QVERIFY(!model.knows(u'行'));
}

QTEST_GUILESS_MAIN(TestPolyphoneModel)
#include "tst_polyphonemodel.moc"
