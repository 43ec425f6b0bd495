// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/protocol/SynthProtocol.h"

#include <QtEndian>

namespace SynthProtocol {

QByteArray frame(Type type, const QByteArray &payload)
{
    QByteArray bytes(HeaderSize, Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(type), bytes.data());
    qToLittleEndian<quint32>(quint32(payload.size()), bytes.data() + 4);
    return bytes + payload;
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
