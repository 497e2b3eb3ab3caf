// Drops of files on the window, on a scratch folder of oddly named files and folders that the
// input makes. The plan must be the one the drop rules give from what the folder is known to
// hold; the video name test must go by the extension alone, in any case.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ScratchTree.h"
#include "player/DroppedFiles.h"

namespace {

using Kind = ScratchTree::Kind;
using VideoKind = DropPlan::VideoKind;

[[noreturn]] void Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "fuzz_drop: %s: [%s]\n", what, path.c_str());
    std::abort();
}

// The extension of the last name in `path`: from its last dot, unless that dot begins it.
std::string Extension(const std::string& path) {
    const size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart || path.substr(nameStart) == "..") return {};
    return path.substr(dot);
}

std::string Cased(std::string text, bool upper) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        c = static_cast<char>(upper ? std::toupper(byte) : std::tolower(byte));
    }
    return text;
}

void CheckVideoFileName(const std::string& path) {
    const std::string extension = Extension(path);
    const bool video = IsVideoFileName(path);
    const std::string lower = Cased(extension, false);
    if (video && (lower.empty() || lower == ".csv" || lower == ".txt" || lower == ".iso")) {
        Fail("a video by a name that is not one", path);
    }
    const std::string stem = path.substr(0, path.size() - extension.size());
    for (const bool upper : {false, true}) {
        if (IsVideoFileName(stem + Cased(extension, upper)) != video) {
            Fail("the extension's case matters", path);
        }
    }
    if (!extension.empty() && IsVideoFileName("/other/name" + extension) != video) {
        Fail("more than the extension matters", path);
    }
}

DropPlan Expected(const ScratchTree& tree, const std::vector<std::string>& paths) {
    DropPlan plan;
    for (const std::string& path : paths) {
        const Kind kind = *tree.KindOf(path);
        const std::string extension = Cased(Extension(path), false);
        VideoKind video = VideoKind::kNone;
        if (kind == Kind::kFile && (extension == ".csv" || extension == ".txt")) {
            if (plan.playFile.empty()) plan.playFile = path;
            continue;
        }
        if (kind == Kind::kFile && extension == ".iso") {
            video = VideoKind::kDvd;
        } else if (kind == Kind::kFile && IsVideoFileName(path)) {
            video = VideoKind::kFile;
        } else if (IsDvdFolderIn(tree, path)) {
            video = VideoKind::kDvd;
        } else {
            plan.refused.push_back(path);
            continue;
        }
        if (plan.videoKind == VideoKind::kNone) {
            plan.videoKind = video;
            plan.video = path;
        }
    }
    if (plan.videoKind == VideoKind::kFile && plan.playFile.empty()) {
        const std::string base =
            plan.video.substr(0, plan.video.size() - Extension(plan.video).size());
        for (const char* extension : {".csv", ".CSV", ".txt", ".TXT"}) {
            if (tree.KindOf(base + extension) == Kind::kFile) {
                plan.playFile = base + extension;
                break;
            }
        }
    }
    return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFolder folder("kestrune-fuzz-drop");
    FuzzedDataProvider input(data, size);
    const ScratchTree tree(folder, input, input.ConsumeIntegralInRange<int>(0, 12));

    std::vector<std::string> paths;
    const int count = input.ConsumeIntegralInRange<int>(0, 6);
    for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        paths.push_back(tree.Pick(input));
        if (!tree.KindOf(paths.back())) return 0;
        CheckVideoFileName(paths.back());
    }
    CheckVideoFileName(input.ConsumeRandomLengthString(64));

    const DropPlan plan = PlanDrop(paths);
    const DropPlan expected = Expected(tree, paths);
    const std::string first = paths.empty() ? "" : paths[0];
    if (plan.videoKind != expected.videoKind || plan.video != expected.video) {
        Fail("a different video", plan.video + "] instead of [" + expected.video);
    }
    if (plan.playFile != expected.playFile) {
        Fail("a different play file", plan.playFile + "] instead of [" + expected.playFile);
    }
    if (plan.refused != expected.refused) Fail("refused differently", first);
    if (plan.Empty() != (expected.videoKind == VideoKind::kNone && expected.playFile.empty())) {
        Fail("Empty() disagrees", first);
    }
    return 0;
}
