// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/StoredSettings.h"

#include "platform/Failure.h"
#include "settings/NumericText.h"

namespace StoredSettings {

namespace {

QString read(SettingsStore &store, const QString &key)
{
    return store.GetSetting(Application, Section, key, integerText(0));
}

Failure notANumber(SettingsStore &store, const QString &key, const QString &value)
{
    return Failure(QStringLiteral("类型不匹配：%1 的值“%2”不是数字 (%3)").arg(key, value, store.location(Application)));
}

} // namespace

short readVoiceChoice(SettingsStore &store)
{
    const QString value = read(store, VoiceChoiceKey);
    short position = 0;
    switch (toInteger16(value, &position)) {
    case IntegerConversion::Ok:
        return position;
    case IntegerConversion::NotANumber:
        throw notANumber(store, VoiceChoiceKey, value);
    case IntegerConversion::Overflow:
        break;
    }
    throw Failure(QStringLiteral("溢出：%1 的值“%2”超出 -32768 到 32767 的范围 (%3)")
                      .arg(VoiceChoiceKey, value, store.location(Application)));
}

Failure invalidVoiceChoice(SettingsStore &store, short position)
{
    return Failure(QStringLiteral("无效的值：%1 的值“%2”不是语音列表中的位置 (%3)")
                       .arg(VoiceChoiceKey, integerText(position), store.location(Application)));
}

void writeVoiceChoice(SettingsStore &store, short position)
{
    store.SaveSetting(Application, Section, VoiceChoiceKey, integerText(position));
}

double readRunTimes(SettingsStore &store)
{
    const QString value = read(store, FirstRunKey);
    if (const auto number = parseNumericText(value))
        return *number;
    throw notANumber(store, FirstRunKey, value);
}

void writeRunTimesDone(SettingsStore &store) { store.SaveSetting(Application, Section, FirstRunKey, integerText(1)); }

} // namespace StoredSettings
