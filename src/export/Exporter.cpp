// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Exporter.h"

#include "export/AudioFileWriter.h"
#include "export/RemainingTime.h"
#include "export/SafeOutput.h"
#include "export/Subtitles.h"
#include "platform/Failure.h"

#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>

#include <cmath>

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
    void report(bool finished = false)
    {
        const double seconds = std::max<qint64>(1, m_clock.elapsed()) / 1000.0;
        const double share = finished ? 1.0 : std::min(1.0, double(m_position) / m_textSize);
        const double audio = m_samples / double(m_rate);
        m_progress({share, audio / seconds, audio, m_remaining.update(seconds, share)});
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
    RemainingTime m_remaining;
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

namespace {

// 1:02:03, or 2:03 under an hour.
QString clockTime(double seconds)
{
    const qint64 whole = qint64(seconds);
    const qint64 h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    return h > 0 ? QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'))
                 : QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QChar(u'0'));
}

// Rounded as a person says it: a countdown by the second reads as a promise.
QString roughly(double seconds)
{
    if (seconds < 10)
        return QStringLiteral("还需几秒");
    if (seconds < 60)
        return QStringLiteral("还需约 %1 秒").arg(qint64(std::ceil(seconds / 10)) * 10);
    if (seconds < 3600)
        return QStringLiteral("还需约 %1 分钟").arg(qint64(std::ceil(seconds / 60)));
    return QStringLiteral("还需约 %1 小时 %2 分钟").arg(qint64(seconds) / 3600).arg(qint64(seconds) / 60 % 60);
}

} // namespace

QString describe(const Progress &progress)
{
    QString text = QStringLiteral("已完成 %1%，已生成 %2 的语音，速度为实时的 %3 倍")
                       .arg(int(progress.share * 100))
                       .arg(clockTime(progress.audioSeconds))
                       .arg(qint64(progress.realTime));
    if (progress.remainingSeconds >= 0 && progress.share < 1)
        text += u'，' + roughly(progress.remainingSeconds);
    return text;
}

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
    }
    // Everything is complete before anything takes its place: a subtitle
    // that cannot be written leaves no audio without its subtitles.
    if (job.subtitles) {
        lrcFile->commit();
        srtFile->commit();
    }
    writer.commit();
    if (progress)
        sink.report(true);
    return true;
}

} // namespace Exporter
