#pragma once

// A short text over the video (the user's offset as it changes): a small frameless window
// owned by the main window, white on translucent black, that takes neither focus nor clicks
// and hides itself after a while. A new text replaces the one shown and starts the time again.

#include <QString>
#include <QTimer>
#include <QWidget>

class OverlayText final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kShownMs = 2000;
    // Space between the text's box and the video area's top left corner.
    static constexpr int kMargin = 12;

    explicit OverlayText(QWidget* mainWindow);

    // Shows `text` near the top left of `area` (screen coordinates) for `shownMs`.
    void ShowText(const QString& text, const QRect& area, int shownMs = kShownMs);
    // Moves a shown text along with the video area.
    void FollowArea(const QRect& area);
    [[nodiscard]] QString Text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString text_;
    QTimer hideTimer_;
};
