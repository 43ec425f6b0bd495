// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/helper/EspeakEngine.h"

#include "synth/helper/CommandChannel.h"
#include "synth/mandarin/MandarinFrontEnd.h"
#include "synth/text/MarkupCheck.h"
#include "synth/text/SpeechRate.h"
#include "synth/text/SsmlText.h"
#include "synth/text/TextPieces.h"
#include "synth/text/WordGrouping.h"
#include "synth/text/WordPositionFilter.h"

#include <QFile>
#include <QFileInfo>

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <fcntl.h>
#include <unistd.h>
#include <sonic.h>

#include <algorithm>
#include <tuple>
#include <cmath>
#include <vector>

using namespace SynthProtocol;

namespace {

const QString DefaultVoice = QStringLiteral("sit/cmn");
// The built-in Mandarin voice reads Latin letters as English, so it would
// read the front end's pinyin in English ("wen two"); its twin reads them as
// pinyin, with the same phonemes and pitch.
const QString PinyinTwin = QStringLiteral("sit/cmn-Latn-pinyin");
const QString EnglishVoice = QStringLiteral("espeak:en");

// The language named by a voice file's first "language" line.
QString voiceFileLanguage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (int lines = 0; lines < 200 && !file.atEnd(); ++lines) {
        const QList<QByteArray> words = file.readLine(1024).simplified().split(' ');
        if (words.size() >= 2 && words[0] == "language")
            return QString::fromUtf8(words[1]);
    }
    return {};
}

bool isBlank(const QByteArray &utf8)
{
    return std::all_of(utf8.begin(), utf8.end(), [](char c) { return QChar::isSpace(uchar(c)); });
}

// Markup may name audio files (<audio src=...>); libespeak-ng would hand them
// to a shell. Nothing the user's text names is ever fetched or run.
int refuseUri(int, const char *, const char *) { return 1; }

} // namespace

// Everything the synthesis callback needs about the text being spoken.
struct EspeakEngine::PieceRun
{
    CommandChannel *channel = nullptr;
    const TextPiece *piece = nullptr;
    WordPositionFilter *filter = nullptr;
    WordGrouping *grouping = nullptr;
    quint64 generation = 0;
    qint32 stream = 0;
    qint64 sent = 0; // samples of this text sent so far
    qint64 pieceBase = 0; // samples of this text before the current piece
    qint64 lastWordAt = 0;
    qint64 offset = 0; // of this part in the whole text
    // Markup read as plain text: positions of words are in said->text from
    // segment on, and are told in the markup.
    const SsmlText *said = nullptr;
    qsizetype segment = 0;
    double stretch = 1.0;
    sonicStream sonic = nullptr;
    std::vector<short> stretched;
    bool abandoned = false;
    bool channelLost = false;
    // What one call of the engine made (its words, then its samples) leaves
    // in one write: a write per word would wake the reader once per word.
    // The engine's buffer, kept from call to call: freeing it every time
    // made the C library hand the top of the heap back and take it again,
    // and each return costs a flush of every core's address translations.
    QByteArray *outgoing = nullptr;
    qint64 held = 0; // samples in outgoing
    qint64 frameSamples = 0; // what outgoing gathers before it is sent

    bool sendPcm(const short *samples, int count)
    {
        if (count <= 0)
            return true;
        appendPcm(*outgoing, generation, samples, count);
        held += count;
        sent += count;
        return true;
    }
    bool flush()
    {
        if (outgoing->isEmpty() || channelLost)
            return !channelLost;
        const bool sentAll = channel->send(*outgoing);
        outgoing->resize(0); // keeps its capacity
        held = 0;
        return sentAll || lose();
    }
    // Sends what was gathered once it is a whole frame (every call, for speech that is heard).
    void flushWhenFull()
    {
        if (held >= frameSamples)
            flush();
    }
    bool sendStretched()
    {
        for (int n; (n = sonicReadShortFromStream(sonic, stretched.data(), int(stretched.size()))) > 0;)
            if (!sendPcm(stretched.data(), n))
                return false;
        return true;
    }
    void sendWord(qint64 at, long position, long length)
    {
        lastWordAt = at;
        const qint64 ahead = std::max<qint64>(0, at - sent);
        qint64 from = position, units = length;
        if (said)
            std::tie(from, units) = said->sourceRange(segment + position, length);
        *outgoing += encode(Type::Word, generation, stream, ahead, offset + from, units);
    }
    void sendMark(qint64 at, const QString &name)
    {
        *outgoing += encode(Type::Mark, generation, stream, std::max<qint64>(0, at - sent), name);
    }
    bool lose()
    {
        channelLost = abandoned = true;
        return false;
    }
    // Reads commands that arrived meanwhile: a purge in the reader abandons the text at once.
    void checkCancelled()
    {
        if (!channel->pump(false))
            lose();
        else if (generation < channel->cancelledBefore())
            abandoned = true;
    }
};

