// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QStringView>

#include <vector>

// The tones of a run of Han text as they are said, from its dictionary
// tones. A run is the syllables of consecutive words (no punctuation
// between), with the characters they are read from and how many syllables
// each word has.
namespace SpokenTones {

// Every change, in the order a speaker makes them: the second syllable of
// a reduplicated verb is light (看看 kan4 kan5), third tones before third
// tones rise within each prosodic word (你好 ni2 hao3, 展览馆 zhan2 lan2
// guan3), and 一 and 不 change before the next syllable.
void apply(QStringList &syllables, QStringView characters, const std::vector<qsizetype> &wordSizes);

// One of them alone, for what tests look at.
void lightenReduplicatedVerbs(QStringList &syllables, QStringView characters, const std::vector<qsizetype> &wordSizes);
void raiseThirdTones(QStringList &syllables, const std::vector<qsizetype> &wordSizes);
void changeYiAndBu(QStringList &syllables, QStringView characters);

} // namespace SpokenTones
