// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"
#include "speech/SpeakFlags.h"
#include "speech/VoiceToken.h"

#include <QObject>
#include <QString>
#include <QVariant>

// The speech voice the reader talks to. One back end per platform derives
// from it; tests use a scripted fake. Every operation reports a failure it
// meets before returning by throwing Failure; failures found later (the
// synthesiser lost, a voice that does not load, the sound server gone) are
// reported once through failed(). Signals are emitted on the thread that owns
// the voice (the UI thread), when what they tell has been heard.
class SpVoice : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Ready, // nothing to say
        Speaking, // a stream is being spoken
        Paused, // Pause has not been matched by Resume
        Error, // the last speech failed; the next Speak starts afresh
    };
    Q_ENUM(State)

    using QObject::QObject;
    ~SpVoice() override = default;

    // Speaks text (a null QString together with SVSFPurgeBeforeSpeak only
    // purges). Returns the stream number that the Word and EndStream events
    // will carry. Without SVSFlagsAsync it returns once the text has been
    // heard, or when it is purged, paused, or fails.
    virtual long Speak(const QString &text, int flags) = 0;
    // Pauses nest: each Pause needs its Resume. Resume while not paused does nothing.
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual void setRate(long rate) = 0; // -10 .. 10
    virtual void setVolume(long volume) = 0; // 0 .. 100
    virtual SpObjectTokens GetVoices(const QString &requiredAttributes = {},
                                     const QString &optionalAttributes = {}) = 0;
    virtual void setVoice(const SpObjectToken &token) = 0;

    State state() const { return m_state; }

signals:
    // characterPosition and length are UTF-16 offsets into the text given to Speak.
    void Word(long streamNumber, const QVariant &streamPosition, long characterPosition, long length);
    // The stream has been heard to its end. A purged stream has no end.
    void EndStream(long streamNumber, const QVariant &streamPosition);
    void stateChanged(SpVoice::State state);
    // reason: EngineFailed, EngineHung, VoiceMissing or SoundServerLost;
    // description: what the person is told.
    void failed(Failure::Reason reason, const QString &description);

protected:
    // Back ends keep these three facts; the state follows from them.
    void updateState(bool speaking, bool paused, bool failedSinceSpeak)
    {
        const State next = paused ? State::Paused
            : failedSinceSpeak    ? State::Error
            : speaking            ? State::Speaking
                                  : State::Ready;
        if (next != m_state) {
            m_state = next;
            emit stateChanged(next);
        }
    }

private:
    State m_state = State::Ready;
};
