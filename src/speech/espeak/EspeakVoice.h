#pragma once

#include "speech/SpVoice.h"
#include "speech/audio/PcmQueue.h"
#include "speech/espeak/SynthWorker.h"

#include <QThread>

#include <memory>

class AudioOutput;

// The Linux voice: libespeak-ng synthesising on its own thread into an audio
// output we control, so that Pause halts what is heard, a purge silences at
// once, and each Word is raised when its audio is actually played.
class EspeakVoice : public SpVoice
{
    Q_OBJECT

public:
    struct Options
    {
        QByteArray dataPath;     // empty: espeak-ng's installed data
        QString userVoiceFolder; // empty: VoiceCatalog::userVoiceFolder()
    };

    // Throws Failure when espeak-ng cannot start. Only one may exist at a
    // time, since espeak-ng keeps its state in the process.
    explicit EspeakVoice(const Options &options = {});
    ~EspeakVoice() override;

    long Speak(const QString &text, int flags) override;
    void Pause() override;
    void Resume() override;
    void setRate(long rate) override;
    void setVolume(long volume) override;
    SpObjectTokens GetVoices(const QString &required, const QString &optional) override;
    void setVoice(const SpObjectToken &token) override;

    // For measurements.
    const PcmQueue &queue() const { return m_queue; }
    const AudioOutput &output() const { return *m_output; }

private:
    void purge();
    void waitUntilDone();

    Options m_options;
    PcmQueue m_queue;
    SynthWorker m_worker;
    QThread m_audioThread;
    AudioOutput *m_output = nullptr;
    quint64 m_generation = 0;
    long m_stream = 0;
    int m_pauseDepth = 0;
};
