// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/SpeechSynthesis.h"
#include "speech/VoiceToken.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What speech-dispatcher's SET tells the module, on its own scales.
// Every key is taken: a 3xx reply to one would make the server drop the
// message, so a key we do not use and a value we cannot read are passed
// over (the value before stays) rather than refused.
struct ModuleSettings
{
    int rate = 0; // -100..100
    int pitch = 0; // -100..100
    int pitchRange = 0; // -100..100
    int volume = 100; // -100..100
    QString punctuation; // none, some, most, all: the front end reads symbols as a reader says them
    QString spelling; // on, off
    QString capitals; // none, spell, icon
    QString language; // BCP 47, as the client set it (zh-CN, en, …)
    QString voiceName; // a name from our LIST VOICES, or empty
    QString voiceType; // male1…child_female: our voices have one each, it chooses nothing

    // One "key=value" line of a SET block.
    void set(const QByteArray &line);
    // The synthesis settings these make, on the engine's scales.
    SpeechSynthesis::Settings synthesis(const QString &voiceId) const;
};

// Any Chinese a client may ask for (zh, zh-CN, zh-TW, cmn…): our Mandarin reads it.
bool isChinese(const QString &language);

// A voice as LIST VOICES names it.
struct ModuleVoice
{
    QString name; // unique, what synthesis_voice is set to
    QString language; // as speech-dispatcher's clients ask for it
    QString id; // the engine's
};

// Every voice of the engine, Mandarin first under zh-CN and again under zh
// (clients ask for either), then the others under their own languages.
// espeak-ng's pinyin twin of its Mandarin voice is ours to use, not a voice.
QList<ModuleVoice> moduleVoices(const SpObjectTokens &voices);
// "200-name\tlanguage\tvariant" lines and the last one.
QByteArray voiceListReply(const QList<ModuleVoice> &voices);

// The voice to speak with: the one named, else the first of the language
// asked for (any Chinese is read by our Mandarin), else of its main
// language, else the first (Mandarin). Empty only when there is no voice.
QString chooseVoice(const QList<ModuleVoice> &voices, const QString &name, const QString &language);
