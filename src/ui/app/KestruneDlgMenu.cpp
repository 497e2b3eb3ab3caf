// The main window's menu bar (the DVD's titles and chapters, and the Help menu) and the
// dialogs of the bar's open buttons.
//
//   DVDメニュー ─ タイトル  ─ title 0 .. 99     ids 32000 .. 32099
//              └ チャプター ─ chapter 0 .. 99   ids 32100 .. 32199
//   ヘルプ(H)  ─ QUAMBERPlayerについて(A)       id 40100

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <string>
#include <vector>

#include "app/KestruneDlg.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/DriveSelectDlg.h"
#include "platform/MessageBoxes.h"
#include "session/PlaybackSession.h"

namespace {

constexpr int kFirstTitleId = 32000;
constexpr int kFirstChapterId = 32100;
constexpr int kMaxItems = 100;
constexpr int kTitleSettleMs = 500;

// Menu texts take "&" as a mnemonic mark; names from the disc are shown as they are.
QString MenuText(const std::string& name) {
    return QString::fromStdString(name).replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

void CKestruneDlg::AddMenuItems(QMenu* menu, const std::vector<std::string>& names, int firstId,
                                const char* tooMany) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (i >= static_cast<size_t>(kMaxItems)) {
            boxes_.Show(tooMany, QT_TRANSLATE_NOOP("MessageBoxes", "エラー"));
            break;
        }
        const int id = firstId + static_cast<int>(i);
        QAction* action = menu->addAction(MenuText(names[i]));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { OnMenuCommand(id); });
    }
}

void CKestruneDlg::BuildMenu() {
    // The old menus go too; later, as one of their own actions may be running this.
    for (QAction* action : menuBar_->actions()) {
        if (QMenu* old = action->menu()) {
            for (QMenu* menu : old->findChildren<QMenu*>()) menu->setObjectName(QString());
            old->setObjectName(QString());
            old->deleteLater();
        }
    }
    menuBar_->clear();
    QMenu* dvd = menuBar_->addMenu(tr("DVDメニュー"));
    dvd->setObjectName(QStringLiteral("dvdMenu"));
    const AdjustedPlayer& player = session_->Player();
    if (player.GetMediaKind() == MediaKind::kByLocation) {
        OUTPUT_LOG(*operationLog_, "DVDメニュー設定");
        QMenu* titles = new QMenu(tr("タイトル"), dvd);
        QMenu* chapters = new QMenu(tr("チャプター"), dvd);
        titles->setObjectName(QStringLiteral("titleMenu"));
        chapters->setObjectName(QStringLiteral("chapterMenu"));
        std::vector<std::string> names;
        player.GetTitleNames(&names);
        AddMenuItems(titles, names, kFirstTitleId,
                     QT_TRANSLATE_NOOP("MessageBoxes",
                                       "タイトルメニューが多すぎるためメニューに設定できません。"));
        names.clear();
        player.GetChapterNames(&names);
        AddMenuItems(
            chapters, names, kFirstChapterId,
            QT_TRANSLATE_NOOP("MessageBoxes",
                              "チャプターメニューが多すぎるためメニューに設定できません。"));
        dvd->addMenu(titles);
        dvd->addMenu(chapters);
    }
    QMenu* help = menuBar_->addMenu(tr("ヘルプ(&H)"));
    QAction* about = help->addAction(tr("QUAMBERPlayerについて(&A)"));
    about->setData(kAboutCommand);
    connect(about, &QAction::triggered, this, [this] { OnMenuCommand(kAboutCommand); });
}

void CKestruneDlg::OnMenuCommand(int id) {
    if (id - kFirstTitleId >= 0 && id - kFirstTitleId < kMaxItems) {
        session_->SelectTitle(id - kFirstTitleId);
        // A title of the same picture format raises neither playing nor a new video output,
        // so the chapter menu would keep the old title's chapters: rebuild once the player
        // has switched.
        QTimer::singleShot(kTitleSettleMs, this, [this] { BuildMenu(); });
    } else if (id - kFirstChapterId >= 0 && id - kFirstChapterId < kMaxItems) {
        session_->SelectChapter(id - kFirstChapterId);
    } else if (id == kAboutCommand) {
        CAboutDlg about(this);
        about.exec();
    }
}

void CKestruneDlg::OnOpenDvd() {
    if (session_->IsBusyOpening()) return;
    CDriveSelectDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    OpenDvd(dialog.Result());
}

void CKestruneDlg::OnOpenVideo() {
    if (session_->IsBusyOpening()) return;
    QFileDialog dialog(this, tr("動画を開く"));
    dialog.setObjectName(QStringLiteral("openVideoDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenVideoFile(dialog.selectedFiles().constFirst());
}

// Allowed in every player state: playback goes on, and the new script is positioned on the
// next play, seek or device change.
void CKestruneDlg::OnOpenPlayFile() {
    QFileDialog dialog(this, tr("開く"));
    dialog.setObjectName(QStringLiteral("openPlayFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("プレイファイル (*.csv *.txt)"), tr("すべてのファイル (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenPlayFile(dialog.selectedFiles().constFirst());
}

void CKestruneDlg::OpenVideoFile(const QString& path) {
    session_->OpenVideoFile(QFileInfo(path).absoluteFilePath().toStdString());
}

void CKestruneDlg::OpenPlayFile(const QString& path) {
    session_->OpenPlayFile(QFileInfo(path).absoluteFilePath().toStdString());
}

void CKestruneDlg::OpenDvd(const std::string& path) { session_->OpenDvd(path); }
