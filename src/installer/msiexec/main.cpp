// SPDX-License-Identifier: GPL-3.0-or-later
// msiexec: the stand-in for Windows Installer. It installs a voice package
// for the current user into the voice folder the reader's voices come from.
//   msiexec /package FILE [/quiet]
#include "installer/msiexec/PackageInstall.h"
#include "platform/paths/ProgramFiles.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return PackageInstall::run(app.arguments().mid(1), ProgramFiles::userVoiceFolder(), stdout, stderr);
}
