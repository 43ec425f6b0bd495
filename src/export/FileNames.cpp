// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/FileNames.h"

#include <algorithm>

namespace FileNames {

namespace {

constexpr qsizetype MaxNameBytes = 255;

// What some file system refuses becomes its full-width form (/ is ／), which
// reads the same: the full-width block is ASCII moved up by 0xFEE0.
QChar safeCharacter(QChar c)
{
    static constexpr QStringView refused = u"/\\:*?\"<>|";
    return refused.contains(c) ? QChar(char16_t(c.unicode() + 0xFEE0)) : c;
}

} // namespace

QString safe(const QString &name, const QString &extension)
{
    QString out;
    for (QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            continue;
        out += c.isSpace() ? QChar(u' ') : safeCharacter(c);
    }
    out = out.simplified();
    const auto trimEnds = [](QString &s) {
        while (!s.isEmpty() && (s.front() == u'.' || s.front() == u' '))
            s.remove(0, 1);
        while (!s.isEmpty() && (s.back() == u'.' || s.back() == u' '))
            s.chop(1);
    };
    trimEnds(out);
    const qsizetype room = MaxNameBytes - 1 - extension.toUtf8().size();
    if (out.toUtf8().size() > room) {
        qsizetype bytes = 0, keep = 0;
        while (keep < out.size()) {
            // A surrogate pair is one character: kept or cut whole.
            const qsizetype width = out.at(keep).isHighSurrogate() && keep + 1 < out.size() ? 2 : 1;
            const qsizetype size = out.mid(keep, width).toUtf8().size();
            if (bytes + size > room)
                break;
            bytes += size;
            keep += width;
        }
        out.truncate(keep);
        trimEnds(out);
    }
    if (out.isEmpty())
        out = QStringLiteral("_");
    return out + u'.' + extension;
}

QString numbered(const QString &base, int number, int count, const QString &title, const QString &extension)
{
    const int width = std::max(2, int(QString::number(std::max(count, 1)).size()));
    QString name = QStringLiteral("%1 %2").arg(base).arg(number, width, 10, QChar(u'0'));
    if (!title.isEmpty())
        name += u' ' + title;
    return safe(name.trimmed(), extension);
}

} // namespace FileNames
