// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>

// What the module writes to speech-dispatcher: replies to its commands and,
// from the speaking thread, events and audio. The server reads a command's
// reply as the next thing on the pipe, so nothing else may come between a
// command and its reply: the command's handler holds the output for as long
// as the command takes (Command), and events wait for it.
class ModuleOutput
{
public:
    explicit ModuleOutput(int fd);

    // The output held by a command from its first line to its reply.
    class Command
    {
    public:
        explicit Command(ModuleOutput &output) : m_output(output), m_lock(output.m_mutex) { }
        // Lines of a reply; every line but the last is a continuation ("NNN-").
        void reply(const QByteArray &lines) { m_output.writeAll(lines); }

    private:
        ModuleOutput &m_output;
        std::unique_lock<std::mutex> m_lock;
    };

    // An event (700…705) from the speaking thread, whole, unless the
    // message it belongs to (serial) is no longer the current one.
    void event(const QByteArray &lines, const std::atomic<quint64> &current, quint64 serial);
    // The server has gone: every later write fails at once.
    bool lost() const;

private:
    void writeAll(const QByteArray &bytes);

    const int m_fd;
    std::mutex m_mutex;
    std::atomic<bool> m_lost{false};
};

// Samples as the server takes them back in a 705 event: 16-bit, one
// channel, in this machine's byte order, the bytes escaped so that no line
// break or escape byte appears among them.
QByteArray audioEvent(const int16_t *samples, std::size_t count, int sampleRate);
// The event that tells a mark was reached (700).
QByteArray markEvent(const QString &name);
