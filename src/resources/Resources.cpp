// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/Resources.h"

#include "platform/Failure.h"

#include <QFile>

QString LoadResString(int id)
{
    QFile file(QStringLiteral(":/strings/%1.txt").arg(id));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("找不到字符串资源 %1。").arg(id));
    QString text = QString::fromUtf8(file.readAll());
    // Stored with a final newline for the sake of editors; it is not part of the string.
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

// Every size drawn from the same picture, so that a title bar, a task bar and
// the About box each get a sharp one of their own size.
QIcon ProgramIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/sayrella-%1.png").arg(size), QSize(size, size));
    return icon;
}