namespace {

thread_local EspeakEngine::PieceRun *t_run = nullptr;

int synthCallback(short *wav, int count, espeak_EVENT *events)
{
    EspeakEngine::PieceRun *run = t_run;
    if (!run || run->abandoned)
        return 1;
    // Commands are looked for whenever nothing is held back: at every call
    // for heard speech, once a frame for a saving helper (a few milliseconds
    // of work), which spares it a system call at every clause.
    if (run->held == 0)
        run->checkCancelled();
    for (espeak_EVENT *event = events; !run->abandoned && event && event->type != espeakEVENT_LIST_TERMINATED;
         ++event) {
        const qint64 at = run->pieceBase + qint64(std::llround(event->sample / run->stretch));
        if (event->type == espeakEVENT_MARK && event->id.name) {
            run->sendMark(at, QString::fromUtf8(event->id.name));
            continue;
        }
        if (event->type != espeakEVENT_WORD)
            continue;
        const auto [start, end] = run->piece->toUtf16Range(event->text_position, event->length);
        // Words said without an event of their own fall between the last
        // word and this one: they are raised half-way.
        for (const auto &[position, length] : run->filter->skippedBefore(start))
            run->sendWord((run->lastWordAt + at) / 2, position, length);
        if (const auto word = run->filter->accept(start, end))
            if (const auto grouped = run->grouping->group(word->first, word->second))
                run->sendWord(at, grouped->first, grouped->second);
    }
    if (!run->abandoned && wav && count > 0) {
        if (run->sonic) {
            sonicWriteShortToStream(run->sonic, wav, count);
            run->sendStretched();
        } else {
            run->sendPcm(wav, count);
        }
    }
    if (!run->abandoned)
        run->flushWhenFull();
    // Returning 1 stops the synthesis within microseconds; espeak_Cancel does not.
    return run->abandoned ? 1 : 0;
}

} // namespace

QByteArray EspeakEngine::locateData(const QByteArray &dataPath)
{
    espeak_ng_InitializePath(dataPath.isEmpty() ? nullptr : dataPath.constData());
    const char *folder = nullptr;
    espeak_Info(&folder);
    return folder ? QByteArray(folder) : dataPath;
}

QString EspeakEngine::initialise(const QByteArray &dataPath, int bufferMs, int frameMs)
{
    const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, bufferMs,
                                       dataPath.isEmpty() ? nullptr : dataPath.constData(), espeakINITIALIZE_DONT_EXIT);
    if (rate <= 0)
        return QStringLiteral("无法启动 espeak-ng 语音引擎：找不到或无法读取它的数据（%1）。")
            .arg(dataPath.isEmpty() ? QStringLiteral("系统默认位置") : QString::fromLocal8Bit(dataPath));
    m_sampleRate = rate;
    m_frameSamples = qint64(frameMs) * rate / 1000;
    espeak_SetSynthCallback(synthCallback);
    espeak_SetUriCallback(refuseUri);
    for (const espeak_VOICE **voice = espeak_ListVoices(nullptr); voice && *voice; ++voice) {
        const QByteArray identifier((*voice)->identifier);
        // MBROLA voices need data we do not ship, and a failed load leaves the synthesiser silent.
        if (identifier.startsWith("mb/") || identifier.startsWith("mb-"))
            continue;
        // languages: a priority byte, then the language name, repeated; the first is the voice's own.
        const QString language = (*voice)->languages ? QString::fromUtf8((*voice)->languages + 1) : QString();
        m_voices.append({QString::fromLatin1(BuiltinIdPrefix) + QString::fromUtf8(identifier),
                         QString::fromUtf8((*voice)->name).replace(u'_', u' ').trimmed(), language});
    }
    // The reader's users read Chinese: the Mandarin voice leads the built-in
    // ones, so that position 0, a new user's choice, reads Chinese well.
    std::stable_partition(m_voices.begin(), m_voices.end(),
                          [](const VoiceInfo &voice) { return voice.id.endsWith(DefaultVoice); });
    for (const VoiceInfo &voice : std::as_const(m_voices))
        if (voice.id.endsWith(DefaultVoice) && applyVoice(voice.id))
            return {};
    for (const VoiceInfo &voice : std::as_const(m_voices))
        if (applyVoice(voice.id))
            return {};
    return QStringLiteral("espeak-ng 语音引擎没有可用的语音。");
}

