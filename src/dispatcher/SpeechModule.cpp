// SPDX-License-Identifier: GPL-3.0-or-later
#include "dispatcher/SpeechModule.h"

#include "dispatcher/SpokenKeys.h"
#include "platform/Failure.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

// A message bigger than this is not read into memory: the server has sent
// something no listener could wait for. (Ten megabytes of text is eleven
// hours of speech; it is taken.)
constexpr qsizetype MaxMessageBytes = 64 << 20;

// The speaking thread's sink: each block of samples becomes one audio
// event, each mark an index-mark event before the samples it stands
// before. It stops the rendering when the server asked to stop, or at the
// first mark after a pause was asked for.
class EventSink : public SpeechSynthesis::Sink
{
public:
    EventSink(ModuleOutput &output, int sampleRate, const std::atomic<bool> &stop, const std::atomic<bool> &pause,
              const std::atomic<quint64> &current, quint64 serial)
        : m_output(output), m_rate(sampleRate), m_stop(stop), m_pause(pause), m_current(current), m_serial(serial)
    { }

    bool samples(const int16_t *data, std::size_t count) override
    {
        if (m_stop.load() || m_paused || m_output.lost())
            return false;
        if (count > 0)
            m_output.event(audioEvent(data, count, m_rate), m_current, m_serial);
        return true;
    }
    void word(qint64, long, long) override { }
    void mark(qint64, const QString &name) override
    {
        if (m_paused || m_stop.load())
            return;
        m_output.event(markEvent(name), m_current, m_serial);
        // The server takes a pause up again from the last mark it was told.
        if (m_pause.load())
            m_paused = true;
    }
    bool paused() const { return m_paused; }

private:
    ModuleOutput &m_output;
    const int m_rate;
    const std::atomic<bool> &m_stop;
    const std::atomic<bool> &m_pause;
    const std::atomic<quint64> &m_current;
    const quint64 m_serial;
    bool m_paused = false;
};

bool is(const QByteArray &line, const char *command) { return line == command; }

} // namespace

// The commands that bring a message, and what kind of message each brings.
std::optional<SpeechModule::Kind> SpeechModule::messageKind(const QByteArray &line)
{
    static const std::pair<const char *, Kind> commands[] = {
        {"SPEAK", Kind::Text}, {"CHAR", Kind::Char}, {"KEY", Kind::Key}, {"SOUND_ICON", Kind::SoundIcon}};
    for (const auto &[command, kind] : commands)
        if (line == command)
            return kind;
    return std::nullopt;
}

namespace {

} // namespace

SpeechModule::SpeechModule(int in, int out, Factory factory) : m_in(in), m_output(out), m_factory(std::move(factory))
{
    m_speaker = std::thread([this] { speakLoop(); });
}

SpeechModule::~SpeechModule()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_next.reset();
    }
    m_stop = true;
    m_changed.notify_all();
    if (m_starter.joinable())
        m_starter.join();
    m_speaker.join();
}

