// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/helper/SynthClient.h"

#include "platform/Failure.h"
#include "platform/MonotonicClock.h"
#include "synth/protocol/SynthProtocol.h"
#include "speech/helper/VoiceCatalog.h"
#include "synth/text/MarkupCheck.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace SynthProtocol;

namespace {

qint64 nowNs() { return MonotonicClock::system().nowNs(); }

// How long a helper whose channel closed may take to be reaped, so the
// failure names the signal that ended it.
constexpr int ReapGraceMs = 300;

} // namespace

SynthClient::Launch SynthClient::Launch::of(const HelperConfig &config, const QStringList &more)
{
    Launch launch;
    launch.program = config.program();
    launch.arguments = config.synthesisArguments(more);
    launch.voiceFolder = config.voiceFolder();
    launch.silenceTimeoutMs = config.silenceTimeoutMs();
    return launch;
}

SynthClient::SynthClient(PcmQueue &queue, Launch launch, Listener listener)
    : m_queue(queue), m_launch(std::move(launch)), m_listener(std::move(listener)),
      m_reader(std::make_unique<FrameReader>(Direction::FromHelper)), m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{ }

// Ends the client thread's wait, so it takes what was just queued (or quits).
void SynthClient::wakeThread()
{
    const quint64 one = 1;
    (void)!write(m_wake, &one, sizeof one);
}

SynthClient::~SynthClient()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    wakeThread();
    if (m_thread.joinable())
        m_thread.join();
    m_helper.end(0);
    close(m_wake);
}

void SynthClient::start()
{
    connectHelper();
    m_thread = std::thread([this] { run(); });
}

// Starts a helper and waits for its greeting. Throws Failure.
void SynthClient::connectHelper()
{
    m_reader = std::make_unique<FrameReader>(Direction::FromHelper);
    m_helper.start(m_launch.program, m_launch.arguments, m_launch.sendBufferBytes);
    {
        std::lock_guard lock(m_mutex);
        m_pid = m_helper.pid();
    }
    const qint64 deadline = nowNs() + qint64(m_launch.startTimeoutMs) * 1000000;
    for (;;) {
        if (const auto frame = m_reader->next()) {
            if (frame->type == Type::Hello) {
                quint32 version = 0;
                qint32 rate = 0;
                QList<VoiceInfo> voices;
                QDataStream in(frame->payload);
                in.setVersion(QDataStream::Qt_6_4);
                in >> version;
                if (in.status() == QDataStream::Ok && version != Version) {
                    m_helper.end(ReapGraceMs);
                    throw Failure(QStringLiteral("语音合成程序与朗读程序的版本不一致（协议 %1，应为 %2）：请重新安装 Sayrella。")
                                      .arg(version)
                                      .arg(Version),
                                  Failure::Reason::EngineFailed);
                }
                if (decode(frame->payload, version, rate, voices) && rate > 0) {
                    m_sampleRate = rate;
                    QList<SpObjectToken> builtin;
                    for (const VoiceInfo &v : std::as_const(voices))
                        builtin.append(SpObjectToken(v.id, v.description, v.language));
                    std::lock_guard lock(m_mutex);
                    m_builtinVoices = std::move(builtin);
                    break;
                }
            }
            QString why;
            if (frame->type != Type::StartFailed || !decode(frame->payload, why))
                why = QStringLiteral("语音合成程序的回应无法识别。");
            m_helper.end(ReapGraceMs);
            throw Failure(why, Failure::Reason::EngineFailed);
        }
        const int left = int((deadline - nowNs()) / 1000000);
        pollfd p{m_helper.fd(), POLLIN, 0};
        if (m_reader->broken() || left <= 0 || poll(&p, 1, left) <= 0 || !readFrames()) {
            const QString how = m_helper.end(ReapGraceMs);
            throw Failure(left <= 0 ? QStringLiteral("语音合成程序没有在规定时间内启动。")
                                    : QStringLiteral("语音合成程序启动失败。") + how,
                          Failure::Reason::EngineFailed);
        }
    }
    m_helperFinishedAText = false;
    m_lastProgressNs = nowNs();
    m_partialWaitNs = 0;
    m_violation.clear();
    // A fresh helper speaks with the voice and rate the reader last chose.
    std::lock_guard lock(m_mutex);
    m_allowance = HelperAllowance(m_sampleRate);
    QByteArray settings = encode(Type::SetRate, qint32(m_rate)) + encode(Type::SetPitch, qint32(m_pitch), qint32(m_pitchRange));
    if (!m_voiceId.isEmpty()) {
        settings.prepend(encode(Type::SetVoice, m_voiceId));
        m_allowance.voiceSent();
    }
    m_outbox.prepend(settings);
    m_outboxSent = 0;
}

