// SPDX-License-Identifier: GPL-3.0-or-later
#include "dispatcher/SpokenKeys.h"

#include <QHash>
#include <QStringList>

namespace {

struct Names
{
    const char *chinese;
    const char *english;
};

// Keys and characters whose text alone would be read as nothing or as
// something else: a lone "," is silent, "next" is a word, not Page Down.
const QHash<QString, Names> &names()
{
    static const QHash<QString, Names> table = {
        {QStringLiteral("space"), {"空格", "space"}},
        {QStringLiteral(" "), {"空格", "space"}},
        {QStringLiteral("enter"), {"回车", "enter"}},
        {QStringLiteral("return"), {"回车", "return"}},
        {QStringLiteral("kp-enter"), {"小键盘回车", "keypad enter"}},
        {QStringLiteral("backspace"), {"退格", "backspace"}},
        {QStringLiteral("delete"), {"删除", "delete"}},
        {QStringLiteral("insert"), {"插入", "insert"}},
        {QStringLiteral("escape"), {"Escape", "escape"}},
        {QStringLiteral("tab"), {"Tab", "tab"}},
        {QStringLiteral("up"), {"上", "up"}},
        {QStringLiteral("down"), {"下", "down"}},
        {QStringLiteral("left"), {"左", "left"}},
        {QStringLiteral("right"), {"右", "right"}},
        {QStringLiteral("prior"), {"向上翻页", "page up"}},
        {QStringLiteral("next"), {"向下翻页", "page down"}},
        {QStringLiteral("home"), {"Home", "home"}},
        {QStringLiteral("end"), {"End", "end"}},
        {QStringLiteral("control"), {"Control", "control"}},
        {QStringLiteral("shift"), {"Shift", "shift"}},
        {QStringLiteral("alt"), {"Alt", "alt"}},
        {QStringLiteral("super"), {"Super", "super"}},
        {QStringLiteral("window"), {"Windows", "windows"}},
        {QStringLiteral("underscore"), {"下划线", "underscore"}},
        {QStringLiteral("double-quote"), {"双引号", "double quote"}},
        {QStringLiteral("_"), {"下划线", "underscore"}},
        {QStringLiteral("\""), {"双引号", "double quote"}},
        {QStringLiteral("'"), {"单引号", "apostrophe"}},
        {QStringLiteral(","), {"逗号", "comma"}},
        {QStringLiteral("，"), {"逗号", "comma"}},
        {QStringLiteral("."), {"点", "dot"}},
        {QStringLiteral("。"), {"句号", "full stop"}},
        {QStringLiteral("、"), {"顿号", "enumeration comma"}},
        {QStringLiteral(";"), {"分号", "semicolon"}},
        {QStringLiteral("；"), {"分号", "semicolon"}},
        {QStringLiteral(":"), {"冒号", "colon"}},
        {QStringLiteral("："), {"冒号", "colon"}},
        {QStringLiteral("?"), {"问号", "question mark"}},
        {QStringLiteral("？"), {"问号", "question mark"}},
        {QStringLiteral("!"), {"叹号", "exclamation mark"}},
        {QStringLiteral("！"), {"叹号", "exclamation mark"}},
        {QStringLiteral("-"), {"减号", "minus"}},
        {QStringLiteral("("), {"左括号", "left parenthesis"}},
        {QStringLiteral(")"), {"右括号", "right parenthesis"}},
        {QStringLiteral("（"), {"左括号", "left parenthesis"}},
        {QStringLiteral("）"), {"右括号", "right parenthesis"}},
        {QStringLiteral("/"), {"斜杠", "slash"}},
        {QStringLiteral("\\"), {"反斜杠", "backslash"}},
        {QStringLiteral("《"), {"左书名号", "left title mark"}},
        {QStringLiteral("》"), {"右书名号", "right title mark"}},
        {QStringLiteral("“"), {"左引号", "left quote"}},
        {QStringLiteral("”"), {"右引号", "right quote"}},
    };
    return table;
}

QString named(const QString &text, bool chinese)
{
    const auto found = names().constFind(text);
    if (found == names().cend())
        return {};
    return QString::fromUtf8(chinese ? found->chinese : found->english);
}

} // namespace

QString spokenCharacter(const QString &character, bool chinese)
{
    if (const QString name = named(character, chinese); !name.isEmpty())
        return name;
    // A lone capital is spelled; a lone small letter may be read as a word ("a").
    if (character.size() == 1 && character[0].isLetter() && character[0].unicode() < 0x80)
        return character.toUpper();
    return character;
}

QString spokenKey(const QString &key, bool chinese)
{
    if (const QString name = named(key, chinese); !name.isEmpty())
        return name;
    // Modifiers are joined to the key by underscores; a key of its own
    // (a letter, a mark) is read as the character it types.
    const QStringList parts = key.size() > 1 ? key.split(u'_', Qt::SkipEmptyParts) : QStringList{key};
    QStringList said;
    for (const QString &part : parts) {
        if (const QString name = named(part, chinese); !name.isEmpty())
            said.append(name);
        else if (part.size() == 1)
            said.append(spokenCharacter(part, chinese));
        else if (part.startsWith(u"kp-"))
            said.append((chinese ? QStringLiteral("小键盘 ") : QStringLiteral("keypad ")) + spokenCharacter(part.mid(3), chinese));
        else
            said.append(QString(part).replace(u'-', u' '));
    }
    return said.join(u' ');
}
