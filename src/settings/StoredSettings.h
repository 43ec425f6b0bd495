// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"
#include "settings/SettingsStore.h"

// The program's two stored values. Every read goes to the store.
namespace StoredSettings {

inline const QString Application = QStringLiteral("Quenlor");
inline const QString Section = QStringLiteral("Sayrella");
inline const QString VoiceChoiceKey = QStringLiteral("DEF_LG");
inline const QString FirstRunKey = QStringLiteral("RunTimes");

// DEF_LG as a 16-bit position (0 when absent). Throws Failure, naming the
// key, the value and the file, when it is not a number or out of range.
short readVoiceChoice(SettingsStore &store);
void writeVoiceChoice(SettingsStore &store, short position);
// The failure for a stored position that no list can have (below -1), naming
// the key, the value and the file as the other failures of stored values do.
Failure invalidVoiceChoice(SettingsStore &store, short position);

// RunTimes as a number (0 when absent). Throws Failure when not a number.
double readRunTimes(SettingsStore &store);
void writeRunTimesDone(SettingsStore &store);

} // namespace StoredSettings
