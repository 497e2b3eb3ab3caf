#pragma once

// A short text over the video (the user's offset as it changes, the recording mark): a small
// frameless window owned by the main window, in its colour on translucent black, that takes
// neither focus nor clicks and hides itself after a while, or stays until hidden. A new text
// replaces the one shown and starts the time again.

#include <QColor>
#include <QString>
#include <QTimer>
#include <QWidget>

class OverlayText final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kShownMs = 2000;
    // Space between the text's box and the video area's top left corner.
    static constexpr int kMargin = 12;

    // `corner`: Qt::AlignLeft or Qt::AlignRight, the top corner of the video it keeps to.
    explicit OverlayText(QWidget* mainWindow, Qt::Alignment corner = Qt::AlignLeft,
                         QColor colour = Qt::white);

    // Shows `text` near the top corner of `area` (screen coordinates) for `shownMs`; 0: until
    // hidden.
    void ShowText(const QString& text, const QRect& area, int shownMs = kShownMs);
    // Moves a shown text along with the video area.
    void FollowArea(const QRect& area);
    [[nodiscard]] QString Text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    Qt::Alignment corner_;
    QColor colour_;
    QString text_;
    QTimer hideTimer_;
};
