// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/helper/VoiceCatalog.h"

#include "synth/protocol/SynthProtocol.h"

#include <QDir>
#include <QFile>

namespace VoiceCatalog {

QString describe(const QByteArray &espeakName) { return QString::fromUtf8(espeakName).replace(u'_', u' ').trimmed(); }

QList<SpObjectToken> userVoices(const QString &folder)
{
    QList<SpObjectToken> tokens;
    const QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &name : files) {
        QFile file(dir.filePath(name));
        if (file.size() > 64 * 1024 || !file.open(QIODevice::ReadOnly))
            continue;
        QString description, language;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
            const qsizetype blank = line.indexOf(u' ');
            if (blank < 0)
                continue;
            const QString key = line.left(blank), value = line.mid(blank + 1).trimmed();
            if (key == u"name" && description.isEmpty())
                description = describe(value.toUtf8());
            else if (key == u"language" && language.isEmpty())
                language = value.section(u' ', 0, 0);
        }
        if (!description.isEmpty())
            tokens.append(SpObjectToken(QString::fromLatin1(SynthProtocol::FileIdPrefix) + file.fileName(), description,
                                        language));
    }
    return tokens;
}

} // namespace VoiceCatalog
