// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/TextNormaliser.h"

#include "synth/mandarin/ContextReadings.h"

#include <QRegularExpression>

#include <algorithm>
#include <iterator>

#include <functional>

namespace TextNormaliser {

namespace {

const QStringView Digits = u"零一二三四五六七八九";

// Full-width digits, letters and signs as their ASCII twins, one unit for
// one unit, so that positions stay those of the written text.
QString folded(QStringView text)
{
    QString out = text.toString();
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(char16_t(u - 0xFEE0));
    }
    return out;
}

// Below ten thousand: 一千零五, 三百二十, 十二 (no 一 before a leading 十).
QString belowTenThousand(int n, bool leadingTen)
{
    static const QStringView Units[] = {u"千", u"百", u"十", u""};
    static const int Values[] = {1000, 100, 10, 1};
    QString out;
    bool zeroPending = false;
    for (int i = 0; i < 4; ++i) {
        const int d = (n / Values[i]) % 10;
        if (d == 0) {
            zeroPending = !out.isEmpty();
            continue;
        }
        if (zeroPending)
            out += u'零';
        zeroPending = false;
        if (!(leadingTen && out.isEmpty() && i == 2 && d == 1))
            out += Digits[d];
        out += Units[i];
    }
    return out;
}

} // namespace

QString digitByDigit(QStringView digits, bool phoneStyle)
{
    QString out;
    for (QChar c : digits)
        if (c.isDigit())
            out += phoneStyle && c == u'1' ? QChar(u'幺') : Digits[c.digitValue()];
    return out;
}

QString cardinal(QStringView digits)
{
    qsizetype start = 0;
    while (start + 1 < digits.size() && digits[start] == u'0')
        ++start;
    const QStringView d = digits.mid(start);
    if (d.size() > 16)
        return digitByDigit(digits);
    // Groups of four from the right: 亿, 万, and the rest.
    static const QStringView Groups[] = {u"", u"万", u"亿", u"万亿"};
    QList<int> groups;
    for (qsizetype end = d.size(); end > 0; end -= 4)
        groups.prepend(d.mid(std::max<qsizetype>(0, end - 4), std::min<qsizetype>(4, end)).toInt());
    QString out;
    bool zeroPending = false;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const int n = groups[i];
        const qsizetype fromRight = groups.size() - 1 - i;
        if (n == 0) {
            zeroPending = !out.isEmpty();
            continue;
        }
        if ((zeroPending || (!out.isEmpty() && n < 1000)))
            out += u'零';
        zeroPending = false;
        out += belowTenThousand(n, out.isEmpty());
        out += Groups[fromRight];
    }
    return out.isEmpty() ? QStringLiteral("零") : out;
}

