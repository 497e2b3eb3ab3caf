#pragma once

// The dialogs of the bar's open buttons: a video file, a play file, a DVD drive, folder or
// image. Each is modal over `parent` and gives what the user chose, or nothing when the user
// cancelled.

#include <QString>
#include <optional>
#include <string>

class QWidget;

[[nodiscard]] std::optional<QString> AskForVideoFile(QWidget* parent);
[[nodiscard]] std::optional<QString> AskForPlayFile(QWidget* parent);
// The drive's device, or the DVD folder or image (a path).
[[nodiscard]] std::optional<std::string> AskForDvd(QWidget* parent);
