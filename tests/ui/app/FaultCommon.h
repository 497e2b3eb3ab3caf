#pragma once

// What the fault tests share, whether they run the player as a process (FaultProcessTest) or
// its main window inside the test (FaultWindowTest): the media made for the tests, the byte of
// the device's stop command and the main window's title.

#include <string>

namespace fault_tests {

inline constexpr char kStopCommand = '\0';
inline const std::string kMainTitle = "QUAMBERPlayer";

inline std::string Media(const char* name) { return std::string(KESTRUNE_TEST_MEDIA) + "/" + name; }

}  // namespace fault_tests
