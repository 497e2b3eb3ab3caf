// The overlay panels and the control bar: geometry, layout, what a click, a hold and a drag
// post to the main window and write to the operation log, and what the screen shows of the
// bar in both layouts.

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/AboutDlg.h"
#include "log/OutputLog.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/PanelGeometry.h"
#include "panels/TopDlg.h"
#include "support/TestSupport.h"
#include "widgets/AlphaButton.h"
#include "widgets/BitmapSlider.h"

namespace {

using testing_support::TempDir;

TEST(PanelGeometry, PanelsCoverTheTopAndBottomOfTheClientArea) {
    const QRect client(108, 89, 800, 600);
    EXPECT_EQ(BottomPanelRect(client, true), QRect(108, 588, 800, 101));
    EXPECT_EQ(BottomPanelRect(client, false), QRect(108, 651, 800, 38));
    EXPECT_EQ(TopPanelRect(client), QRect(108, 89, 800, 30));
}

TEST(CounterText, ShowsTenthsOfASecondWithSixDigitsAtLeast) {
    EXPECT_EQ(CounterText(0), QStringLiteral("000000"));
    EXPECT_EQ(CounterText(99), QStringLiteral("000000"));
    EXPECT_EQ(CounterText(123456), QStringLiteral("001234"));
    EXPECT_EQ(CounterText(100000000), QStringLiteral("1000000"));
}

TEST(ArrangeRow, CentresTheRowAndStartsAWideOneAtZero) {
    QWidget parent;
    std::vector<std::unique_ptr<QWidget>> widgets;
    CtlRow row;
    for (const int w : {20, 30, 10}) {
        widgets.push_back(std::make_unique<QWidget>(&parent));
        widgets.back()->setFixedSize(w, 12);
        row.push_back(std::make_unique<CTL_ITEM>(CTL_ITEM{widgets.back().get(), 5, 0}));
    }
    row.front()->spaceBefore = 5;
    row.push_back(std::make_unique<CTL_ITEM>(CTL_ITEM{nullptr, 100, 100}));  // skipped
    // Total width 5 + (5 + 20) + (5 + 30) + (5 + 10) = 80.
    CBottomMainDlg::ArrangeRow(0, 30, 200, row);
    EXPECT_EQ(widgets[0]->pos(), QPoint(65, 35));
    EXPECT_EQ(widgets[1]->pos(), QPoint(90, 35));
    EXPECT_EQ(widgets[2]->pos(), QPoint(125, 35));
    CBottomMainDlg::ArrangeRow(0, 2, 50, row);
    EXPECT_EQ(widgets[0]->pos(), QPoint(5, 7));
}

// Stands in for the main window: a plain window of one colour under the bar.
using MainWindowStandIn = QWidget;

// The control bar over a main-window stand-in of one colour.
class BarFixture : public ::testing::Test {
protected:
    static constexpr QRgb kMainColour = 0xfff0c828;

    // Shows the stand-in `width` pixels wide at the screen's top left and the bar over it,
    // painted first in the window layout or, with `fullScreenLayout`, in the full-screen one.
    void Open(int width, bool fullScreenLayout = false) {
        main.setGeometry(0, 0, width, 480);
        QPalette palette = main.palette();
        palette.setColor(QPalette::Window, QColor::fromRgb(kMainColour));
        main.setPalette(palette);
        main.setAutoFillBackground(true);
        main.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
        host = std::make_unique<CBottomDlg>(&main, log);
        if (fullScreenLayout) host->ToggleLayout();
        host->Reposition();
        host->ShowPanels();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host->Bar()));
    }

    CBottomMainDlg& Bar() { return *host->Bar(); }
    CAlphaButton& Button(int id) { return *static_cast<CAlphaButton*>(Bar().Control(id)); }

    int Logged(const std::string& text) {
        const std::string content =
            testing_support::Cp932ToUtf8(testing_support::ReadFile(log.Path()));
        int n = 0;
        for (size_t at = content.find("," + text + "\r\n"); at != std::string::npos;
             at = content.find("," + text + "\r\n", at + 1)) {
            ++n;
        }
        return n;
    }

    TempDir dir;
    testing_support::ScopedEnv dataHome{"XDG_DATA_HOME", dir / "share"};
    testing_support::RecordingMessageBoxes boxes;
    OutputLog log{boxes, platform::SystemClock()};
    MainWindowStandIn main;
    std::unique_ptr<CBottomDlg> host;
};

