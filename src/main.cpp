#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/KestruneApp.h"
#include "platform/X11Threads.h"

int main(int argc, char* argv[]) {
    // libvlc draws into our X window from its own threads.
    platform::InitX11Threads();
    // The video is embedded through an X11 window id; under Wayland XWayland serves it.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "xcb", 0);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune"));

    std::vector<std::string> arguments;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        arguments.push_back(argument.toStdString());
    }
    CKestruneApp app;
    return app.InitInstance(arguments);
}
