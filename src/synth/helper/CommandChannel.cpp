// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/helper/CommandChannel.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

using namespace SynthProtocol;

bool CommandChannel::send(const QByteArray &frame)
{
    const char *data = frame.constData();
    qsizetype left = frame.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

bool CommandChannel::pump(bool block)
{
    char buffer[65536];
    do {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, block && m_commands.empty() ? -1 : 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return false;
        if (ready == 0)
            return true;
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        m_reader.append(buffer, n);
        while (const auto frame = m_reader.next())
            if (!take(*frame))
                return false;
        if (m_reader.broken())
            return false;
    } while (block && m_commands.empty());
    return true;
}

bool CommandChannel::take(const Frame &frame)
{
    switch (frame.type) {
    case Type::Cancel: {
        quint64 generation = 0;
        if (!decode(frame.payload, generation))
            return false;
        m_cancelledBefore = std::max(m_cancelledBefore, generation);
        return true;
    }
    case Type::SetRate: {
        qint32 rate = 0;
        if (!decode(frame.payload, rate))
            return false;
        m_rate = std::clamp<long>(rate, -10, 10);
        return true;
    }
    case Type::SetPitch: {
        qint32 pitch = 0, range = 0;
        if (!decode(frame.payload, pitch, range))
            return false;
        m_pitch = std::clamp(pitch, 0, 100);
        m_pitchRange = std::clamp(range, 0, 100);
        return true;
    }
    case Type::Speak:
    case Type::SetVoice:
        m_commands.push_back(frame);
        return true;
    default:
        return false; // only the reader's commands may come this way
    }
}

Frame CommandChannel::takeCommand()
{
    Frame frame = std::move(m_commands.front());
    m_commands.pop_front();
    return frame;
}
