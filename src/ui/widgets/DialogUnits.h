#pragma once

// Window layouts are given in dialog units: a quarter of the dialog font's average character
// width horizontally and an eighth of its height vertically. These helpers turn them into
// pixels for a given font.

#include <QFont>
#include <QRect>
#include <QSize>

// The font that stands in for the dialogs' fonts (a Japanese Gothic face).
[[nodiscard]] QFont DialogFont(int pointSize);

struct DialogBaseUnits {
    int x = 0;  // average character width, pixels
    int y = 0;  // character height, pixels
};

[[nodiscard]] DialogBaseUnits BaseUnitsOf(const QFont& font);
[[nodiscard]] QSize DialogUnitsToPixels(const DialogBaseUnits& units, QSize du);
[[nodiscard]] QRect DialogUnitsToPixels(const DialogBaseUnits& units, QRect du);
