#pragma once

#include "speech/SpVoice.h"

#include <QHash>
#include <QStringList>

// A scripted voice for tests. It records every call as a line ("Speak(text,11)",
// "Pause", "Rate(-10)", ...), raises Word when told to, and throws Failure from
// any operation it has been told to fail.
class FakeVoice : public SpVoice
{
    Q_OBJECT

public:
    explicit FakeVoice(QList<SpObjectToken> voices = {}, QObject *parent = nullptr);

    long Speak(const QString &text, int flags) override;
    void Pause() override;
    void Resume() override;
    void setRate(long rate) override;
    void setVolume(long volume) override;
    SpObjectTokens GetVoices(const QString &required, const QString &optional) override;
    void setVoice(const SpObjectToken &token) override;

    // Operation names as recorded: Speak, Pause, Resume, Rate, Volume, GetVoices, Voice.
    void failOn(const QString &operation, const QString &description);
    void succeedOn(const QString &operation);

    void raiseWord(long characterPosition, long length);

    QStringList calls;
    QString lastText;
    bool lastTextWasNull = false;
    long rate = 0;
    long volume = 100;
    SpObjectToken voice;
    QList<SpObjectToken> voices;

private:
    void record(const QString &operation, const QString &call);
    QHash<QString, QString> m_failures;
    long m_stream = 0;
};
