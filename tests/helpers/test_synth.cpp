// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in synthesis helper for tests: it speaks the helper's protocol on
// descriptor 3 without any engine, and misbehaves on request, to show what
// the reader does with helpers that are slow, die, hang or talk nonsense.
//
//   test_synth [--first-sample-delay MS] [--on-speak MODE] [--voices DIR]...
//
// The misbehaviour of --on-speak comes with texts that contain "BOOM"; other
// texts are spoken normally. MODE is one of crash, hang, garbage, exit, or a
// flood of what a subverted helper could send: failure-flood, word-flood,
// audio-flood, done-flood, drip (a frame a byte at a time, slower than any
// deadline), word-at-end (a word stamped on the text's last sample).
//
// Each blank-separated word of a text becomes a word event and 150 ms of a
// loud 440 Hz tone.
#include "synth/protocol/SynthProtocol.h"

#include <QList>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace SynthProtocol;

namespace {

constexpr int Fd = 3;
constexpr int Rate = 22050;

bool sendAll(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = write(Fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray tone(int samples, qint64 &phase)
{
    std::vector<qint16> pcm(static_cast<std::size_t>(samples));
    for (qint16 &s : pcm)
        s = qint16(8000 * std::sin(2 * M_PI * 440 * double(phase++) / Rate));
    return QByteArray(reinterpret_cast<const char *>(pcm.data()), qsizetype(pcm.size() * 2));
}

// Sends a flood of what the reader must not take from a helper. False for
// a mode that is not a flood.
bool misbehave(const QByteArray &mode, quint64 generation, qint32 stream, qint64 &phase)
{
    if (mode == "failure-flood") {
        for (int i = 0; i < 10000; ++i)
            if (!sendAll(encode(Type::Failed, generation, QStringLiteral("flood %1").arg(i))))
                return true;
    } else if (mode == "word-flood") {
        for (int i = 0; i < 2000000; ++i)
            if (!sendAll(encode(Type::Word, generation, stream, qint64(0), qint64(0), qint64(4))))
                return true;
    } else if (mode == "audio-flood") {
        const QByteArray block = tone(Rate, phase);
        for (int i = 0; i < 100000; ++i)
            if (!sendAll(encode(Type::Pcm, generation, block)))
                return true;
    } else if (mode == "done-flood") {
        for (int i = 0; i < 10000; ++i)
            if (!sendAll(encode(Type::Done, generation, stream)))
                return true;
    } else if (mode == "drip") {
        const QByteArray frame = encode(Type::Pcm, generation, tone(Rate / 10, phase));
        for (char byte : frame) {
            if (!sendAll(QByteArray(1, byte)))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
    } else if (mode == "word-at-end") {
        const QByteArray samples = tone(Rate / 5, phase);
        sendAll(encode(Type::Word, generation, stream, qint64(0), qint64(0), qint64(4)));
        sendAll(encode(Type::Pcm, generation, samples));
        // Stamped on the sample after the last: nothing of it is ever heard.
        sendAll(encode(Type::Word, generation, stream, qint64(0), qint64(5), qint64(4)));
        sendAll(encode(Type::Done, generation, stream));
    } else {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    int delayMs = 0;
    QByteArray onSpeak;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--first-sample-delay") == 0)
            delayMs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--on-speak") == 0)
            onSpeak = argv[i + 1];
    }
    sendAll(encode(Type::Hello, SynthProtocol::Version, qint32(Rate),
                   QList<VoiceInfo>{{QStringLiteral("test:tone"), QStringLiteral("Tone"), QStringLiteral("en")}}));

    FrameReader reader(Direction::ToHelper);
    char buffer[65536];
    qint64 phase = 0;
    for (;;) {
        const ssize_t n = read(Fd, buffer, sizeof buffer);
        if (n <= 0)
            return 0;
        reader.append(buffer, n);
        while (const auto frame = reader.next()) {
            if (frame->type != Type::Speak)
                continue;
            quint64 generation;
            qint32 stream;
            bool markup, final;
            qint64 offset;
            QString text;
            decode(frame->payload, generation, stream, markup, offset, final, text);
            const QByteArray mode = text.contains(QStringLiteral("BOOM")) ? onSpeak : QByteArray();
            if (mode == "crash")
                std::raise(SIGSEGV);
            if (mode == "exit")
                return 3;
            if (mode == "hang")
                for (;;)
                    pause();
            if (mode == "garbage") {
                sendAll(QByteArray("\xff\xff\xff\xff not a frame at all", 24));
                continue;
            }
            if (misbehave(mode, generation, stream, phase))
                continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            for (qsizetype start = 0; start < text.size();) {
                while (start < text.size() && text[start].isSpace())
                    ++start;
                qsizetype end = start;
                while (end < text.size() && !text[end].isSpace())
                    ++end;
                if (end == start)
                    break;
                sendAll(encode(Type::Word, generation, stream, qint64(0), offset + start, qint64(end - start)));
                sendAll(encode(Type::Pcm, generation, tone(Rate * 15 / 100, phase)));
                start = end;
            }
            if (final)
                sendAll(encode(Type::Done, generation, stream));
        }
    }
}
