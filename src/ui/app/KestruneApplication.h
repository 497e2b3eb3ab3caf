#pragma once

// The application object: a QApplication whose event loop lets no exception through. Handlers
// report failures as values; an exception that escapes one all the same (memory running out,
// a fault of ours) would end the process with the device still turning. Caught at the event
// loop's edge, it goes to the failure handler, which the main window sets to stop the device
// first and then tell the user; the player goes on. Created by main() before any window.

#include <QApplication>
#include <functional>

class KestruneApplication final : public QApplication {
    Q_OBJECT

public:
    KestruneApplication(int& argc, char** argv);

    // Called on the user-interface thread for every exception caught at the event loop's
    // edge, with its description. Empty: the exception is dropped after a line on stderr.
    using FailureHandler = std::function<void(const char* what)>;
    void SetFailureHandler(FailureHandler handler) { onFailure_ = std::move(handler); }

    // The running application, if it is a KestruneApplication.
    [[nodiscard]] static KestruneApplication* Instance();

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void Fail(const char* what);

    FailureHandler onFailure_;
};