class BarTest : public BarFixture {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Open(640)); }
};

TEST_F(BarTest, WindowModeHasThreeRowsOnTheTranslucentHost) {
    EXPECT_EQ(host->height(), 101);
    EXPECT_EQ(Bar().geometry(), host->geometry());
    EXPECT_EQ(Bar().Control(CBottomMainDlg::IDC_ELAPSED)->y(), 7);
    EXPECT_EQ(Bar().Control(CBottomMainDlg::IDC_PLAY)->y(), 35);
    EXPECT_EQ(Bar().Control(CBottomMainDlg::IDC_OPEN_DVD)->y(), 70);
    EXPECT_EQ(Bar().Control(CBottomMainDlg::IDC_STRIP)->geometry(), QRect(0, 63, 640, 38));
    EXPECT_EQ(Bar().Control(CBottomMainDlg::IDC_SEEK_SLIDER)->size(), QSize(280, 20));
    EXPECT_EQ(Button(CBottomMainDlg::IDC_PLAY).size(), QSize(14, 17));
    EXPECT_EQ(Bar().GetVolume(), 50);
}

TEST_F(BarTest, FullScreenHasOneOpaqueRowAndTheRestoreButton) {
    host->ToggleLayout();
    // The window system answers the new geometry in its own time.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return host->height() == 38 && Bar().height() == 38; }, 10000));
    EXPECT_EQ(host->height(), 38);
    EXPECT_EQ(Bar().height(), 38);
    for (const int id :
         {CBottomMainDlg::IDC_ELAPSED, CBottomMainDlg::IDC_PLAY, CBottomMainDlg::IDC_MAXIMIZE}) {
        EXPECT_EQ(Bar().Control(id)->y(), 7) << id;
    }
    EXPECT_EQ(Button(CBottomMainDlg::IDC_MAXIMIZE).GetToggle(), 1);
    for (const int id : {CBottomMainDlg::IDC_OPEN_DVD, CBottomMainDlg::IDC_OPEN_VIDEO,
                         CBottomMainDlg::IDC_OPEN_PLAYFILE, CBottomMainDlg::IDC_DEVICE}) {
        EXPECT_FALSE(Bar().Control(id)->isVisible()) << id << " has no place in the one row";
    }
    EXPECT_EQ(Bar().grab().toImage().pixelColor(1, 1), QColor(Qt::black));
    host->ToggleLayout();
    EXPECT_EQ(Button(CBottomMainDlg::IDC_MAXIMIZE).GetToggle(), 0);
    EXPECT_EQ(host->height(), 101);
    EXPECT_TRUE(Bar().Control(CBottomMainDlg::IDC_OPEN_DVD)->isVisible());
}

TEST_F(BarTest, AClickOnPlayGivesPlayOnceAndLogsIt) {
    QSignalSpy play(&Bar(), &CBottomMainDlg::PlayClicked);
    QSignalSpy pause(&Bar(), &CBottomMainDlg::PauseClicked);
    QTest::mouseClick(&Button(CBottomMainDlg::IDC_PLAY), Qt::LeftButton);
    EXPECT_EQ(play.count(), 1);
    EXPECT_EQ(pause.count(), 0);
    EXPECT_EQ(Logged("再生ボタンクリック"), 1);
}

