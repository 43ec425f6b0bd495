#include "speech/espeak/SynthWorker.h"

#include "platform/Failure.h"
#include "speech/espeak/MarkupCheck.h"
#include "speech/espeak/SpeechRate.h"
#include "speech/espeak/TextPieces.h"
#include "speech/espeak/VoiceCatalog.h"
#include "speech/espeak/WordPositionFilter.h"

#include <espeak-ng/speak_lib.h>
#include <sonic.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const QByteArray DefaultVoice = QByteArrayLiteral("sit/cmn");

// Everything the synthesis callback needs about the piece being spoken.
struct PieceRun
{
    PcmQueue *queue = nullptr;
    const TextPiece *piece = nullptr;
    WordPositionFilter *filter = nullptr;
    quint64 generation = 0;
    long stream = 0;
    qint64 base = 0;       // queue stamp of the piece's first sample
    double stretch = 1.0;
    sonicStream sonic = nullptr;
    std::vector<short> stretched;
    bool abandoned = false;

    bool pushStretched()
    {
        for (;;) {
            const int n = sonicReadShortFromStream(sonic, stretched.data(), int(stretched.size()));
            if (n <= 0)
                return true;
            if (!queue->push(stretched.data(), std::size_t(n), generation))
                return false;
        }
    }
};

thread_local PieceRun *t_run = nullptr;

int synthCallback(short *wav, int count, espeak_EVENT *events)
{
    PieceRun *run = t_run;
    if (!run || run->abandoned)
        return 1;
    for (espeak_EVENT *event = events; event && event->type != espeakEVENT_LIST_TERMINATED; ++event) {
        if (event->type != espeakEVENT_WORD)
            continue;
        const auto [start, end] = run->piece->toUtf16Range(event->text_position, event->length);
        if (const auto word = run->filter->accept(start, end)) {
            const qint64 at = run->base + qint64(std::llround(event->sample / run->stretch));
            if (!run->queue->pushWord({at, run->generation, run->stream, word->first, word->second}))
                run->abandoned = true;
        }
    }
    if (!run->abandoned && wav && count > 0) {
        if (run->sonic) {
            sonicWriteShortToStream(run->sonic, wav, count);
            run->abandoned = !run->pushStretched();
        } else {
            run->abandoned = !run->queue->push(reinterpret_cast<const int16_t *>(wav), std::size_t(count),
                                               run->generation);
        }
    }
    // Returning 1 stops the synthesis within microseconds; espeak_Cancel does not.
    return run->abandoned ? 1 : 0;
}

// Markup may name audio files (<audio src=...>); libespeak-ng would hand them
// to a shell. Nothing the user's text names is ever fetched or run.
int refuseUri(int, const char *, const char *) { return 1; }

bool isBlank(const QByteArray &utf8)
{
    for (char c : utf8)
        if (!QChar::isSpace(uchar(c)))
            return false;
    return true;
}

} // namespace

SynthWorker::SynthWorker(PcmQueue &queue) : m_queue(queue) {}

SynthWorker::~SynthWorker() { stop(); }

void SynthWorker::start(const QByteArray &dataPath)
{
    std::promise<QString> started;
    std::future<QString> result = started.get_future();
    m_thread = std::thread([this, dataPath, &started] { run(dataPath, started); });
    const QString error = result.get();
    if (!error.isEmpty()) {
        m_thread.join();
        throw Failure(error);
    }
}

void SynthWorker::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool SynthWorker::idle() const
{
    std::lock_guard lock(m_mutex);
    return !m_busy && m_commands.empty();
}

void SynthWorker::speak(quint64 generation, long stream, const QString &text, bool markupAllowed)
{
    {
        std::lock_guard lock(m_mutex);
        Command command;
        command.generation = generation;
        command.stream = stream;
        command.text = text;
        command.markupAllowed = markupAllowed;
        m_commands.push_back(std::move(command));
    }
    m_wake.notify_all();
}

void SynthWorker::selectVoice(const SpObjectToken &token)
{
    {
        std::lock_guard lock(m_mutex);
        Command command;
        command.isVoice = true;
        command.voice = token;
        m_commands.push_back(std::move(command));
    }
    m_wake.notify_all();
}

namespace {

// libespeak-ng is set up once per process and kept: espeak_Terminate can
// hang joining espeak-ng's own helper thread, and a later voice would only
// load the same data again. Guarded by the single-voice rule of EspeakVoice,
// so only one worker thread ever touches it at a time.
struct EngineData
{
    bool ready = false;
    int sampleRate = 0;
    QList<SpObjectToken> voices;
};

EngineData &engine()
{
    static EngineData data;
    return data;
}

} // namespace

