// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/mandarin/MandarinFrontEnd.h"

bool isHanCharacter(QChar c);

// Characters the dictionary reads one way alone whose reading depends on
// their neighbours when they stand as words of their own (得 in 跑得快 and
// 我得走, 还 in 还钱 and 还有, 种 in 这种 and 种了树): words[first..] are the
// words of one run of Han text, read from the dictionary; their syllables
// are settled here.
void settleReadingsByContext(QStringView text, QList<MandarinFrontEnd::Word> &words, qsizetype first);
