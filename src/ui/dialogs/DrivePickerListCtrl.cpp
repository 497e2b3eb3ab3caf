#include "dialogs/DrivePickerListCtrl.h"

#include <QFile>
#include <QFileIconProvider>
#include <QIcon>

CDrivePickerListCtrl::CDrivePickerListCtrl(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setViewMode(QListView::ListMode);
    setUniformItemSizes(true);
}

void CDrivePickerListCtrl::FillDrives(int iconSize, int driveTypes, const DriveRoots& roots) {
    clear();
    const int pixels = iconSize == 32 ? 32 : 16;
    setIconSize(QSize(pixels, pixels));
    const QIcon driveIcon = QFileIconProvider().icon(QFileIconProvider::Drive);
    const QString opticalName = QStringLiteral("drive-optical");
    const QIcon opticalIcon =
        QIcon::hasThemeIcon(opticalName) ? QIcon::fromTheme(opticalName) : driveIcon;
    for (const DriveInfo& drive : ListDrives(driveTypes, roots)) {
        auto* item = new QListWidgetItem(drive.type == kDriveOptical ? opticalIcon : driveIcon,
                                         QString::fromStdString(drive.displayName), this);
        item->setData(Qt::UserRole, QFile::decodeName(QByteArray::fromStdString(drive.path)));
    }
}

std::string CDrivePickerListCtrl::GetSelectedDrives() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return {};
    return QFile::encodeName(selected.front()->data(Qt::UserRole).toString()).toStdString();
}