std::optional<QByteArray> SpeechModule::readLine()
{
    for (;;) {
        const qsizetype newline = m_buffer.indexOf('\n');
        if (newline >= 0) {
            QByteArray line = m_buffer.left(newline);
            m_buffer.remove(0, newline + 1);
            return line;
        }
        char chunk[65536];
        const ssize_t n = ::read(m_in, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        m_buffer.append(chunk, n);
    }
}

std::optional<QByteArrayList> SpeechModule::readBlock()
{
    QByteArrayList lines;
    qsizetype bytes = 0;
    for (;;) {
        std::optional<QByteArray> line = readLine();
        if (!line)
            return std::nullopt;
        if (*line == ".")
            return lines;
        // A line of the message that starts with a dot has it doubled.
        if (line->startsWith('.'))
            line->remove(0, 1);
        bytes += line->size() + 1;
        // Past the limit the rest is read to keep in step, and dropped.
        if (bytes <= MaxMessageBytes)
            lines.append(*line);
        else if (lines.isEmpty() || !lines.back().isNull())
            lines.append(QByteArray()); // marks the message as too big
    }
}

int SpeechModule::run()
{
    for (;;) {
        const std::optional<QByteArray> line = readLine();
        if (!line)
            break; // the server has gone
        if (is(*line, "INIT")) {
            ModuleOutput::Command command(m_output);
            std::lock_guard lock(m_mutex);
            if (!m_starter.joinable())
                m_starter = std::thread([this] {
                    std::unique_ptr<SpeechSynthesis> made;
                    QString failure;
                    try {
                        made = m_factory();
                    } catch (const Failure &f) {
                        failure = f.description();
                    }
                    std::lock_guard lock(m_mutex);
                    m_synthesis = std::move(made);
                    m_startFailure = failure;
                    m_voices = m_synthesis ? moduleVoices(m_synthesis->GetVoices()) : QList<ModuleVoice>();
                    m_started = true;
                    m_changed.notify_all();
                });
            command.reply("299-Sayrella: Mandarin read as a reader reads it, and the other languages of espeak-ng\n"
                          "299 OK LOADED SUCCESSFULLY\n");
        } else if (const std::optional<Kind> kind = messageKind(*line)) {
            if (!speakCommand(*kind))
                break;
        } else if (is(*line, "STOP")) {
            stop();
        } else if (is(*line, "PAUSE")) {
            pause();
        } else if (is(*line, "LIST VOICES")) {
            ModuleOutput::Command command(m_output);
            synthesis();
            std::lock_guard lock(m_mutex);
            command.reply(voiceListReply(m_voices));
        } else if (is(*line, "SET")) {
            ModuleOutput::Command command(m_output);
            command.reply("203 OK RECEIVING SETTINGS\n");
            const std::optional<QByteArrayList> block = readBlock();
            if (!block)
                break;
            for (const QByteArray &setting : *block)
                m_settings.set(setting);
            command.reply("203 OK SETTINGS RECEIVED\n");
        } else if (is(*line, "AUDIO")) {
            ModuleOutput::Command command(m_output);
            command.reply("207 OK RECEIVING AUDIO SETTINGS\n");
            const std::optional<QByteArrayList> block = readBlock();
            if (!block)
                break;
            // The audio goes back to the server: there is no other way out of this module.
            bool elsewhere = false;
            for (const QByteArray &setting : *block)
                if (setting.startsWith("audio_output_method=") && setting != "audio_output_method=server")
                    elsewhere = true;
            command.reply(elsewhere ? "300-sd_sayrella plays through the server only (audio_output_method=server)\n"
                                      "300 MODULE ERROR\n"
                                    : "203 OK AUDIO INITIALIZED\n");
        } else if (is(*line, "LOGLEVEL")) {
            ModuleOutput::Command command(m_output);
            command.reply("207 OK RECEIVING LOGLEVEL SETTINGS\n");
            if (!readBlock())
                break;
            command.reply("203 OK LOGLEVEL SET\n");
        } else if (line->startsWith("DEBUG ")) {
            // Nothing of the text spoken is ever written to a file the server names.
            ModuleOutput::Command command(m_output);
            command.reply(line->startsWith("DEBUG ON") ? "200 OK DEBUGGING ON\n" : "200 OK DEBUGGING OFF\n");
        } else if (is(*line, "QUIT")) {
            stop();
            ModuleOutput::Command command(m_output);
            command.reply("210 OK QUIT\n");
            return 0;
        } else {
            ModuleOutput::Command command(m_output);
            command.reply("300 ERR UNKNOWN COMMAND\n");
        }
    }
    stop();
    return 0;
}

bool SpeechModule::speakCommand(Kind kind)
{
    ModuleOutput::Command command(m_output);
    command.reply("202 OK RECEIVING MESSAGE\n");
    const std::optional<QByteArrayList> lines = readBlock();
    if (!lines)
        return false;
    const QByteArray utf8 = lines->join('\n');
    if (utf8.trimmed().isEmpty() || (!lines->isEmpty() && lines->back().isNull())) {
        command.reply("301 ERROR CANT SPEAK\n");
        return true;
    }
    if (kind != Kind::Text && lines->size() > 1) {
        command.reply("305 DATA MORE THAN ONE LINE\n");
        return true;
    }
    {
        std::lock_guard lock(m_mutex);
        // A message while another is spoken replaces it, whose events end
        // here: the server has moved on and would take them for the new one's.
        if (m_speaking || m_next) {
            ++m_serial;
            m_stop = true;
        }
        m_next = Message{kind, QString::fromUtf8(utf8), m_settings, m_serial};
    }
    m_changed.notify_all();
    command.reply("200 OK SPEAKING\n");
    return true;
}

void SpeechModule::stop()
{
    std::lock_guard lock(m_mutex);
    if (m_next && !m_speaking) {
        // Not begun: it ends as a stopped message all the same.
        m_next->stopped = true;
    }
    m_stop = true;
    m_changed.notify_all();
}

void SpeechModule::pause()
{
    std::lock_guard lock(m_mutex);
    if (m_speaking || m_next)
        m_pause = true;
}

SpeechSynthesis *SpeechModule::synthesis()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_started || m_quit || !m_starter.joinable(); });
    return m_synthesis.get();
}

void SpeechModule::speakLoop()
{
    for (;;) {
        Message message;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_quit || m_next.has_value(); });
            if (m_quit)
                return;
            message = std::move(*m_next);
            m_next.reset();
            m_speaking = true;
            m_stop = message.stopped;
            m_pause = false;
        }
        say(message);
        std::lock_guard lock(m_mutex);
        m_speaking = false;
    }
}

void SpeechModule::say(const Message &message)
{
    auto tell = [&](const QByteArray &event) { m_output.event(event, m_serial, message.serial); };
    tell("701 BEGIN\n");
    if (message.stopped) {
        tell("703 STOP\n");
        return;
    }
    SpeechSynthesis *const speech = synthesis();
    QString voice;
    {
        std::lock_guard lock(m_mutex);
        voice = chooseVoice(m_voices, message.settings.voiceName, message.settings.language);
        if (!speech)
            std::fprintf(stderr, "sd_sayrella: %s\n", qPrintable(m_startFailure));
    }
    const bool chinese = message.settings.language.isEmpty() || isChinese(message.settings.language);
    QString text;
    switch (message.kind) {
    case Kind::Text:
        text = message.text;
        break;
    case Kind::Char:
        text = spokenCharacter(message.text, chinese);
        break;
    case Kind::Key:
        text = spokenKey(message.text, chinese);
        break;
    case Kind::SoundIcon:
        break; // no sounds of our own: nothing said is better than a wrong word
    }
    bool finished = true;
    bool paused = false;
    if (speech && !text.isEmpty()) {
        SpeechSynthesis::Settings settings = message.settings.synthesis(voice);
        // Characters and keys are text, whatever they look like.
        settings.markup = message.kind == Kind::Text;
        EventSink sink(m_output, speech->sampleRate(), m_stop, m_pause, m_serial, message.serial);
        try {
            finished = speech->render(text, settings, sink, m_stop);
        } catch (const Failure &failure) {
            // The helper is replaced for the next message; this one ends here.
            std::fprintf(stderr, "sd_sayrella: %s\n", qPrintable(failure.description()));
        }
        paused = sink.paused();
    }
    tell(paused ? "704 PAUSE\n" : finished || !m_stop.load() ? "702 END\n" : "703 STOP\n");
}
