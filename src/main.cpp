#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/KestruneApp.h"
#include "app/KestruneApplication.h"
#include "app/Translation.h"
#include "configuration/CommandLine.h"
#include "platform/SessionBus.h"
#include "platform/StopGuard.h"
#include "platform/X11Threads.h"

int main(int argc, char* argv[]) {
    // Help needs no display: answer it before the user interface starts.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--") == 0) break;
    }

    // Before any thread: without a session bus, none is looked for from a thread later.
    platform::SettleSessionBus();
    // Before any thread: the stop guard is forked from a process of one thread. It stops the
    // device should the player end without doing so itself, and leaves with the player.
    const auto guard = platform::StopGuard::Start();
    platform::StopGuard::Install(guard.get());
    if (guard) guard->WatchFatalSignals();
    // A closed standard output or error (the reader of a pipe gone) must fail the write, not
    // end the player with the device running.
    std::signal(SIGPIPE, SIG_IGN);

    // libvlc draws into our X window from its own threads.
    platform::InitX11Threads();
    // The video is embedded through an X11 window id; under Wayland XWayland serves it.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "xcb", 0);

    KestruneApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune"));
    // Before any window: texts are translated as the widgets are made.
    InstallSessionLanguage();

    std::vector<std::string> arguments;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        arguments.push_back(argument.toStdString());
    }
    // What escapes the event loop's edge (the start, before the loop runs) ends the run in
    // order: the window is gone, and its device link stopped the device as it went.
    try {
        CKestruneApp app;
        return app.InitInstance(arguments);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Kestrune: %s\n", e.what());
    } catch (...) {
        std::fputs("Kestrune: unknown exception\n", stderr);
    }
    return 70;  // EX_SOFTWARE
}
