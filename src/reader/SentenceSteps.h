// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringView>

#include <optional>

// Steps from sentence to sentence, for Next and Previous while reading.
// Each looks only at the text near the place (a book of megabytes costs
// what a page does), so the player's "can go next" can be asked at every word.
namespace SentenceSteps {

// Where the sentence after the one holding position starts; none in the
// last sentence (what follows it, if anything, is blank).
std::optional<qsizetype> nextStart(QStringView text, qsizetype position);

// Where going back from position leads: the start of its own sentence, or,
// when position is already at that start (only blanks between), the start
// of the sentence before. 0 at the first sentence.
qsizetype previousStart(QStringView text, qsizetype position);

} // namespace SentenceSteps
