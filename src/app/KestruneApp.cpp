#include "app/KestruneApp.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <memory>

#include "app/KestruneDlg.h"
#include "app/QtMessageBoxes.h"
#include "platform/Paths.h"
#include "platform/TerminationSignals.h"

bool CKestruneApp::InitInstance() {
    const std::string folder = platform::GetModuleDirectory();
    [[maybe_unused]] const int changed = ::chdir(folder.c_str());

    QtMessageBoxes boxes;
    CKestruneDlg dlg(boxes);

    std::unique_ptr<QSocketNotifier> notifier;
    if (const int signalFd = platform::InstallTerminationSignals(); signalFd >= 0) {
        notifier = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &dlg, [&dlg, signalFd] {
            unsigned char drained[16];
            while (::read(signalFd, drained, sizeof drained) > 0) {
            }
            dlg.close();
        });
    }

    dlg.exec();
    return false;
}
