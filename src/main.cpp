#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/KestruneApp.h"
#include "app/Translation.h"
#include "configuration/CommandLine.h"
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

    // libvlc draws into our X window from its own threads.
    platform::InitX11Threads();
    // The video is embedded through an X11 window id; under Wayland XWayland serves it.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "xcb", 0);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune"));
    // Before any window: texts are translated as the widgets are made.
    InstallSessionLanguage();

    std::vector<std::string> arguments;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        arguments.push_back(argument.toStdString());
    }
    CKestruneApp app;
    return app.InitInstance(arguments);
}