TEST_F(BarTest, HoldingFastForwardGivesItsStartAndStop) {
    CAlphaButton& forward = Button(CBottomMainDlg::IDC_FORWARD);
    QSignalSpy held(&Bar(), &CBottomMainDlg::ForwardHeld);
    QSignalSpy rewind(&Bar(), &CBottomMainDlg::RewindHeld);
    QTest::mousePress(&forward, Qt::LeftButton);
    // The button tells the bar once its event is done, and the bar tells the window.
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.count() >= 1; }, 10000));
    QTest::qWait(100);  // a further signal, if any, comes within this
    ASSERT_EQ(held.count(), 1);
    EXPECT_TRUE(held.at(0).at(0).toBool());
    EXPECT_EQ(Logged("早送りボタン押下中"), 1);
    QTest::mouseRelease(&forward, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.count() >= 2; }, 10000));
    QTest::qWait(100);
    ASSERT_EQ(held.count(), 2);
    EXPECT_FALSE(held.at(1).at(0).toBool());
    EXPECT_EQ(Logged("早送りボタン押下終了"), 1);
    EXPECT_EQ(Logged("早送りボタンクリック"), 1);  // the click itself is only logged
    EXPECT_EQ(rewind.count(), 0);
}

TEST_F(BarTest, DraggingTheVolumeWhileMutedClearsTheMutePicture) {
    Bar().SetMuteState(true);
    EXPECT_TRUE(Bar().MuteShown());
    QSignalSpy moved(&Bar(), &CBottomMainDlg::VolumeMoved);
    QWidget* slider = Bar().Control(CBottomMainDlg::IDC_VOLUME_SLIDER);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(50, 10));
    QTest::mouseMove(slider, QPoint(20, 10));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(20, 10));
    ASSERT_TRUE(QTest::qWaitFor([&] { return moved.count() >= 1; }, 10000));
    QTest::qWait(100);  // the moves given after the first come within this
    EXPECT_FALSE(Bar().MuteShown());
    EXPECT_EQ(Logged("音量スライダー移動"), moved.count());
    EXPECT_LT(Bar().GetVolume(), 50);
}

TEST_F(BarTest, TheSeekSliderGivesItsPosition) {
    QSignalSpy moved(&Bar(), &CBottomMainDlg::SeekMoved);
    QWidget* slider = Bar().Control(CBottomMainDlg::IDC_SEEK_SLIDER);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(141, 10));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(141, 10));
    ASSERT_TRUE(QTest::qWaitFor([&] { return moved.count() >= 1; }, 10000));
    QTest::qWait(100);  // a further signal, if any, comes within this
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(0).toInt(), 50);
    EXPECT_EQ(Logged("メディアスライダー移動"), 1);
}

TEST_F(BarTest, LabelsShowTimesAndTheDeviceLabelStaysEmpty) {
    Bar().SetElapsedTime(QStringLiteral("00:01:02"));
    Bar().SetCounter(123456);
    Bar().SetDeviceName(QStringLiteral("Kestrune_Virtual_Dongle"));
    EXPECT_EQ(Bar().ElapsedText(), QStringLiteral("00:01:02"));
    EXPECT_EQ(Bar().CounterLabelText(), QStringLiteral("001234"));
    EXPECT_TRUE(static_cast<QLabel*>(Bar().Control(CBottomMainDlg::IDC_DEVICE))->text().isEmpty());
    Bar().SetMediaPosition(150);
    EXPECT_EQ(Bar().MediaPosition(), 100);
}

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(BarTest, ATimeLabelRepaintsOnlyWhenItsTextChanges) {
    PaintCounter counter;
    Bar().installEventFilter(&counter);
    Bar().SetElapsedTime(QStringLiteral("00:00:05"));
    const int afterChange = counter.paints;
    EXPECT_GE(afterChange, 1);  // the bar repaints under the old text at once
    Bar().SetElapsedTime(QStringLiteral("00:00:05"));
    EXPECT_EQ(counter.paints, afterChange);
    Bar().removeEventFilter(&counter);
}

// The bar's buttons and their pictures: the strip, the toggled strip, and whether the
// full-screen row holds the button.
struct BarButton {
    int id;
    int strip;
    int toggleStrip;
    bool inFullScreenRow;
};
constexpr BarButton kBarButtons[] = {
    {CBottomMainDlg::IDC_REWIND, 141, 0, true},
    {CBottomMainDlg::IDC_PLAY, 136, 0, true},
    {CBottomMainDlg::IDC_PAUSE, 138, 0, true},
    {CBottomMainDlg::IDC_FORWARD, 142, 0, true},
    {CBottomMainDlg::IDC_VOLUME, 139, 148, true},
    {CBottomMainDlg::IDC_REPEAT, 137, 147, true},
    {CBottomMainDlg::IDC_MAXIMIZE, 140, 152, true},
    {CBottomMainDlg::IDC_OPEN_DVD, 145, 0, false},
    {CBottomMainDlg::IDC_OPEN_VIDEO, 146, 0, false},
    {CBottomMainDlg::IDC_OPEN_PLAYFILE, 144, 0, false},
};

