// The command line's looks at the file system, on a scratch folder of oddly named files and
// folders that the input makes: the play file found beside a video, and whether a path is a
// DVD. Both are checked against what the folder is known to hold.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "ScratchTree.h"
#include "configuration/CommandLine.h"

namespace {

using Kind = ScratchTree::Kind;

[[noreturn]] void Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "fuzz_companion: %s: [%s]\n", what, path.c_str());
    std::abort();
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "Same folder and base name": the name without what follows its last dot, unless that dot
// begins the name.
std::optional<std::string> ExpectedCompanion(const ScratchTree& tree, const std::string& video) {
    const size_t nameStart = video.rfind('/') + 1;
    const size_t dot = video.rfind('.');
    const std::string base =
        dot != std::string::npos && dot > nameStart ? video.substr(0, dot) : video;
    for (const char* extension : {".csv", ".txt"}) {
        const std::string candidate = base + extension;
        if (candidate != video && tree.KindOf(candidate) == Kind::kFile) return candidate;
    }
    return std::nullopt;
}

// A DVD folder, or a file whose name ends in ".iso" in any case.
bool ExpectedDvd(const ScratchTree& tree, const std::string& path, Kind kind) {
    if (kind == Kind::kFolder) return IsDvdFolderIn(tree, path);
    return kind == Kind::kFile && path.size() >= 4 && Lower(path.substr(path.size() - 4)) == ".iso";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFolder folder("kestrune-fuzz-companion");
    FuzzedDataProvider input(data, size);
    const ScratchTree tree(folder, input, input.ConsumeIntegralInRange<int>(0, 12));

    for (int query = 0; query < 8 && input.remaining_bytes() > 0; ++query) {
        std::string path = tree.Pick(input);
        const int trailing = input.ConsumeIntegralInRange<int>(0, 5);
        if (trailing < 2) path.append(static_cast<size_t>(trailing) + 1, '/');
        const std::optional<Kind> kind = tree.KindOf(path);
        if (!kind) continue;

        const std::optional<std::string> companion = CompanionPlayFile(path);
        if (companion != ExpectedCompanion(tree, path)) {
            Fail(companion ? "found a play file it should not" : "missed the play file", path);
        }
        if (IsDvdSource(path) != ExpectedDvd(tree, path, *kind)) {
            Fail(IsDvdSource(path) ? "took for a DVD" : "missed a DVD", path);
        }
        if (!IsDvdSource("dvd://" + path)) Fail("a dvd:// location refused", path);
    }
    return 0;
}
