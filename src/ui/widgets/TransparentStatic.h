#pragma once

// A text label that draws only its glyphs, never a background, so that it can sit on a panel
// whose background is see-through. When its text changes, the parent repaints the area under
// it at once, so no trace of the old text stays. The text colour comes from the panel. The
// text is plain text, never markup.
// Owned by its parent widget.

#include <QLabel>

class CTransparentStatic final : public QLabel {
    Q_OBJECT

public:
    CTransparentStatic(const QString& text, QWidget* parent);

    // Sets the text and repaints the parent's area under the label, even when the text is the
    // same as before.
    void SetWindowText(const QString& text);
};
