#pragma once

// A one-column list of drives, each an icon and its name with the drive's path as the item's
// data, for picking one drive. Lives in a dialog, which owns it as a child widget.

#include <QListWidget>
#include <string>

#include "dvd/DriveList.h"

class CDrivePickerListCtrl final : public QListWidget {
    Q_OBJECT

public:
    explicit CDrivePickerListCtrl(QWidget* parent = nullptr);

    // Replaces the items with the drives of the kinds in `driveTypes`. Icons are 32 pixels
    // when `iconSize` is 32, else 16.
    void FillDrives(int iconSize, int driveTypes, const DriveRoots& roots = {});

    // The path of the selected drive; empty when none is selected.
    [[nodiscard]] std::string GetSelectedDrives() const;
};
