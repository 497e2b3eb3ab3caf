#pragma once

// How the core shows a modal message box (a text, a caption, an OK button) without knowing
// the user interface. The application supplies the implementation; tests record the calls.

#include <string>

namespace platform {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // May be called from any thread. On the user-interface thread the box is modal and the
    // call returns when it is dismissed; from another thread the box is handed to the
    // user-interface thread and the call returns at once.
    virtual void Show(const std::string& text, const std::string& caption) = 0;
    // The box is shown later, from the user-interface thread's event loop; the call never
    // waits, whatever thread makes it. For reports made where a modal box would hold up what
    // must not wait: a log line written while the device is being stopped, or from inside
    // libvlc's event callback, which may hold libvlc's locks.
    virtual void Post(const std::string& text, const std::string& caption) = 0;
};

}  // namespace platform
