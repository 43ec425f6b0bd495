// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/WavFile.h"

#include "export/SafeOutput.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint64_t PlainHeader = 44;
// RF64's header adds a "ds64" chunk of 28 bytes (with its own 8) before "fmt ".
constexpr std::uint64_t Ds64Chunk = 36;
constexpr std::uint64_t Rf64Header = PlainHeader + Ds64Chunk;

void put32(QByteArray &into, std::uint32_t value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    into.append(bytes, 4);
}

void put16(QByteArray &into, std::uint16_t value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    into.append(bytes, 2);
}

void put64(QByteArray &into, std::uint64_t value)
{
    char bytes[8];
    qToLittleEndian(value, bytes);
    into.append(bytes, 8);
}

// The "fmt " chunk of 16-bit mono PCM, format 1: nothing extensible about it.
void putFormat(QByteArray &into, int sampleRate)
{
    into.append("fmt ", 4);
    put32(into, 16);
    put16(into, 1); // WAVE_FORMAT_PCM
    put16(into, 1); // channels
    put32(into, std::uint32_t(sampleRate));
    put32(into, std::uint32_t(sampleRate) * 2); // bytes per second
    put16(into, 2); // bytes per frame
    put16(into, 16); // bits per sample
}

QByteArray plainHeader(int sampleRate, std::uint64_t dataBytes, std::uint64_t trailingBytes)
{
    QByteArray header;
    header.append("RIFF", 4);
    put32(header, std::uint32_t(PlainHeader - 8 + dataBytes + trailingBytes));
    header.append("WAVE", 4);
    putFormat(header, sampleRate);
    header.append("data", 4);
    put32(header, std::uint32_t(dataBytes));
    return header;
}

QByteArray rf64Header(int sampleRate, std::uint64_t dataBytes, std::uint64_t trailingBytes)
{
    QByteArray header;
    header.append("RF64", 4);
    put32(header, 0xFFFFFFFFu); // the sizes are in ds64
    header.append("WAVE", 4);
    header.append("ds64", 4);
    put32(header, 28);
    put64(header, Rf64Header - 8 + dataBytes + trailingBytes);
    put64(header, dataBytes);
    put64(header, dataBytes / 2); // frames
    put32(header, 0); // no table of other large chunks
    putFormat(header, sampleRate);
    header.append("data", 4);
    put32(header, 0xFFFFFFFFu);
    return header;
}

} // namespace

WavFile::WavFile(int fd, int sampleRate, const Tags &tags, const QString &target)
    : m_fd(fd), m_sampleRate(sampleRate), m_info(infoChunk(tags)), m_target(target)
{
    // A header of no length yet, so that a file cut short by a crash still
    // reads as what it is.
    const QByteArray header = plainHeader(m_sampleRate, 0, 0);
    writeAt(0, header.constData(), std::size_t(header.size()));
}

QByteArray WavFile::infoChunk(const Tags &tags)
{
    QByteArray entries;
    const auto entry = [&](const char *id, const QString &value) {
        if (value.isEmpty())
            return;
        QByteArray text = value.toUtf8();
        text.append('\0');
        entries.append(id, 4);
        put32(entries, std::uint32_t(text.size()));
        entries.append(text);
        if (text.size() % 2)
            entries.append('\0'); // chunks start on even bytes
    };
    entry("INAM", tags.title);
    entry("IART", tags.artist);
    entry("IPRD", tags.album);
    entry("ITRK", tags.track);
    entry("ISFT", tags.software);
    if (entries.isEmpty())
        return {};
    QByteArray chunk("LIST", 4);
    put32(chunk, std::uint32_t(entries.size() + 4));
    chunk.append("INFO", 4);
    return chunk + entries;
}

bool WavFile::needsRf64(std::uint64_t dataBytes, std::uint64_t trailingBytes)
{
    // The RIFF size counts all but its first 8 bytes.
    return PlainHeader - 8 + dataBytes + trailingBytes > 0xFFFFFFFFu;
}

void WavFile::fail(int error) const { throw SafeOutput::writeFailure(m_target, error); }

void WavFile::writeAt(std::uint64_t offset, const char *bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = pwrite(m_fd, bytes, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : ENOSPC);
        bytes += n;
        size -= std::size_t(n);
        offset += std::uint64_t(n);
    }
}

void WavFile::write(const int16_t *samples, std::size_t count)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "WAV samples are little-endian, as they are in memory here");
    writeAt(PlainHeader + m_dataBytes, reinterpret_cast<const char *>(samples), count * 2);
    m_dataBytes += count * 2;
}

// Moves the samples up by some bytes, from the end down, so that no byte is
// overwritten before it has been copied.
void WavFile::moveSamplesUp(std::uint64_t by)
{
    constexpr std::uint64_t Block = 16 << 20;
    std::vector<char> buffer(Block);
    std::uint64_t end = m_dataBytes;
    while (end > 0) {
        const std::uint64_t size = std::min(Block, end);
        const std::uint64_t from = PlainHeader + end - size;
        std::uint64_t done = 0;
        while (done < size) {
            const ssize_t n = pread(m_fd, buffer.data() + done, size - done, off_t(from + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail(n < 0 ? errno : EIO);
            done += std::uint64_t(n);
        }
        writeAt(from + by, buffer.data(), size);
        end -= size;
    }
}

void WavFile::finish()
{
    const std::uint64_t trailing = std::uint64_t(m_info.size());
    if (!needsRf64(m_dataBytes, trailing)) {
        writeAt(PlainHeader + m_dataBytes, m_info.constData(), std::size_t(m_info.size()));
        const QByteArray header = plainHeader(m_sampleRate, m_dataBytes, trailing);
        writeAt(0, header.constData(), std::size_t(header.size()));
        return;
    }
    moveSamplesUp(Ds64Chunk);
    writeAt(Rf64Header + m_dataBytes, m_info.constData(), std::size_t(m_info.size()));
    const QByteArray header = rf64Header(m_sampleRate, m_dataBytes, trailing);
    writeAt(0, header.constData(), std::size_t(header.size()));
}