bool Near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
           std::abs(qBlue(a) - qBlue(b)) <= 2;
}

std::string Hex(QRgb colour) { return QColor::fromRgb(colour).name().toStdString(); }

// The bar on the screen: what the screen shows, composited, around its buttons.
class BarOnScreen : public BarFixture {
protected:
    void SetUp() override {
        // The pointer away from the bar, so that no button shows its hover picture.
        QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
    }

    // The screen over the bar.
    [[nodiscard]] QImage Grab() const {
        const QRect bar = host->geometry();
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, bar.x(), bar.y(), bar.width(), bar.height())
            .toImage();
    }

    // Where the screen shows a box around a button of the layout instead of the bar's own
    // background (black in the full-screen layout; in the window layout what shows three
    // pixels left of the button): the ring of pixels around the button and the pixels where
    // its picture is transparent. Empty when there is no box.
    [[nodiscard]] std::string Boxes() {
        const QImage screen = Grab();
        const bool fullScreen = !host->IsExpanded();
        std::string boxes;
        for (const BarButton& b : kBarButtons) {
            if (fullScreen && !b.inFullScreenRow) continue;
            const CAlphaButton& button = Button(b.id);
            const int stripId = button.GetToggle() != 0 ? b.toggleStrip : b.strip;
            const QImage strip = QImage(StripResourcePath(stripId, "png"));
            const int frameTop = button.CurrentFrame() * button.height();
            const QRect area = button.geometry();
            const QRgb background =
                fullScreen ? qRgb(0, 0, 0) : screen.pixel(area.left() - 3, area.center().y());
            int wrong = 0;
            std::string first;
            for (int y = area.top() - 1; y <= area.bottom() + 1; ++y) {
                for (int x = area.left() - 1; x <= area.right() + 1; ++x) {
                    const QPoint inButton = QPoint(x, y) - area.topLeft();
                    if (area.contains(x, y) &&
                        qAlpha(strip.pixel(inButton.x(), frameTop + inButton.y())) != 0) {
                        continue;
                    }
                    if (Near(screen.pixel(x, y), background)) continue;
                    if (wrong++ == 0) {
                        first = " first at (" + std::to_string(inButton.x()) + ", " +
                                std::to_string(inButton.y()) + "): " + Hex(screen.pixel(x, y));
                    }
                }
            }
            if (wrong != 0) {
                boxes += "button " + std::to_string(b.id) + ": " + std::to_string(wrong) +
                         " pixels are not " + Hex(background) + "," + first + "\n";
            }
        }
        return boxes;
    }

    // Waits until no button shows a box; what is left then.
    [[nodiscard]] std::string BoxesLeft() {
        std::string boxes;
        static_cast<void>(QTest::qWaitFor([&] { return (boxes = Boxes()).empty(); }, 10000));
        return boxes;
    }

    // In the full-screen layout the bar is black left of its row: the controls the row leaves
    // out do not show there.
    [[nodiscard]] bool BlackLeftOfTheRow() const {
        const int rowLeft = host->Bar()->Control(CBottomMainDlg::IDC_ELAPSED)->x();
        const QImage screen = Grab();
        for (int y = 0; y < screen.height(); ++y) {
            for (int x = 0; x < rowLeft - 1; ++x) {
                if (!Near(screen.pixel(x, y), qRgb(0, 0, 0))) return false;
            }
        }
        return true;
    }

    // In the window layout the stand-in's colour shows dimmed through the translucent host
    // between the rows (so a compositor runs and the test can see a box at all).
    void ExpectTheStandInThroughTheHost() {
        const QRect rewind = Button(CBottomMainDlg::IDC_REWIND).geometry();
        const QRgb seen = Grab().pixel(rewind.left() - 3, rewind.center().y());
        EXPECT_TRUE(qRed(seen) > 20 && qRed(seen) < qRed(kMainColour) - 20 &&
                    qGreen(seen) < qGreen(kMainColour) - 20)
            << Hex(seen);
    }
};

