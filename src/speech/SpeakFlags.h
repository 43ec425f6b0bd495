// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Flags of SpVoice::Speak. The values are the ones every caller stores
// (the reader keeps 11 = async | purge | markup), so they must not change.
enum SpeechVoiceSpeakFlags : int {
    SVSFDefault = 0,
    SVSFlagsAsync = 1, // return at once; speech goes on in the engine
    SVSFPurgeBeforeSpeak = 2, // drop everything queued or playing first
    SVSFIsXML = 8, // the text may carry markup
};

// How the reader speaks: at once, in place of whatever was being said, with
// markup read as markup (11).
inline constexpr int ReaderSpeakFlags = SVSFlagsAsync | SVSFPurgeBeforeSpeak | SVSFIsXML;
