#include "app/KestruneApp.h"

#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/KestruneDlg.h"
#include "configuration/CommandLine.h"
#include "configuration/IniLocation.h"
#include "platform/Paths.h"
#include "platform/TerminationSignals.h"
#include "player/VlcPlayer.h"
#include "widgets/QtMessageBoxes.h"

namespace {

// Relative paths on the command line are the user's, taken before the working directory
// changes to the executable's folder.
std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/' || path.find("://") != std::string::npos) return path;
    return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

}  // namespace

int CKestruneApp::InitInstance(const std::vector<std::string>& arguments) {
    const CommandLine line = ParseCommandLine(arguments);
    if (!line.error.empty() || line.help) {
        if (!line.error.empty()) std::fprintf(stderr, "Kestrune: %s\n", line.error.c_str());
        std::fputs(kUsage, line.help ? stdout : stderr);
        return line.help ? 0 : 2;
    }
    const std::string video = Absolute(line.video);
    const bool dvd = !video.empty() && IsDvdSource(video);
    std::string playFile = Absolute(line.playFile);
    if (playFile.empty() && !video.empty() && !dvd) {
        playFile = CompanionPlayFile(video).value_or("");
    }

    // The settings are found before the window reads them (its debug window's level among
    // them). libvlc also loads the plug-ins in a "plugins" folder next to the executable.
    configuration::SelectIniFile();
    const std::string folder = platform::GetModuleDirectory();
    [[maybe_unused]] const int changed = ::chdir(folder.c_str());
    if (!folder.empty()) VlcPlayer::UsePluginFolder(folder + "plugins");

    // A log file that may grow no further (a file-size limit) must fail the write, which the
    // operation log reports, rather than end the player and leave the device running.
    std::signal(SIGXFSZ, SIG_IGN);

    QtMessageBoxes boxes;
    CKestruneDlg dlg(boxes);
    // A DVD starts at once, as from its dialog; a video waits for --play.
    if (dvd) {
        dlg.OpenDvd(video);
    } else if (!video.empty()) {
        dlg.OpenVideoFile(QString::fromStdString(video));
    }
    if (!playFile.empty()) dlg.OpenPlayFile(QString::fromStdString(playFile));
    // As clicks on the bar's buttons would, once the event loop runs: the buttons show the
    // states.
    PlaybackSession& session = dlg.Session();
    const auto later = [&dlg](auto command) {
        QMetaObject::invokeMethod(&dlg, command, Qt::QueuedConnection);
    };
    if (line.repeat) later([&session] { session.ToggleRepeat(); });
    if (line.play) later([&session] { session.Play(); });
    if (line.fullScreen) later([&dlg] { dlg.ToggleFullScreen(); });

    // The run ends with the main window. The window is shown modeless: a window manager keeps
    // a modal window without an owner above every other window of the application, and so
    // above the overlay panels, which would then sit behind the video.
    QObject::connect(&dlg, &QDialog::finished, qApp, [] { QCoreApplication::exit(0); });

    std::unique_ptr<QSocketNotifier> notifier;
    if (const int signalFd = platform::InstallTerminationSignals(); signalFd >= 0) {
        notifier = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &dlg, [&dlg, signalFd] {
            unsigned char drained[16];
            while (::read(signalFd, drained, sizeof drained) > 0) {
            }
            // A box or dialog may be open with an event loop of its own. The close steps run
            // once, then every running event loop is told to end; a box opened after this
            // returns at once, so nothing keeps the process alive.
            if (dlg.isVisible()) dlg.close();
            QCoreApplication::exit(0);
        });
    }

    dlg.show();
    QApplication::exec();
    return 0;
}
