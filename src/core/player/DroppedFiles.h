#pragma once

// What a drop of files onto the window opens: the first video (a file, a DVD folder or an
// .iso image) and the first play file, in the order given; everything else is refused.
// A video dropped without a play file brings the play file of the same name beside it, if
// there is one.

#include <string>
#include <vector>

struct DropPlan {
    enum class VideoKind { kNone, kFile, kDvd };

    VideoKind videoKind = VideoKind::kNone;
    std::string video;     // the file, or the DVD folder or image as the DVD dialog gives it
    std::string playFile;  // dropped, or found beside a dropped video file
    std::vector<std::string> refused;

    [[nodiscard]] bool Empty() const { return videoKind == VideoKind::kNone && playFile.empty(); }
};

// Paths are local file names as the file system spells them.
[[nodiscard]] DropPlan PlanDrop(const std::vector<std::string>& paths);

// True for a file name whose extension names a video container or stream the player reads.
[[nodiscard]] bool IsVideoFileName(const std::string& path);
