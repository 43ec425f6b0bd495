// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/AudioFileWriter.h"

#include "export/CoverAndTags.h"
#include "platform/Failure.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// libsndfile's access to the temporary, by its descriptor.
struct SndfileAccess
{
    int fd;
    int error = 0; // the first refused write's errno
};

namespace {

constexpr std::size_t WritebackSamples = 2'000'000;

sf_count_t accessLength(void *data)
{
    struct stat status;
    return fstat(static_cast<SndfileAccess *>(data)->fd, &status) == 0 ? sf_count_t(status.st_size) : -1;
}

sf_count_t accessSeek(sf_count_t offset, int whence, void *data)
{
    return sf_count_t(lseek(static_cast<SndfileAccess *>(data)->fd, off_t(offset), whence));
}

sf_count_t accessTell(void *data) { return sf_count_t(lseek(static_cast<SndfileAccess *>(data)->fd, 0, SEEK_CUR)); }

sf_count_t accessRead(void *into, sf_count_t count, void *data)
{
    for (;;) {
        const ssize_t n = read(static_cast<SndfileAccess *>(data)->fd, into, size_t(count));
        if (n >= 0 || errno != EINTR)
            return n < 0 ? 0 : sf_count_t(n);
    }
}

sf_count_t accessWrite(const void *from, sf_count_t count, void *data)
{
    SndfileAccess &access = *static_cast<SndfileAccess *>(data);
    const char *bytes = static_cast<const char *>(from);
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t n = write(access.fd, bytes + done, size_t(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (access.error == 0)
                access.error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += n;
    }
    return done;
}

SF_VIRTUAL_IO FdAccess{accessLength, accessSeek, accessRead, accessWrite, accessTell};

} // namespace

AudioFileWriter::AudioFileWriter(const QString &target, AudioFormat format, int inputRate, const AudioTags &tags)
    : m_output(target), m_format(format), m_tags(tags), m_inputRate(inputRate), m_outputRate(AudioFormats::sampleRateFor(format, inputRate))
{
    if (format == AudioFormat::Wav) {
        m_wav = std::make_unique<WavFile>(m_output.fd(), m_outputRate,
                                          WavFile::Tags{tags.title, tags.artist, tags.album,
                                                        tags.track <= 0 ? QString()
                                                        : tags.tracks > 0
                                                            ? QStringLiteral("%1/%2").arg(tags.track).arg(tags.tracks)
                                                            : QString::number(tags.track),
                                                        QStringLiteral("Sayrella")},
                                          target);
        return;
    }
    SF_INFO info{};
    info.samplerate = m_outputRate;
    info.channels = 1;
    info.format = AudioFormats::libsndfileFormat(format);
    m_access = std::make_unique<SndfileAccess>(SndfileAccess{m_output.fd()});
    m_file = sf_open_virtual(&FdAccess, SFM_WRITE, &info, m_access.get());
    if (!m_file)
        throw Failure(
            QStringLiteral("无法写入 %1 格式的文件 %2：%3。")
                .arg(AudioFormats::extension(format).toUpper(), target, QString::fromUtf8(sf_strerror(nullptr))),
            Failure::Reason::FileUnwritable);
    if (format == AudioFormat::Mp3) {
        // Variable bit rate at a middle quality: speech is mostly pauses and
        // narrow sounds, so the file is a fraction of the constant rate's,
        // and LAME's variable-rate search is the faster one.
        int mode = SF_BITRATE_MODE_VARIABLE;
        sf_command(m_file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
        double level = 0.5;
        sf_command(m_file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    }
    // Before any audio: the Ogg formats write their comments with the headers.
    const auto tag = [&](int kind, const QString &value) {
        if (!value.isEmpty() && CoverAndTags::libsndfileTagsServe(format))
            sf_set_string(m_file, kind, value.toUtf8().constData());
    };
    tag(SF_STR_TITLE, tags.title);
    tag(SF_STR_ARTIST, tags.artist);
    tag(SF_STR_ALBUM, tags.album);
    if (tags.track > 0)
        tag(SF_STR_TRACKNUMBER, tags.tracks > 0 ? QStringLiteral("%1/%2").arg(tags.track).arg(tags.tracks)
                                                : QString::number(tags.track));
    tag(SF_STR_SOFTWARE, QStringLiteral("Sayrella"));
    // Speech is clipped by nothing: normalising floats to 16 bits needs no headroom change.
    sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (m_outputRate != m_inputRate) {
        int error = 0;
        m_resampler = src_new(SRC_SINC_FASTEST, 1, &error);
        if (!m_resampler)
            throw Failure(QStringLiteral("无法转换采样率：%1。").arg(QString::fromUtf8(src_strerror(error))));
    }
}

AudioFileWriter::~AudioFileWriter()
{
    if (m_file)
        sf_close(m_file);
    if (m_resampler)
        src_delete(m_resampler);
}

void AudioFileWriter::fail()
{
    // The disk's own word where it refused a write; libsndfile's otherwise.
    if (m_access && m_access->error)
        throw SafeOutput::writeFailure(m_output.target(), m_access->error);
    const int error = errno;
    const QString why = error == ENOSPC ? QStringLiteral("磁盘已满") : QString::fromUtf8(sf_strerror(m_file));
    throw Failure(QStringLiteral("写入 %1 时出错：%2。").arg(m_output.target(), why), Failure::Reason::FileUnwritable);
}

void AudioFileWriter::failIfRefused()
{
    if (m_access && m_access->error != 0)
        fail();
}

void AudioFileWriter::write(const int16_t *samples, std::size_t count)
{
    // About every minute and a half of speech (4 MB of WAV) the disk is
    // asked to confirm what was written so far, beside the writing; left to
    // the end, the flush before the rename stood still for 0.1-0.2 s per
    // book of 190 MB, now for about 10 ms.
    m_sinceWriteback += count;
    if (m_sinceWriteback >= WritebackSamples) {
        m_output.startWriteback();
        m_sinceWriteback = 0;
    }
    if (m_wav) {
        m_wav->write(samples, count);
        return;
    }
    if (!m_resampler) {
        errno = 0;
        if (sf_write_short(m_file, samples, sf_count_t(count)) != sf_count_t(count))
            fail();
        failIfRefused();
        return;
    }
    m_in.resize(count);
    src_short_to_float_array(samples, m_in.data(), int(count));
    writeFloats(m_in.data(), count);
}

void AudioFileWriter::writeFloats(const float *samples, std::size_t count)
{
    const double ratio = double(m_outputRate) / m_inputRate;
    m_out.resize(std::size_t(double(count) * ratio) + 256);
    SRC_DATA data{};
    data.data_in = samples;
    data.input_frames = long(count);
    data.src_ratio = ratio;
    data.end_of_input = count == 0;
    do {
        data.data_out = m_out.data();
        data.output_frames = long(m_out.size());
        if (src_process(m_resampler, &data) != 0)
            throw Failure(QStringLiteral("无法转换采样率。"));
        errno = 0;
        if (sf_write_float(m_file, m_out.data(), data.output_frames_gen) != data.output_frames_gen)
            fail();
        failIfRefused();
        data.data_in += data.input_frames_used;
        data.input_frames -= data.input_frames_used;
    } while (data.input_frames > 0 || (data.end_of_input && data.output_frames_gen > 0));
}

void AudioFileWriter::finish()
{
    if (m_wav) {
        m_wav->finish();
        return;
    }
    if (m_resampler)
        writeFloats(nullptr, 0); // what the converter still holds
    sf_write_sync(m_file);
    const int error = sf_close(m_file);
    m_file = nullptr;
    // What the encoder wrote last, at its close, may not have fitted either.
    failIfRefused();
    if (error != 0)
        throw Failure(
            QStringLiteral("写入 %1 时出错：%2。").arg(m_output.target(), QString::fromUtf8(sf_error_number(error))),
            Failure::Reason::FileUnwritable);
    // The temporary, by its descriptor: it has no name of its own to give.
    CoverAndTags::write(QStringLiteral("/proc/self/fd/%1").arg(m_output.fd()), m_format, m_tags);
}