// Reads what the helper has sent. False on end of file or a read error.
bool SynthClient::readFrames()
{
    // Straight into the frame buffer, and as much as a saving helper's send
    // buffer can hold: a book's audio passes here.
    constexpr qsizetype ReadBytes = 1 << 20;
    const ssize_t n = read(m_helper.fd(), m_reader->room(ReadBytes), ReadBytes);
    const int error = errno;
    // Only complete frames count as progress: a helper that sends a byte now
    // and then is not making any.
    m_reader->commit(n);
    if (n < 0 && (error == EINTR || error == EAGAIN))
        return true;
    return n > 0;
}

void SynthClient::post(const QByteArray &frame)
{
    {
        std::lock_guard lock(m_mutex);
        // Copied, not shared: the caller's array is then never freed on one
        // thread while the client thread sends from it.
        m_outbox.append(frame.constData(), frame.size());
    }
    wakeThread();
}

void SynthClient::speak(quint64 generation, long stream, const QString &text, bool markupAllowed, qsizetype from)
{
    {
        std::lock_guard lock(m_mutex);
        m_texts.push_back({generation, stream, markupAllowed && from == 0, text, from});
        ++m_owed;
    }
    wakeThread();
}

void SynthClient::cancel(quint64 generation)
{
    {
        std::lock_guard lock(m_mutex);
        // Parts not yet handed over are dropped here; the helper abandons the rest.
        const auto before = m_texts.size();
        std::erase_if(m_texts, [&](const Text &t) { return t.generation < generation; });
        m_owed -= int(before - m_texts.size());
    }
    post(encode(Type::Cancel, generation));
}

namespace {

// About a second of work for the engine, small enough to encode and send in
// a blink.
constexpr qsizetype PartUnits = 16384;

// Where the part of text starting at from ends: after a line break or a
// sentence end near the limit if there is one, else after a blank, else at
// the limit (never inside a surrogate pair). Markup is never cut.
qsizetype partEnd(const QString &text, qsizetype from, bool markup)
{
    const qsizetype limit = from + PartUnits;
    if (markup || limit >= text.size())
        return text.size();
    const qsizetype floor = from + PartUnits / 2;
    for (const auto cutsAfter : {+[](QChar c, QChar) { return c == u'\n'; },
                                 +[](QChar c, QChar next) {
                                     return c == u'。' || c == u'！' || c == u'？' || c == u'；'
                                         || ((c == u'.' || c == u'!' || c == u'?') && next.isSpace());
                                 },
                                 +[](QChar c, QChar) { return c.isSpace(); }}) {
        for (qsizetype i = limit - 1; i >= floor; --i)
            if (cutsAfter(text[i], text[i + 1]))
                return i + 1;
    }
    return text[limit - 1].isHighSurrogate() ? limit - 1 : limit;
}

} // namespace

// Moves the next part of the first waiting text into the outbox (called
// with the lock held, when the outbox is empty).
void SynthClient::takeNextPart()
{
    Text &next = m_texts.front();
    // Only real markup goes whole (it cannot be cut); any other text goes in
    // parts, however long, and is read as the plain text it is.
    if (next.markup)
        next.markup = readAsMarkup(next.text);
    const qsizetype end = partEnd(next.text, next.sent, next.markup);
    const bool final = end == next.text.size();
    m_outbox = encode(Type::Speak, next.generation, qint32(next.stream), next.markup, qint64(next.sent), final,
                      next.text.mid(next.sent, end - next.sent));
    m_outboxSent = 0;
    m_allowance.textSent(next.generation, end - next.sent, final);
    next.sent = end;
    if (final)
        m_texts.pop_front();
}

void SynthClient::selectVoice(const QString &id)
{
    {
        std::lock_guard lock(m_mutex);
        m_voiceId = id;
        m_allowance.voiceSent();
    }
    post(encode(Type::SetVoice, id));
}

void SynthClient::setRate(long rate)
{
    {
        std::lock_guard lock(m_mutex);
        m_rate = rate;
    }
    post(encode(Type::SetRate, qint32(rate)));
}

