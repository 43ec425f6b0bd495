#include "installer/msiexec/PackageInstall.h"

#include "installer/package/VoicePackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

namespace PackageInstall {

namespace {

void say(FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
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
                 .arg(package.version).arg(package.entries.size()).arg(voiceFolder));

    const QFileInfo folder(voiceFolder);
    if (folder.isSymLink() || (folder.exists() && !folder.isDir()) || !QDir().mkpath(voiceFolder)) {
        say(err, QStringLiteral("msiexec: cannot use the voice folder %1").arg(voiceFolder));
        return FatalError;
    }
    // Everything is written into a staging folder beside the voice folder
    // first (same file system), then moved in; a failure part-way takes back
    // what was moved, so an installation is complete or absent.
    QTemporaryDir staging(QDir(voiceFolder).filePath(QStringLiteral("../.voices-staging-XXXXXX")));
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
    const QDir voices(voiceFolder);
    QStringList moved;
    QStringList backups;
    for (const VoicePackage::Entry &entry : std::as_const(package.entries)) {
        const QString target = voices.filePath(entry.name);
        const QString backup = staging.filePath(entry.name + QStringLiteral(".previous"));
        const bool hadOne = QFileInfo(target).exists() || QFileInfo(target).isSymLink();
        // rename() replaces a link itself, never what it points to.
        if ((hadOne && !QFile::rename(target, backup)) || !QFile::rename(staging.filePath(entry.name), target)) {
            say(err, QStringLiteral("msiexec: cannot install %1 into %2").arg(entry.name, voiceFolder));
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
            say(err, QStringLiteral("msiexec: invalid command line at \"%1\"\n"
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
