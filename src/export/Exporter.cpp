// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Exporter.h"

#include "export/AudioFileWriter.h"
#include "export/SafeOutput.h"
#include "export/Subtitles.h"
#include "platform/Failure.h"

#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace Exporter {

namespace {

// Takes the rendered speech into the file and keeps its words for the subtitles.
class FileSink : public SpeechSynthesis::Sink
{
public:
    FileSink(AudioFileWriter &writer, qsizetype textSize, bool keepWords,
             const std::function<void(const Progress &)> &progress, int sampleRate)
        : m_writer(writer), m_textSize(std::max<qsizetype>(1, textSize)), m_keepWords(keepWords), m_progress(progress),
          m_rate(sampleRate)
    {
        m_clock.start();
    }

    bool samples(const int16_t *data, std::size_t count) override
    {
        m_writer.write(data, count);
        m_samples += qint64(count);
        if (m_progress && m_clock.elapsed() - m_lastReport >= 100) {
            m_lastReport = m_clock.elapsed();
            report();
        }
        return true;
    }
    void word(qint64 sample, long position, long length) override
    {
        m_position = position + length;
        if (m_keepWords)
            words.append({sample, position, length});
    }
    void report() const
    {
        const double seconds = std::max<qint64>(1, m_clock.elapsed()) / 1000.0;
        m_progress({std::min(1.0, double(m_position) / m_textSize), m_samples / double(m_rate) / seconds});
    }
    qint64 samplesWritten() const { return m_samples; }

    QList<Subtitles::Word> words;

private:
    AudioFileWriter &m_writer;
    qsizetype m_textSize;
    bool m_keepWords;
    const std::function<void(const Progress &)> &m_progress;
    int m_rate;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
    qint64 m_samples = 0;
    long m_position = 0;
};

void writeWhole(const QString &path, const QByteArray &bytes, SafeOutput &output)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(output.fd(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            throw Failure(QStringLiteral("写入 %1 时出错。").arg(path), Failure::Reason::FileUnwritable);
        done += n;
    }
}

} // namespace

QString subtitlePath(const QString &target, const char *extension)
{
    const QFileInfo info(target);
    return info.dir().filePath(info.completeBaseName() + u'.' + QLatin1String(extension));
}

bool run(SpeechSynthesis &renderer, const Job &job, const std::function<void(const Progress &)> &progress,
         const std::atomic<bool> &cancel)
{
    const auto format = AudioFormats::fromPath(job.target);
    if (!format)
        throw Failure(QStringLiteral("无法识别 %1 的音频格式。请用这些扩展名之一：%2。")
                          .arg(job.target, AudioFormats::supportedList()),
                      Failure::Reason::FormatUnsupported);
    const int rate = renderer.sampleRate();
    AudioFileWriter writer(job.target, *format, rate);
    // The subtitle files are prepared before any work, so a folder that
    // takes the audio but not them fails at once.
    std::unique_ptr<SafeOutput> lrcFile, srtFile;
    if (job.subtitles) {
        lrcFile = std::make_unique<SafeOutput>(subtitlePath(job.target, "lrc"));
        srtFile = std::make_unique<SafeOutput>(subtitlePath(job.target, "srt"));
    }
    FileSink sink(writer, job.text.size(), job.subtitles, progress, rate);
    if (!renderer.render(job.text, job.speech, sink, cancel))
        return false;
    writer.finish();
    if (job.subtitles) {
        // Words are stamped at the speech's own rate; the subtitles count in time, so any rate serves.
        const QList<Subtitles::Cue> sentences = Subtitles::sentences(job.text, sink.words, sink.samplesWritten());
        writeWhole(lrcFile->target(), Subtitles::lrc(sentences, rate), *lrcFile);
        writeWhole(srtFile->target(),
                   Subtitles::srt(Subtitles::cues(job.text, sink.words, sink.samplesWritten()), rate), *srtFile);
        lrcFile->commit();
        srtFile->commit();
    }
    if (progress)
        sink.report();
    return true;
}

} // namespace Exporter
