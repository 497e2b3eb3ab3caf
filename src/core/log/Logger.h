#pragma once

// The diagnostic sink of the device link and the play-file loader: a trace line for every
// command packet and printf-style messages. The base class shows nothing; the debug window
// is the one real sink. Owned by the main window and lent to everything else. Used on the
// user-interface thread only.

#include <cstdarg>
#include <cstdint>
#include <string>

#include "platform/LocalClock.h"

class Logger {
public:
    virtual ~Logger() = default;

    // `packet` points to the three bytes of a command packet about to be written.
    virtual void LogCommand(int64_t counter, const uint8_t* packet);
    virtual void LogMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A line shown at every log level but 0 (such as which settings file was read).
    virtual void LogNote(const std::string& text);

    // The value of LOG_LEVEL; stored by the owner right after construction.
    int logLevel = 0;
};

// The printf-style text of a message, of any length.
[[nodiscard]] std::string FormatMessageV(const char* format, va_list args);

// "カウンタ: %5lld / 方向: %d / 回転速度: %3d (%02x %02x %02x)" for one packet.
[[nodiscard]] std::string FormatCommandTrace(int64_t counter, const uint8_t* packet);

// "hh:mm:ss.mmm text": one line of the debug window.
[[nodiscard]] std::string FormatDebugLine(const platform::LocalTime& t, const std::string& text);
