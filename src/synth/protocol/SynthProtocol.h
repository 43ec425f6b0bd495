// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDataStream>
#include <QIODevice>
#include <QList>
#include <QString>

#include <optional>

// The channel between the reader and its synthesis helper: a stream of
// frames, each a type, a payload length and the payload (QDataStream). The
// helper is untrusted once it has read the user's text, so the reader checks
// every frame it receives (known type, bounded length, payload that decodes
// exactly) and treats anything else as a broken helper.
namespace SynthProtocol {

enum class Type : quint32 {
    // helper -> reader
    Hello = 1, // protocol version, sample rate, built-in voices: the engine is ready
    StartFailed, // description: the engine could not start
    Pcm, // generation, 16-bit mono samples
    Word, // generation, stream, samples ahead of the next PCM, UTF-16 position, length
    Done, // generation, stream: the text has been synthesised completely
    Failed, // generation, description: something in the engine failed
    Mark, // generation, stream, samples ahead of the next PCM, name: a mark of the text's markup is reached
    // reader -> helper
    Speak = 100, // generation, stream, markup allowed, offset, final, text: a text or one part of it
    Cancel, // generation: abandon every text of an older generation
    SetVoice, // voice id
    SetRate, // rate -10..10
    SetPitch, // pitch, pitch range: 0..100 each, 50 the voice's own
};

// Raised whenever a frame changes its meaning. A reader finding another
// version in the greeting was installed with another helper (a partial
// upgrade) and refuses it with that reason, instead of misreading frames.
constexpr quint32 Version = 2;

// A voice as the helper lists it.
struct VoiceInfo
{
    QString id;
    QString description;
    QString language;
};

// Ids of voices: built-in ones by espeak-ng name, installed ones by file.
constexpr const char *FileIdPrefix = "file:";
constexpr const char *BuiltinIdPrefix = "espeak:";

// Frames from the helper are small (a PCM block, a word, the voice list);
// frames to it carry whole texts.
constexpr quint32 MaxFromHelper = 4u << 20;
constexpr quint32 MaxToHelper = 1024u << 20;
constexpr int HeaderSize = 8;

QByteArray frame(Type type, const QByteArray &payload);
// Appends the Pcm frame encode(Type::Pcm, generation, samples as bytes) would
// make, without building the payload on its own first: a book's audio passes
// here, and the copies and allocations showed in the helper's profile.
void appendPcm(QByteArray &out, quint64 generation, const qint16 *samples, qsizetype count);

template <typename... Args> QByteArray encode(Type type, const Args &...args)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    (out << ... << args);
    return frame(type, payload);
}

// True when the payload holds exactly these values and nothing else.
template <typename... Args> bool decode(const QByteArray &payload, Args &...args)
{
    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_6_4);
    (in >> ... >> args);
    return in.status() == QDataStream::Ok && in.atEnd();
}

struct Frame
{
    Type type;
    QByteArray payload;
};

struct FrameView
{
    Type type;
    QByteArrayView payload;
};

// A Pcm payload's samples where they lie in it: what decode(payload,
// generation, bytes) gives, without copying a book's audio once more.
struct PcmView
{
    quint64 generation = 0;
    const char *bytes = nullptr;
    qsizetype size = 0;
};
// Empty unless the payload holds exactly a generation and a byte array.
std::optional<PcmView> pcmView(const QByteArray &payload);

// Which way a stream flows: each side reads only the other's frames, each
// with its own length limit.
enum class Direction { FromHelper, ToHelper };

// Cuts a byte stream into frames. A frame longer than the direction's limit,
// or of a type that does not flow this way, makes the stream broken for good.
class FrameReader
{
public:
    explicit FrameReader(Direction direction)
        : m_direction(direction), m_maxPayload(direction == Direction::FromHelper ? MaxFromHelper : MaxToHelper)
    { }

    void append(const char *data, qsizetype size);
    // Room for up to size more bytes at the end, for a read to fill in
    // place; commit(n) keeps the first n of them. Saves copying every byte
    // from a read buffer into this one.
    char *room(qsizetype size);
    void commit(qsizetype used);
    // The next complete frame, if there is one; sets broken() on garbage.
    std::optional<Frame> next();
    // The same, its payload left where it lies instead of copied out: good
    // until the reader is used again.
    std::optional<FrameView> nextView();
    bool broken() const { return m_broken; }
    // Part of a frame has arrived, and not the rest yet.
    bool partial() const { return m_start < m_buffer.size(); }

private:
    void settle();

    QByteArray m_buffer;
    qsizetype m_start = 0;
    qsizetype m_roomStart = -1;
    Direction m_direction;
    quint32 m_maxPayload;
    bool m_broken = false;
};

// A type that flows this way.
bool isKnownType(quint32 type, Direction direction);

QDataStream &operator<<(QDataStream &out, const VoiceInfo &voice);
QDataStream &operator>>(QDataStream &in, VoiceInfo &voice);
// Qt's list reader reserves whatever count the stream claims: a helper
// claiming four thousand million voices would make the reader allocate
// hundreds of gigabytes. A count the payload cannot hold is corrupt data.
QDataStream &operator>>(QDataStream &in, QList<VoiceInfo> &voices);

} // namespace SynthProtocol
