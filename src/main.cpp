#include <QApplication>
#include <cstdlib>

#include "app/KestruneApp.h"
#include "platform/X11Threads.h"

int main(int argc, char* argv[]) {
    // libvlc draws into our X window from its own threads.
    platform::InitX11Threads();
    // The video is embedded through an X11 window id; under Wayland XWayland serves it.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "xcb", 0);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune"));

    CKestruneApp app;
    app.InitInstance();
    return 0;
}
