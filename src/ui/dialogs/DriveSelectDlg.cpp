#include "dialogs/DriveSelectDlg.h"

#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>

#include "dialogs/DrivePickerListCtrl.h"
#include "widgets/DialogUnits.h"

CDriveSelectDlg::CDriveSelectDlg(QWidget* owner, const DriveRoots& roots)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setWindowTitle(tr("DVDドライブ選択"));
    setFont(DialogFont(8));
    const DialogBaseUnits units = BaseUnitsOf(font());
    const auto at = [&](int x, int y, int w, int h) {
        return DialogUnitsToPixels(units, QRect(x, y, w, h));
    };
    setFixedSize(DialogUnitsToPixels(units, QSize(235, 103)));

    driveList_ = new CDrivePickerListCtrl(this);
    driveList_->setGeometry(at(7, 7, 220, 72));
    connect(driveList_, &QListWidget::itemDoubleClicked, this, &CDriveSelectDlg::OnOk);

    // A folder and a file cannot be chosen in one file dialog, so the button offers both.
    openButton_ = new QPushButton(tr("フォルダ/イメージを開く..."), this);
    openButton_->setGeometry(at(7, 82, 110, 14));
    openButton_->setAutoDefault(false);
    auto* menu = new QMenu(openButton_);
    connect(menu->addAction(tr("フォルダ...")), &QAction::triggered, this,
            [this] { ChooseLocation(true); });
    connect(menu->addAction(tr("イメージ (.iso)...")), &QAction::triggered, this,
            [this] { ChooseLocation(false); });
    openButton_->setMenu(menu);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setGeometry(at(124, 82, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CDriveSelectDlg::OnOk);
    auto* cancel = new QPushButton(tr("キャンセル"), this);
    cancel->setGeometry(at(178, 82, 50, 14));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] { result_.clear(); });

    driveList_->FillDrives(16, kDriveOptical, roots);
    driveList_->setFocus();
}

void CDriveSelectDlg::OnOk() {
    result_ = driveList_->GetSelectedDrives();
    // Without a drive there is nothing to open (libvlc would try a default drive of its own
    // and fail), so OK then closes the dialog as cancel does.
    if (result_.empty()) {
        reject();
    } else {
        accept();
    }
}

void CDriveSelectDlg::ChooseLocation(bool folderMode) {
    QFileDialog chooser(this, tr("フォルダ/イメージを開く"));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    if (folderMode) {
        // A folder holding VIDEO_TS, or VIDEO_TS itself: the player reads either.
        chooser.setFileMode(QFileDialog::Directory);
        chooser.setOption(QFileDialog::ShowDirsOnly);
    } else {
        chooser.setFileMode(QFileDialog::ExistingFile);
        chooser.setNameFilters({tr("DVDイメージ (*.iso)"), tr("すべてのファイル (*)")});
    }
    if (chooser.exec() != QDialog::Accepted) return;
    const QStringList chosen = chooser.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return;
    result_ = QFile::encodeName(chosen.front()).toStdString();
    accept();
}
