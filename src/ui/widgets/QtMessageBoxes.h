#pragma once

// Message boxes with an OK button and no icon, always on the user-interface thread: a box
// asked for on another thread, or posted, is queued to that thread and the caller does not
// wait. Texts are plain text, never markup.
//
// Text and caption are source texts (Japanese) of the translation context kContext, where
// the core marks its own with KESTRUNE_TRANSLATE_NOOP and the interface with
// QT_TRANSLATE_NOOP; the box shows their translations. A text with none (one built from parts
// and translated already, or a name) is shown as it is.

#include "platform/MessageBoxes.h"

class QtMessageBoxes final : public platform::MessageBoxes {
public:
    static constexpr const char* kContext = "MessageBoxes";

    void Show(const std::string& text, const std::string& caption) override;
    void Post(const std::string& text, const std::string& caption) override;
};
