// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// What reading one document may cost, for every reader of a format.
namespace Documents {

// Files larger than this are refused: 256 MiB, far above a long novel as
// text (a few MB) or a book as PDF.
constexpr qint64 MaxFileBytes = qint64(256) << 20;
// What an archive may unpack to in all, so a zip bomb is refused, not unpacked.
constexpr qint64 MaxUnpackedBytes = qint64(256) << 20;
// What the text of one document may come to, in UTF-16 units: some 30 long
// novels. Small markup can stand for much text (a space element repeated a
// thousand times), so what is produced is counted, not only what is read.
constexpr qsizetype MaxTextUnits = qsizetype(32) << 20;

} // namespace Documents
