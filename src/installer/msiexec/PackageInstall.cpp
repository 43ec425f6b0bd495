// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/msiexec/PackageInstall.h"

#include "installer/package/VoicePackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>

namespace PackageInstall {

namespace {

void say(FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

const QString StagingPrefix = QStringLiteral(".voices-staging-");

// The folder's real place: links anywhere in its path followed. The part that
// does not exist yet is kept as it is, below the real place of the part that does.
QString resolvedFolder(const QString &folder)
{
    QString existing = QDir::cleanPath(QDir(folder).absolutePath());
    QStringList missing;
    while (!QFileInfo::exists(existing)) {
        const QFileInfo info(existing);
        if (info.isSymLink())
            return {}; // a link to nowhere
        missing.prepend(info.fileName());
        const QString parent = info.path();
        if (parent == existing)
            return {};
        existing = parent;
    }
    QString real = QFileInfo(existing).canonicalFilePath();
    for (const QString &part : std::as_const(missing))
        real += u'/' + part;
    return real;
}

// A killed installation leaves its staging folder behind; the next one
// removes those of its own naming (and nothing else) beside the voice folder.
void removeStaleStaging(const QString &voiceFolder)
{
    static const QRegularExpression ours(QStringLiteral("^\\.voices-staging-[A-Za-z0-9]{6}$"));
    QDir parent(voiceFolder + QStringLiteral("/.."));
    const QStringList names = parent.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString &name : names)
        if (ours.match(name).hasMatch())
            QDir(parent.filePath(name)).removeRecursively();
}

} // namespace

int install(const QString &packagePath, const QString &voiceFolder, bool quiet, FILE *out, FILE *err)
{
    const auto progress = [&](const QString &text) {
        if (!quiet)
            say(out, text);
    };
    QFile file(packagePath);
    if (!QFileInfo(packagePath).isFile() || !file.open(QIODevice::ReadOnly)) {
        say(err, QStringLiteral("msiexec: cannot open the package %1").arg(packagePath));
        return CannotOpenPackage;
    }
    // Read no more than a valid package can hold, whatever size the file claims.
    constexpr qint64 Limit = VoicePackage::MaxEntries * VoicePackage::MaxEntrySize + 64 * 1024;
    const QByteArray bytes = file.read(Limit + 1);
    if (bytes.size() > Limit) {
        say(err, QStringLiteral("msiexec: %1 is too large to be a voice package").arg(packagePath));
        return InvalidPackage;
    }
    VoicePackage::Package package;
    QString reason;
    if (!VoicePackage::read(bytes, &package, &reason)) {
        say(err, QStringLiteral("msiexec: %1 is not a valid voice package: %2").arg(packagePath, reason));
        return InvalidPackage;
    }
    progress(QStringLiteral("Installing voice package %1 (%2 voices) into %3")
                 .arg(package.version)
                 .arg(package.entries.size())
                 .arg(voiceFolder));

    // A person may keep the data folder, or the voice folder itself, on
    // another disk through a link: the folder's path is followed to where it
    // really is, and nothing is written anywhere but there and in the staging
    // folder beside it. Entries inside it are never followed (see below).
    const QString resolved = resolvedFolder(voiceFolder);
    if (resolved.isEmpty() || !QDir().mkpath(resolved) || !QFileInfo(resolved).isDir()) {
        say(err, QStringLiteral("msiexec: cannot use the voice folder %1").arg(voiceFolder));
        return FatalError;
    }
    const QDir voices(resolved);
    // What the package did not put there is never replaced or deleted: a
    // folder of the person's own under an entry's name stops the installation.
    for (const VoicePackage::Entry &entry : std::as_const(package.entries)) {
        const QFileInfo target(voices.filePath(entry.name));
        if (target.isDir() && !target.isSymLink()) {
            say(err,
                QStringLiteral("msiexec: the voice folder already holds a folder %1; it is left as it is")
                    .arg(target.filePath()));
            return FatalError;
        }
    }
    removeStaleStaging(resolved);
    // Everything is written into a staging folder beside the voice folder
    // first (same file system), then moved in; a failure part-way takes back
    // what was moved, so an installation is complete or absent.
    QTemporaryDir staging(voices.filePath(QStringLiteral("../") + StagingPrefix + QStringLiteral("XXXXXX")));
    if (!staging.isValid()) {
        say(err, QStringLiteral("msiexec: cannot prepare the installation next to %1").arg(voiceFolder));
        return FatalError;
    }
    for (const VoicePackage::Entry &entry : std::as_const(package.entries)) {
        QSaveFile staged(staging.filePath(entry.name));
        if (!staged.open(QIODevice::WriteOnly) || staged.write(entry.data) != entry.data.size() || !staged.commit()) {
            say(err, QStringLiteral("msiexec: cannot write %1").arg(entry.name));
            return FatalError;
        }
    }
    QStringList moved;
    QStringList backups;
    for (const VoicePackage::Entry &entry : std::as_const(package.entries)) {
        const QString target = voices.filePath(entry.name);
        const QString backup = staging.filePath(entry.name + QStringLiteral(".previous"));
        const bool hadOne = QFileInfo(target).exists() || QFileInfo(target).isSymLink();
        // rename() replaces a link itself, never what it points to.
        if ((hadOne && !QFile::rename(target, backup)) || !QFile::rename(staging.filePath(entry.name), target)) {
            say(err, QStringLiteral("msiexec: cannot install %1 into %2").arg(entry.name, resolved));
            if (hadOne && QFileInfo::exists(backup))
                QFile::rename(backup, target);
            for (qsizetype i = moved.size() - 1; i >= 0; --i) {
                QFile::remove(voices.filePath(moved[i]));
                if (!backups[i].isEmpty())
                    QFile::rename(backups[i], voices.filePath(moved[i]));
            }
            return FatalError;
        }
        moved << entry.name;
        backups << (hadOne ? backup : QString());
        progress(QStringLiteral("  installed %1").arg(entry.name));
    }
    progress(QStringLiteral("Done."));
    return Success;
}

int run(const QStringList &arguments, const QString &voiceFolder, FILE *out, FILE *err)
{
    QString package;
    bool quiet = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString option = arguments[i].toLower();
        if ((option == u"/package" || option == u"/i") && i + 1 < arguments.size() && package.isNull()) {
            package = arguments[++i];
        } else if (option == u"/quiet" || option == u"/q" || option == u"/qn") {
            quiet = true;
        } else {
            say(err,
                QStringLiteral("msiexec: invalid command line at \"%1\"\n"
                               "usage: msiexec /package FILE [/quiet]")
                    .arg(arguments[i]));
            return InvalidCommandLine;
        }
    }
    if (package.isEmpty()) {
        say(err, QStringLiteral("msiexec: no package given\nusage: msiexec /package FILE [/quiet]"));
        return InvalidCommandLine;
    }
    return install(package, voiceFolder, quiet, out, err);
}

} // namespace PackageInstall
