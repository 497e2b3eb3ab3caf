#include "configuration/SyncSettings.h"

#include <algorithm>

int ClampSyncOffsetMs(int offsetMs) {
    return std::clamp(offsetMs, -kMaxSyncOffsetMs, kMaxSyncOffsetMs);
}

int ReadSyncOffsetMs(const std::string& file) {
    return ClampSyncOffsetMs(profile::GetInt("SYNC", "OFFSET_MS", 0, file));
}

bool ReadDvdWholeSecondClock(const std::string& file) {
    return profile::GetString("SYNC", "DVD_CLOCK", "", file) == "WHOLE_SECOND";
}
