#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "widgets/BitmapSlider.h"

namespace {

using testing_support::TempDir;

struct Message {
    unsigned message;
    uintptr_t id;
    intptr_t position;
    bool operator==(const Message&) const = default;
};

void PrintTo(const Message& m, std::ostream* os) {
    *os << std::hex << "{0x" << m.message << std::dec << ", " << m.id << ", " << m.position << "}";
}

// What the slider tells, in order.
class SignalRecorder : public QObject {
public:
    explicit SignalRecorder(CBitmapSlider* slider) {
        const auto id = static_cast<uintptr_t>(slider->ControlId());
        connect(slider, &CBitmapSlider::Moving, this, [this, id](int position) {
            received_.push_back({kMoving, id, position});
        });
        connect(slider, &CBitmapSlider::Moved, this, [this, id](int position) {
            received_.push_back({kMoved, id, position});
        });
    }
    static constexpr unsigned kMoving = 1;
    static constexpr unsigned kMoved = 2;
    // Hands over what it received since the last call.
    std::vector<Message> Take() { return std::exchange(received_, {}); }

private:
    std::vector<Message> received_;
};

const QColor kBar(0, 0, 255);
const QColor kChannel(0, 160, 0);
const QColor kActiveChannel(200, 0, 0);
const QColor kThumb(230, 230, 0);
const QColor kActiveThumb(200, 0, 200);
constexpr int kId = 1234;

// Writes a 24-bit bitmap whose pixel (x, y) is colourAt(x, y).
QString WriteBmp(const TempDir& dir, const std::string& name, int width, int height,
                 const std::function<QColor(int, int)>& colourAt) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.setPixelColor(x, y, colourAt(x, y));
    }
    const QString path = QString::fromStdString(dir / name);
    EXPECT_TRUE(image.save(path, "BMP"));
    return path;
}

// A 280 x 10 seek slider on a solid blue bar. Channel and thumb have white rows 0 and 1 (keyed
// out) over a coloured body.
class BitmapSliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        QPalette palette = bar.palette();
        palette.setColor(QPalette::Window, kBar);
        bar.setPalette(palette);
        bar.setAutoFillBackground(true);
        bar.resize(300, 30);
        slider->move(10, 10);
        bar.show();
    }

    QString Part(const std::string& name, int width, QColor body) const {
        return WriteBmp(dir, name, width, 10,
                        [body](int, int y) { return y < 2 ? QColor(Qt::white) : body; });
    }

    void LoadSeekBitmaps() {
        ASSERT_TRUE(slider->LoadChannelFiles(Part("channel.bmp", 280, kChannel),
                                             Part("channel-active.bmp", 280, kActiveChannel), true,
                                             0x00FFFFFF, 0, 0));
        ASSERT_TRUE(slider->LoadThumbFiles(Part("thumb.bmp", 14, kThumb),
                                           Part("thumb-active.bmp", 14, kActiveThumb), true,
                                           CBitmapSlider::kColourFromPixel, 0, 0));
    }

    // The colour shown at (x, y) of the slider, with the bar under it.
    QString ShownAt(int x, int y) { return ColourAt(x, y).name(); }
    QColor ColourAt(int x, int y) {
        return bar.grab(slider->geometry()).toImage().pixelColor(x, y);
    }

    void Mouse(QEvent::Type type, int x, Qt::MouseButton button = Qt::LeftButton) {
        const QPointF local(x, 5);
        const bool move = type == QEvent::MouseMove;
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent e(type, local, slider->mapToGlobal(local), move ? Qt::NoButton : button, held,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(slider, &e);
    }
    void Press(int x) { Mouse(QEvent::MouseButtonPress, x); }
    void Move(int x) { Mouse(QEvent::MouseMove, x); }
    void Release(int x) { Mouse(QEvent::MouseButtonRelease, x); }

    static Message Moving(int position) { return {SignalRecorder::kMoving, kId, position}; }
    static Message Moved(int position) { return {SignalRecorder::kMoved, kId, position}; }

    TempDir dir;
    QWidget bar;
    CBitmapSlider* slider = new CBitmapSlider(kId, &bar);
    SignalRecorder recorder{slider};
};