// The buttons blend over what the bar paints beneath them; that changes with the layout (see-
// through in window mode, black in full screen), in the first and in the second switch alike.
class BarLayoutSwitch : public BarOnScreen, public ::testing::WithParamInterface<bool> {};

TEST_P(BarLayoutSwitch, ButtonsShowTheBarsOwnBackgroundAroundThem) {
    const bool firstFullScreen = GetParam();
    ASSERT_NO_FATAL_FAILURE(Open(900, firstFullScreen));
    const auto layout = [&] { return host->IsExpanded() ? "window" : "full-screen"; };
    for (int toggle = 0; toggle < 3; ++toggle) {
        if (toggle != 0) host->ToggleLayout();
        EXPECT_EQ(BoxesLeft(), "") << "in the " << layout() << " layout, switch " << toggle;
        if (host->IsExpanded()) {
            ExpectTheStandInThroughTheHost();
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return BlackLeftOfTheRow(); }, 10000))
                << "switch " << toggle;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FirstPaint, BarLayoutSwitch, ::testing::Values(false, true),
                         [](const auto& info) {
                             return info.param ? "InFullScreenLayout" : "InWindowLayout";
                         });

TEST_F(BarOnScreen, TheStripReachesTheRightEdgeOfAWideBar) {
    constexpr int kWidth = 1200;
    ASSERT_NO_FATAL_FAILURE(Open(kWidth));
    // On the screen in the window layout, where the strip is all that is black there.
    const auto blackToTheEdge = [&] {
        const QImage screen = Grab();
        for (int y = 63; y < 101; ++y) {
            for (int x = 990; x < kWidth; ++x) {
                if (!Near(screen.pixel(x, y), qRgb(0, 0, 0))) return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(QTest::qWaitFor(blackToTheEdge, 10000))
        << Hex(Grab().pixel(kWidth - 1, 80)) << " at the right edge";

    // What the strip itself paints, in both layouts.
    for (const int top : {63, 0}) {
        if (top == 0) host->ToggleLayout();
        QWidget* strip = Bar().Control(CBottomMainDlg::IDC_STRIP);
        EXPECT_EQ(strip->geometry(), QRect(0, top, kWidth, 38));
        QImage painted(strip->size(), QImage::Format_ARGB32);
        painted.fill(Qt::transparent);
        strip->render(&painted, QPoint(), QRegion(), QWidget::RenderFlags());
        for (const QPoint at : {QPoint(0, 0), QPoint(kWidth - 1, 0), QPoint(kWidth - 1, 37)}) {
            EXPECT_EQ(painted.pixel(at), qRgb(0, 0, 0))
                << "strip at " << top << ", pixel " << at.x() << "," << at.y();
        }
    }
}

TEST(TopPanel, ShowsTheTitleOverTheTopOfTheClientArea) {
    QWidget main;
    main.resize(500, 400);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    CTopDlg top(&main);
    top.SetTitle(QString());
    top.ShowPanels();
    top.Reposition();
    top.SetTitle(QStringLiteral("demo.mp4"));
    EXPECT_EQ(top.Title(), QStringLiteral("demo.mp4"));
    EXPECT_EQ(top.geometry(), QRect(main.mapToGlobal(QPoint(0, 0)), QSize(500, 30)));
    // A file name is shown as it is spelt, brackets and all, never read as markup.
    top.SetTitle(QStringLiteral("<b>big</b>.mp4"));
    const auto* label = top.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(top.Title()));
    top.HidePanels();
    EXPECT_FALSE(top.isVisible());
}

TEST(AboutBox, ShowsTheVersion) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("QUAMBERPlayerについて"));
    EXPECT_EQ(about.VersionLabel()->text(), QStringLiteral("バージョン 1.0.1.0"));
}

}  // namespace
