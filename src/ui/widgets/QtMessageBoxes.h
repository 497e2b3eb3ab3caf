#pragma once

// Message boxes with an OK button and no icon, always on the user-interface thread: a box
// asked for on another thread is queued to that thread and the caller does not wait.

#include "platform/MessageBoxes.h"

class QtMessageBoxes final : public platform::MessageBoxes {
public:
    void Show(const std::string& text, const std::string& caption) override;
};
