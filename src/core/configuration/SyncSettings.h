#pragma once

// What the ini says about the synchronisation (the user's offset between the video and the
// device, the DVD clock) and about making play files in the window. Read once at start-up and
// handed to the session.

#include <string>

#include "configuration/Profile.h"

// The largest offset either way, in ms.
inline constexpr int kMaxSyncOffsetMs = 5000;

// An offset kept within ±kMaxSyncOffsetMs.
[[nodiscard]] int ClampSyncOffsetMs(int offsetMs);

// [SYNC] OFFSET_MS, read like the other integer keys (missing or empty: 0), kept within ±5000.
// Positive sends each line that many ms before its time; negative, after it.
[[nodiscard]] int ReadSyncOffsetMs(const std::string& file = profile::IniFile());

// [SYNC] DVD_CLOCK: exactly "WHOLE_SECOND" (letter case counts, as for the keywords) keeps DVDs on
// the whole-second clock that play files made for DVDs may have been tuned against; anything else,
// or nothing, follows the picture.
[[nodiscard]] bool ReadDvdWholeSecondClock(const std::string& file = profile::IniFile());

// How play files are made in the window ([AUTHORING], integer keys read as the others are).
struct AuthoringSettings {
    // REACTION_MS (default 200, kept within 0..2000): recorded commands are kept this much
    // earlier than they were given.
    int reactionMs = 200;
    // RIGHT_DIRECTION (default 0; 1 swaps): the device's direction for a turn to the right,
    // of the camera in a draft and of the pointer while recording.
    int rightDirection = 0;
};
[[nodiscard]] AuthoringSettings ReadAuthoringSettings(const std::string& file = profile::IniFile());
