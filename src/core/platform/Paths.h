#pragma once

// Where the program lives and where it keeps per-user data.

#include <optional>
#include <string>

namespace platform {

// The folder that holds the executable, ending with "/". Computed on the first successful
// call and cached; empty (and not cached) when the executable's path cannot be read.
[[nodiscard]] std::string GetModuleDirectory();

// The folder part of an executable path, ending with "/"; empty for a path without one.
[[nodiscard]] std::string DirectoryOf(const std::string& path);

// The per-user application-data folder: $XDG_DATA_HOME when it is an absolute path, else
// $HOME/.local/share. Empty when neither can be had.
[[nodiscard]] std::optional<std::string> GetAppDataFolder();

}  // namespace platform
