#pragma once

#include "speech/VoiceToken.h"
#include "speech/audio/PcmQueue.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

struct TextPiece;
class WordPositionFilter;

// The one thread that talks to libespeak-ng. espeak-ng is not reentrant (two
// threads synthesising at once, or a voice change during synthesis, crash
// it), so every espeak call, from initialisation to termination, happens
// here. Texts are synthesised piece by piece into the PcmQueue, whose
// back-pressure keeps this thread only a moment ahead of what is heard.
class SynthWorker
{
public:
    explicit SynthWorker(PcmQueue &queue);
    ~SynthWorker();

    // Starts the thread and initialises espeak-ng there (dataPath empty: the
    // system's data). Throws Failure when the engine cannot start.
    void start(const QByteArray &dataPath);
    void stop();

    int sampleRate() const { return m_sampleRate; }
    const QList<SpObjectToken> &builtinVoices() const { return m_builtinVoices; }

    // Queued in call order; a text whose generation is no longer the queue's
    // is skipped or abandoned.
    void speak(quint64 generation, long stream, const QString &text, bool markupAllowed);
    void selectVoice(const SpObjectToken &token);
    // Applied from the next piece of the text being spoken.
    void setRate(long rate) { m_rate.store(rate); }

    // No text waiting or being synthesised.
    bool idle() const;

private:
    struct Command
    {
        bool isVoice = false;
        quint64 generation = 0;
        long stream = 0;
        QString text;
        bool markupAllowed = false;
        SpObjectToken voice;
    };

    void run(const QByteArray &dataPath, std::promise<QString> &started);
    QString initialise(const QByteArray &dataPath);
    void speakText(const Command &command);
    bool speakPiece(const TextPiece &piece, bool markup, WordPositionFilter &filter, const Command &command);
    bool applyVoice(const SpObjectToken &token);

    PcmQueue &m_queue;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Command> m_commands;
    bool m_quit = false;
    bool m_busy = false;
    std::atomic<long> m_rate{0};
    int m_sampleRate = 22050;
    QList<SpObjectToken> m_builtinVoices;
    SpObjectToken m_currentVoice;
};
