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

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/icons/sayrella.xpm")); }
