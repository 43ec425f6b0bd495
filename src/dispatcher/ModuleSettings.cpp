// SPDX-License-Identifier: GPL-3.0-or-later
#include "dispatcher/ModuleSettings.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

bool number(const QByteArray &value, int &into)
{
    bool ok = false;
    const int n = value.trimmed().toInt(&ok);
    if (ok)
        into = std::clamp(n, -100, 100);
    return ok;
}

// speech-dispatcher's 0 is the voice's own, its ±100 the ends of the range.
int engineScale(int value) { return std::clamp(50 + int(std::lround(value / 2.0)), 0, 100); }

QString bcp47(const QString &language)
{
    QStringList parts = language.split(u'-');
    // A region is in capitals; nothing after a private-use "x" is a region.
    for (qsizetype i = 1; i < parts.size() && parts[i] != u"x"; ++i)
        if (parts[i].size() == 2)
            parts[i] = parts[i].toUpper();
    return parts.join(u'-');
}

} // namespace

bool isChinese(const QString &language)
{
    const QString l = language.toLower();
    return l == u"zh" || l.startsWith(u"zh-") || l.startsWith(u"zh_") || l == u"cmn" || l.startsWith(u"cmn-");
}

void ModuleSettings::set(const QByteArray &line)
{
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0)
        return;
    const QByteArray key = line.left(equals).trimmed();
    const QByteArray value = line.mid(equals + 1).trimmed();
    const QString text = value == "NULL" ? QString() : QString::fromUtf8(value);
    if (key == "rate")
        number(value, rate);
    else if (key == "pitch")
        number(value, pitch);
    else if (key == "pitch_range")
        number(value, pitchRange);
    else if (key == "volume")
        number(value, volume);
    else if (key == "punctuation_mode")
        punctuation = text;
    else if (key == "spelling_mode")
        spelling = text;
    else if (key == "cap_let_recogn")
        capitals = text;
    else if (key == "language")
        language = text;
    else if (key == "synthesis_voice")
        voiceName = text;
    else if (key == "voice")
        voiceType = text;
}

SpeechSynthesis::Settings ModuleSettings::synthesis(const QString &voiceId) const
{
    SpeechSynthesis::Settings s;
    s.voiceId = voiceId;
    s.rate = std::lround(rate / 10.0);
    s.volume = std::clamp((volume + 100) / 2, 0, 100);
    s.pitch = engineScale(pitch);
    s.pitchRange = engineScale(pitchRange);
    s.markup = true;
    return s;
}

QList<ModuleVoice> moduleVoices(const SpObjectTokens &voices)
{
    QList<ModuleVoice> mandarin, others;
    QSet<QString> names;
    for (const SpObjectToken &voice : voices) {
        if (voice.id().endsWith(QLatin1String("-Latn-pinyin")))
            continue;
        QString name = voice.GetDescription().simplified();
        if (name.isEmpty())
            name = voice.id().section(u'/', -1);
        // A name is how a client asks for the voice again: two voices never share one.
        if (names.contains(name))
            name += QStringLiteral(" (%1)").arg(voice.id().section(u':', 1));
        names.insert(name);
        if (isChinese(voice.language())) {
            mandarin.append({name, QStringLiteral("zh-CN"), voice.id()});
        } else {
            others.append({name, voice.language().isEmpty() ? QStringLiteral("none") : bcp47(voice.language()),
                           voice.id()});
        }
    }
    QList<ModuleVoice> all = mandarin;
    for (ModuleVoice voice : std::as_const(mandarin)) {
        voice.language = QStringLiteral("zh");
        all.append(voice);
    }
    return all + others;
}

QByteArray voiceListReply(const QList<ModuleVoice> &voices)
{
    if (voices.isEmpty())
        return "304 CANT LIST VOICES\n";
    QByteArray reply;
    for (const ModuleVoice &voice : voices) {
        QByteArray name = voice.name.toUtf8();
        name.replace('\t', ' ').replace('\n', ' ');
        reply += "200-" + name + '\t' + voice.language.toUtf8() + "\tnone\n";
    }
    return reply + "200 OK VOICE LIST SENT\n";
}

QString chooseVoice(const QList<ModuleVoice> &voices, const QString &name, const QString &language)
{
    if (voices.isEmpty())
        return {};
    for (const ModuleVoice &voice : voices)
        if (!name.isEmpty() && voice.name == name)
            return voice.id;
    if (language.isEmpty() || isChinese(language))
        return voices.front().id; // Mandarin leads the list
    const QString wanted = language.toLower().replace(u'_', u'-');
    const QString main = wanted.section(u'-', 0, 0);
    for (const ModuleVoice &voice : voices)
        if (voice.language.toLower() == wanted)
            return voice.id;
    for (const ModuleVoice &voice : voices)
        if (voice.language.toLower().section(u'-', 0, 0) == main)
            return voice.id;
    return voices.front().id;
}