TEST_F(BitmapSliderTest, LoadingReportsFailureAndSizesTheSlider) {
    const QString channel = Part("channel.bmp", 280, kChannel);
    const QString missing = QString::fromStdString(dir / "missing.bmp");
    EXPECT_FALSE(slider->LoadChannelFiles(missing, {}, true, 0x00FFFFFF, 0, 0));
    EXPECT_FALSE(slider->LoadChannelFiles(channel, missing, true, 0x00FFFFFF, 0, 0));
    EXPECT_FALSE(slider->LoadChannelBitmaps(999999));
    EXPECT_TRUE(slider->LoadChannelBitmaps(0));

    ASSERT_TRUE(slider->LoadChannelFiles(channel, {}, false, 0, 0, 0));
    EXPECT_EQ(slider->maximumSize(), QSize(280, 10));
    ASSERT_TRUE(slider->LoadThumbFiles(Part("wide-thumb.bmp", 30, kThumb), {}, false, 0, 0, 0));
    EXPECT_EQ(slider->size(), QSize(280, 10));
}

TEST_F(BitmapSliderTest, WithoutAChannelTheThumbTravelsTheSlidersWidth) {
    slider->setFixedSize(107, 10);
    ASSERT_TRUE(slider->LoadThumbFiles(Part("thumb.bmp", 14, kThumb), {}, false, 0, 0, 0));
    Press(50);  // (50 - 7) / 93 of the range
    EXPECT_EQ(slider->GetPosition(), 46);
    Move(1000);
    EXPECT_EQ(slider->GetPosition(), 100);
}

TEST_F(BitmapSliderTest, SetPositionKeepsWithinTheRangeMinimumLast) {
    struct Case {
        int min;
        int max;
        int set;
        int expected;
    } cases[] = {{0, 100, 150, 100}, {0, 100, -5, 0}, {60, 40, 50, 60}, {60, 40, 100, 60}};
    for (const auto& c : cases) {
        slider->SetRange(c.min, c.max);
        slider->SetPosition(c.set);
        EXPECT_EQ(slider->GetPosition(), c.expected) << c.min << ".." << c.max << " " << c.set;
    }
    slider->SetRange(0, 100);
    slider->SetPosition(80);
    slider->SetRange(0, 50);
    EXPECT_EQ(slider->GetPosition(), 80);  // a new range does not move the thumb
    EXPECT_TRUE(recorder.Take().empty());
}

TEST_F(BitmapSliderTest, DraggingPastEitherEndStopsAtTheRangeEnds) {
    LoadSeekBitmaps();
    struct Case {
        int marginLeft;
        int marginRight;
    } cases[] = {{0, 0}, {5, 11}};
    for (const auto& c : cases) {
        slider->SetMargins(c.marginLeft, 0, c.marginRight, 0);
        slider->SetPosition(50);
        Press(ThumbCentre({280, 14, 0, 100, c.marginLeft, c.marginRight}, 50));
        Move(-50);
        EXPECT_EQ(slider->GetPosition(), 0);
        Move(-80);  // the thumb is held at the start: nothing new to tell
        Move(500);
        EXPECT_EQ(slider->GetPosition(), 100);
        Move(600);
        Release(600);
        EXPECT_EQ(recorder.Take(), (std::vector{Moving(0), Moving(100), Moved(100)}))
            << "margins " << c.marginLeft << ", " << c.marginRight;
    }
}

TEST_F(BitmapSliderTest, EveryPixelMovedIsReportedEvenWithinOnePosition) {
    LoadSeekBitmaps();
    slider->SetPosition(50);
    Press(140);  // on the thumb's centre: nothing moves
    EXPECT_TRUE(recorder.Take().empty());
    Move(141);
    EXPECT_EQ(slider->GetPosition(), 50);
    Move(141);
    EXPECT_EQ(recorder.Take(), (std::vector{Moving(50), Moving(50)}));
}

TEST_F(BitmapSliderTest, PressAwayFromTheThumbJumpsThereAndReleaseReportsTheEnd) {
    LoadSeekBitmaps();
    Press(141);
    EXPECT_EQ(slider->GetPosition(), 50);
    Release(141);
    EXPECT_EQ(recorder.Take(), (std::vector{Moving(50), Moved(50)}));
}

