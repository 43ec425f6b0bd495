// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/SaveSuggestion.h"

#include <QDir>
#include <QFileInfo>

QString suggestedAudioPath(const QString &documentPath, const QString &musicFolder, const QString &homeFolder)
{
    if (!documentPath.isEmpty()) {
        const QFileInfo document(documentPath);
        // A document read from somewhere the user cannot write (a package's
        // manual) gets the music folder instead.
        if (QFileInfo(document.absolutePath()).isWritable() && !document.completeBaseName().isEmpty())
            return document.dir().filePath(document.completeBaseName() + QStringLiteral(".mp3"));
    }
    const QString name = QStringLiteral("朗读.mp3");
    if (!musicFolder.isEmpty() && QDir().mkpath(musicFolder))
        return QDir(musicFolder).filePath(name);
    return QDir(homeFolder).filePath(name);
}
