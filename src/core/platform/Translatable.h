#pragma once

// Marks a text of the core that the user interface shows translated: the core has no Qt, so
// its message-box texts are handed over in the source language (Japanese) and the interface
// looks them up in `context` ("MessageBoxes" for everything given to platform::MessageBoxes).
// The mark changes nothing in the program; lupdate collects the marked texts
// (-tr-function-alias QT_TRANSLATE_NOOP+=KESTRUNE_TRANSLATE_NOOP).

#define KESTRUNE_TRANSLATE_NOOP(context, text) text
