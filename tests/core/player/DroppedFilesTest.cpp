// What a drop of files opens, on real files and folders: the first video or DVD and the first
// play file in the order dropped, the same-name play file beside a dropped video, and what is
// refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "player/DroppedFiles.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;
using VideoKind = DropPlan::VideoKind;

class DroppedFilesTest : public ::testing::Test {
protected:
    std::string File(const std::string& name) {
        WriteFile(dir / name, "x");
        return dir / name;
    }
    std::string Folder(const std::string& name) {
        std::filesystem::create_directories(dir / name);
        return dir / name;
    }

    TempDir dir;
};

TEST_F(DroppedFilesTest, TheFirstVideoAndTheFirstPlayFileAreTakenInTheOrderDropped) {
    const std::string first = File("第1話 100%.MKV");
    const std::string script = File("script.TXT");
    const DropPlan plan = PlanDrop({File("notes.csv"), first, File("second.mp4"), script});
    EXPECT_EQ(plan.videoKind, VideoKind::kFile);
    EXPECT_EQ(plan.video, first);
    EXPECT_EQ(plan.playFile, dir / "notes.csv");
    EXPECT_TRUE(plan.refused.empty());
}

TEST_F(DroppedFilesTest, AVideoAloneBringsThePlayFileOfItsNameButADroppedOneWins) {
    const std::string video = File("take #1.mp4");
    EXPECT_TRUE(PlanDrop({video}).playFile.empty());
    const std::string beside = File("take #1.csv");
    EXPECT_EQ(PlanDrop({video}).playFile, beside);
    const std::string dropped = File("other.csv");
    EXPECT_EQ(PlanDrop({video, dropped}).playFile, dropped);
}

TEST_F(DroppedFilesTest, DvdFoldersVideoTsAndImagesOpenAsADvd) {
    const std::string disc = Folder("disc 1");
    Folder("disc 1/video_ts");
    const std::string image = File("disc.ISO");
    for (const std::string& path : {disc, disc + "/video_ts", image}) {
        SCOPED_TRACE(path);
        const DropPlan plan = PlanDrop({path});
        EXPECT_EQ(plan.videoKind, VideoKind::kDvd);
        EXPECT_EQ(plan.video, path);
        EXPECT_TRUE(plan.playFile.empty());
    }
}

TEST_F(DroppedFilesTest, AnythingElseIsRefusedAndLeavesNothingToOpen) {
    const std::vector<std::string> others = {File("picture.png"), File("noextension"),
                                             Folder("plain folder"), dir / "gone.mp4",
                                             Folder("folder.mp4"), File("video.mp4.part")};
    const DropPlan plan = PlanDrop(others);
    EXPECT_TRUE(plan.Empty());
    EXPECT_EQ(plan.refused, others);
    EXPECT_TRUE(PlanDrop({}).Empty());
}

}  // namespace
