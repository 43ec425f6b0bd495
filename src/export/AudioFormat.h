// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// The audio files speech is saved as, chosen by the file's extension.
enum class AudioFormat { Wav, Flac, OggVorbis, Opus, Mp3 };

namespace AudioFormats {

std::optional<AudioFormat> fromPath(const QString &path);
QString extension(AudioFormat format);
// The list for messages: "WAV（.wav）、FLAC（.flac）…".
QString supportedList();
// The speech's own rate, except where the format cannot take it (Opus).
int sampleRateFor(AudioFormat format, int speechRate);
// libsndfile's major format and subtype.
int libsndfileFormat(AudioFormat format);

} // namespace AudioFormats
