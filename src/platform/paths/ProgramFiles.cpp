// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths/ProgramFiles.h"

#include "platform/paths/InstallLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// The first of: beside the program (a build tree), the installed layout
// relative to the program (or to the speech-dispatcher module), and, for programs inside the build tree only (its
// tests), the build's program folder. The installed place when the file is in
// none of them, so that a failure names where it was looked for.
QString locate(const QString &name, const char *fromProgram, const char *fromModule)
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QDir program(programFolder);
    const QString installed = QDir::cleanPath(program.filePath(QString::fromUtf8(fromProgram) + u'/' + name));
    QStringList candidates{program.filePath(name), installed,
                           QDir::cleanPath(program.filePath(QString::fromUtf8(fromModule) + u'/' + name))};
    if (programFolder.startsWith(QString::fromUtf8(InstallLayout::BuildTree) + u'/'))
        candidates.append(QDir(QString::fromUtf8(InstallLayout::BuildProgramFolder)).filePath(name));
    for (const QString &candidate : candidates)
        if (QFileInfo::exists(candidate))
            return QDir::cleanPath(candidate);
    return installed;
}

} // namespace

namespace ProgramFiles {

QString helper(const QString &name) { return locate(name, InstallLayout::HelpersFromProgram, InstallLayout::HelpersFromModule); }
QString helperFolder() { return QFileInfo(helper(QStringLiteral("msiexec"))).path(); }
QString data(const QString &name) { return locate(name, InstallLayout::DataFromProgram, InstallLayout::DataFromModule); }
QString dataFolder() { return QFileInfo(data(QStringLiteral("msc"))).path(); }

QString userVoiceFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/sayrella/voices");
}

} // namespace ProgramFiles
