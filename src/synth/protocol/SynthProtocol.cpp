// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/protocol/SynthProtocol.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace SynthProtocol {

namespace {

// What a Pcm payload holds before its samples, as QDataStream writes a
// quint64 and a QByteArray: the generation, then the byte count.
constexpr qsizetype PcmHead = 8 + 4;
// A reader keeps this much room between frames (a read of a megabyte in
// place included), so a stream of PCM frames does not allocate and free a
// buffer for each one.
constexpr qsizetype KeptCapacity = 4 << 20;

} // namespace

QByteArray frame(Type type, const QByteArray &payload)
{
    QByteArray bytes(HeaderSize, Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(type), bytes.data());
    qToLittleEndian<quint32>(quint32(payload.size()), bytes.data() + 4);
    return bytes + payload;
}

void appendPcm(QByteArray &out, quint64 generation, const qint16 *samples, qsizetype count)
{
    // The payload as QDataStream writes it: the generation, then the byte
    // array as its big-endian length and its bytes.
    const qsizetype bytes = count * 2;
    const qsizetype at = out.size();
    out.resize(at + HeaderSize + PcmHead + bytes);
    char *data = out.data() + at;
    qToLittleEndian<quint32>(quint32(Type::Pcm), data);
    qToLittleEndian<quint32>(quint32(PcmHead + bytes), data + 4);
    qToBigEndian<quint64>(generation, data + HeaderSize);
    qToBigEndian<quint32>(quint32(bytes), data + HeaderSize + 8);
    std::memcpy(data + HeaderSize + PcmHead, samples, std::size_t(bytes));
}

bool isKnownType(quint32 type, Direction direction)
{
    return direction == Direction::FromHelper ? type >= quint32(Type::Hello) && type <= quint32(Type::Mark)
                                              : type >= quint32(Type::Speak) && type <= quint32(Type::SetPitch);
}

char *FrameReader::room(qsizetype size)
{
    settle();
    m_roomStart = m_buffer.size();
    m_buffer.resize(m_roomStart + size);
    return m_buffer.data() + m_roomStart;
}

void FrameReader::commit(qsizetype used)
{
    if (m_roomStart < 0)
        return;
    m_buffer.resize(m_roomStart + std::max<qsizetype>(0, used));
    m_roomStart = -1;
}

std::optional<PcmView> pcmView(const QByteArray &payload)
{
    // The layout QDataStream gives a quint64 and a QByteArray: big-endian
    // generation, big-endian byte count (all ones for a null array), bytes.
    if (payload.size() < PcmHead)
        return std::nullopt;
    PcmView view;
    view.generation = qFromBigEndian<quint64>(payload.constData());
    const quint32 count = qFromBigEndian<quint32>(payload.constData() + 8);
    const qsizetype size = count == 0xFFFFFFFFu ? 0 : qsizetype(count);
    if (payload.size() - PcmHead != size)
        return std::nullopt;
    view.bytes = payload.constData() + PcmHead;
    view.size = size;
    return view;
}

std::optional<FrameView> FrameReader::nextView()
{
    settle();
    if (m_broken || m_buffer.size() - m_start < HeaderSize)
        return std::nullopt;
    const char *header = m_buffer.constData() + m_start;
    const quint32 type = qFromLittleEndian<quint32>(header);
    const quint32 length = qFromLittleEndian<quint32>(header + 4);
    if (!isKnownType(type, m_direction) || length > m_maxPayload) {
        m_broken = true;
        return std::nullopt;
    }
    if (m_buffer.size() - m_start - HeaderSize < qsizetype(length))
        return std::nullopt;
    const FrameView view{Type(type), QByteArrayView(header + HeaderSize, qsizetype(length))};
    m_start += HeaderSize + length;
    return view;
}

std::optional<Frame> FrameReader::next()
{
    const std::optional<FrameView> view = nextView();
    if (!view)
        return std::nullopt;
    return Frame{view->type, view->payload.toByteArray()};
}

void FrameReader::append(const char *data, qsizetype size)
{
    settle();
    m_buffer.append(data, size);
}

// Drops what the frames taken so far used, once it is most of the buffer, so
// a long stream of frames neither grows the buffer nor copies it every time.
// Done only when the reader is used again: the last frame's view stays good
// until then.
void FrameReader::settle()
{
    if (m_start == 0)
        return;
    if (m_start == m_buffer.size()) {
        // Kept for the next frames unless a whole text made it large.
        if (m_buffer.capacity() > KeptCapacity)
            m_buffer.clear();
        else
            m_buffer.resize(0);
        m_start = 0;
    } else if (m_start > 65536 && m_start * 2 > m_buffer.size()) {
        // Moved down by hand: QByteArray::remove would only move where the
        // data begins, and the next growth at the end would then allocate
        // anew instead of using the room freed here.
        const qsizetype rest = m_buffer.size() - m_start;
        std::memmove(m_buffer.data(), m_buffer.constData() + m_start, std::size_t(rest));
        m_buffer.resize(rest);
        m_start = 0;
    }
}

QDataStream &operator<<(QDataStream &out, const VoiceInfo &voice)
{
    return out << voice.id << voice.description << voice.language;
}

QDataStream &operator>>(QDataStream &in, VoiceInfo &voice)
{
    return in >> voice.id >> voice.description >> voice.language;
}

QDataStream &operator>>(QDataStream &in, QList<VoiceInfo> &voices)
{
    voices.clear();
    quint32 count = 0;
    in >> count;
    // Each voice takes at least the three length fields of its strings.
    constexpr qint64 SmallestVoice = 3 * sizeof(quint32);
    if (in.status() != QDataStream::Ok || !in.device() || qint64(count) > in.device()->bytesAvailable() / SmallestVoice) {
        in.setStatus(QDataStream::ReadCorruptData);
        return in;
    }
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        VoiceInfo voice;
        if (in >> voice; in.status() == QDataStream::Ok)
            voices.append(voice);
    }
    return in;
}

} // namespace SynthProtocol
