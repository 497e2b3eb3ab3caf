#pragma once

// Conversion of the program's UTF-8 text to code page 932 for files that other tools read
// in that code page.

#include <string>
#include <string_view>

namespace platform {

// Every character that code page 932 cannot hold, and every byte that is not valid UTF-8,
// becomes "?". Safe to call from any thread.
[[nodiscard]] std::string Utf8ToCp932(std::string_view utf8);

}  // namespace platform
