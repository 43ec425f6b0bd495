// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Exporter.h"

#include "export/FileSequence.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace Exporter {

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

QStringList splitFileNames(const Job &job)
{
    if (job.split.by != Split::By::Chapters || job.split.chapters.isEmpty())
        return {};
    QStringList names;
    int number = 0;
    if (FileSequence::leadingTextIsAFile(job))
        names << FileSequence::fileName(job, ++number, FileSequence::leadingTitle(job));
    for (const Chapter &chapter : job.split.chapters)
        names << FileSequence::fileName(job, ++number, chapter.title);
    return names;
}

bool run(SpeechSynthesis &renderer, const Job &job, const std::function<void(const Progress &)> &progress,
         const std::atomic<bool> &cancel)
{
    const auto format = AudioFormats::fromPath(job.target);
    if (!format)
        throw Failure(QStringLiteral("无法识别 %1 的音频格式。请用这些扩展名之一：%2。")
                          .arg(job.target, AudioFormats::supportedList()),
                      Failure::Reason::FormatUnsupported);
    FileSequence files(job, *format, renderer.sampleRate(), progress);
    if (!renderer.render(job.text, job.speech, files, cancel))
        return false;
    files.finish();
    if (progress)
        files.report(true);
    return true;
}

} // namespace Exporter
