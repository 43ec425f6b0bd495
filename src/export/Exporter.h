// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/AudioFormat.h"
#include "speech/SpeechSynthesis.h"

#include <QString>

#include <atomic>
#include <functional>

// Saves what Speak would read as an audio file, and optionally its LRC and
// SRT subtitles beside it (NAME.lrc, NAME.srt). Everything is written under
// temporary names and renamed into place only when all of it is complete.
namespace Exporter {

struct Job
{
    QString text;
    QString target; // its extension gives the format
    SpeechSynthesis::Settings speech;
    bool subtitles = false;
};

struct Progress
{
    double share = 0; // of the text spoken, 0..1
    double realTime = 0; // seconds of audio made per second of work
    double audioSeconds = 0; // made so far
    double remainingSeconds = -1; // of work still to do; negative while not known
};

// "已完成 12%，已生成 1:02:03 的语音，速度为实时的 450 倍，还需约 2 分钟" — the same
// words for the window and the terminal.
QString describe(const Progress &progress);

// Throws Failure (an unknown extension lists the formats). Returns false when
// cancelled. progress is called now and then on the calling thread.
bool run(SpeechSynthesis &renderer, const Job &job, const std::function<void(const Progress &)> &progress,
         const std::atomic<bool> &cancel);

// NAME.lrc and NAME.srt for a target NAME.ext.
QString subtitlePath(const QString &target, const char *extension);

} // namespace Exporter
