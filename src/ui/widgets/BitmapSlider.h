#pragma once

// A horizontal slider drawn from bitmaps: a channel and a thumb, each with a normal and an
// optional active picture (the active channel shows the played part left of the thumb, the
// active thumb shows while it is dragged). A chosen colour is keyed out of the pictures, so
// the slider sits on the translucent control bar with no background of its own. It tells its
// position with Moving while dragged and Moved when let go or moved by a key. While the user
// drags the
// thumb it stays under the pointer: positions set from outside (the playback position, say)
// are not shown until the release. Owned by its parent.
//
// It can also paint a heat strip (the play file's intensity along the video) into the
// channel, keeping the picture's outline and ends. For the bar's 280 x 20 seek channel and
// 14-pixel thumb:
//
//   rows 7, 12, columns 1, 278   the outline and ends, from the normal or active picture
//   rows 8-11                    heat columns spread over x 7-273, the thumb centre's travel,
//                                so the thumb sits on the heat of its moment; x 2-6 and
//                                274-277 repeat the end columns. Full colour left of the
//                                thumb's centre (played), dimmed right of it
//   rows 14-15                   a white tick under each column where the direction changes

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "widgets/HeatColours.h"
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

    // The heat strip, ideally HeatWidth() columns, one per pixel of the thumb's travel (other
    // counts are stretched over it); empty removes it. Painting uses pictures built from it
    // once, rebuilt only when the heat, the pictures, the margins or the pixel ratio change.
    void SetHeat(std::vector<HeatColumn> heat);
    void ClearHeat() { SetHeat({}); }
    [[nodiscard]] bool HasHeat() const { return !heat_.empty(); }
    [[nodiscard]] const std::vector<HeatColumn>& Heat() const { return heat_; }
    // The pixels the thumb's centre travels from the range's start to its end.
    [[nodiscard]] int HeatWidth() const;
    // How many times the heat pictures have been built.
    [[nodiscard]] int HeatBuilds() const { return heatBuilds_; }

signals:
    // HeatWidth() changed with the channel, the thumb or the margins.
    void HeatWidthChanged(int width);
    // The user drags the thumb to `position`; let it go there, or moved it there by a key.
    void Moving(int position);
    void Moved(int position);

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

    void NoteHeatWidth();
    void UpdateHeatPictures();

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

    // What the heat pictures were built for.
    struct HeatKey {
        int channelWidth = 0;
        int channelHeight = 0;
        int thumbWidth = 0;
        int marginLeft = 0;
        int marginRight = 0;
        qreal pixelRatio = 0;
        qint64 normal = 0;  // the pictures' cache keys
        qint64 active = 0;
        bool operator==(const HeatKey&) const = default;
    };
    std::vector<HeatColumn> heat_;
    QPixmap heatNormal_;  // the normal and active channel with the heat painted in
    QPixmap heatActive_;
    HeatKey heatKey_;
    bool heatStale_ = true;
    int heatBuilds_ = 0;
    int heatWidth_ = 0;  // as last announced
};
