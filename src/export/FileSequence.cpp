// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/FileSequence.h"

#include "export/FileNames.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFileInfo>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <optional>

#include <cerrno>
#include <unistd.h>

namespace {

// Text before the first chapter (a title page, a preface without a heading)
// shorter than this is read at the start of the first chapter's file.
constexpr qsizetype MinLeadingUnits = 200;

void writeWhole(const QByteArray &bytes, SafeOutput &output)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(output.fd(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw SafeOutput::writeFailure(output.target(), n < 0 ? errno : ENOSPC);
        done += n;
    }
}

} // namespace

bool FileSequence::leadingTextIsAFile(const Exporter::Job &job)
{
    if (job.split.by != Exporter::Split::By::Chapters || job.split.chapters.isEmpty())
        return false;
    const QStringView before = QStringView(job.text).left(job.split.chapters.first().offset);
    return std::count_if(before.begin(), before.end(), [](QChar c) { return !c.isSpace(); }) >= MinLeadingUnits;
}

QString FileSequence::leadingTitle(const Exporter::Job &job)
{
    return job.title.isEmpty() ? QStringLiteral("开头") : job.title;
}

int FileSequence::fileCount(const Exporter::Job &job)
{
    if (job.split.by != Exporter::Split::By::Chapters)
        return 0;
    return int(job.split.chapters.size()) + (leadingTextIsAFile(job) ? 1 : 0);
}

QString FileSequence::fileName(const Exporter::Job &job, int number, const QString &title)
{
    const QFileInfo target(job.target);
    return target.dir().filePath(
        FileNames::numbered(target.completeBaseName(), number, fileCount(job), title, target.suffix().toLower()));
}

FileSequence::FileSequence(const Exporter::Job &job, AudioFormat format, int sampleRate,
                           const std::function<void(const Exporter::Progress &)> &progress)
    : m_job(job), m_format(format), m_rate(sampleRate), m_progress(progress), m_count(fileCount(job))
{
    m_clock.start();
    QString firstTitle = job.title;
    if (job.split.by == Exporter::Split::By::Chapters && !job.split.chapters.isEmpty()) {
        const bool leading = leadingTextIsAFile(job);
        firstTitle = leading ? leadingTitle(job) : job.split.chapters.first().title;
        m_nextChapter = leading ? 0 : 1;
    } else if (job.split.by == Exporter::Split::By::Minutes) {
        firstTitle.clear();
        QTextBoundaryFinder sentences(QTextBoundaryFinder::Sentence, job.text);
        for (qsizetype at = 0; at >= 0 && at < job.text.size(); at = sentences.toNextBoundary())
            m_sentenceStarts.push_back(at);
    }
    open(0, firstTitle, {});
}

FileSequence::~FileSequence() = default;

void FileSequence::open(qsizetype textStart, const QString &title, QList<Subtitles::Word> words)
{
    ++m_number;
    Output next;
    next.title = title;
    next.textStart = textStart;
    next.firstSample = m_samples;
    next.words = std::move(words);
    next.path = split() ? fileName(m_job, m_number, title) : m_job.target;
    AudioTags tags;
    tags.title = title;
    tags.artist = m_job.author;
    tags.album = m_job.title;
    tags.cover = m_job.cover;
    tags.coverType = m_job.coverType;
    if (split()) {
        tags.track = m_number;
        tags.tracks = m_count;
        if (tags.title.isEmpty())
            tags.title = QStringLiteral("%1 %2")
                             .arg(m_job.title.isEmpty() ? QFileInfo(m_job.target).completeBaseName() : m_job.title)
                             .arg(m_number);
    }
    QStringList paths{next.path};
    if (m_job.subtitles)
        paths << Exporter::subtitlePath(next.path, "lrc") << Exporter::subtitlePath(next.path, "srt");
    if (split() && !m_job.overwrite)
        for (const QString &path : std::as_const(paths))
            if (SafeOutput::entryExists(path))
                throw Failure(QStringLiteral("%1 已经存在。").arg(path), Failure::Reason::FileUnwritable);
    next.writer = std::make_unique<AudioFileWriter>(next.path, m_format, m_rate, tags);
    // The subtitle files are prepared before any work, so a folder that
    // takes the audio but not them fails at once.
    if (m_job.subtitles) {
        next.lrc = std::make_unique<SafeOutput>(paths[1]);
        next.srt = std::make_unique<SafeOutput>(paths[2]);
    }
    m_current = std::move(next);
}

