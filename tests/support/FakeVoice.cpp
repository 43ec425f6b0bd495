// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeVoice.h"

#include "platform/Failure.h"

#include <QEventLoop>

#include <cmath>

FakeVoice::FakeVoice(QList<SpObjectToken> initialVoices, QObject *parent)
    : SpVoice(parent), voices(std::move(initialVoices))
{
    m_clock.setSingleShot(true);
    connect(&m_clock, &QTimer::timeout, this, &FakeVoice::step);
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
    if (flags & SVSFPurgeBeforeSpeak)
        m_queue.clear();
    if (text.isNull()) {
        refreshState();
        return m_stream;
    }
    ++m_stream;
    m_failed = false;
    if (speaksInTime) {
        m_queue.push_back({m_stream, text, 0});
        if (!m_failLater.isEmpty()) {
            QTimer::singleShot(0, this, [this, description = std::exchange(m_failLater, {})] {
                m_queue.clear();
                m_failed = true;
                emit failed(Failure::Reason::EngineFailed, description);
                refreshState();
            });
        }
        if (!m_clock.isActive() && m_pauseDepth == 0)
            startTimeline();
    }
    refreshState();
    if (speaksInTime && !(flags & SVSFlagsAsync) && m_pauseDepth == 0) {
        // As a real voice does: back when heard to the end, purged or failed.
        QEventLoop wait;
        const long stream = m_stream;
        connect(this, &SpVoice::EndStream, &wait, [&](long ended) {
            if (ended == stream)
                wait.quit();
        });
        connect(this, &SpVoice::failed, &wait, &QEventLoop::quit);
        connect(this, &SpVoice::stateChanged, &wait, [&](State s) {
            if (s == State::Ready)
                wait.quit();
        });
        wait.exec();
    }
    return m_stream;
}

// Raises the next word of the first text, or its end; a word lasts 20 ms at
// the normal rate, three times shorter at +10, three times longer at -10.
void FakeVoice::step()
{
    if (m_queue.empty() || m_pauseDepth > 0)
        return;
    Utterance &u = m_queue.front();
    qsizetype start = u.next;
    while (start < u.text.size() && u.text[start].isSpace())
        ++start;
    if (start >= u.text.size()) {
        const long stream = u.stream;
        m_queue.pop_front();
        emit EndStream(stream, QVariant::fromValue<qlonglong>(0));
        refreshState();
    } else {
        qsizetype end = start;
        while (end < u.text.size() && !u.text[end].isSpace())
            ++end;
        u.next = end;
        emit Word(u.stream, QVariant::fromValue<qlonglong>(0), long(start), long(end - start));
    }
    if (!m_queue.empty()) {
        m_nextDueMs += std::lround(20 * std::pow(3.0, -rate / 10.0));
        m_clock.start(int(std::max<qint64>(0, m_nextDueMs - m_timeline.elapsed())));
    }
}

void FakeVoice::startTimeline()
{
    m_timeline.start();
    m_nextDueMs = 0;
    m_clock.start(0);
}

void FakeVoice::Pause()
{
    record(QStringLiteral("Pause"), QStringLiteral("Pause"));
    if (++m_pauseDepth == 1)
        m_clock.stop();
    refreshState();
}

void FakeVoice::Resume()
{
    record(QStringLiteral("Resume"), QStringLiteral("Resume"));
    if (m_pauseDepth > 0 && --m_pauseDepth == 0 && !m_queue.empty())
        startTimeline();
    refreshState();
}

void FakeVoice::setRate(long value)
{
    record(QStringLiteral("Rate"), QStringLiteral("Rate(%1)").arg(value));
    rate = std::clamp(value, -10L, 10L);
}

void FakeVoice::setVolume(long value)
{
    record(QStringLiteral("Volume"), QStringLiteral("Volume(%1)").arg(value));
    volume = std::clamp(value, 0L, 100L);
}

SpObjectTokens FakeVoice::GetVoices(const QString &required, const QString &optional)
{
    record(QStringLiteral("GetVoices"), QStringLiteral("GetVoices(%1,%2)").arg(required, optional));
    return SpObjectTokens(voices);
}

void FakeVoice::setVoice(const SpObjectToken &token)
{
    record(QStringLiteral("Voice"), QStringLiteral("Voice(%1)").arg(token.id()));
    if (speaksInTime && !voices.contains(token))
        throw Failure(QStringLiteral("语音“%1”不存在或已被删除。").arg(token.GetDescription()));
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
