#pragma once

// Conversion of the program's UTF-8 text to code page 932 for files that other tools read
// in that code page, and of UTF-16 files that other tools wrote to UTF-8.

#include <string>
#include <string_view>

namespace platform {

// Every character that code page 932 cannot hold, and every byte that is not valid UTF-8,
// becomes "?". Safe to call from any thread.
[[nodiscard]] std::string Utf8ToCp932(std::string_view utf8);

// UTF-16 text (without its byte-order mark) in the given byte order, as UTF-8. A unit that is
// no character (a surrogate without its partner) becomes U+FFFD; a last odd byte is dropped.
// Safe to call from any thread.
[[nodiscard]] std::string Utf16ToUtf8(std::string_view utf16, bool bigEndian);

}  // namespace platform
