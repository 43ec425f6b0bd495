// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/protocol/SynthProtocol.h"

#include <QByteArray>
#include <QList>
#include <QString>

class CommandChannel;
class MandarinFrontEnd;
struct TextPiece;
class WordPositionFilter;

// libespeak-ng inside the helper: synthesises texts piece by piece and sends
// their samples and sample-stamped words down the channel. espeak-ng is not
// reentrant and keeps its state in the process, which is one more reason it
// lives alone in a process of its own.
class EspeakEngine
{
public:
    // frontEnd: what Mandarin voices read Han text and Latin letters with;
    // null leaves them to the engine's dictionaries.
    EspeakEngine(CommandChannel &channel, const MandarinFrontEnd *frontEnd)
        : m_channel(channel), m_frontEnd(frontEnd)
    { }

    // The folder espeak-ng will read its voices and dictionaries from, found
    // without starting the engine (which starts a thread of its own).
    static QByteArray locateData(const QByteArray &dataPath);
    // Empty on success, else why the engine cannot start.
    // bufferMs: the audio the engine makes between two calls back, so one
    // frame to the reader. Speech that is heard wants it short (a cancel
    // waits for the next call back); speech saved to a file wants it long,
    // since every frame costs two processes a wake-up.
    // frameMs: the least audio one frame carries (a text's last excepted).
    // 0 sends what each call back made at once, as heard speech wants;
    // saving gathers several calls, whose audio often ends at a clause.
    QString initialise(const QByteArray &dataPath, int bufferMs = 100, int frameMs = 0);
    int sampleRate() const { return m_sampleRate; }
    const QList<SynthProtocol::VoiceInfo> &voices() const { return m_voices; }

    // Where a part of a text belongs.
    struct Part
    {
        quint64 generation = 0;
        qint32 stream = 0;
        qint64 offset = 0; // of the part in the whole text, in UTF-16 units
        bool final = true; // the text's last part: Done follows it
    };
    // Sends the part's PCM and words (positions in the whole text), then Done
    // after the final part. False when the channel is gone.
    bool speak(const Part &part, const QString &text, bool markupAllowed);
    // Empty on success, else a description for the user.
    QString selectVoice(const QString &id);

    struct PieceRun;

private:
    // pauseAtEnd: the engine's pause after the last part, where the text
    // really ends a clause, not where a mark cut it.
    void speakPlain(const QString &text, bool pauseAtEnd, PieceRun &run);
    bool speakPiece(const TextPiece &piece, QStringView text, bool markup, bool pauseAtEnd, WordPositionFilter &filter,
                    PieceRun &run);
    bool synthesise(const TextPiece &piece, const QString &language, bool markup, bool last, PieceRun &run);
    bool applyVoice(const QString &id);
    bool readsMandarin() const;
    QString engineVoiceFor(const QString &id) const;
    void loadEngineVoice(const QString &id);

    QString m_engineVoice; // the voice the engine has loaded now
    int m_appliedPitch = 50, m_appliedRange = 50; // what the engine was last told; -1: unknown

    CommandChannel &m_channel;
    QByteArray m_outgoing; // what the synthesis callback sends next
    qint64 m_frameSamples = 0;
    const MandarinFrontEnd *m_frontEnd;
    int m_sampleRate = 22050;
    QList<SynthProtocol::VoiceInfo> m_voices;
    SynthProtocol::VoiceInfo m_current;
};
