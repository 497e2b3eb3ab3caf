#include "app/MainMenus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "dialogs/AboutDlg.h"
#include "log/OutputLog.h"
#include "platform/MessageBoxes.h"
#include "session/PlaybackSession.h"

namespace {

// A title of the same picture format raises neither playing nor a new video output, so the
// chapter menu would keep the old title's chapters: it is made again once the player has
// switched.
constexpr int kTitleSettleMs = 500;

// Menu texts take "&" as a mnemonic mark; names from the disc are shown as they are.
QString MenuText(const std::string& name) {
    return QString::fromStdString(name).replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

MainMenus::MainMenus(QMenuBar& bar, QWidget& window, PlaybackSession& session, OutputLog& log,
                     platform::MessageBoxes& boxes)
    : QObject(&bar), bar_(bar), window_(window), session_(session), log_(log), boxes_(boxes) {}

void MainMenus::AddItems(QMenu* menu, const std::vector<std::string>& names, const char* tooMany,
                         void (MainMenus::*choose)(int index)) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (i >= static_cast<size_t>(kMaxItems)) {
            boxes_.Show(tooMany, QT_TRANSLATE_NOOP("MessageBoxes", "エラー"));
            break;
        }
        QAction* action = menu->addAction(MenuText(names[i]));
        const int index = static_cast<int>(i);
        action->setData(index);  // the title's or chapter's number
        connect(action, &QAction::triggered, this,
                [this, choose, index] { (this->*choose)(index); });
    }
}

void MainMenus::Rebuild() {
    // The old menus go too; later, as one of their own actions may be running this.
    for (QAction* action : bar_.actions()) {
        if (QMenu* old = action->menu()) {
            for (QMenu* menu : old->findChildren<QMenu*>()) menu->setObjectName(QString());
            old->setObjectName(QString());
            old->deleteLater();
        }
    }
    bar_.clear();
    QMenu* dvd = bar_.addMenu(tr("DVDメニュー"));
    dvd->setObjectName(QStringLiteral("dvdMenu"));
    const MediaPlayer& player = session_.Player();
    if (player.GetMediaKind() == MediaKind::kByLocation) {
        OUTPUT_LOG(log_, "DVDメニュー設定");
        QMenu* titles = new QMenu(tr("タイトル"), dvd);
        QMenu* chapters = new QMenu(tr("チャプター"), dvd);
        titles->setObjectName(QStringLiteral("titleMenu"));
        chapters->setObjectName(QStringLiteral("chapterMenu"));
        std::vector<std::string> names;
        player.GetTitleNames(&names);
        AddItems(titles, names,
                 QT_TRANSLATE_NOOP("MessageBoxes",
                                   "タイトルメニューが多すぎるためメニューに設定できません。"),
                 &MainMenus::ChooseTitle);
        names.clear();
        player.GetChapterNames(&names);
        AddItems(chapters, names,
                 QT_TRANSLATE_NOOP("MessageBoxes",
                                   "チャプターメニューが多すぎるためメニューに設定できません。"),
                 &MainMenus::ChooseChapter);
        dvd->addMenu(titles);
        dvd->addMenu(chapters);
        QAction* discMenu = dvd->addAction(tr("ディスクメニュー"));
        discMenu->setObjectName(QStringLiteral("discMenuAction"));
        connect(discMenu, &QAction::triggered, this, [this] { session_.ShowDiscMenu(); });
    }
    QMenu* playFile = bar_.addMenu(tr("プレイファイル(&P)"));
    playFile->setObjectName(QStringLiteral("playFileMenu"));
    QAction* draft = playFile->addAction(tr("映像から作成(&D)..."));
    draft->setObjectName(QStringLiteral("draftAction"));
    connect(draft, &QAction::triggered, this, &MainMenus::DraftRequested);
    QAction* record = playFile->addAction(tr("記録の開始・終了(&R)"));
    record->setObjectName(QStringLiteral("recordAction"));
    record->setShortcut(QKeySequence(Qt::Key_R));
    record->setShortcutContext(Qt::WidgetShortcut);  // R itself comes through the window's keys
    connect(record, &QAction::triggered, this, &MainMenus::ToggleRecording);
    QMenu* help = bar_.addMenu(tr("ヘルプ(&H)"));
    connect(help->addAction(tr("QUAMBERPlayerについて(&A)")), &QAction::triggered, this,
            &MainMenus::ShowAbout);
}

void MainMenus::ChooseTitle(int index) {
    session_.SelectTitle(index);
    QTimer::singleShot(kTitleSettleMs, this, &MainMenus::Rebuild);
}

void MainMenus::ChooseChapter(int index) { session_.SelectChapter(index); }

void MainMenus::ToggleRecording() { session_.ToggleRecording(); }

void MainMenus::ShowAbout() {
    CAboutDlg about(&window_);
    about.exec();
}
