// Starts the main window as the program does, in the language of the session it is given, and
// prints the texts a user meets there, one "<name>\t<text>" line each (a list's items joined by
// " | ", line breaks written as "\n"). LanguageProcessTest runs it under each language.
//
//   kestrune-language-probe NOT-A-VIDEO
//
// Run in a folder of its own: its Kestrune.ini there turns the debug window on. Exits 1, naming
// the step, when a window it waits for does not come.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <utility>

#include "app/KestruneDlg.h"
#include "app/Translation.h"
#include "dialogs/DebugDlg.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/OverlayText.h"
#include "panels/TopDlg.h"
#include "platform/X11Threads.h"
#include "ui/app/MessageWatch.h"
#include "widgets/QtMessageBoxes.h"

namespace {

constexpr int kWaitMs = 60000;

void Print(const char* name, QString text) {
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\n'), "\\n");
    std::printf("%s\t%s\n", name, text.toUtf8().constData());
}

void PrintList(const char* name, const QStringList& items) {
    Print(name, items.join(QLatin1String(" | ")));
}

QStringList ActionTexts(const QWidget* widget) {
    QStringList texts;
    for (const QAction* action : widget->actions()) texts << action->text();
    return texts;
}

// The texts of the widgets of type T in `window`, in the order they were made, empty ones left
// out (the About box's icon).
template <typename T>
QStringList TextsOf(const QWidget* window) {
    QStringList texts;
    for (const T* widget : window->findChildren<T*>()) {
        if (!widget->text().isEmpty()) texts << widget->text();
    }
    return texts;
}

// Runs `open`, hands the modal window it brings up, directly or through the event loop, to
// `read` and closes it as cancel would. False when none came.
bool ReadModal(const std::function<void()>& open, const std::function<void(QDialog&)>& read) {
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (seen || modal == nullptr) return;
        seen = true;
        read(*modal);
        modal->reject();
    });
    poll.start(20);
    open();
    return QTest::qWaitFor([&] { return seen && QApplication::activeModalWidget() == nullptr; },
                           kWaitMs);
}

bool Fail(const char* step) {
    std::fprintf(stderr, "kestrune-language-probe: %s did not show\n", step);
    return false;
}

bool Probe(CKestruneDlg& window, const QString& notAVideo) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return Fail("the main window");

    PrintList("menu.bar", ActionTexts(window.MenuBar()));
    const QList<QAction*> menus = window.MenuBar()->actions();
    PrintList("menu.help", ActionTexts(menus.back()->menu()));

    CBottomMainDlg& bar = *window.BottomPanel()->Bar();
    QStringList tips;
    for (const int id :
         {CBottomMainDlg::IDC_PLAY, CBottomMainDlg::IDC_PAUSE, CBottomMainDlg::IDC_OPEN_VIDEO,
          CBottomMainDlg::IDC_OPEN_DVD, CBottomMainDlg::IDC_OPEN_PLAYFILE,
          CBottomMainDlg::IDC_VOLUME, CBottomMainDlg::IDC_REPEAT, CBottomMainDlg::IDC_MAXIMIZE,
          CBottomMainDlg::IDC_REWIND, CBottomMainDlg::IDC_FORWARD}) {
        tips << bar.Control(id)->toolTip();
    }
    PrintList("bar.tooltips", tips);

    const auto readAbout = [](QDialog& about) {
        Print("about.title", about.windowTitle());
        PrintList("about.labels", TextsOf<QLabel>(&about));
        PrintList("about.buttons", TextsOf<QPushButton>(&about));
    };
    if (!ReadModal([&] { window.ShowAbout(); }, readAbout)) {
        return Fail("the About box");
    }

    const auto readDrives = [](QDialog& drives) {
        Print("drive.title", drives.windowTitle());
        PrintList("drive.buttons", TextsOf<QPushButton>(&drives));
        for (const QPushButton* button : drives.findChildren<QPushButton*>()) {
            if (button->menu() != nullptr) PrintList("drive.popup", ActionTexts(button->menu()));
        }
    };
    const auto clickOpenDvd = [&] {
        qobject_cast<QAbstractButton*>(bar.Control(CBottomMainDlg::IDC_OPEN_DVD))->click();
    };
    if (!ReadModal(clickOpenDvd, readDrives)) return Fail("the drive dialog");

    if (!ReadModal([&] { emit window.BottomPanel()->Bar()->OpenVideoClicked(); },
                   [](QDialog& files) { Print("openVideo.title", files.windowTitle()); })) {
        return Fail("the open-video dialog");
    }
    const auto readPlayFiles = [](QDialog& files) {
        Print("openPlayFile.title", files.windowTitle());
        if (auto* fileDialog = qobject_cast<QFileDialog*>(&files)) {
            PrintList("openPlayFile.filters", fileDialog->nameFilters());
        }
    };
    if (!ReadModal([&] { emit window.BottomPanel()->Bar()->OpenPlayFileClicked(); },
                   readPlayFiles)) {
        return Fail("the open-play-file dialog");
    }

    QTest::keyClick(window.VideoHost(), Qt::Key_BracketRight);
    Print("overlay", window.Overlay()->Text());

    // The titles the band shows from the opening of the file to its error box: what each
    // message to the window finds, and what the box finds.
    QStringList titles;
    const auto noteTitle = [&] {
        const QString title = window.TopPanel()->Title();
        if (titles.isEmpty() || titles.back() != title) titles << title;
    };
    MessageWatch watch(&window, noteTitle);
    window.OpenVideoFile(notAVideo);
    const auto readBox = [&](QDialog& box) {
        noteTitle();
        auto* messageBox = qobject_cast<QMessageBox*>(&box);
        Print("box.caption", box.windowTitle());
        Print("box.text", messageBox != nullptr ? messageBox->text() : QString());
    };
    if (!ReadModal([&] { emit window.BottomPanel()->Bar()->PlayClicked(); }, readBox)) {
        return Fail("the error box");
    }
    PrintList("titles", titles);

    auto* debug = dynamic_cast<CDebugDlg*>(window.GetLogger());
    if (debug == nullptr || !debug->isVisible()) return Fail("the debug window");
    Print("debug.title", debug->windowTitle());
    Print("debug.lines", debug->TextControl()->toPlainText());
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("usage: kestrune-language-probe NOT-A-VIDEO\n", stderr);
        return 2;
    }
    platform::InitX11Threads();
    QApplication application(argc, argv);
    InstallSessionLanguage();
    QtMessageBoxes boxes;
    CKestruneDlg window(boxes);
    const bool probed = Probe(window, QString::fromLocal8Bit(argv[1]));
    std::fflush(stdout);
    window.close();
    return probed ? 0 : 1;
}