namespace {

// 两 rather than 二 where a news reader says it: 两千, 两万, 两个.
QString countingCardinal(QStringView digits)
{
    QString out = cardinal(digits);
    if (out.startsWith(u'二') && out.size() > 1 && QStringView(u"百千万亿").contains(out[1]))
        out[0] = u'两';
    return out;
}

QString decimal(QStringView whole, QStringView fraction)
{
    QString out = cardinal(whole);
    if (!fraction.isEmpty())
        out += u'点' + digitByDigit(fraction);
    return out;
}

// What makes two four-digit numbers a span of years.
const char16_t *const YearWords[] = {u"年", u"赛季", u"学年", u"财年", u"届"};

// Measure words after which 2 is 两.
const QStringView MeasureWords = u"个只本条张件位次天年岁种把名家双台辆座项份周月人";

struct Rule
{
    QRegularExpression pattern;
    std::function<QString(const QRegularExpressionMatch &, QStringView subject)> spoken;
};

QString unitName(const QString &unit)
{
    static const QList<QPair<QString, QString>> units = {
        {"km/h", "千米每小时"}, {"m/s²", "米每二次方秒"}, {"m/s2", "米每二次方秒"}, {"m/s", "米每秒"},
        {"kW·h", "千瓦时"}, {"kW⋅h", "千瓦时"}, {"kWh", "千瓦时"}, {"kW", "千瓦"}, {"MW", "兆瓦"}, {"GW", "吉瓦"},
        {"kV", "千伏"}, {"mAh", "毫安时"}, {"kHz", "千赫"}, {"MHz", "兆赫"}, {"GHz", "吉赫"}, {"dB", "分贝"},
        {"km²", "平方千米"}, {"km2", "平方千米"}, {"cm²", "平方厘米"}, {"kg", "千克"}, {"mg", "毫克"}, {"g", "克"},
        {"km", "千米"}, {"cm", "厘米"}, {"mm", "毫米"}, {"m²", "平方米"}, {"m2", "平方米"},
        {"m³", "立方米"}, {"m", "米"}, {"ml", "毫升"}, {"mL", "毫升"}, {"L", "升"},
        {"℃", "摄氏度"}, {"°C", "摄氏度"}, {"°", "度"}, {"%", ""}, {"h", "小时"}, {"min", "分钟"}, {"s", "秒"}};
    for (const auto &[written, said] : units)
        if (unit == written)
            return said;
    return {};
}

const QList<Rule> &rules()
{
    static const QList<Rule> all = [] {
        QList<Rule> r;
        // Numbers that name rather than count, after the words that bring
        // them in (尾号1234, 订单号20240311, 验证码：561234): digit by digit, 1
        // as 幺, as they are read out over a telephone. A separator ends the
        // number only when no digit follows it: 1,234 and 12:30 are other
        // forms, but the full-width comma after 尾号1234， (folded to ',')
        // ends the clause.
        r.append({QRegularExpression(QStringLiteral("\\d{2,}(?!\\d|[.,:/-]\\d)")),
                  [](const QRegularExpressionMatch &m, QStringView subject) {
                      QStringView before = subject.first(m.capturedStart(0));
                      while (!before.isEmpty() && QStringView(u" 为是：:").contains(before.back()))
                          before.chop(1);
                      for (const char16_t *cue : {u"尾号", u"尾数", u"号码", u"电话", u"手机", u"热线", u"分机", u"卡号",
                                                  u"账号", u"帐号", u"单号", u"验证码", u"密码", u"工号", u"房号", u"房间"})
                          if (before.endsWith(QStringView(cue)))
                              return digitByDigit(m.captured(0), true);
                      return QString();
                  }});
        const auto month = [](const QString &m) { return cardinal(m) + u'月'; };
        const auto day = [](const QString &d) { return cardinal(d) + u'日'; };
        // Dates: 2008-08-08, 2008/8/8, 2008.08.08, 2008年8月8日 (the year digit by digit).
        r.append({QRegularExpression(QStringLiteral("(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})(?![\\d.])")),
                  [=](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      return digitByDigit(m.captured(1)) + u'年' + month(m.captured(3)) + day(m.captured(4));
                  }});
        r.append({QRegularExpression(QStringLiteral("(\\d{4})年")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) { return digitByDigit(m.captured(1)) + u'年'; }});
        // Scores and ratios, where the words around say so (以3:2获胜, 比分2:1,
        // 3:2战胜对手, 比例为10:1), and wherever the second number is no
        // time's minutes (10:1, 3:2): 比.
        r.append({QRegularExpression(QStringLiteral("(\\d{1,3}):(\\d{1,3})(?![\\d:])")),
                  [](const QRegularExpressionMatch &m, QStringView subject) {
                      const QString said = cardinal(m.captured(1)) + u'比' + cardinal(m.captured(2));
                      if (m.capturedLength(2) != 2)
                          return said;
                      const QStringView before = subject.first(m.capturedStart(0)).right(8);
                      for (const char16_t *cue : {u"比分", u"比赛", u"战胜", u"击败", u"获胜", u"比数", u"以", u"比例", u"比率", u"之比"})
                          if (before.contains(QStringView(cue)))
                              return said;
                      const QStringView after = subject.mid(m.capturedEnd(0), 4);
                      for (const char16_t *cue : {u"获胜", u"取胜", u"战胜", u"击败", u"胜出", u"落败", u"告负", u"负于", u"输给",
                                                  u"赢", u"的比分", u"的比例"})
                          if (after.startsWith(QStringView(cue)))
                              return said;
                      return QString();
                  }});
        // Times: 10:30, 13:10:36, with am/pm.
        r.append({QRegularExpression(QStringLiteral("(\\d{1,2}):(\\d{2})(?::(\\d{2}))?(?!\\d)\\s*([aApP]\\.?[mM]\\.?)?")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      QString out;
                      const QString half = m.captured(4).toLower();
                      if (!half.isEmpty())
                          out += half.startsWith(u'a') ? QStringLiteral("上午") : QStringLiteral("下午");
                      out += cardinal(m.captured(1)) + u'点';
                      const int minutes = m.captured(2).toInt();
                      out += minutes == 0 ? QStringLiteral("整")
                                          : (minutes < 10 ? QStringLiteral("零") : QString()) + cardinal(m.captured(2)) + u'分';
                      if (!m.captured(3).isEmpty())
                          out += cardinal(m.captured(3)) + u'秒';
                      return out;
                  }});
        // Thousands separators: 1,000.00 is one number.
        r.append({QRegularExpression(QStringLiteral("(\\d{1,3}(?:,\\d{3})+)(?:\\.(\\d+))?(?![\\d,])")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      return decimal(QString(m.captured(1)).remove(u','), m.captured(2));
                  }});
        // IP addresses and version-like dotted numbers: digit by digit.
        r.append({QRegularExpression(QStringLiteral("(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})(?![\\d])")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      QStringList parts;
                      for (int i = 1; i <= 4; ++i)
                          parts << digitByDigit(m.captured(i));
                      return parts.join(u'点');
                  }});
        // Mobile numbers (11 digits from 1) and other long digit strings: digit by digit.
        r.append({QRegularExpression(QStringLiteral("0\\d{2,3}-\\d{7,8}(?!\\d)")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) { return digitByDigit(m.captured(0), true); }});
        r.append({QRegularExpression(QStringLiteral("1[3-9]\\d{9}(?!\\d)")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) { return digitByDigit(m.captured(0), true); }});
        r.append({QRegularExpression(QStringLiteral("(?:0\\d{4,}|\\d{13,})(?!\\d)")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) { return digitByDigit(m.captured(0)); }});
        // Money before the amount: ￥1.25, $5, €3.
        r.append({QRegularExpression(QStringLiteral("([¥￥$€£])\\s?(\\d+)(?:\\.(\\d+))?")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      const QString c = m.captured(1);
                      const QString currency = c == u"$" ? QStringLiteral("美元")
                          : c == u"€"                     ? QStringLiteral("欧元")
                          : c == u"£"                     ? QStringLiteral("英镑")
                                                          : QStringLiteral("元");
                      return decimal(m.captured(2), m.captured(3)) + currency;
                  }});
        r.append({QRegularExpression(QStringLiteral("(?:CNY|RMB)\\s?(\\d+)(?:\\.(\\d+))?")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) { return QStringLiteral("人民币") + decimal(m.captured(1), m.captured(2)) + u'元'; }});
        // A range of percents: 50%-60% -> 百分之五十到百分之六十 (the dash is no minus).
        r.append({QRegularExpression(QStringLiteral("(\\d+)(?:\\.(\\d+))?\\s?%\\s?[-~～—–]\\s?(\\d+)(?:\\.(\\d+))?\\s?%")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      return QStringLiteral("百分之") + decimal(m.captured(1), m.captured(2)) + QStringLiteral("到百分之")
                          + decimal(m.captured(3), m.captured(4));
                  }});
        // Percent and per mille: 3.5% -> 百分之三点五.
        r.append({QRegularExpression(QStringLiteral("(-?)(\\d+)(?:\\.(\\d+))?\\s?([%‰])")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      return (m.captured(1).isEmpty() ? QString() : QStringLiteral("负"))
                          + (m.captured(4) == u"%" ? QStringLiteral("百分之") : QStringLiteral("千分之"))
                          + decimal(m.captured(2), m.captured(3));
                  }});
        // Ranges before a measure or unit: 3-5天 -> 三到五天.
        // Years are said digit by digit (2024—2025赛季 -> 二零二四到二零二五赛季),
        // counts as counts (2000-3000元 -> 两千到三千元).
        r.append({QRegularExpression(QStringLiteral("(\\d+)\\s?[-~～—–]\\s?(\\d+)(?=[\\x{4E00}-\\x{9FFF}])")),
                  [](const QRegularExpressionMatch &m, QStringView subject) {
                      const QStringView after = subject.mid(m.capturedEnd(0));
                      const bool yearsFollow = std::any_of(std::begin(YearWords), std::end(YearWords),
                                                           [&](const char16_t *w) { return after.startsWith(QStringView(w)); });
                      const bool years = m.capturedLength(1) == 4 && m.capturedLength(2) == 4
                          && QStringView(u"12").contains(m.captured(1).front()) && QStringView(u"12").contains(m.captured(2).front())
                          && yearsFollow;
                      return years ? digitByDigit(m.captured(1)) + u'到' + digitByDigit(m.captured(2))
                                   : countingCardinal(m.captured(1)) + u'到' + countingCardinal(m.captured(2));
                  }});
        // Fractions: 1/4 -> 四分之一.
        r.append({QRegularExpression(QStringLiteral("(\\d{1,4})/(\\d{1,4})(?![\\d/])")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) { return cardinal(m.captured(2)) + QStringLiteral("分之") + cardinal(m.captured(1)); }});
        // Numbers with a unit: 1kg, 25℃, 120km/h, 30m².
        r.append({QRegularExpression(
                      QStringLiteral("(-?)(\\d+)(?:\\.(\\d+))?\\s?(km/h|m/s²|m/s2|m/s|kW·h|kW⋅h|kWh|kW|MW|GW|kV|mAh|kHz|MHz|GHz|dB|km²|km2|cm²|kg|mg|km|cm|mm|m²|m2|m³|ml|mL|min|°C|℃|°|g|m|L|h|s)(?![A-Za-z])")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      const QString unit = unitName(m.captured(4));
                      const QString number = decimal(m.captured(2), m.captured(3));
                      return (m.captured(1).isEmpty() ? QString() : QStringLiteral("零下")) + number + unit;
                  }});
        // Decimals and negatives: 3.14, -5.
        r.append({QRegularExpression(QStringLiteral("(?<![\\d.])-(\\d+)(?:\\.(\\d+))?")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) { return QStringLiteral("负") + decimal(m.captured(1), m.captured(2)); }});
        r.append({QRegularExpression(QStringLiteral("(\\d+)\\.(\\d+)")),
                  [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) { return decimal(m.captured(1), m.captured(2)); }});
        // Whole numbers: 两 before a measure word or a large unit.
        r.append({QRegularExpression(QStringLiteral("\\d+")), [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      const QString digits = m.captured(0);
                      QString out = countingCardinal(digits);
                      const QStringView after = subject.mid(m.capturedEnd(0), 1);
                      if (out == u"二" && !after.isEmpty() && MeasureWords.contains(after.front()))
                          out = QStringLiteral("两");
                      return out;
                  }});
        // A price per something: 3元/斤, 80美元/桶 -> 三元每斤, 八十美元每桶.
        r.append({QRegularExpression(QStringLiteral(
                      "/\\s?(?=斤|公斤|千克|克|吨|升|平方米|米|公里|千米|人|天|月|年|小时|次|件|个|张|台|瓶|盒|箱|袋|包|份|位|间|晚|亩|桶|股|度|千瓦时)")),
                  [](const QRegularExpressionMatch &m, QStringView subject) {
                      const QStringView before = subject.first(m.capturedStart(0)).trimmed();
                      return before.endsWith(u'元') || before.endsWith(u'块') || before.endsWith(u"英镑") ? QStringLiteral("每")
                                                                                                        : QString();
                  }});
        // Maths between numbers and words.
        r.append({QRegularExpression(QStringLiteral("±|≤|≥|≠|×|÷|=|\\+|−|<|>")), [](const QRegularExpressionMatch &m, [[maybe_unused]] QStringView subject) {
                      static const QList<QPair<QString, QString>> signs = {
                          {"±", "正负"},     {"≤", "小于等于"}, {"≥", "大于等于"}, {"≠", "不等于"}, {"×", "乘"}, {"÷", "除以"},
                          {"=", "等于"},     {"+", "加"},       {"−", "减"},     {"<", "小于"}, {">", "大于"}};
                      for (const auto &[sign, said] : signs)
                          if (m.captured(0) == sign)
                              return said;
                      return QString();
                  }});
        return r;
    }();
    return all;
}

// What a rule can start with: positions starting with anything else are
// stepped over without trying the rules.
bool startsRule(QChar c) { return c.isDigit() || QStringView(u"¥￥$€£-±≤≥≠×÷=+−<>CR/").contains(c); }

} // namespace

