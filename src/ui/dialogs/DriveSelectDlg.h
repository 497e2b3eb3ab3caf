#pragma once

// Asks which DVD to play: a drive from the list, or a DVD folder or disc image on disk. Run
// modally by the main window, which turns Result() into the location it opens.

#include <QDialog>
#include <string>

#include "dvd/DriveList.h"

class CDrivePickerListCtrl;
class QPushButton;

class CDriveSelectDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CDriveSelectDlg(QWidget* owner = nullptr, const DriveRoots& roots = {});

    // After OK, the selected drive's path; after a folder or an image was chosen, its path;
    // empty when the dialog was cancelled. OK with no drive selected cancels.
    [[nodiscard]] std::string Result() const { return result_; }

    [[nodiscard]] CDrivePickerListCtrl* DriveList() const { return driveList_; }
    [[nodiscard]] QPushButton* OpenButton() const { return openButton_; }

private:
    void OnOk();
    // Lets the user choose a DVD folder (folderMode) or an image file, and closes with it.
    void ChooseLocation(bool folderMode);

    CDrivePickerListCtrl* driveList_;
    QPushButton* openButton_;
    std::string result_;
};
