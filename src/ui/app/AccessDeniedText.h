#pragma once

// The text of the box that says the user may not open the dongle's device node: a serial
// device belongs to a group (dialout) that a new user is seldom in, and the device would
// never move.

#include <string>

// The box's text for the node `device`, owned by `group` (empty: unknown), and how `user`
// gets in, in the interface's language.
[[nodiscard]] std::string DeviceAccessDeniedText(const std::string& device,
                                                 const std::string& group, const std::string& user);
