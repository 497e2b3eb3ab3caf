#include "log/Logger.h"

#include <cstdio>
#include <vector>

void Logger::LogCommand(int64_t, const uint8_t*) {}

void Logger::LogMessage(const char*, ...) {}

void Logger::LogNote(const std::string&) {}

std::string FormatMessageV(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string FormatCommandTrace(int64_t counter, const uint8_t* packet) {
    char text[128];
    std::snprintf(text, sizeof text, "カウンタ: %5lld / 方向: %d / 回転速度: %3d (%02x %02x %02x)",
                  static_cast<long long>(counter), packet[2] >> 7, packet[2] & 0x7F, packet[0],
                  packet[1], packet[2]);
    return text;
}

std::string FormatDebugLine(const platform::LocalTime& t, const std::string& text) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", t.hour, t.minute, t.second,
                  t.millisecond);
    return stamp + text;
}
