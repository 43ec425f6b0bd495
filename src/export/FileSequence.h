// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/AudioFileWriter.h"
#include "export/Exporter.h"
#include "export/RemainingTime.h"
#include "export/SafeOutput.h"
#include "export/Subtitles.h"

#include <QElapsedTimer>

#include <deque>
#include <memory>
#include <vector>

// Where rendered speech goes when it is saved: one file, or a file per
// chapter or per so many minutes. A file is cut just before the first word
// of its chapter (or of the first sentence past the minutes), so no word is
// split between two files; each file's subtitles count from its own start.
class FileSequence : public SpeechSynthesis::Sink
{
public:
    // Throws Failure when the first file cannot be opened.
    FileSequence(const Exporter::Job &job, AudioFormat format, int sampleRate,
                 const std::function<void(const Exporter::Progress &)> &progress);
    ~FileSequence() override;

    bool samples(const int16_t *data, std::size_t count) override;
    void word(qint64 sample, long position, long length) override;

    // Completes the last file (and the playlist of a split save) and puts
    // it in place. Throws Failure.
    void finish();
    void report(bool finished = false);

    // How many files a chapter split makes: one per chapter, and one more
    // when the text before the first chapter is long enough to stand alone.
    static int fileCount(const Exporter::Job &job);
    // The path of a split save's file number (from 1) with that title.
    static QString fileName(const Exporter::Job &job, int number, const QString &title);
    // The title of the file of text before the first chapter.
    static QString leadingTitle(const Exporter::Job &job);
    static bool leadingTextIsAFile(const Exporter::Job &job);

private:
    struct Cut
    {
        qint64 sample = 0; // the first sample of the next file
        qsizetype textStart = 0;
        QString title;
        QList<Subtitles::Word> words; // stamped before the cut was made
    };
    struct Output
    {
        std::unique_ptr<AudioFileWriter> writer;
        std::unique_ptr<SafeOutput> lrc, srt;
        QString path;
        QString title;
        qsizetype textStart = 0;
        qint64 firstSample = 0;
        QList<Subtitles::Word> words; // samples counted from the whole speech's start
    };

    void open(qsizetype textStart, const QString &title, QList<Subtitles::Word> words);
    void close(qsizetype textEnd);
    void write(const int16_t *data, std::size_t count);
    bool split() const { return m_job.split.by != Exporter::Split::By::Nothing; }

    const Exporter::Job &m_job;
    AudioFormat m_format;
    int m_rate;
    const std::function<void(const Exporter::Progress &)> &m_progress;
    Output m_current;
    std::deque<Cut> m_cuts;
    int m_number = 0; // of the file being written, from 1
    int m_count = 0; // of the files a chapter split makes; 0 when not known
    qsizetype m_nextChapter = 0;
    std::vector<qsizetype> m_sentenceStarts;
    qsizetype m_lastSentenceStart = -1;
    qint64 m_samples = 0;
    long m_position = 0;
    struct Entry
    {
        QString name;
        double seconds;
        QString title;
    };
    QList<Entry> m_playlist;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
    RemainingTime m_remaining;
};
