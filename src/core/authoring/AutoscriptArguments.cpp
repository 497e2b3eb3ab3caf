#include "authoring/AutoscriptArguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

// A number in (low, high]; none for anything else.
bool ParseNumber(const std::string& text, double low, double high, double* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(number)) return false;
    if (number <= low || number > high) return false;
    *value = number;
    return true;
}

}  // namespace

AutoscriptArguments ParseAutoscriptArguments(const std::vector<std::string>& arguments) {
    AutoscriptArguments parsed;
    for (size_t i = 0; i < arguments.size() && parsed.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        const std::string value = hasValue ? arguments[i + 1] : std::string();
        if (argument == "-h" || argument == "--help") {
            parsed.help = true;
        } else if (argument == "--force") {
            parsed.force = true;
        } else if (argument == "-o" || argument == "--fov" || argument == "--full-speed" ||
                   argument == "--right-direction") {
            if (!hasValue) {
                parsed.error = argument + " needs a value";
                break;
            }
            ++i;
            if (argument == "-o") {
                parsed.output = value;
                if (value.empty()) parsed.error = "-o needs a file name";
            } else if (argument == "--fov") {
                if (!ParseNumber(value, 0, 180, &parsed.options.fovDeg)) {
                    parsed.error = "--fov takes degrees above 0, at most 180: " + value;
                }
            } else if (argument == "--full-speed") {
                if (!ParseNumber(value, 0, 3600, &parsed.options.fullSpeedDegPerS)) {
                    parsed.error = "--full-speed takes degrees a second above 0: " + value;
                }
            } else if (value == "0" || value == "1") {
                parsed.options.rightDirection = value == "1" ? 1 : 0;
            } else {
                parsed.error = "--right-direction takes 0 or 1: " + value;
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            parsed.error = "unknown option " + argument;
        } else if (parsed.video.empty()) {
            parsed.video = argument;
        } else {
            parsed.error = "one video at a time: " + argument;
        }
    }
    if (parsed.error.empty() && !parsed.help && parsed.video.empty()) parsed.error = "no video";
    return parsed;
}
