// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// 16-bit mono speech as the plainest WAV there is: a 44-byte header whose
// "fmt " chunk is format 1 (PCM), the samples, and the tags (LIST INFO)
// after them. Simple readers, players and devices that know nothing else
// read it. Only a file whose sizes no longer fit WAV's 32-bit fields (past
// 4 GiB, about 27 hours of speech) is turned into RF64 when it is finished:
// its samples move up to make room for the 64-bit sizes, once.
class WavFile
{
public:
    struct Tags
    {
        QString title, artist, album, track, software;
    };

    // fd: an empty file open for reading and writing, at its start. Throws Failure.
    WavFile(int fd, int sampleRate, const Tags &tags, const QString &target);

    void write(const int16_t *samples, std::size_t count); // throws Failure
    // Writes the tags and the true sizes. Throws Failure.
    void finish();

    // The LIST INFO chunk for tags (empty when there are none).
    static QByteArray infoChunk(const Tags &tags);
    // When a file of this much audio and this much after it becomes RF64.
    static bool needsRf64(std::uint64_t dataBytes, std::uint64_t trailingBytes);

private:
    void writeAt(std::uint64_t offset, const char *bytes, std::size_t size);
    void moveSamplesUp(std::uint64_t by);
    [[noreturn]] void fail(int error) const;

    int m_fd;
    int m_sampleRate;
    QByteArray m_info;
    QString m_target;
    std::uint64_t m_dataBytes = 0;
};
