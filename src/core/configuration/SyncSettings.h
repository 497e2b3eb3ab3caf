#pragma once

// What the ini says about the synchronisation: the user's offset between the video and the
// device. Read once at start-up and handed to the SyncDriver.

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
