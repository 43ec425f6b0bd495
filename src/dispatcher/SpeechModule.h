// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dispatcher/ModuleOutput.h"
#include "dispatcher/ModuleSettings.h"
#include "speech/SpeechSynthesis.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// speech-dispatcher's output-module protocol over a pair of descriptors:
// commands in, replies, events and audio out. Speech is rendered on a
// thread of its own into 705 audio events, which the server plays on the
// user's sound server; the module opens no sound device.
class SpeechModule
{
public:
    // Makes the synthesis (throws Failure); called once, in the background,
    // so that INIT is answered at once although the server waits for it.
    using Factory = std::function<std::unique_ptr<SpeechSynthesis>()>;

    SpeechModule(int in, int out, Factory factory);
    ~SpeechModule();

    // Serves commands until QUIT or the end of the input; the exit status.
    int run();

private:
    enum class Kind { Text, Char, Key, SoundIcon };
    struct Message
    {
        Kind kind = Kind::Text;
        QString text;
        ModuleSettings settings;
        quint64 serial = 0; // its events are told while it is the server's current message
        bool stopped = false; // stopped before it began
    };

    static std::optional<Kind> messageKind(const QByteArray &line);
    std::optional<QByteArray> readLine();
    // The lines up to "." of a multi-line command, dots unescaped; nullopt at the input's end.
    std::optional<QByteArrayList> readBlock();
    bool speakCommand(Kind kind);
    void setCommand(const char *received, const char *done, bool audio);
    void stop();
    void pause();
    SpeechSynthesis *synthesis();
    void speakLoop();
    void say(const Message &message);

    const int m_in;
    ModuleOutput m_output;
    QByteArray m_buffer; // of the input, not yet read as lines
    ModuleSettings m_settings;

    Factory m_factory;
    std::thread m_starter;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::unique_ptr<SpeechSynthesis> m_synthesis; // guarded by m_mutex until started
    QString m_startFailure;
    bool m_started = false;
    QList<ModuleVoice> m_voices;

    std::optional<Message> m_next; // waiting for the speaking thread
    bool m_speaking = false; // a message is between its BEGIN and its last event
    bool m_quit = false;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{false};
    // Raised when a message replaces one still spoken: events of the one
    // before are then dropped, under the output's lock.
    std::atomic<quint64> m_serial{0};
    std::thread m_speaker;
};
