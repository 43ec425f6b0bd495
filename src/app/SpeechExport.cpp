// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpeechExport.h"

#include "CommandLine.h"
#include "documents/Chapters.h"
#include "documents/Documents.h"
#include "documents/TextDecoding.h"
#include "export/AudioFormat.h"
#include "export/Exporter.h"
#include "export/ParallelSynthesis.h"
#include "export/SafeOutput.h"
#include "platform/Failure.h"
#include "speech/helper/HelperConfig.h"
#include "speech/helper/SpeechRenderer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// Set by SIGINT or SIGTERM: the save in progress is cancelled (its temporary
// removed, nothing left under the target's name) and no other begins.
std::atomic<bool> t_cancelled{false};
std::atomic<int> t_signalled{0};

extern "C" void cancelSaving(int signal)
{
    t_signalled.store(signal);
    t_cancelled.store(true);
}

// Installs the handlers for its lifetime. A second signal takes the
// default action: someone pressing Ctrl+C twice means it.
class CancelOnSignals
{
public:
    CancelOnSignals()
    {
        struct sigaction action{};
        action.sa_handler = cancelSaving;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_previousInt);
        sigaction(SIGTERM, &action, &m_previousTerm);
    }
    ~CancelOnSignals()
    {
        sigaction(SIGINT, &m_previousInt, nullptr);
        sigaction(SIGTERM, &m_previousTerm, nullptr);
    }
    CancelOnSignals(const CancelOnSignals &) = delete;
    CancelOnSignals &operator=(const CancelOnSignals &) = delete;

private:
    struct sigaction m_previousInt{}, m_previousTerm{};
};

void complain(const QString &file, const QString &reason)
{
    std::fprintf(stderr, "sayrella: %s: %s\n", qPrintable(file), qPrintable(QString(reason).replace(u'\n', u' ')));
}

Documents::Document documentOf(const QString &input)
{
    if (input != u"-") {
        QStringList notes;
        Documents::Document document = Documents::read(input, &notes);
        for (const QString &note : std::as_const(notes))
            complain(input, note);
        return document;
    }
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        throw Failure(QStringLiteral("无法读取标准输入。"), Failure::Reason::FileUnreadable);
    try {
        return {TextDecoding::decode(in.readAll()), {}, {}};
    } catch (const Failure &failure) {
        throw Failure(failure.description(), Failure::Reason::FileUnreadable);
    }
}

QString textOf(const QString &input) { return documentOf(input).text; }

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

// The first failure decides the status; those of sysexits.h where one fits.
int exitStatusFor(Failure::Reason reason)
{
    switch (reason) {
    case Failure::Reason::FileMissing: return 66; // EX_NOINPUT
    case Failure::Reason::FileUnreadable:
    case Failure::Reason::FormatUnsupported: return 65; // EX_DATAERR
    case Failure::Reason::FileUnwritable: return 73; // EX_CANTCREAT
    case Failure::Reason::VoiceMissing: return 69; // EX_UNAVAILABLE
    case Failure::Reason::EngineFailed:
    case Failure::Reason::EngineHung: return 70; // EX_SOFTWARE
    case Failure::Reason::SoundServerLost: return 69;
    case Failure::Reason::Cancelled: return 130; // as an interrupt
    case Failure::Reason::Unspecified: break;
    }
    return 1;
}

