#pragma once

// An image push button of the control bar. Its picture is one frame of a vertical strip of
// five frames (normal, hover, pressed, disabled, focused), and an optional second strip
// stands for the toggled state (mute, repeat). Frames with alpha are blended in software over
// a snapshot of what the parent paints beneath the button, which keeps the edges right on
// the bar's translucent window. The snapshot is taken at the first paint, and again after the
// button moves or is resized, or after ResetBackground, which the parent calls when it changes
// what it paints beneath. Besides the click (the ordinary clicked() signal), it tells when the
// left mouse button goes down on it and comes up again (HeldDown, LetGo), for the buttons
// that act while held. Owned by its parent widget.

#include <QAbstractButton>
#include <QImage>
#include <QSize>
#include <QString>

// The strip frame a button shows for its state.
[[nodiscard]] int ChooseFrame(bool disabled, bool pressed, bool hovering, bool focused);

// The Qt resource path of strip `id` of the given image type, e.g. ":/res/png/136.png".
[[nodiscard]] QString StripResourcePath(int id, const char* type);

class CAlphaButton final : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int kFrameCount = 5;

    CAlphaButton(int controlId, QWidget* parent);

    [[nodiscard]] int ControlId() const { return controlId_; }

    // Each load returns false and changes nothing when the image cannot be read or is too
    // short to hold five frames. A successful load sizes the button to the strip's frame
    // and raises it above its siblings.
    bool LoadStripResource(int id, const char* type = "png");
    bool LoadToggleStripResource(int id, const char* type = "png");
    bool LoadStripFile(const QString& path);
    bool LoadToggleStripFile(const QString& path);

    // 0 shows the main strip, anything else the toggle strip.
    void SetToggle(int on);
    [[nodiscard]] int GetToggle() const { return toggle_; }
    [[nodiscard]] QSize GetFrameSize() const { return frameSize_; }
    void MoveTo(int x, int y);
    // Makes the next paint take a new snapshot of the parent (after it changed beneath).
    void ResetBackground();
    // An empty text leaves the current tooltip as it is.
    void SetTooltipText(const QString& text);
    void ActivateTooltip(bool on) { tooltipActive_ = on; }

    [[nodiscard]] int CurrentFrame() const;

signals:
    // The left mouse button went down on the button, and came up again (anywhere: the press
    // grabbed the mouse).
    void HeldDown();
    void LetGo();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool LoadStrip(const QString& path, QImage& strip);
    void TakeSnapshot();
    [[nodiscard]] const QImage& ComposedFrame(const QImage& strip, int frame);
    void DrawLabel(QPainter& painter);

    const int controlId_;
    QImage strip_;
    QImage toggleStrip_;
    QSize frameSize_;
    int toggle_ = 0;
    bool hovering_ = false;
    bool focused_ = false;
    bool tooltipActive_ = true;

    // What the parent and the siblings beneath paint under the button, kept until the button
    // moves or is resized, or ResetBackground.
    QImage snapshot_;
    // The last blended frame and which strip and frame it shows (-1: none).
    QImage composed_;
    int composedKey_ = -1;
};
