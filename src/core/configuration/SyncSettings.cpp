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

AuthoringSettings ReadAuthoringSettings(const std::string& file) {
    AuthoringSettings settings;
    settings.reactionMs =
        std::clamp(profile::GetInt("AUTHORING", "REACTION_MS", 200, file), 0, 2000);
    settings.rightDirection = profile::GetInt("AUTHORING", "RIGHT_DIRECTION", 0, file) == 1 ? 1 : 0;
    return settings;
}