// --pinyin: the synthesis helper's front end makes the readings, so that
// they are exactly what its voices are given. Its output comes through a
// pipe and is written here: the confined helper may not write to files
// (standard output may be one).
int printReadings(const CommandLine &commandLine)
{
    QProcess helper;
    helper.setProcessChannelMode(QProcess::SeparateChannels);
    helper.setInputChannelMode(QProcess::ManagedInputChannel);
    helper.setStandardErrorFile(QProcess::nullDevice());
    const HelperConfig config = HelperConfig::resolve();
    helper.start(config.program(), config.pinyinArguments(commandLine.spokenTones()));
    if (!helper.waitForStarted()) {
        complain(QStringLiteral("sayrella-synth"), helper.errorString());
        return 1;
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return 1;
    const auto forward = [&] {
        out.write(helper.readAllStandardOutput());
        out.flush();
    };
    int status = 0;
    const QStringList inputs = commandLine.inputs().isEmpty() ? QStringList{QStringLiteral("-")} : commandLine.inputs();
    for (const QString &input : inputs) {
        try {
            QString text = textOf(input);
            if (!text.isEmpty() && !text.endsWith(u'\n'))
                text += u'\n';
            helper.write(text.toUtf8());
            // What the helper has made meanwhile is passed on as it comes.
            while (helper.bytesToWrite() > 0 && helper.state() == QProcess::Running) {
                helper.waitForBytesWritten(100);
                forward();
            }
        } catch (const Failure &failure) {
            complain(input, failure.description());
            status = 1;
        }
    }
    helper.closeWriteChannel();
    while (helper.state() == QProcess::Running) {
        helper.waitForReadyRead(100);
        forward();
    }
    helper.waitForFinished(-1);
    forward();
    if (helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != 0) {
        complain(QStringLiteral("sayrella-synth"), QStringLiteral("读音程序异常结束（状态 %1）").arg(helper.exitCode()));
        return 1;
    }
    return status;
}

// --list-chapters: what --split chapters would make of each document, so a
// person can see it before hours of saving.
int printChapters(const CommandLine &commandLine)
{
    int status = 0;
    for (const QString &input : commandLine.inputs()) {
        try {
            const Documents::Document document = documentOf(input);
            const QList<Documents::Heading> chapters = Documents::chapters(document);
            std::printf("%s: %lld\n", qPrintable(input), qlonglong(chapters.size()));
            for (qsizetype i = 0; i < chapters.size(); ++i)
                std::printf("%3lld\t%s\n", qlonglong(i + 1), qPrintable(chapters[i].title));
        } catch (const Failure &failure) {
            complain(input, failure.description());
            if (status == 0)
                status = exitStatusFor(failure.reason());
        }
    }
    return status;
}

int runWithoutWindow(const CommandLine &commandLine)
{
    if (commandLine.mode() == CommandLine::Mode::Pinyin)
        return printReadings(commandLine);
    if (commandLine.mode() == CommandLine::Mode::ListChapters)
        return printChapters(commandLine);
    std::unique_ptr<ParallelSynthesis> renderer;
    try {
        const int jobs = commandLine.jobs() > 0 ? commandLine.jobs() : ParallelSynthesis::defaultJobs();
        renderer = std::make_unique<ParallelSynthesis>([] { return std::make_unique<SpeechRenderer>(); }, jobs);
    } catch (const Failure &failure) {
        complain(QStringLiteral("sayrella-synth"), failure.description());
        return exitStatusFor(failure.reason());
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
    const CancelOnSignals cancelOnSignals;
    int status = 0;
    // The first failure decides the status.
    const auto failedWith = [&status](Failure::Reason reason) {
        if (status == 0)
            status = exitStatusFor(reason);
    };
    for (const QString &input : inputs) {
        if (t_signalled.load())
            break;
        const QString target = targetFor(commandLine, input);
        if (!AudioFormats::fromPath(target)) {
            complain(target, QStringLiteral("无法识别的音频格式，可用：%1").arg(AudioFormats::supportedList()));
            failedWith(Failure::Reason::FormatUnsupported);
            continue;
        }
        try {
            const Documents::Document document = documentOf(input);
            Exporter::Job job;
            job.text = document.text;
            job.target = target;
            job.speech = {commandLine.voice(), commandLine.rate(), commandLine.volume()};
            job.subtitles = commandLine.subtitles();
            job.overwrite = commandLine.force();
            // Tags: what the document says of itself, or its file's name.
            job.title = document.info.title.isEmpty() && input != u"-" ? QFileInfo(input).completeBaseName()
                                                                       : document.info.title;
            job.author = document.info.author;
            job.cover = document.info.cover;
            job.coverType = document.info.coverType;
            if (commandLine.split() == CommandLine::Split::Chapters) {
                for (const Documents::Heading &chapter : Documents::chapters(document))
                    job.split.chapters.append({chapter.offset, chapter.title});
                if (job.split.chapters.isEmpty())
                    complain(input, QStringLiteral("没有找到章节，保存为一个文件"));
                else
                    job.split.by = Exporter::Split::By::Chapters;
            } else if (commandLine.split() == CommandLine::Split::Minutes) {
                job.split.by = Exporter::Split::By::Minutes;
                job.split.minutes = commandLine.splitMinutes();
            }
            // The subtitles are the user's files as much as the audio: all that
            // would be written is checked before any of it is.
            QStringList written = job.split.by == Exporter::Split::By::Nothing ? QStringList{target}
                                                                                : Exporter::splitFileNames(job);
            for (const QString &audio : QStringList(written))
                if (commandLine.subtitles())
                    written << Exporter::subtitlePath(audio, "lrc") << Exporter::subtitlePath(audio, "srt");
            const auto taken = std::find_if(written.cbegin(), written.cend(), SafeOutput::entryExists);
            if (taken != written.cend() && !commandLine.force()) {
                complain(*taken, QStringLiteral("文件已经存在（用 --force 覆盖）"));
                failedWith(Failure::Reason::FileUnwritable);
                continue;
            }
            const auto progress = [&](const Exporter::Progress &p) {
                if (showProgress)
                    // Cleared to the line's end: the description may be shorter than the last.
                    std::fprintf(stderr, "\r%s  %s\033[K", qPrintable(target), qPrintable(Exporter::describe(p)));
            };
            const bool finished = Exporter::run(*renderer, job, progress, t_cancelled);
            if (showProgress)
                std::fputs("\n", stderr);
            if (!finished) {
                complain(target, QStringLiteral("已取消，没有写入文件"));
                break;
            }
        } catch (const Failure &failure) {
            if (showProgress)
                std::fputs("\n", stderr);
            complain(input == u"-" ? target : input, failure.description());
            failedWith(failure.reason());
        }
    }
    // Ended by a signal: the shell's convention, 128 + its number.
    if (const int signal = t_signalled.load())
        return 128 + signal;
    return status;
}
