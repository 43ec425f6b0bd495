// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the program's own files are. In a build tree everything sits in one
// folder beside the program; installed, helper programs (the synthesis
// helper, the installer stand-in) are in libexec/sayrella and data (the voice
// package, the registry hive) in share/sayrella, both found relative to the
// running program.
namespace ProgramFiles {

// The folder of helper programs, and the path of the named one in it. When
// the helper is nowhere, the path where an installation would have it.
QString helperFolder();
QString helper(const QString &name);

// The folder of the program's data files, and the path of the named one.
QString dataFolder();
QString data(const QString &name);

// The person's own voice folder, where voice packages are installed.
QString userVoiceFolder();

} // namespace ProgramFiles
