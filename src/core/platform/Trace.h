#pragma once

// Developer trace: silent unless the environment variable KESTRUNE_TRACE is "1", then each
// text goes to standard error as given (callers end their lines with "\n"). It never
// blocks: a full pipe drops the text.
// Safe to call from any thread.

#include <string_view>

namespace platform {

[[nodiscard]] bool TraceEnabled();
void Trace(std::string_view text);

}  // namespace platform