QString SynthWorker::initialise(const QByteArray &dataPath)
{
    EngineData &data = engine();
    if (!data.ready) {
        const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100,
                                           dataPath.isEmpty() ? nullptr : dataPath.constData(),
                                           espeakINITIALIZE_DONT_EXIT);
        if (rate <= 0)
            return QStringLiteral("无法启动 espeak-ng 语音引擎：找不到或无法读取它的数据（%1）。")
                .arg(dataPath.isEmpty() ? QStringLiteral("系统默认位置") : QString::fromLocal8Bit(dataPath));
        espeak_SetSynthCallback(synthCallback);
        espeak_SetUriCallback(refuseUri);
        for (const espeak_VOICE **voice = espeak_ListVoices(nullptr); voice && *voice; ++voice) {
            const QByteArray identifier((*voice)->identifier);
            if (identifier.startsWith("mb/") || identifier.startsWith("mb-"))
                continue;
            // languages: a priority byte, then the language name, repeated; the first is the voice's own.
            const QString language = (*voice)->languages ? QString::fromUtf8((*voice)->languages + 1) : QString();
            data.voices.append(SpObjectToken(QString::fromLatin1(VoiceCatalog::BuiltinIdPrefix) + identifier,
                                             VoiceCatalog::describe((*voice)->name), language));
        }
        // The reader's users read Chinese: the Mandarin voice leads the built-in
        // ones, so that position 0, a new user's choice, reads Chinese well.
        std::stable_partition(data.voices.begin(), data.voices.end(), [](const SpObjectToken &token) {
            return token.id().endsWith(QString::fromLatin1(DefaultVoice));
        });
        data.sampleRate = rate;
        data.ready = true;
    }
    m_sampleRate = data.sampleRate;
    m_builtinVoices = data.voices;
    m_currentVoice = {};
    for (const SpObjectToken &token : std::as_const(m_builtinVoices)) {
        if (token.id().endsWith(QString::fromLatin1(DefaultVoice)) && applyVoice(token))
            return {};
    }
    for (const SpObjectToken &token : std::as_const(m_builtinVoices)) {
        if (applyVoice(token))
            return {};
    }
    return QStringLiteral("espeak-ng 语音引擎没有可用的语音。");
}

void SynthWorker::run(const QByteArray &dataPath, std::promise<QString> &started)
{
    const QString error = initialise(dataPath);
    started.set_value(error);
    if (!error.isEmpty())
        return;
    for (;;) {
        Command command;
        {
            std::unique_lock lock(m_mutex);
            m_busy = false;
            m_wake.wait(lock, [this] { return m_quit || !m_commands.empty(); });
            if (m_quit)
                break;
            command = std::move(m_commands.front());
            m_commands.pop_front();
            m_busy = true;
        }
        if (command.isVoice)
            applyVoice(command.voice);
        else if (command.generation == m_queue.generation())
            speakText(command);
    }
}

bool SynthWorker::applyVoice(const SpObjectToken &token)
{
    const auto select = [](const SpObjectToken &t) {
        const QString id = t.id();
        if (id.startsWith(QLatin1String(VoiceCatalog::FileIdPrefix)))
            return espeak_SetVoiceByFile(id.mid(int(qstrlen(VoiceCatalog::FileIdPrefix))).toLocal8Bit().constData());
        return espeak_SetVoiceByName(id.mid(int(qstrlen(VoiceCatalog::BuiltinIdPrefix))).toUtf8().constData());
    };
    if (select(token) == EE_OK) {
        m_currentVoice = token;
        return true;
    }
    // A failed load can leave the synthesiser silent: go back to what worked.
    if (!m_currentVoice.id().isEmpty())
        select(m_currentVoice);
    return false;
}

void SynthWorker::speakText(const Command &command)
{
    const bool markup = command.markupAllowed && readAsMarkup(command.text);
    WordPositionFilter filter(command.text, markup);
    if (markup) {
        speakPiece(wholeTextPiece(command.text), true, filter, command);
        return;
    }
    for (qsizetype from = 0; command.generation == m_queue.generation();) {
        const TextPiece piece = nextPlainPiece(command.text, from);
        if (piece.length == 0)
            break;
        from += piece.length;
        if (!isBlank(piece.utf8) && !speakPiece(piece, false, filter, command))
            break;
    }
}

bool SynthWorker::speakPiece(const TextPiece &piece, bool markup, WordPositionFilter &filter, const Command &command)
{
    const SpeechSpeed speed = speechSpeedFor(m_rate.load(), normalWordsPerMinute(m_currentVoice.language()));
    espeak_SetParameter(espeakRATE, speed.wordsPerMinute, 0);

    PieceRun run;
    run.queue = &m_queue;
    run.piece = &piece;
    run.filter = &filter;
    run.generation = command.generation;
    run.stream = command.stream;
    run.base = m_queue.written();
    run.stretch = speed.stretch;
    if (speed.stretch != 1.0) {
        run.sonic = sonicCreateStream(m_sampleRate, 1);
        sonicSetSpeed(run.sonic, float(speed.stretch));
        run.stretched.resize(4096);
    }
    t_run = &run;
    const unsigned flags = espeakCHARS_UTF8 | espeakENDPAUSE | (markup ? espeakSSML : 0);
    espeak_Synth(piece.utf8.constData(), std::size_t(piece.utf8.size()) + 1, 0, POS_CHARACTER, 0, flags, nullptr, nullptr);
    t_run = nullptr;
    if (run.sonic) {
        if (!run.abandoned) {
            sonicFlushStream(run.sonic);
            run.abandoned = !run.pushStretched();
        }
        sonicDestroyStream(run.sonic);
    }
    return !run.abandoned;
}
