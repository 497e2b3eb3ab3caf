#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>

#include "dialogs/DrivePickerListCtrl.h"
#include "dialogs/DriveSelectDlg.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

class DriveSelectDlgTest : public ::testing::Test {
protected:
    DriveSelectDlgTest() {
        for (const char* name : {"sda", "sr1", "sr0"}) {
            std::filesystem::create_directories(roots.sysBlock + "/" + name + "/device");
            WriteFile(roots.sysBlock + "/" + name + "/size", "1024\n");
            WriteFile(roots.sysBlock + "/" + name + "/device/model", std::string(name) + "\n");
        }
        WriteFile(roots.mounts, "server:/export /mnt/share nfs rw 0 0\n");
    }

    QPushButton* Button(const CDriveSelectDlg& dlg, const QString& text) const {
        for (auto* button : dlg.findChildren<QPushButton*>()) {
            if (button->text() == text) return button;
        }
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    static QStringList Items(const CDrivePickerListCtrl& list) {
        QStringList items;
        for (int i = 0; i < list.count(); ++i) {
            items << list.item(i)->text() + " = " + list.item(i)->data(Qt::UserRole).toString();
        }
        return items;
    }

    TempDir dir;
    DriveRoots roots{dir / "block", dir / "mounts", dir / "udev"};
};

TEST_F(DriveSelectDlgTest, ListsOpticalDrivesWithCaptionAndButtons) {
    CDriveSelectDlg dlg(nullptr, roots);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("DVDドライブ選択"));
    EXPECT_EQ(Items(*dlg.DriveList()),
              QStringList({"sr0 (/dev/sr0) = /dev/sr0", "sr1 (/dev/sr1) = /dev/sr1"}));
    EXPECT_EQ(dlg.DriveList()->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(dlg.DriveList()->iconSize(), QSize(16, 16));
    QPushButton* ok = Button(dlg, QStringLiteral("OK"));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_NE(Button(dlg, QStringLiteral("キャンセル")), nullptr);
    EXPECT_EQ(dlg.OpenButton()->text(), QStringLiteral("フォルダ/イメージを開く..."));
}

// OK without a selected drive cancels: an empty result would open libvlc's default drive.
TEST_F(DriveSelectDlgTest, OkGivesTheSelectedDriveElseCancels) {
    const DriveRoots noDrives{dir / "none/block", dir / "none/mounts", dir / "none/udev"};
    struct Case {
        const char* name;
        const DriveRoots& roots;
        int row;  // -1: nothing selected
        bool deselect;
        bool cancel;
        int code;
        std::string result;
    } cases[] = {
        {"second drive", roots, 1, false, false, QDialog::Accepted, "/dev/sr1"},
        {"first drive", roots, 0, false, false, QDialog::Accepted, "/dev/sr0"},
        {"no selection", roots, -1, false, false, QDialog::Rejected, ""},
        {"selection cleared", roots, 1, true, false, QDialog::Rejected, ""},
        {"no drives", noDrives, -1, false, false, QDialog::Rejected, ""},
        {"cancelled", roots, 1, false, true, QDialog::Rejected, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CDriveSelectDlg dlg(nullptr, c.roots);
        dlg.show();
        if (c.row >= 0) dlg.DriveList()->setCurrentRow(c.row);
        if (c.deselect) dlg.DriveList()->clearSelection();
        Button(dlg, c.cancel ? QStringLiteral("キャンセル") : QStringLiteral("OK"))->click();
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), c.code);
        EXPECT_EQ(dlg.Result(), c.result);
    }
}

