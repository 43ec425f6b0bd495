// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/VoiceToken.h"

#include <QList>
#include <QString>

// Voices offered by the espeak-ng back end. Voices installed for the user (a
// voice package puts espeak-ng voice files into ProgramFiles::userVoiceFolder()) come
// first, sorted by file name; the built-in voices follow: Mandarin first,
// then the rest in espeak-ng's own order. MBROLA voices are left out: they
// need data we do not ship, and a failed load leaves the synthesiser silent.
namespace VoiceCatalog {

// Tokens for the voice files in folder (ids "file:<path>", which the
// synthesis helper loads by file).
QList<SpObjectToken> userVoices(const QString &folder);

// Readable description from an espeak-ng voice name ("Chinese_(Mandarin)").
QString describe(const QByteArray &espeakName);

} // namespace VoiceCatalog
