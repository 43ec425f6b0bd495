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
//
// A book may be saved a file per chapter or per so many minutes instead:
// "NAME 01 TITLE.EXT", … beside the target, each with its own subtitles and
// tags, and a playlist NAME.m3u8. Each file is put in place once it is
// complete, so a cancel keeps the whole files before it and nothing of the
// one in progress.
namespace Exporter {

struct Chapter
{
    qsizetype offset = 0; // where it begins in the text
    QString title;
};

struct Split
{
    enum class By { Nothing, Chapters, Minutes };
    By by = By::Nothing;
    QList<Chapter> chapters; // By::Chapters, in text order
    int minutes = 0; // By::Minutes: a file is cut at the first sentence after so many
};

struct Job
{
    QString text;
    QString target; // its extension gives the format
    SpeechSynthesis::Settings speech;
    bool subtitles = false;
    Split split;
    QString title; // the book's, for the files' tags
    QString author;
    QByteArray cover; // the book's cover image, embedded where the format allows
    QString coverType;
    bool overwrite = false; // split files that exist are replaced (a single target is checked by the caller)
};

// The files a split save makes for the target, in order: used to check
// before saving that none is taken. Minutes cannot be known in advance: empty.
QStringList splitFileNames(const Job &job);

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
