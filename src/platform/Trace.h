#pragma once

// Developer trace: silent unless the environment variable KESTRUNE_TRACE is "1", then one
// line per call on standard error. It never blocks: a full pipe drops the line.
// Safe to call from any thread.

#include <string_view>

namespace platform {

[[nodiscard]] bool TraceEnabled();
void Trace(std::string_view text);

}  // namespace platform
