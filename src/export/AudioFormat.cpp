// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/AudioFormat.h"

#include <QFileInfo>

#include <sndfile.h>

namespace AudioFormats {

std::optional<AudioFormat> fromPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"wav")
        return AudioFormat::Wav;
    if (suffix == u"flac")
        return AudioFormat::Flac;
    if (suffix == u"ogg" || suffix == u"oga")
        return AudioFormat::OggVorbis;
    if (suffix == u"opus")
        return AudioFormat::Opus;
    if (suffix == u"mp3")
        return AudioFormat::Mp3;
    return std::nullopt;
}

QString extension(AudioFormat format)
{
    switch (format) {
    case AudioFormat::Wav:
        return QStringLiteral("wav");
    case AudioFormat::Flac:
        return QStringLiteral("flac");
    case AudioFormat::OggVorbis:
        return QStringLiteral("ogg");
    case AudioFormat::Opus:
        return QStringLiteral("opus");
    case AudioFormat::Mp3:
        return QStringLiteral("mp3");
    }
    return {};
}

QString supportedList()
{
    return QStringLiteral("WAV（.wav）、FLAC（.flac）、Ogg Vorbis（.ogg）、Opus（.opus）、MP3（.mp3）");
}

int sampleRateFor(AudioFormat format, int speechRate)
{
    // Opus codes 8, 12, 16, 24 or 48 kHz only.
    return format == AudioFormat::Opus ? 24000 : speechRate;
}

int libsndfileFormat(AudioFormat format)
{
    switch (format) {
    case AudioFormat::Wav:
        // Written by WavFile, not by libsndfile: this is what it reads back.
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case AudioFormat::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFormat::OggVorbis:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case AudioFormat::Opus:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    case AudioFormat::Mp3:
        return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    }
    return 0;
}

} // namespace AudioFormats
