// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpeechExport.h"

#include "CommandLine.h"
#include "documents/Documents.h"
#include "documents/TextDecoding.h"
#include "export/AudioFormat.h"
#include "export/Exporter.h"
#include "platform/Failure.h"
#include "speech/espeak/SpeechRenderer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace {

void complain(const QString &file, const QString &reason)
{
    std::fprintf(stderr, "sayrella: %s: %s\n", qPrintable(file), qPrintable(QString(reason).replace(u'\n', u' ')));
}

QString textOf(const QString &input)
{
    if (input != u"-") {
        QStringList notes;
        const QString text = Documents::readText(input, &notes);
        for (const QString &note : std::as_const(notes))
            complain(input, note);
        return text;
    }
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        throw Failure(QStringLiteral("无法读取标准输入。"));
    return TextDecoding::decode(in.readAll());
}

// Where each input's speech goes: OUT itself, or OUT/NAME.EXT when OUT is a folder.
QString targetFor(const CommandLine &commandLine, const QString &input)
{
    const QString out = commandLine.exportTarget();
    if (!QFileInfo(out).isDir() && !out.endsWith(u'/'))
        return out;
    const QString base = input == u"-" ? QStringLiteral("stdin") : QFileInfo(input).completeBaseName();
    return QDir(out).filePath(base + u'.' + commandLine.format());
}

} // namespace

int runWithoutWindow(const CommandLine &commandLine)
{
    std::unique_ptr<SpeechRenderer> renderer;
    try {
        renderer = std::make_unique<SpeechRenderer>();
    } catch (const Failure &failure) {
        complain(QStringLiteral("sayrella-synth"), failure.description());
        return 1;
    }
    if (commandLine.mode() == CommandLine::Mode::ListVoices) {
        for (const SpObjectToken &voice : renderer->GetVoices())
            std::printf("%s\t%s\n", qPrintable(voice.id()), qPrintable(voice.GetDescription()));
        return 0;
    }

    const QStringList inputs = commandLine.inputs();
    const QString out = commandLine.exportTarget();
    if (inputs.size() > 1 && !QFileInfo(out).isDir())
        commandLine.usageError(QStringLiteral("有多个输入时，--export 必须是一个已有的文件夹。"));
    const bool showProgress = isatty(STDERR_FILENO);
    const std::atomic<bool> never{false};
    int status = 0;
    for (const QString &input : inputs) {
        const QString target = targetFor(commandLine, input);
        if (!AudioFormats::fromPath(target)) {
            complain(target, QStringLiteral("无法识别的音频格式，可用：%1").arg(AudioFormats::supportedList()));
            status = 1;
            continue;
        }
        if (QFileInfo::exists(target) && !commandLine.force()) {
            complain(target, QStringLiteral("文件已经存在（用 --force 覆盖）"));
            status = 1;
            continue;
        }
        try {
            Exporter::Job job;
            job.text = textOf(input);
            job.target = target;
            job.speech = {commandLine.voice(), commandLine.rate(), commandLine.volume()};
            job.subtitles = commandLine.subtitles();
            const auto progress = [&](const Exporter::Progress &p) {
                if (showProgress)
                    std::fprintf(stderr, "\r%s  %3d%%  %.0f× 实时 ", qPrintable(target), int(p.share * 100),
                                 p.realTime);
            };
            Exporter::run(*renderer, job, progress, never);
            if (showProgress)
                std::fputs("\n", stderr);
        } catch (const Failure &failure) {
            if (showProgress)
                std::fputs("\n", stderr);
            complain(input == u"-" ? target : input, failure.description());
            status = 1;
        }
    }
    return status;
}
