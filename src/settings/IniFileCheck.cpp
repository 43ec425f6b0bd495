// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/IniFileCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace IniFileCheck {

namespace {

bool isSection(QStringView line) { return line.startsWith(u'[') && line.endsWith(u']'); }

// An unescaped quote left open makes QSettings read on into the next lines.
bool quotesBalanced(QStringView value)
{
    bool open = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\')
            ++i;
        else if (value[i] == u'"')
            open = !open;
    }
    return !open;
}

} // namespace

QString damage(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (info.size() > MaxFileBytes)
        return QStringLiteral("文件大于 %1 字节").arg(MaxFileBytes);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {}; // unreadable is not damaged: reading it reports that itself
    QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (utf8.hasError())
        return QStringLiteral("含有不是 UTF-8 文字的字节");
    const auto lines = QStringView(text).split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QStringView line = lines[n].trimmed();
        const auto control = std::find_if(line.begin(), line.end(), [](QChar c) { return c < u' ' && c != u'\t'; });
        if (control != line.end())
            return QStringLiteral("第 %1 行含有控制字符").arg(n + 1);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#') || isSection(line))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            return QStringLiteral("第 %1 行既不是“键=值”也不是节名").arg(n + 1);
        const QStringView value = line.mid(equals + 1);
        if (value.size() > MaxValueChars)
            return QStringLiteral("第 %1 行的值长于 %2 个字符").arg(n + 1).arg(MaxValueChars);
        if (!quotesBalanced(value))
            return QStringLiteral("第 %1 行的引号没有闭合").arg(n + 1);
    }
    return {};
}

} // namespace IniFileCheck