void FileSequence::close(qsizetype textEnd)
{
    Output &out = m_current;
    out.writer->finish();
    const qint64 total = m_samples - out.firstSample;
    if (m_job.subtitles) {
        // Each file's subtitles count from its own start, over its own text.
        const QString text = m_job.text.mid(out.textStart, textEnd - out.textStart);
        // Moved, not copied: a whole book's words are the largest thing held.
        QList<Subtitles::Word> words = std::move(out.words);
        for (Subtitles::Word &w : words) {
            w.sample -= out.firstSample;
            w.position -= qint32(out.textStart);
        }
        // Words are stamped at the speech's own rate; the subtitles count in
        // time, so any rate serves. Written in pieces: a whole book's
        // subtitles built as one string were the largest thing the save held.
        const auto writeInPieces = [&](const QList<Subtitles::Cue> &cues, SafeOutput &file, auto format) {
            QString piece;
            for (qsizetype i = 0; i < cues.size(); ++i) {
                piece += format(i, cues[i]);
                if (piece.size() > 65536 || i + 1 == cues.size()) {
                    writeWhole(piece.toUtf8(), file);
                    piece.clear();
                }
            }
        };
        writeInPieces(Subtitles::sentences(text, words, total), *out.lrc,
                      [&](qsizetype, const Subtitles::Cue &cue) { return Subtitles::lrcLine(cue, m_rate); });
        writeInPieces(Subtitles::cues(text, words, total), *out.srt,
                      [&](qsizetype i, const Subtitles::Cue &cue) { return Subtitles::srtEntry(i + 1, cue, m_rate); });
        // Everything is complete before anything takes its place: a subtitle
        // that cannot be written leaves no audio without its subtitles.
        out.lrc->commit();
        out.srt->commit();
    }
    out.writer->commit();
    m_playlist.append({QFileInfo(out.path).fileName(), double(total) / m_rate, out.title});
}

void FileSequence::write(const int16_t *data, std::size_t count)
{
    if (count == 0)
        return;
    m_current.writer->write(data, count);
    m_samples += qint64(count);
}

bool FileSequence::samples(const int16_t *data, std::size_t count)
{
    while (!m_cuts.empty() && m_cuts.front().sample < m_samples + qint64(count)) {
        Cut cut = std::move(m_cuts.front());
        m_cuts.pop_front();
        const std::size_t before = std::size_t(std::max<qint64>(0, cut.sample - m_samples));
        write(data, before);
        data += before;
        count -= before;
        close(cut.textStart);
        open(cut.textStart, cut.title, std::move(cut.words));
    }
    write(data, count);
    if (m_progress && m_clock.elapsed() - m_lastReport >= 100) {
        m_lastReport = m_clock.elapsed();
        report();
    }
    return true;
}

void FileSequence::word(qint64 sample, long position, long length)
{
    m_position = position + length;
    std::optional<Cut> cut;
    if (m_job.split.by == Exporter::Split::By::Chapters) {
        // A word past several chapter starts (a chapter with nothing to say)
        // begins the last of them.
        const QList<Exporter::Chapter> &chapters = m_job.split.chapters;
        while (m_nextChapter < chapters.size() && position >= chapters[m_nextChapter].offset) {
            cut = Cut{sample, chapters[m_nextChapter].offset, chapters[m_nextChapter].title, {}};
            ++m_nextChapter;
        }
    } else if (m_job.split.by == Exporter::Split::By::Minutes && !m_sentenceStarts.empty()) {
        const auto after = std::upper_bound(m_sentenceStarts.cbegin(), m_sentenceStarts.cend(), qsizetype(position));
        const qsizetype sentence = after == m_sentenceStarts.cbegin() ? 0 : *(after - 1);
        const qint64 fileStart = m_cuts.empty() ? m_current.firstSample : m_cuts.back().sample;
        if (sentence > m_lastSentenceStart && m_lastSentenceStart >= 0
            && sample - fileStart >= qint64(m_job.split.minutes) * 60 * m_rate)
            cut = Cut{sample, sentence, {}, {}};
        m_lastSentenceStart = std::max(m_lastSentenceStart, sentence);
    }
    if (cut)
        m_cuts.push_back(std::move(*cut));
    const Subtitles::Word heard{sample, qint32(position), qint32(length)};
    if (!m_job.subtitles)
        return;
    if (m_cuts.empty())
        m_current.words.append(heard);
    else
        m_cuts.back().words.append(heard);
}

void FileSequence::finish()
{
    // Cuts still waiting (words after the last sample) open their files with nothing to hear.
    while (!m_cuts.empty()) {
        Cut cut = std::move(m_cuts.front());
        m_cuts.pop_front();
        close(cut.textStart);
        open(cut.textStart, cut.title, std::move(cut.words));
    }
    close(m_job.text.size());
    if (!split())
        return;
    const QFileInfo target(m_job.target);
    const QString path = target.dir().filePath(target.completeBaseName() + QStringLiteral(".m3u8"));
    if (!m_job.overwrite && SafeOutput::entryExists(path))
        throw Failure(QStringLiteral("%1 已经存在。").arg(path), Failure::Reason::FileUnwritable);
    QByteArray playlist = "#EXTM3U\n";
    for (const Entry &entry : std::as_const(m_playlist)) {
        const QString title = entry.title.isEmpty() ? QFileInfo(entry.name).completeBaseName() : entry.title;
        playlist += QStringLiteral("#EXTINF:%1,%2\n%3\n")
                        .arg(qint64(std::ceil(entry.seconds)))
                        .arg(QString(title).replace(u'\n', u' '), entry.name)
                        .toUtf8();
    }
    SafeOutput out(path);
    writeWhole(playlist, out);
    out.commit();
}

void FileSequence::report(bool finished)
{
    const double seconds = std::max<qint64>(1, m_clock.elapsed()) / 1000.0;
    const double share = finished ? 1.0 : std::min(1.0, double(m_position) / std::max<qsizetype>(1, m_job.text.size()));
    const double audio = m_samples / double(m_rate);
    m_progress({share, audio / seconds, audio, m_remaining.update(seconds, share)});
}
