// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/AudioFileWriter.h"

// What libsndfile cannot write, written with TagLib into a finished file:
// MP3's ID3v2 in Unicode (libsndfile's is Latin-1 only, and Chinese titles
// came out garbled), Opus comments, and the book's cover as a front-cover
// picture in MP3, FLAC, Ogg Vorbis and Opus. WAV keeps libsndfile's LIST
// INFO and has no picture.
namespace CoverAndTags {

// Whether libsndfile's own string tags serve the format.
bool libsndfileTagsServe(AudioFormat format);

// path: the file as written (a /proc/self/fd path serves for a temporary).
// Throws Failure when the file cannot be tagged.
void write(const QString &path, AudioFormat format, const AudioTags &tags);

} // namespace CoverAndTags
