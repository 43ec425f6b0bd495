// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/protocol/SynthProtocol.h"

#include <atomic>
#include <deque>

// The helper's end of the channel. Commands that change what is being
// synthesised (Cancel, SetRate, SetPitch) take effect the moment they are read, even in
// the middle of a text; Speak and SetVoice wait their turn in order.
class CommandChannel
{
public:
    explicit CommandChannel(int fd) : m_fd(fd), m_reader(SynthProtocol::Direction::ToHelper) { }

    // Blocking write of a whole frame. False when the reader has gone.
    bool send(const QByteArray &frame);

    // Reads what has arrived without waiting (block=false) or waits for at
    // least one queued command (block=true). False when the reader has gone
    // or sent garbage: the helper then ends.
    bool pump(bool block);

    bool hasCommand() const { return !m_commands.empty(); }
    SynthProtocol::Frame takeCommand();

    // Texts of generations older than this are abandoned.
    quint64 cancelledBefore() const { return m_cancelledBefore; }
    long rate() const { return m_rate; }
    int pitch() const { return m_pitch; }
    int pitchRange() const { return m_pitchRange; }

private:
    bool take(const SynthProtocol::Frame &frame);

    int m_fd;
    SynthProtocol::FrameReader m_reader;
    std::deque<SynthProtocol::Frame> m_commands;
    quint64 m_cancelledBefore = 0;
    long m_rate = 0;
    int m_pitch = 50;
    int m_pitchRange = 50;
};