namespace {

// libespeak-ng lower-cases the path it is given and reads '+' as the start of
// a variant name, so a voice file in "/home/Anna/..." is never found. The
// folder is reached instead through a descriptor of ours, whose path is all
// digits; only the file's own name must suit the engine.
espeak_ERROR selectVoiceFile(const QString &path)
{
    const QFileInfo file(path);
    const QString name = file.fileName();
    if (name != name.toLower() || name.contains(u'+'))
        return EE_NOT_FOUND;
    const int folder = open(QFile::encodeName(file.path()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return EE_NOT_FOUND;
    const QByteArray reachable = "/proc/self/fd/" + QByteArray::number(folder) + '/' + QFile::encodeName(name);
    const espeak_ERROR result = espeak_SetVoiceByFile(reachable.constData());
    close(folder);
    return result;
}

// Loads a voice by its id into the engine.
espeak_ERROR loadVoice(const QString &voiceId)
{
    if (voiceId.startsWith(QLatin1String(FileIdPrefix)))
        return selectVoiceFile(voiceId.mid(int(qstrlen(FileIdPrefix))));
    if (voiceId.startsWith(QLatin1String(BuiltinIdPrefix)))
        return espeak_SetVoiceByName(voiceId.mid(int(qstrlen(BuiltinIdPrefix))).toUtf8().constData());
    return EE_NOT_FOUND;
}

} // namespace

// With the front end, the built-in Mandarin voice speaks through its pinyin
// twin; every other voice speaks as itself.
QString EspeakEngine::engineVoiceFor(const QString &id) const
{
    return m_frontEnd && id == QLatin1String(BuiltinIdPrefix) + DefaultVoice ? QLatin1String(BuiltinIdPrefix) + PinyinTwin
                                                                              : id;
}

bool EspeakEngine::applyVoice(const QString &id)
{
    // The engine's voice is loaded at once, not at the first Speak.
    const QString engineVoice = engineVoiceFor(id);
    if (loadVoice(engineVoice) == EE_OK) {
        const auto known =
            std::find_if(m_voices.cbegin(), m_voices.cend(), [&](const VoiceInfo &v) { return v.id == id; });
        m_current = known != m_voices.cend() ? *known : VoiceInfo{id, {}, {}};
        // The speed at rate 0 depends on the language: a voice file's is its own.
        if (m_current.language.isEmpty() && id.startsWith(QLatin1String(FileIdPrefix)))
            m_current.language = voiceFileLanguage(id.mid(int(qstrlen(FileIdPrefix))));
        m_engineVoice = engineVoice;
        m_appliedPitch = m_appliedRange = -1;
        return true;
    }
    // A failed load can leave the synthesiser silent: go back to what worked.
    if (!m_engineVoice.isEmpty())
        loadVoice(m_engineVoice);
    return false;
}

bool EspeakEngine::readsMandarin() const
{
    const QString language = m_current.language.toLower();
    return m_frontEnd && (language.startsWith(u"cmn") || language == u"zh" || language.startsWith(u"zh-cmn"));
}

// Loads a voice into the engine for a while (the pinyin twin, the English
// voice), leaving the chosen voice as it is.
void EspeakEngine::loadEngineVoice(const QString &id)
{
    if (id == m_engineVoice)
        return;
    loadVoice(id);
    m_engineVoice = id;
    m_appliedPitch = m_appliedRange = -1; // a voice loaded may bring its own
}

QString EspeakEngine::selectVoice(const QString &id)
{
    if (applyVoice(id))
        return {};
    return QStringLiteral("无法加载语音“%1”：语音文件缺失或已损坏。").arg(id.section(u'/', -1));
}

bool EspeakEngine::speak(const Part &part, const QString &text, bool markupAllowed)
{
    const bool markup = markupAllowed && readAsMarkup(text);
    PieceRun run;
    run.channel = &m_channel;
    run.outgoing = &m_outgoing;
    run.frameSamples = m_frameSamples;
    run.generation = part.generation;
    run.stream = part.stream;
    run.offset = part.offset;
    if (markup && !readsMandarin()) {
        // The engine reads markup itself, marks included, in every voice but Mandarin.
        WordPositionFilter filter(text, true);
        WordGrouping grouping(text);
        run.grouping = &grouping;
        speakPiece(wholeTextPiece(text), text, true, true, filter, run);
    } else if (markup) {
        // Its Mandarin would be the engine's own, not ours: the markup's
        // text goes through the front end like any other, in the stretches
        // between its marks, and each mark is told where its stretch ends.
        const SsmlText said = readSsml(text);
        run.said = &said;
        qsizetype from = 0;
        for (qsizetype m = 0; m <= said.marks.size() && !run.abandoned; ++m) {
            const bool atMark = m < said.marks.size();
            const qsizetype to = atMark ? std::max(from, said.marks[m].at) : said.text.size();
            if (to > from) {
                run.segment = from;
                // A mark before each word (as screen readers place them)
                // must not make a pause after each word.
                const QChar before = said.text[to - 1];
                speakPlain(said.text.mid(from, to - from), !atMark || before.isPunct() || before.isSpace(), run);
            }
            from = to;
            if (atMark && !run.abandoned)
                run.sendMark(run.sent, said.marks[m].name);
        }
    } else {
        speakPlain(text, true, run);
    }
    // What was gathered goes out before the text's end; an abandoned text's
    // rest is for nobody.
    if (run.abandoned)
        m_outgoing.resize(0);
    else
        run.flush();
    if (run.channelLost)
        return false;
    return !part.final || m_channel.send(encode(Type::Done, part.generation, part.stream));
}

void EspeakEngine::speakPlain(const QString &text, bool pauseAtEnd, PieceRun &run)
{
    WordPositionFilter filter(text, false);
    WordGrouping grouping(text);
    run.grouping = &grouping;
    for (qsizetype from = 0; !run.abandoned;) {
        // A run of blanks and line breaks, however long, costs nothing:
        // it is stepped over here instead of being cut into empty pieces.
        while (from < text.size() && text[from].isSpace())
            ++from;
        const TextPiece piece = nextPlainPiece(text, from);
        if (piece.length == 0)
            break;
        from += piece.length;
        qsizetype rest = from;
        while (rest < text.size() && text[rest].isSpace())
            ++rest;
        if (!isBlank(piece.utf8))
            speakPiece(piece, QStringView(text).mid(piece.offset, piece.length), false,
                       pauseAtEnd || rest < text.size(), filter, run);
        run.checkCancelled();
    }
}

bool EspeakEngine::speakPiece(const TextPiece &piece, QStringView text, bool markup, bool pauseAtEnd,
                              WordPositionFilter &filter, PieceRun &run)
{
    run.filter = &filter;
    if (markup || !readsMandarin()) {
        loadEngineVoice(m_current.id);
        return synthesise(piece, m_current.language, markup, pauseAtEnd, run);
    }
    // Mandarin as the front end reads it, English runs by the English voice,
    // one after the other without a pause between them.
    const QList<MandarinFrontEnd::EnginePart> parts = m_frontEnd->forEngine(piece, text);
    const QString mandarinVoice = engineVoiceFor(m_current.id);
    for (qsizetype i = 0; i < parts.size() && !run.abandoned; ++i) {
        loadEngineVoice(parts[i].english ? EnglishVoice : mandarinVoice);
        synthesise(parts[i].piece, parts[i].english ? QStringLiteral("en") : m_current.language, false,
                   pauseAtEnd && i + 1 == parts.size(), run);
    }
    return !run.abandoned;
}

// One call of the engine: its samples, re-timed where the rate asks for more
// than the engine's own speeds, and its words.
bool EspeakEngine::synthesise(const TextPiece &piece, const QString &language, bool markup, bool last, PieceRun &run)
{
    const SpeechSpeed speed = speechSpeedFor(m_channel.rate(), normalWordsPerMinute(language));
    espeak_SetParameter(espeakRATE, speed.wordsPerMinute, 0);
    // Only when it changes: setting it before every call, even to the
    // voice's own, made heard speech stall now and then under load.
    if (m_channel.pitch() != m_appliedPitch || m_channel.pitchRange() != m_appliedRange) {
        m_appliedPitch = m_channel.pitch();
        m_appliedRange = m_channel.pitchRange();
        espeak_SetParameter(espeakPITCH, m_appliedPitch, 0);
        espeak_SetParameter(espeakRANGE, m_appliedRange, 0);
    }
    run.piece = &piece;
    run.pieceBase = run.sent;
    run.stretch = speed.stretch;
    if (speed.stretch != 1.0) {
        run.sonic = sonicCreateStream(m_sampleRate, 1);
        sonicSetSpeed(run.sonic, float(speed.stretch));
        run.stretched.resize(4096);
    }
    t_run = &run;
    // The pause after a piece belongs at its end, not between its parts.
    const unsigned flags = espeakCHARS_UTF8 | (last ? espeakENDPAUSE : 0) | (markup ? espeakSSML : 0);
    const espeak_ERROR result = espeak_Synth(piece.utf8.constData(), std::size_t(piece.utf8.size()) + 1, 0,
                                             POS_CHARACTER, 0, flags, nullptr, nullptr);
    t_run = nullptr;
    if (run.sonic) {
        if (!run.abandoned) {
            sonicFlushStream(run.sonic);
            run.sendStretched();
            run.flushWhenFull();
        }
        sonicDestroyStream(run.sonic);
        run.sonic = nullptr;
    }
    if (result != EE_OK && !run.abandoned) {
        run.flush(); // what was said before the failure comes first
        const QString why = QStringLiteral("espeak-ng 无法合成这段文字（错误 %1），已跳过。").arg(int(result));
        if (!m_channel.send(encode(Type::Failed, run.generation, why)))
            run.lose();
        run.abandoned = true; // one report per text, not one per piece
    }
    return !run.abandoned;
}
