#pragma once

// A horizontal slider drawn from bitmaps: a channel and a thumb, each with a normal and an
// optional active picture (the active channel shows the played part left of the thumb, the
// active thumb shows while it is dragged). A chosen colour is keyed out of the pictures, so
// the slider sits on the translucent control bar with no background of its own. It reports
// to its parent window with UWM_SLIDER_MOVING while dragged and UWM_SLIDER_MOVED when let go
// or moved by a key, wParam the control id and lParam the position. While the user drags the
// thumb it stays under the pointer: positions set from outside (the playback position, say)
// are not shown until the release. Owned by its parent.

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "widgets/SliderGeometry.h"

class CBitmapSlider final : public QWidget {
    Q_OBJECT

public:
    // Passed as the colour to key out the colour of the picture's pixel (pixelX, pixelY).
    static constexpr uint32_t kColourFromPixel = 0xFF000000;
    // Resource folder of the bitmaps named by id: "<root>/<id>.bmp".
    static constexpr const char* kBitmapRoot = ":/res/bmp";

    CBitmapSlider(int controlId, QWidget* parent);

    [[nodiscard]] int ControlId() const { return controlId_; }

    // Loads the channel from bitmap `id` and, unless activeId is 0, its active picture. With
    // `transparent`, `colour` (0x00BBGGRR, or kColourFromPixel) is keyed out. The slider
    // takes the channel's size. id 0 unloads the channel. False when a bitmap cannot be read.
    bool LoadChannelBitmaps(int id, int activeId = 0, bool transparent = false,
                            uint32_t colour = kColourFromPixel, int pixelX = 0, int pixelY = 0);
    // The same for the thumb; the slider keeps its size.
    bool LoadThumbBitmaps(int id, int activeId = 0, bool transparent = false,
                          uint32_t colour = kColourFromPixel, int pixelX = 0, int pixelY = 0);
    // As above from image files; an empty path stands for id 0.
    bool LoadChannelFiles(const QString& path, const QString& activePath, bool transparent,
                          uint32_t colour, int pixelX, int pixelY);
    bool LoadThumbFiles(const QString& path, const QString& activePath, bool transparent,
                        uint32_t colour, int pixelX, int pixelY);

    // The range is stored as given; the position is not brought into it.
    void SetRange(int min, int max, bool redraw = false);
    void SetRangeMin(int min, bool redraw = false);
    void SetRangeMax(int max, bool redraw = false);
    [[nodiscard]] int GetRangeMin() const { return rangeMin_; }
    [[nodiscard]] int GetRangeMax() const { return rangeMax_; }

    // Moves the thumb without telling the parent; the position is kept within the range.
    // Ignored while the thumb is dragged, so that it stays under the pointer.
    void SetPosition(int position);
    [[nodiscard]] int GetPosition() const { return position_; }
    // The step of Page Up and Page Down; returns the previous one.
    int SetPageSize(int size);

    // Space between the channel's edges and the thumb's travel (left, right) or top (top).
    void SetMargins(int left, int top, int right, int bottom);
    void SetMarginLeft(int margin);
    void SetMarginTop(int margin);
    void SetMarginRight(int margin);
    void SetMarginBottom(int margin);

    void SetFocusRectEnabled(bool enabled, bool redraw = false);
    // A disabled slider shows only its normal channel and ignores the mouse and keys.
    void Enable(bool enabled);
    [[nodiscard]] bool IsSliderEnabled() const { return enabled_; }
    [[nodiscard]] bool IsDragging() const { return dragging_; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    // One bitmap part: its normal picture and its active one, both already keyed out.
    struct Part {
        QPixmap normal;
        QPixmap active;
        int width = 0;
        int height = 0;
        bool hasActive = false;
        bool transparent = false;
        bool loaded = false;
    };

    static bool LoadPart(Part& part, const QString& path, const QString& activePath,
                         bool transparent, uint32_t colour, int pixelX, int pixelY);
    static QString BitmapPath(int id);
    [[nodiscard]] SliderGeometry Geometry() const;
    void MoveThumb(int position);
    void EndDrag();
    void DragTo(int x);
    void PostToParent(unsigned message);

    const int controlId_;
    Part channel_;
    Part thumb_;
    int rangeMax_ = 100;
    int rangeMin_ = 0;
    int position_ = 0;
    int pageSize_ = 20;
    int marginLeft_ = 0;
    int marginTop_ = 0;
    int marginRight_ = 0;
    int marginBottom_ = 0;
    bool dragging_ = false;
    bool focused_ = false;
    bool focusRectEnabled_ = true;
    bool enabled_ = true;
};
