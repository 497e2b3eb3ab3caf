#pragma once

// The main window's menu bar: the DVD's titles and chapters as the player reports them, and
// the Help menu. Every item is a QAction that does its own command (a title's or chapter's
// carries its number as its data); made again whenever the media or the title changes. Owned
// by the main window's menu bar.
//
//   DVDメニュー ─ タイトル  ─ the disc's titles, at most 100
//              ├ チャプター ─ the title's chapters, at most 100
//              └ ディスクメニュー (back to the disc's own menu)
//   プレイファイル(P) ─ 映像から作成(D)... (a draft from the open video's picture)
//                    └ 記録の開始・終了(R) (recording while watching)
//   ヘルプ(H)  ─ QUAMBERPlayerについて(A)

#include <QObject>
#include <string>
#include <vector>

class OutputLog;
class PlaybackSession;
class QMenu;
class QMenuBar;
class QWidget;

namespace platform {
class MessageBoxes;
}

class MainMenus final : public QObject {
    Q_OBJECT

public:
    // The menus have always been logged under the main window's source name.
    static constexpr const char* kOutputLogSource = "KestruneDlg.cpp";
    static constexpr int kMaxItems = 100;

    // Fills `bar`; the About box opens over `window`. All are lent and must outlive this.
    MainMenus(QMenuBar& bar, QWidget& window, PlaybackSession& session, OutputLog& log,
              platform::MessageBoxes& boxes);

    // Makes the menus again from what the player reports now.
    void Rebuild();
    // The About box, modal.
    void ShowAbout();
    // Starts or ends recording a play file (the menu item and R).
    void ToggleRecording();

signals:
    // The user asked for a draft play file from the open video's picture.
    void DraftRequested();

private:
    // `tooMany`: the source text of the box for more names than the menu takes.
    void AddItems(QMenu* menu, const std::vector<std::string>& names, const char* tooMany,
                  void (MainMenus::*choose)(int index));
    void ChooseTitle(int index);
    void ChooseChapter(int index);

    QMenuBar& bar_;
    QWidget& window_;
    PlaybackSession& session_;
    OutputLog& log_;
    platform::MessageBoxes& boxes_;
};