void SynthClient::setPitch(int pitch, int range)
{
    pitch = std::clamp(pitch, 0, 100);
    range = std::clamp(range, 0, 100);
    {
        std::lock_guard lock(m_mutex);
        if (pitch == m_pitch && range == m_pitchRange)
            return;
        m_pitch = pitch;
        m_pitchRange = range;
    }
    post(encode(Type::SetPitch, qint32(pitch), qint32(range)));
}

QList<SpObjectToken> SynthClient::voices() const
{
    // The folder is read each time: a voice package installed while the
    // program runs is offered at once.
    QList<SpObjectToken> all = m_launch.voiceFolder.isEmpty() ? QList<SpObjectToken>()
                                                              : VoiceCatalog::userVoices(m_launch.voiceFolder);
    std::lock_guard lock(m_mutex);
    all.append(m_builtinVoices);
    return all;
}

bool SynthClient::idle() const
{
    std::lock_guard lock(m_mutex);
    return m_owed == 0;
}

pid_t SynthClient::helperPid() const
{
    std::lock_guard lock(m_mutex);
    return m_pid;
}

void SynthClient::run()
{
    for (;;) {
        bool wantHelper = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_quit)
                return;
            wantHelper = !m_helper.running() && (!m_outbox.isEmpty() || !m_texts.empty());
        }
        if (wantHelper) {
            try {
                connectHelper();
            } catch (const Failure &failure) {
                {
                    std::lock_guard lock(m_mutex);
                    m_outbox.clear();
                    m_texts.clear();
                    m_owed = 0;
                }
                m_listener.failed(0, failure.reason(), failure.description());
            }
        }
        if (!exchange())
            replaceHelper(Failure::Reason::EngineFailed, m_violation);
    }
}

// One round of waiting and talking. False when the helper must be replaced.
bool SynthClient::exchange()
{
    bool owed = false, toSend = false;
    {
        std::lock_guard lock(m_mutex);
        owed = m_owed > 0;
        if (m_outboxSent == m_outbox.size() && !m_texts.empty() && m_helper.running())
            takeNextPart();
        toSend = m_outboxSent < m_outbox.size();
    }
    // The silence that counts starts when speech becomes owed: time spent
    // idle before a Speak says nothing about the helper.
    if (owed && !m_owedBefore)
        m_lastProgressNs = nowNs();
    m_owedBefore = owed;
    pollfd fds[2] = {{m_wake, POLLIN, 0}, {m_helper.fd(), short(POLLIN | (toSend ? POLLOUT : 0)), 0}};
    const int count = m_helper.running() ? 2 : 1;
    int timeout = -1;
    if (owed && count == 2)
        timeout = std::max(1, m_launch.silenceTimeoutMs - int((nowNs() - m_lastProgressNs) / 1000000));
    // A frame begun must be finished soon, owed speech or not; only the time
    // spent waiting for it here counts (not time spent with a full queue).
    const bool partial = count == 2 && m_reader->partial();
    const int frameLeftMs = m_launch.frameTimeoutMs - int(m_partialWaitNs / 1000000);
    if (partial)
        timeout = timeout < 0 ? std::max(1, frameLeftMs) : std::min(timeout, std::max(1, frameLeftMs));
    const qint64 waitStartNs = nowNs();
    const int ready = poll(fds, nfds_t(count), timeout);
    if (ready < 0)
        return errno == EINTR;
    if (partial) {
        m_partialWaitNs += nowNs() - waitStartNs;
        if (m_partialWaitNs >= qint64(m_launch.frameTimeoutMs) * 1000000) {
            replaceHelper(Failure::Reason::EngineHung, QStringLiteral("语音合成进程没有在规定时间内送完数据，已被结束。"));
            return true;
        }
    }
    if (fds[0].revents & POLLIN) {
        quint64 value;
        (void)!read(m_wake, &value, sizeof value);
    }
    if (count == 1)
        return true;
    if (ready == 0) {
        replaceHelper(Failure::Reason::EngineHung, QStringLiteral("语音合成进程没有响应，已被结束。"));
        return true;
    }
    if (fds[1].revents & POLLOUT) {
        std::lock_guard lock(m_mutex);
        const ssize_t n = send(m_helper.fd(), m_outbox.constData() + m_outboxSent,
                               size_t(m_outbox.size() - m_outboxSent), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            m_outboxSent += n;
            if (m_outboxSent == m_outbox.size()) {
                m_outbox.clear();
                m_outboxSent = 0;
            }
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
    }
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
        if (!readFrames())
            return false;
        // Each frame is handled where it lies in the read buffer (the next
        // frame is taken only after): a book's audio is not copied out first.
        while (const std::optional<FrameView> view = m_reader->nextView()) {
            m_lastProgressNs = nowNs();
            const Frame frame{view->type, QByteArray::fromRawData(view->payload.data(), view->payload.size())};
            if (!handle(frame))
                return false;
        }
        if (m_reader->broken())
            return false;
        if (!m_reader->partial())
            m_partialWaitNs = 0;
    }
    return true;
}

