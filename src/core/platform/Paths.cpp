#include "platform/Paths.h"

#include <unistd.h>

#include <cstdlib>

namespace platform {
namespace {

std::string& ModuleDirectoryCache() {
    static std::string cache;
    return cache;
}

std::optional<std::string> ReadExecutablePath() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetModuleDirectory() {
    std::string& cache = ModuleDirectoryCache();
    if (!cache.empty()) return cache;
    const auto exe = ReadExecutablePath();
    if (!exe) return {};
    cache = DirectoryOf(*exe);
    return cache;
}

std::optional<std::string> GetAppDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg);
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share";
    return std::nullopt;
}

}  // namespace platform
