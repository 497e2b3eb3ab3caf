#pragma once

// A folder of files and folders that the fuzz input names, for code that looks at the file
// system. ScratchFolder is the one temporary folder of a process (under $TMPDIR), removed at
// exit; a ScratchTree fills it afresh for one run and remembers what it made, so checks know
// what exists without asking the file system the way the code under test does. The tree
// lives only for its run: memory kept from run to run would look like a leak to libFuzzer,
// which then runs each input again under the leak checker.

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

class ScratchFolder {
public:
    explicit ScratchFolder(const char* name) {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / (std::string(name) + "-XXXXXX"))
                .string();
        if (error || ::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    [[nodiscard]] const std::string& Path() const { return path_; }

private:
    std::string path_;
};

class ScratchTree {
public:
    enum class Kind { kNone, kFile, kFolder };

    // Empties `folder` and makes up to `count` entries, each a file or a folder in it or in a
    // folder made before. Names the file system refuses are left out.
    ScratchTree(const ScratchFolder& folder, FuzzedDataProvider& input, int count)
        : root_(folder.Path()), folders_{""} {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(root_, error)) {
            std::filesystem::remove_all(entry.path(), error);
        }
        for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
            // Half of them beside an earlier one under the same name, as a video and its play
            // file go.
            const std::string relative =
                !entries_.empty() && input.ConsumeBool() ? Sibling(input) : Fresh(input);
            const std::string path = root_ + "/" + relative;
            if (input.ConsumeBool()) {
                if (::mkdir(path.c_str(), 0700) != 0) continue;
                entries_[relative] = Kind::kFolder;
                folders_.push_back(relative);
            } else {
                std::FILE* file = std::fopen(path.c_str(), "wx");
                if (file == nullptr) continue;
                std::fclose(file);
                entries_[relative] = Kind::kFile;
            }
        }
    }

    // A name with what paths find awkward: spaces, '#', '%', '?', newlines, bytes that are not
    // UTF-8, dots, the names DVDs and play files use, and runs long enough to pass the limit.
    static std::string Name(FuzzedDataProvider& input) {
        static constexpr std::string_view kPieces[] = {
            "VIDEO_TS", "video_ts", "Video_TS", "movie",    ".mp4",     ".MKV", ".csv", ".CSV",
            ".txt",     ".TXT",     ".iso",     ".ISO",     ".",        " ",    "#",    "%41",
            "?",        "\n",       "\xFF",     "\xE3\x83", "ディスク", "-",    "a",    "1"};
        std::string name;
        const int pieces = input.ConsumeIntegralInRange<int>(1, 5);
        for (int i = 0; i < pieces; ++i) {
            const int choice = input.ConsumeIntegralInRange<int>(0, 31);
            if (choice < static_cast<int>(std::size(kPieces))) {
                name += kPieces[choice];
            } else if (choice == 31) {
                name += std::string(input.ConsumeIntegralInRange<size_t>(100, 200), 'x');
            } else {
                for (const char c : input.ConsumeBytesAsString(3)) {
                    name += c == '/' || c == '\0' ? '_' : c;
                }
            }
        }
        return name;
    }

    // A path under the folder: a made entry, one with its ending swapped, or a new name.
    std::string Pick(FuzzedDataProvider& input) const {
        const int kind = input.ConsumeIntegralInRange<int>(0, 3);
        if (entries_.empty() || kind == 3) return root_ + "/" + Fresh(input);
        if (kind == 2) return root_ + "/" + Sibling(input);
        return root_ + "/" + Made(input);
    }

    // What is at `path` by what was made; none for a path outside the folder or with "." or
    // ".." in it, whose answer the tree does not know. Repeated slashes are one, and a
    // trailing slash names a folder only, as the system reads paths.
    [[nodiscard]] std::optional<Kind> KindOf(const std::string& path) const {
        const std::string prefix = root_ + "/";
        if (path.rfind(prefix, 0) != 0) return std::nullopt;
        std::string relative;
        size_t from = prefix.size();
        while (from <= path.size()) {
            size_t slash = path.find('/', from);
            if (slash == std::string::npos) slash = path.size();
            const std::string part = path.substr(from, slash - from);
            if (part == "." || part == "..") return std::nullopt;
            if (!part.empty()) relative += (relative.empty() ? "" : "/") + part;
            from = slash + 1;
        }
        if (relative.empty()) return Kind::kFolder;
        const auto found = entries_.find(relative);
        if (found == entries_.end()) return Kind::kNone;
        if (path.back() == '/' && found->second != Kind::kFolder) return Kind::kNone;
        return found->second;
    }

    // The names of the folders made directly in the folder at `path`, as KindOf reads it.
    [[nodiscard]] std::vector<std::string> SubfolderNames(const std::string& path) const {
        std::string relative = path.substr(root_.size());
        std::string clean;
        for (size_t i = 0; i < relative.size(); ++i) {
            if (relative[i] == '/' && (clean.empty() || clean.back() == '/')) continue;
            clean += relative[i];
        }
        if (!clean.empty() && clean.back() == '/') clean.pop_back();
        std::vector<std::string> names;
        for (const auto& [made, kind] : entries_) {
            const auto slash = made.rfind('/');
            const std::string parent = slash == std::string::npos ? "" : made.substr(0, slash);
            if (kind == Kind::kFolder && parent == clean) {
                names.push_back(made.substr(slash == std::string::npos ? 0 : slash + 1));
            }
        }
        return names;
    }

private:
    // A new name in the folder or in one made in it.
    std::string Fresh(FuzzedDataProvider& input) const {
        const std::string& folder =
            folders_[input.ConsumeIntegralInRange<size_t>(0, folders_.size() - 1)];
        return (folder.empty() ? "" : folder + "/") + Name(input);
    }

    // A made entry, below the folder.
    std::string Made(FuzzedDataProvider& input) const {
        auto entry = entries_.begin();
        std::advance(entry, input.ConsumeIntegralInRange<size_t>(0, entries_.size() - 1));
        return entry->first;
    }

    // A made entry's name with what follows its last dot in another ending.
    std::string Sibling(FuzzedDataProvider& input) const {
        std::string relative = Made(input);
        const auto dot = relative.rfind('.');
        const auto slash = relative.rfind('/');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
            relative.resize(dot);
        }
        static constexpr std::string_view kEndings[] = {".mp4", ".MKV", ".csv", ".CSV",
                                                        ".txt", ".TXT", ".iso", ".ISO"};
        const size_t ending = input.ConsumeIntegralInRange<size_t>(0, std::size(kEndings));
        return relative +
               (ending < std::size(kEndings) ? std::string(kEndings[ending]) : Name(input));
    }

    std::string root_;
    std::map<std::string, Kind> entries_;  // by path below the folder
    std::vector<std::string> folders_;     // "" for the folder itself
};

// A DVD folder by what the tree holds: a folder named VIDEO_TS, or one holding a folder of that
// name, in any case.
inline bool IsDvdFolderIn(const ScratchTree& tree, const std::string& path) {
    if (tree.KindOf(path) != ScratchTree::Kind::kFolder) return false;
    const auto isVideoTs = [](std::string name) {
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return name == "VIDEO_TS";
    };
    const size_t end = path.find_last_not_of('/') + 1;
    const size_t start = path.rfind('/', end - 1) + 1;
    if (isVideoTs(path.substr(start, end - start))) return true;
    for (const std::string& child : tree.SubfolderNames(path)) {
        if (isVideoTs(child)) return true;
    }
    return false;
}