TEST_F(DriveSelectDlgTest, ReturnAcceptsAndEscapeRejects) {
    struct Case {
        Qt::Key key;
        int row;  // -1: nothing selected
        int code;
        std::string result;
    } cases[] = {
        {Qt::Key_Return, 1, QDialog::Accepted, "/dev/sr1"},
        {Qt::Key_Return, -1, QDialog::Rejected, ""},
        {Qt::Key_Escape, 1, QDialog::Rejected, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        CDriveSelectDlg dlg(nullptr, roots);
        dlg.show();
        if (c.row >= 0) dlg.DriveList()->setCurrentRow(c.row);
        QTest::keyClick(&dlg, c.key);
        EXPECT_EQ(dlg.result(), c.code);
        EXPECT_EQ(dlg.Result(), c.result);
    }
}

TEST_F(DriveSelectDlgTest, RefillingShowsEachDriveOnce) {
    CDrivePickerListCtrl list;
    list.FillDrives(32, kDriveOptical | kDriveNetwork, roots);
    list.FillDrives(32, kDriveOptical | kDriveNetwork, roots);
    EXPECT_EQ(Items(list), QStringList({"sr0 (/dev/sr0) = /dev/sr0", "sr1 (/dev/sr1) = /dev/sr1",
                                        "server:/export (/mnt/share) = /mnt/share"}));
    EXPECT_EQ(list.iconSize(), QSize(32, 32));
    EXPECT_EQ(list.GetSelectedDrives(), "");
    list.setCurrentRow(2);
    EXPECT_EQ(list.GetSelectedDrives(), "/mnt/share");
    list.FillDrives(24, kDriveOptical, roots);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.iconSize(), QSize(16, 16));
    EXPECT_EQ(list.GetSelectedDrives(), "");
}

TEST_F(DriveSelectDlgTest, FolderOrImageChosenOnDiskIsTheResult) {
    const std::string folder = dir / "Movie";
    std::filesystem::create_directories(folder + "/VIDEO_TS");
    const std::string image = dir / "movie.iso";
    WriteFile(image, "not really a disc");
    struct Case {
        QString action;
        std::string choose;
        bool accept;
        QFileDialog::FileMode mode;
        int code;
        std::string result;
    } cases[] = {
        {QStringLiteral("フォルダ..."), folder + "/VIDEO_TS", true, QFileDialog::Directory,
         QDialog::Accepted, folder + "/VIDEO_TS"},
        {QStringLiteral("イメージ (.iso)..."), image, true, QFileDialog::ExistingFile,
         QDialog::Accepted, image},
        {QStringLiteral("イメージ (.iso)..."), image, false, QFileDialog::ExistingFile,
         QDialog::Rejected, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action.toStdString());
        CDriveSelectDlg dlg(nullptr, roots);
        dlg.show();
        dlg.DriveList()->setCurrentRow(0);
        QAction* action = nullptr;
        for (QAction* a : dlg.OpenButton()->menu()->actions()) {
            if (a->text() == c.action) action = a;
        }
        ASSERT_NE(action, nullptr);
        bool seen = false;
        QTimer::singleShot(0, &dlg, [&] {
            auto* chooser = dlg.findChild<QFileDialog*>();
            ASSERT_NE(chooser, nullptr);
            seen = true;
            EXPECT_EQ(chooser->windowTitle(), QStringLiteral("フォルダ/イメージを開く"));
            EXPECT_TRUE(chooser->testOption(QFileDialog::DontUseNativeDialog));
            EXPECT_EQ(chooser->fileMode(), c.mode);
            if (c.mode == QFileDialog::ExistingFile) {
                EXPECT_EQ(chooser->nameFilters(),
                          QStringList({"DVDイメージ (*.iso)", "すべてのファイル (*)"}));
            }
            chooser->selectFile(QString::fromStdString(c.choose));
            if (c.accept) {
                static_cast<QDialog*>(chooser)->accept();  // QFileDialog::accept checks the choice
            } else {
                chooser->reject();
            }
        });
        action->trigger();
        EXPECT_TRUE(seen);
        // A cancelled file dialog leaves the drive dialog open.
        EXPECT_EQ(dlg.isVisible(), !c.accept);
        EXPECT_EQ(dlg.result(), c.code);
        EXPECT_EQ(dlg.Result(), c.result);
    }
}

}  // namespace
