// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/protocol/SynthProtocol.h"

#include <QtEndian>

#include <cstring>

namespace SynthProtocol {

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
    out.resize(at + HeaderSize + 8 + 4 + bytes);
    char *data = out.data() + at;
    qToLittleEndian<quint32>(quint32(Type::Pcm), data);
    qToLittleEndian<quint32>(quint32(8 + 4 + bytes), data + 4);
    qToBigEndian<quint64>(generation, data + HeaderSize);
    qToBigEndian<quint32>(quint32(bytes), data + HeaderSize + 8);
    std::memcpy(data + HeaderSize + 12, samples, std::size_t(bytes));
}

bool isKnownType(quint32 type, Direction direction)
{
    return direction == Direction::FromHelper ? type >= quint32(Type::Hello) && type <= quint32(Type::Failed)
                                              : type >= quint32(Type::Speak) && type <= quint32(Type::SetRate);
}

std::optional<Frame> FrameReader::next()
{
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
    Frame result{Type(type), m_buffer.mid(m_start + HeaderSize, length)};
    m_start += HeaderSize + length;
    // Drop what has been consumed once it is most of the buffer, so a long
    // stream of frames neither grows the buffer nor copies it every time.
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    } else if (m_start > 65536 && m_start * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    return result;
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
