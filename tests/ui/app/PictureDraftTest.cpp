// The menu's draft of a play file from the open video's picture, in the window.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QProgressDialog>
#include <QTest>
#include <filesystem>

#include "app/PictureDraft.h"
#include "sync/SyncDriver.h"
#include "ui/app/MainWindowFixture.h"

namespace {

class PictureDraftTest : public MainWindowTest {
protected:
    void Choose() {
        auto* draft = window->MenuBar()->findChild<QAction*>(QStringLiteral("draftAction"));
        ASSERT_NE(draft, nullptr);
        draft->trigger();
    }
};

// The draft is made off the user-interface thread behind its progress dialog, saved beside the
// video under a free name and loaded as the play file; the window answers all along.
TEST_F(PictureDraftTest, TheDraftIsSavedBesideTheVideoAndLoaded) {
    std::filesystem::copy_file(Media("turning.mp4").toStdString(), dir / "turning.mp4");
    testing_support::WriteFile(dir / "turning.csv", "1,0,1\n");  // the user's own: kept
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(QString::fromStdString(dir / "turning.mp4"));
    Choose();
    EXPECT_TRUE(dlg.Draft().IsRunning());
    EXPECT_NE(dlg.findChild<QProgressDialog*>(QStringLiteral("draftProgress")), nullptr);
    bool answered = false;
    window->Post([&] { answered = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.Draft().IsRunning(); }, 120000));

    EXPECT_TRUE(LogHas("映像からプレイファイル作成開始：turning.mp4"));
    EXPECT_TRUE(LogHas("プレイファイル作成：turning (2).csv（6行）"));
    EXPECT_EQ(testing_support::ReadFile(dir / "turning.csv"), "1,0,1\n");
    const std::string draft = testing_support::ReadFile(dir / "turning (2).csv");
    EXPECT_EQ(draft.rfind("10,0,", 0), 0u) << draft;
    const SyncDriver::ScriptLines lines = dlg.Session().Sync().Lines();
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->size(), 6u);
    EXPECT_TRUE(boxes.Shown().empty());
}

// Cancelled, nothing is written; without a video, a box says what to do.
TEST_F(PictureDraftTest, ACancelledDraftWritesNothingAndNoVideoIsTold) {
    CKestruneDlg& dlg = OpenShown();
    Choose();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].second, "プレイファイル作成");
    EXPECT_FALSE(dlg.Draft().IsRunning());

    std::filesystem::copy_file(Media("turning.mp4").toStdString(), dir / "turning.mp4");
    dlg.OpenVideoFile(QString::fromStdString(dir / "turning.mp4"));
    Choose();
    auto* progress = dlg.findChild<QProgressDialog*>(QStringLiteral("draftProgress"));
    ASSERT_NE(progress, nullptr);
    emit progress->canceled();  // its Cancel button
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.Draft().IsRunning(); }, 60000));
    EXPECT_TRUE(LogHas("映像からプレイファイル作成中止"));
    EXPECT_FALSE(std::filesystem::exists(dir / "turning.csv"));
    EXPECT_EQ(boxes.Shown().size(), 1u);
}

}  // namespace
