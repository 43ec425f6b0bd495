// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/AudioFormat.h"
#include "export/SafeOutput.h"
#include "export/WavFile.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

typedef struct sf_private_tag SNDFILE;
typedef struct SRC_STATE_tag SRC_STATE;

// Speech samples (16-bit mono) into an audio file: WAV by our own writer
// (the plainest PCM WAV, which libsndfile does not write when it must be
// ready for RF64), the rest through libsndfile, which encodes FLAC, Ogg
// Vorbis, Opus and MP3 (LAME). Where the format needs
// another sample rate, libsamplerate converts on the way. Written safely
// (SafeOutput): the target appears only when commit() succeeds.
// Written into the file as its format keeps them: WAV's LIST INFO, Vorbis
// comments in FLAC, Ogg Vorbis and Opus, ID3v2 in MP3.
struct AudioTags
{
    QString title; // the chapter's, or the book's
    QString artist; // the author
    QString album; // the book's title
    int track = 0; // 0: none
    int tracks = 0;
    QByteArray cover; // an image, embedded where the format keeps one
    QString coverType; // its MIME type
};

class AudioFileWriter
{
public:
    // Throws Failure.
    AudioFileWriter(const QString &target, AudioFormat format, int inputRate, const AudioTags &tags = {});
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter &) = delete;
    AudioFileWriter &operator=(const AudioFileWriter &) = delete;

    void write(const int16_t *samples, std::size_t count); // throws Failure
    // Completes the file under its temporary name; commit() puts it in
    // place, so that a save of several files can write them all first.
    void finish(); // throws Failure
    void commit() { m_output.commit(); }
    int outputRate() const { return m_outputRate; }

private:
    void writeFloats(const float *samples, std::size_t count);
    [[noreturn]] void fail();
    void failIfRefused();

    SafeOutput m_output;
    AudioFormat m_format;
    AudioTags m_tags;
    std::unique_ptr<WavFile> m_wav; // WAV only; m_file otherwise
    // libsndfile writes through these, so that a write the disk refused is
    // known: its encoders go on as if it had succeeded (a full disk gave a
    // cut-off MP3 and "saved").
    std::unique_ptr<struct SndfileAccess> m_access;
    SNDFILE *m_file = nullptr;
    SRC_STATE *m_resampler = nullptr;
    int m_inputRate;
    int m_outputRate;
    std::vector<float> m_in, m_out;
    std::size_t m_sinceWriteback = 0; // samples taken since the disk was last asked to catch up
};
