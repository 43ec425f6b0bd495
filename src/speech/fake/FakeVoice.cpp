#include "speech/fake/FakeVoice.h"

#include "platform/Failure.h"

FakeVoice::FakeVoice(QList<SpObjectToken> initialVoices, QObject *parent)
    : SpVoice(parent), voices(std::move(initialVoices))
{
}

void FakeVoice::record(const QString &operation, const QString &call)
{
    calls << call;
    const auto failure = m_failures.constFind(operation);
    if (failure != m_failures.cend())
        throw Failure(*failure);
}

long FakeVoice::Speak(const QString &text, int flags)
{
    record(QStringLiteral("Speak"),
           QStringLiteral("Speak(%1,%2)").arg(text.isNull() ? QStringLiteral("<null>") : text).arg(flags));
    lastText = text;
    lastTextWasNull = text.isNull();
    return ++m_stream;
}

void FakeVoice::Pause() { record(QStringLiteral("Pause"), QStringLiteral("Pause")); }
void FakeVoice::Resume() { record(QStringLiteral("Resume"), QStringLiteral("Resume")); }

void FakeVoice::setRate(long value)
{
    record(QStringLiteral("Rate"), QStringLiteral("Rate(%1)").arg(value));
    rate = value;
}

void FakeVoice::setVolume(long value)
{
    record(QStringLiteral("Volume"), QStringLiteral("Volume(%1)").arg(value));
    volume = value;
}

SpObjectTokens FakeVoice::GetVoices(const QString &required, const QString &optional)
{
    record(QStringLiteral("GetVoices"), QStringLiteral("GetVoices(%1,%2)").arg(required, optional));
    return SpObjectTokens(voices);
}

void FakeVoice::setVoice(const SpObjectToken &token)
{
    record(QStringLiteral("Voice"), QStringLiteral("Voice(%1)").arg(token.id()));
    voice = token;
}

void FakeVoice::failOn(const QString &operation, const QString &description)
{
    m_failures.insert(operation, description);
}

void FakeVoice::succeedOn(const QString &operation) { m_failures.remove(operation); }

void FakeVoice::raiseWord(long characterPosition, long length)
{
    emit Word(m_stream, QVariant::fromValue<qlonglong>(0), characterPosition, length);
}
