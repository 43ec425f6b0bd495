// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes from a synthesis helper, cut into frames and decoded as the
// reader decodes them. The first byte sets how the bytes arrive (in pieces
// of 1 to 256 bytes), as a socket may deliver them.
#include "FuzzInput.h"
#include "synth/protocol/SynthProtocol.h"

using namespace SynthProtocol;

namespace {

void decodeAsTheReaderDoes(const Frame &frame)
{
    quint64 generation = 0;
    qint32 stream = 0, rate = 0;
    quint32 version = 0;
    qint64 ahead = 0, position = 0, length = 0;
    QString text;
    QByteArray samples;
    QList<VoiceInfo> voices;
    switch (frame.type) {
    case Type::Hello:
        decode(frame.payload, version, rate, voices);
        break;
    case Type::StartFailed:
        decode(frame.payload, text);
        break;
    case Type::Pcm:
        decode(frame.payload, generation, samples);
        break;
    case Type::Word:
        decode(frame.payload, generation, stream, ahead, position, length);
        break;
    case Type::Done:
        decode(frame.payload, generation, stream);
        break;
    case Type::Failed:
        decode(frame.payload, generation, text);
        break;
    case Type::Mark:
        decode(frame.payload, generation, stream, ahead, text);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = std::size_t(data[0]) + 1;
    FrameReader reader(Direction::FromHelper);
    for (std::size_t at = 1; at < size && !reader.broken(); at += piece) {
        reader.append(reinterpret_cast<const char *>(data + at), qsizetype(std::min(piece, size - at)));
        while (const auto frame = reader.next()) {
            if (frame->payload.size() > qsizetype(MaxFromHelper))
                __builtin_trap();
            decodeAsTheReaderDoes(*frame);
        }
    }
    return 0;
}
