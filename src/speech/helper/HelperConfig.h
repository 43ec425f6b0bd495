// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a caller may choose about the synthesis helper. Anything left empty
// means the installed program's own: its helper, espeak-ng's data, the
// person's voice folder and the program's Mandarin dictionary.
struct HelperOptions
{
    QByteArray dataPath; // empty: espeak-ng's installed data
    QString userVoiceFolder; // empty: ProgramFiles::userVoiceFolder()
    QString helperProgram; // empty: the sayrella-synth installed with the program
    QStringList helperArguments; // added to the ones every helper is given
    int silenceTimeoutMs = 5000; // a helper owing speech and silent this long is ended
};

// The helper's configuration with every default filled in, made once from
// HelperOptions. Whatever starts a helper, lists voices or asks for
// readings takes it from this value, so the voice a list offers is the one
// the helper can load: there is no second place that decides the folders.
class HelperConfig
{
public:
    static HelperConfig resolve(const HelperOptions &options = {});

    const QString &program() const { return m_program; }
    // The folder whose voice files are offered before the built-in voices.
    const QString &voiceFolder() const { return m_voiceFolder; }
    int silenceTimeoutMs() const { return m_silenceTimeoutMs; }

    // A synthesis helper's arguments, with more of the caller's own after them.
    QStringList synthesisArguments(const QStringList &more = {}) const;
    // The arguments of a helper that prints readings (--pinyin), with the
    // dictionary's tones or with the tones as they are said.
    QStringList pinyinArguments(bool spokenTones = false) const;

private:
    QString m_program;
    QString m_voiceFolder;
    QString m_readings;
    QByteArray m_dataPath;
    QStringList m_extra;
    int m_silenceTimeoutMs = 5000;
};
