// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the save dialog proposes to put speech: beside the open document,
// under its name (小说.epub -> 小说.mp3), or as 朗读.mp3 in the music folder.
// A music folder that does not exist yet (a new account) is made, so that
// accepting the proposal works; one that cannot be made gives way to home.
QString suggestedAudioPath(const QString &documentPath, const QString &musicFolder, const QString &homeFolder);