// The playback position is set from outside every few hundred milliseconds; while the user
// holds the thumb it stays under the pointer and only the drag moves it. The release hands it
// back to the positions set from outside.
TEST_F(BitmapSliderTest, AHeldThumbStaysUnderThePointerWhilePositionsAreSetFromOutside) {
    LoadSeekBitmaps();
    const SliderGeometry g{280, 14, 0, 100, 0, 0};
    slider->SetPosition(20);
    Press(ThumbCentre(g, 20));
    Move(141);
    ASSERT_EQ(slider->GetPosition(), 50);
    for (const int playing : {21, 22, 35, 70, 100, 0}) {
        slider->SetPosition(playing);
        EXPECT_EQ(slider->GetPosition(), 50) << "set to " << playing;
        EXPECT_EQ(ShownAt(140, 5), kActiveThumb.name()) << "set to " << playing;
        EXPECT_EQ(ShownAt(ThumbCentre(g, playing), 5),
                  playing < 50 ? kActiveChannel.name() : kChannel.name())
            << "set to " << playing;
    }
    Move(169);
    EXPECT_EQ(slider->GetPosition(), 60);
    EXPECT_EQ(ShownAt(168, 5), kActiveThumb.name());
    Release(169);
    EXPECT_EQ(recorder.Take(), (std::vector{Moving(50), Moving(60), Moved(60)}));
    EXPECT_EQ(slider->GetPosition(), 60);  // until the next position from outside
    slider->SetPosition(61);
    EXPECT_EQ(slider->GetPosition(), 61);
    EXPECT_EQ(ShownAt(ThumbCentre(g, 61), 5), kThumb.name());
}

// A drag whose release never comes must not keep the thumb from the positions set from outside.
TEST_F(BitmapSliderTest, ADragEndedWithoutAReleaseShowsPositionsFromOutsideAgain) {
    LoadSeekBitmaps();
    const std::pair<const char*, std::function<void()>> endings[] = {
        {"disabled", [&] { slider->Enable(false); }},
        {"hidden", [&] { slider->hide(); }},
    };
    for (const auto& [name, end] : endings) {
        slider->Enable(true);
        slider->show();
        slider->SetPosition(10);
        Press(141);
        end();
        slider->SetPosition(30);
        EXPECT_EQ(slider->GetPosition(), 30) << name;
        EXPECT_FALSE(slider->IsDragging()) << name;
    }
}

TEST_F(BitmapSliderTest, DisabledSliderIgnoresMouseAndKeysAndDisablingEndsADrag) {
    LoadSeekBitmaps();
    Press(141);
    slider->Enable(false);
    EXPECT_FALSE(slider->IsDragging());
    Move(200);
    Release(200);
    Press(250);
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(slider->GetPosition(), 50);
    EXPECT_EQ(recorder.Take(), (std::vector{Moving(50)}));

    slider->Enable(true);
    Move(200);  // the drag ended with the disabling
    EXPECT_TRUE(recorder.Take().empty());
}

TEST_F(BitmapSliderTest, KeysMoveThePositionAndReportIt) {
    struct Case {
        Qt::Key key;
        int min;
        int max;
        int start;
        int page;
        int expected;
    } cases[] = {
        {Qt::Key_PageDown, 0, 100, 90, 20, 100}, {Qt::Key_PageDown, 0, 100, 10, 25, 35},
        {Qt::Key_PageUp, 0, 100, 50, 20, 30},    {Qt::Key_PageUp, 0, 100, 10, 20, 0},
        {Qt::Key_Left, 0, 100, 0, 20, 0},        {Qt::Key_Up, 0, 100, 7, 20, 6},
        {Qt::Key_Right, 0, 100, 50, 20, 51},     {Qt::Key_Down, 0, 100, 100, 20, 100},
        {Qt::Key_Home, 10, 90, 37, 20, 10},      {Qt::Key_End, 10, 90, 37, 20, 90},
    };
    for (const auto& c : cases) {
        slider->SetRange(c.min, c.max);
        slider->SetPosition(c.start);
        slider->SetPageSize(c.page);
        QTest::keyClick(slider, c.key);
        EXPECT_EQ(slider->GetPosition(), c.expected) << c.key << " from " << c.start;
        EXPECT_EQ(recorder.Take(), std::vector{Moved(c.expected)}) << c.key << " from " << c.start;
    }

    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(slider, &other);
    EXPECT_FALSE(other.isAccepted());  // left to the windows above
    EXPECT_TRUE(recorder.Take().empty());
}