void prepare()
{
    for (const Rule &rule : rules())
        rule.pattern.optimize();
}

QList<Rewrite> rewrites(QStringView text)
{
    const QString subject = folded(text);
    QList<Rewrite> out;
    for (qsizetype at = 0; at < subject.size();) {
        // Most of a Chinese text is ideographs, which start no rule: stepped
        // over before the Unicode look-ups below, which were a large part
        // of the cost of this loop.
        if (isHanCharacter(subject[at])) {
            ++at;
            continue;
        }
        // A digit inside a Latin word (MP3, A4) belongs to the word.
        // A decimal after letters is a number of its own (PM2.5 is PM 二点五).
        qsizetype digitsEnd = at;
        while (digitsEnd < subject.size() && subject[digitsEnd].isDigit())
            ++digitsEnd;
        const bool decimalFollows =
            digitsEnd + 1 < subject.size() && subject[digitsEnd] == u'.' && subject[digitsEnd + 1].isDigit();
        const bool insideWord = subject[at].isDigit() && at > 0 && subject[at - 1].unicode() < 0x80
            && subject[at - 1].isLetter() && !decimalFollows;
        if (!startsRule(subject[at]) || insideWord) {
            ++at;
            continue;
        }
        bool matched = false;
        for (const Rule &rule : rules()) {
            const QRegularExpressionMatch m =
                rule.pattern.match(subject, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
            if (!m.hasMatch() || m.capturedLength(0) == 0)
                continue;
            const QString spoken = rule.spoken(m, subject);
            if (spoken.isEmpty())
                continue;
            out.append({at, m.capturedLength(0), spoken});
            at += m.capturedLength(0);
            matched = true;
            break;
        }
        if (!matched)
            ++at;
    }
    return out;
}

} // namespace TextNormaliser
