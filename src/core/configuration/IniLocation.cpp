#include "configuration/IniLocation.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <utility>

#include "configuration/Profile.h"
#include "platform/Paths.h"
#include "platform/UniqueFd.h"

namespace configuration {
namespace {

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

std::vector<std::string> IniSearchPath(const std::string& moduleDirectory,
                                       const char* xdgConfigHome, const char* home) {
    std::vector<std::string> places;
    if (!moduleDirectory.empty()) places.push_back(WithSlash(moduleDirectory) + kIniFileName);
    if (IsAbsolute(xdgConfigHome)) {
        places.push_back(WithSlash(xdgConfigHome) + "kestrune/" + kIniFileName);
    } else if (IsAbsolute(home)) {
        places.push_back(WithSlash(home) + ".config/kestrune/" + kIniFileName);
    }
    places.push_back(std::string(kSystemConfigFolder) + kIniFileName);
    return places;
}

std::optional<std::string> FindIniFile(const std::vector<std::string>& places) {
    for (const std::string& place : places) {
        // A folder of that name, or a file the user may not read, is passed over.
        const platform::UniqueFd fd(::open(place.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat info {};
        if (fd.Valid() && ::fstat(fd.Get(), &info) == 0 && S_ISREG(info.st_mode)) return place;
    }
    return std::nullopt;
}

namespace {

std::optional<IniChoice>& Current() {
    static std::optional<IniChoice> choice;
    return choice;
}

}  // namespace

void SelectIniFile() {
    IniChoice choice;
    choice.places = IniSearchPath(platform::GetModuleDirectory(), std::getenv("XDG_CONFIG_HOME"),
                                  std::getenv("HOME"));
    choice.file = FindIniFile(choice.places);
    UseIniChoice(std::move(choice));
}

void UseIniChoice(IniChoice choice) {
    profile::UseIniFile(choice.file.value_or(std::string()));
    Current() = std::move(choice);
}

const std::optional<IniChoice>& CurrentIniChoice() { return Current(); }

void ForgetIniChoice() {
    Current().reset();
    profile::UseIniFile(profile::kIniFile);
}

std::string IniChoice::Describe() const {
    if (file) return "設定ファイル：" + *file;
    std::string line = "設定ファイルなし（既定値を使用）：";
    for (size_t i = 0; i < places.size(); ++i) line += (i == 0 ? "" : "、") + places[i];
    return line;
}

}  // namespace configuration