// Records why a helper that sent what it cannot owe is ended.
bool SynthClient::allowed(const QString &verdict)
{
    if (verdict.isEmpty())
        return true;
    m_violation = verdict;
    return false;
}

template <typename F> QString SynthClient::lockedAllowance(F &&check)
{
    std::lock_guard lock(m_mutex);
    return check(m_allowance);
}

bool SynthClient::handle(const Frame &frame)
{
    switch (frame.type) {
    case Type::Pcm: {
        const std::optional<PcmView> pcm = pcmView(frame.payload);
        if (!pcm || pcm->size % 2 != 0)
            return false;
        if (!allowed(lockedAllowance([&](HelperAllowance &a) { return a.pcm(pcm->size / 2); })))
            return false;
        // Blocks while the queue is full: this is what keeps synthesis only a
        // moment ahead of what is heard. Samples of a purged speech are refused.
        m_queue.push(reinterpret_cast<const int16_t *>(pcm->bytes), std::size_t(pcm->size / 2), pcm->generation);
        m_lastProgressNs = nowNs();
        return true;
    }
    case Type::Word: {
        quint64 generation = 0;
        qint32 stream = 0;
        qint64 ahead = 0, position = 0, length = 0;
        if (!decode(frame.payload, generation, stream, ahead, position, length) || ahead < 0 || position < 0
            || length <= 0)
            return false;
        if (!allowed(lockedAllowance([&](HelperAllowance &a) { return a.word(ahead); })))
            return false;
        m_queue.pushWord({m_queue.written() + ahead, generation, stream, long(position), long(length)});
        return true;
    }
    case Type::Mark: {
        quint64 generation = 0;
        qint32 stream = 0;
        qint64 ahead = 0;
        QString name;
        if (!decode(frame.payload, generation, stream, ahead, name) || ahead < 0)
            return false;
        if (!allowed(lockedAllowance([&](HelperAllowance &a) { return a.word(ahead); })))
            return false;
        TimedWord mark{m_queue.written() + ahead, generation, stream, 0, 0};
        mark.mark = name;
        m_queue.pushWord(mark);
        return true;
    }
    case Type::Done: {
        quint64 generation = 0;
        qint32 stream = 0;
        if (!decode(frame.payload, generation, stream))
            return false;
        if (!allowed(lockedAllowance([&](HelperAllowance &a) { return a.done(); })))
            return false;
        {
            std::lock_guard lock(m_mutex);
            m_owed = std::max(0, m_owed - 1);
        }
        m_helperFinishedAText = true;
        m_listener.synthesised(generation, stream);
        return true;
    }
    case Type::Failed: {
        quint64 generation = 0;
        QString description;
        if (!decode(frame.payload, generation, description))
            return false;
        if (!allowed(lockedAllowance([&](HelperAllowance &a) { return a.failure(generation); })))
            return false;
        // Not tied to a text: the voice asked for did not load.
        m_listener.failed(generation, generation == 0 ? Failure::Reason::VoiceMissing : Failure::Reason::EngineFailed,
                          description);
        return true;
    }
    default:
        return false; // a greeting now, or one of our own commands, is garbage
    }
}

// Ends the helper and drops what it owed. The failure is reported once; a
// fresh helper is started at once (so the next Speak finds it warm) unless
// this one died before finishing any text, in which case the next command
// starts one: a voice or text that kills every helper is not retried in a loop.
void SynthClient::replaceHelper(Failure::Reason reason, const QString &why)
{
    const QString how = m_helper.end(ReapGraceMs);
    {
        std::lock_guard lock(m_mutex);
        m_pid = -1;
        m_outbox.clear();
        m_outboxSent = 0;
        m_texts.clear();
        m_owed = 0;
    }
    m_listener.failed(0, reason, why.isEmpty() ? how : why);
    if (m_helperFinishedAText) {
        try {
            connectHelper();
        } catch (const Failure &) {
            // Reported when the next command needs a helper.
        }
    }
}
