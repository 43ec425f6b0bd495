#pragma once

#include "speech/SpeakFlags.h"
#include "speech/VoiceToken.h"

#include <QObject>
#include <QString>
#include <QVariant>

// The speech voice the reader talks to. One back end per platform derives
// from it; tests use FakeVoice. Every operation reports failure by throwing
// Failure. Word is always emitted on the thread that owns the voice (the UI
// thread), when the word is being heard.
class SpVoice : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~SpVoice() override = default;

    // Speaks text (a null QString together with SVSFPurgeBeforeSpeak only
    // purges). Returns the stream number that the Word events will carry.
    virtual long Speak(const QString &text, int flags) = 0;
    // Pauses nest: each Pause needs its Resume. Resume while not paused does nothing.
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual void setRate(long rate) = 0;     // -10 .. 10
    virtual void setVolume(long volume) = 0; // 0 .. 100
    virtual SpObjectTokens GetVoices(const QString &requiredAttributes = {},
                                     const QString &optionalAttributes = {}) = 0;
    virtual void setVoice(const SpObjectToken &token) = 0;

signals:
    // characterPosition and length are UTF-16 offsets into the text given to Speak.
    void Word(long streamNumber, const QVariant &streamPosition, long characterPosition, long length);
};