TEST_F(BitmapSliderTest, KeepsItsKeysFromShortcutsButNotTab) {
    struct Case {
        Qt::Key key;
        bool enabled;
        bool kept;
    } cases[] = {{Qt::Key_Left, true, true},   {Qt::Key_PageDown, true, true},
                 {Qt::Key_Tab, true, false},   {Qt::Key_Backtab, true, false},
                 {Qt::Key_Space, true, false}, {Qt::Key_Left, false, false}};
    for (const auto& c : cases) {
        slider->Enable(c.enabled);
        QKeyEvent e(QEvent::ShortcutOverride, c.key, Qt::NoModifier);
        e.ignore();
        QCoreApplication::sendEvent(slider, &e);
        EXPECT_EQ(e.isAccepted(), c.kept) << c.key << (c.enabled ? "" : " disabled");
    }
}

TEST_F(BitmapSliderTest, KeyedColourShowsTheBarUnderneath) {
    // Columns 0-3 white, 4-7 red, 8-11 green.
    const QString picture = WriteBmp(dir, "columns.bmp", 12, 4, [](int x, int) {
        return x < 4 ? QColor(Qt::white) : x < 8 ? QColor(255, 0, 0) : QColor(0, 128, 0);
    });
    const QString under = kBar.name(), white = "#ffffff", red = "#ff0000", green = "#008000";
    struct Case {
        const char* name;
        bool transparent;
        uint32_t colour;
        int pixelX;
        QString shown[3];
    } cases[] = {
        {"not transparent", false, 0x00FFFFFF, 0, {white, red, green}},
        {"white", true, 0x00FFFFFF, 0, {under, red, green}},
        {"red as 0x00BBGGRR", true, 0x000000FF, 0, {white, under, green}},
        {"colour of pixel (5, 0)", true, CBitmapSlider::kColourFromPixel, 5, {white, under, green}},
        {"colour of pixel (9, 0)", true, CBitmapSlider::kColourFromPixel, 9, {white, red, under}},
        {"pixel outside", true, CBitmapSlider::kColourFromPixel, 40, {white, red, green}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(slider->LoadChannelFiles(picture, {}, c.transparent, c.colour, c.pixelX, 0));
        for (int column = 0; column < 3; ++column) {
            EXPECT_EQ(ShownAt(column * 4 + 1, 2), c.shown[column]) << c.name << " " << column;
        }
    }
}

TEST_F(BitmapSliderTest, PaintsPlayedPartActiveAndThumbOverIt) {
    LoadSeekBitmaps();
    slider->SetPosition(50);  // thumb centre 140, thumb over 133 to 146
    struct Probe {
        int x;
        int y;
        QColor colour;
    };
    const auto check = [&](const char* state, std::initializer_list<Probe> probes) {
        for (const Probe& p : probes) {
            EXPECT_EQ(ShownAt(p.x, p.y), p.colour.name()) << state << " at " << p.x << "," << p.y;
        }
    };
    // Row 0 is keyed out of both the channel and the thumb.
    check("idle", {{20, 0, kBar},
                   {132, 5, kActiveChannel},
                   {147, 5, kChannel},
                   {133, 5, kThumb},
                   {146, 5, kThumb},
                   {140, 0, kBar}});

    Press(140);
    check("dragging", {{140, 5, kActiveThumb}, {20, 5, kActiveChannel}, {200, 5, kChannel}});
    Release(140);
    check("released", {{140, 5, kThumb}});

    slider->Enable(false);
    check("disabled", {{20, 5, kChannel}, {140, 5, kChannel}, {140, 0, kBar}});
}

// The heat strip in a 280 x 20 channel drawn like the bar's: a band over rows 7 to 12 whose
// outline (rows 7 and 12, columns 1 and 278) surrounds a body of rows 8 to 11. The thumb's
// centre travels x 7 to 273, so heat column c lies under x = 7 + c.
class BitmapSliderHeatTest : public BitmapSliderTest {
protected:
    static constexpr QColor kOutline{90, 90, 90};
    static constexpr QColor kActiveOutline{0, 140, 190};

    void SetUp() override {
        BitmapSliderTest::SetUp();
        const auto channel = [&](const char* name, QColor outline, QColor body) {
            return WriteBmp(dir, name, 280, 20, [=](int x, int y) {
                if (y < 7 || y > 12 || x < 1 || x > 278) return QColor(Qt::white);
                return y == 7 || y == 12 || x == 1 || x == 278 ? outline : body;
            });
        };
        ASSERT_TRUE(slider->LoadChannelFiles(
            channel("band.bmp", kOutline, kChannel),
            channel("band-active.bmp", kActiveOutline, kActiveChannel), true, 0x00FFFFFF, 0, 0));
        ASSERT_TRUE(slider->LoadThumbFiles(Part("thumb.bmp", 14, kThumb), {}, true,
                                           CBitmapSlider::kColourFromPixel, 0, 0));
        slider->SetPosition(50);  // thumb centre 140, over 133 to 146
    }

    // Full speed, rest, full speed, rest; the device turns round in columns 30 and 180.
    static std::vector<HeatColumn> Stripes() {
        std::vector<HeatColumn> heat(266);
        for (size_t c = 0; c < heat.size(); ++c) {
            heat[c].speed = c < 60 || (c >= 120 && c < 200) ? 100 : 0;
            heat[c].mark = c == 30 || c == 180;
        }
        return heat;
    }
};

TEST_F(BitmapSliderHeatTest, PaintsHotAndColdInTheBodyBrighterWhereAlreadyPlayed) {
    ASSERT_EQ(slider->HeatWidth(), 266);
    slider->SetHeat(Stripes());
    struct Case {
        int played;  // x left of the thumb
        int toCome;  // x right of it, at the same speed
        bool hot;
    } cases[] = {{30, 180, true}, {100, 240, false}};
    for (const Case& c : cases) {
        const QColor now = ColourAt(c.played, 9);
        const QColor later = ColourAt(c.toCome, 9);
        for (const QColor& shown : {now, later}) {
            EXPECT_GT(c.hot ? shown.red() - shown.blue() : shown.blue() - shown.red(), 40)
                << shown.name().toStdString() << (c.hot ? " for full speed" : " at rest");
        }
        EXPECT_GT(now.value(), later.value() + 40) << c.played << " against " << c.toCome;
    }
    // Before the travel starts, the body carries on with the first column.
    EXPECT_EQ(ShownAt(3, 10), ShownAt(30, 10));

    // The artwork's outline and ends, the thumb and the bar around stay as they were.
    EXPECT_EQ(ShownAt(30, 7), kActiveOutline.name());
    EXPECT_EQ(ShownAt(180, 12), kOutline.name());
    EXPECT_EQ(ShownAt(1, 9), kActiveOutline.name());
    EXPECT_EQ(ShownAt(278, 9), kOutline.name());
    EXPECT_EQ(ShownAt(140, 9), kThumb.name());
    EXPECT_EQ(ShownAt(100, 3), kBar.name());

    // Direction ticks one pixel under the outline, dimmer over the part to come.
    const QColor playedTick = ColourAt(37, 14);
    const QColor tickToCome = ColourAt(187, 15);
    EXPECT_EQ(ShownAt(37, 13), kBar.name());
    EXPECT_EQ(ShownAt(38, 14), kBar.name());
    EXPECT_EQ(ShownAt(37, 16), kBar.name());
    EXPECT_GT(playedTick.lightness(), tickToCome.lightness() + 40);
    EXPECT_GT(tickToCome.lightness(), kBar.lightness() + 40);

    slider->Enable(false);  // no played part
    EXPECT_EQ(ShownAt(30, 9), ShownAt(180, 9));
}

TEST_F(BitmapSliderHeatTest, RebuildsItsPicturesOnlyForNewHeatOrGeometry) {
    QSignalSpy widths(slider, &CBitmapSlider::HeatWidthChanged);
    slider->SetHeat(Stripes());
    const QString hot = ShownAt(30, 9);
    const int builds = slider->HeatBuilds();
    slider->SetPosition(80);
    slider->SetRange(0, 200);
    ShownAt(30, 9);
    EXPECT_EQ(slider->HeatBuilds(), builds);

    // Two columns stretched over the travel: the left half hot, the right half at rest.
    slider->SetHeat({{100, false}, {0, false}});
    EXPECT_EQ(ShownAt(30, 9), hot);
    EXPECT_EQ(slider->HeatBuilds(), builds + 1);
    EXPECT_GT(ColourAt(139, 9).red(), ColourAt(141, 9).red() + 100);

    slider->SetMargins(20, 0, 20, 0);
    EXPECT_EQ(widths.count(), 1);
    EXPECT_EQ(slider->HeatWidth(), 226);
    ShownAt(30, 9);
    EXPECT_EQ(slider->HeatBuilds(), builds + 2);

    slider->ClearHeat();
    EXPECT_EQ(ShownAt(30, 9), kActiveChannel.name());
    EXPECT_EQ(ShownAt(250, 9), kChannel.name());
}

}  // namespace
