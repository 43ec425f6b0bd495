// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The installer stand-in's work, apart from its command line so that tests
// can run it in-process. Exit codes are Windows Installer's.
namespace PackageInstall {

constexpr int Success = 0;
constexpr int FatalError = 1603; // the installation itself failed
constexpr int CannotOpenPackage = 1619; // missing or unreadable
constexpr int InvalidPackage = 1620; // not an intact voice package
constexpr int InvalidCommandLine = 1639;

// Installs every voice of the package into voiceFolder: all of them or, on
// any failure, none (earlier contents stay as they were). Progress goes to
// out unless quiet; problems always go to err.
int install(const QString &packagePath, const QString &voiceFolder, bool quiet, FILE *out, FILE *err);

// msiexec's command line: /package FILE (or /i FILE) and /quiet, in any
// order, options in any letter case.
int run(const QStringList &arguments, const QString &voiceFolder, FILE *out, FILE *err);

} // namespace PackageInstall
