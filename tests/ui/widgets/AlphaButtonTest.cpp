#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <array>
#include <cstdint>
#include <vector>

#include "support/TestSupport.h"
#include "widgets/AlphaButton.h"

namespace {

QRgb Argb(int r, int g, int b, int a = 255) { return qRgba(r, g, b, a); }

// Saves a strip of `frames` (one colour per frame, five of them) and returns its path.
// `firstRow`, when given, replaces the first row of frame 0.
QString SaveStrip(const testing_support::TempDir& dir, const char* name, QSize frame,
                  std::array<QRgb, 5> frames, std::vector<QRgb> firstRow = {}) {
    QImage strip(frame.width(), frame.height() * 5, QImage::Format_ARGB32);
    QPainter painter(&strip);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int i = 0; i < 5; ++i) {
        painter.fillRect(QRect({0, i * frame.height()}, frame), QColor::fromRgba(frames[i]));
    }
    painter.end();
    for (int x = 0; x < static_cast<int>(firstRow.size()); ++x) strip.setPixel(x, 0, firstRow[x]);
    const QString path = QString::fromStdString(dir / name);
    EXPECT_TRUE(strip.save(path));
    return path;
}

QString SaveImage(const testing_support::TempDir& dir, const char* name, int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    const QString path = QString::fromStdString(dir / name);
    EXPECT_TRUE(image.save(path));
    return path;
}

// The control bar's part: a parent window of one colour.
using RecordingParent = QWidget;

class AlphaButtonTest : public ::testing::Test {
protected:
    static constexpr int kId = 1020;
    static constexpr QRgb kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff;

    AlphaButtonTest() {
        parent.resize(60, 40);
        SetColour(parent, Qt::blue);
    }

    static void SetColour(QWidget& widget, QColor colour) {
        QPalette palette = widget.palette();
        palette.setColor(QPalette::Window, colour);
        widget.setPalette(palette);
        widget.setAutoFillBackground(true);
    }

    void Show() {
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }

    QImage Painted() { return button->grab().toImage(); }

    // Gives the button a clear picture, above a green sibling that covers x 0 to 11.
    void ClearOverGreenSibling() {
        auto* sibling = new QWidget(&parent);
        SetColour(*sibling, Qt::green);
        sibling->setGeometry(0, 0, 12, 40);
        const QRgb clear = Argb(0, 0, 0, 0);
        ASSERT_TRUE(button->LoadStripFile(
            SaveStrip(dir, "clear.png", {4, 2}, {clear, clear, clear, clear, clear})));
    }

    testing_support::TempDir dir;
    RecordingParent parent;
    CAlphaButton* button = new CAlphaButton(kId, &parent);
};

TEST_F(AlphaButtonTest, SizeFollowsTheLastStripLoaded) {
    struct Case {
        int width, height;
        QSize frame;
    } cases[] = {{20, 100, {20, 20}}, {10, 52, {10, 10}}, {7, 5, {7, 1}}};
    for (const auto& c : cases) {
        CAlphaButton b(kId, &parent);
        QWidget sibling(&parent);
        ASSERT_TRUE(b.LoadStripFile(SaveImage(dir, "strip.png", c.width, c.height)));
        EXPECT_EQ(b.GetFrameSize(), c.frame);
        EXPECT_EQ(b.size(), c.frame);
        EXPECT_EQ(b.minimumSize(), b.maximumSize());
        EXPECT_EQ(parent.children().last(), &b) << "raised above its siblings";
    }

    ASSERT_TRUE(button->LoadStripFile(SaveImage(dir, "main.png", 20, 100)));
    ASSERT_TRUE(button->LoadToggleStripFile(SaveImage(dir, "toggle.png", 30, 150)));
    EXPECT_EQ(button->size(), QSize(30, 30));
    button->SetToggle(0);
    EXPECT_EQ(button->size(), QSize(30, 30));
    button->MoveTo(4, 6);
    EXPECT_EQ(button->geometry(), QRect(4, 6, 30, 30));
}

TEST_F(AlphaButtonTest, FailedLoadChangesNothing) {
    ASSERT_TRUE(button->LoadStripFile(SaveImage(dir, "main.png", 20, 100)));
    const QString missing = QString::fromStdString(dir / "missing.png");
    EXPECT_FALSE(button->LoadStripFile(missing));
    EXPECT_FALSE(button->LoadToggleStripFile(missing));
    EXPECT_FALSE(button->LoadStripFile(SaveImage(dir, "short.png", 30, 4)));
    EXPECT_FALSE(button->LoadStripResource(999999));
    EXPECT_FALSE(button->LoadToggleStripResource(999999, "bmp"));
    EXPECT_EQ(button->GetFrameSize(), QSize(20, 20));
    EXPECT_EQ(button->size(), QSize(20, 20));
    EXPECT_EQ(StripResourcePath(136, "png"), QStringLiteral(":/res/png/136.png"));
    EXPECT_EQ(StripResourcePath(7, "bmp"), QStringLiteral(":/res/bmp/7.bmp"));
}

// The hold is told as the left button goes down and comes up, before the button itself acts
// on either (its pressed and released signals, its click), also when let go outside it.
TEST_F(AlphaButtonTest, HoldAndLetGoAreToldBeforeTheButtonActs) {
    ASSERT_TRUE(button->LoadStripFile(SaveImage(dir, "main.png", 20, 100)));
    Show();
    std::vector<std::string> told;
    QObject::connect(button, &CAlphaButton::HeldDown, [&] { told.push_back("held"); });
    QObject::connect(button, &CAlphaButton::LetGo, [&] { told.push_back("let go"); });
    QObject::connect(button, &QAbstractButton::pressed, [&] { told.push_back("pressed"); });
    QObject::connect(button, &QAbstractButton::released, [&] { told.push_back("released"); });
    QObject::connect(button, &QAbstractButton::clicked, [&] { told.push_back("clicked"); });

    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_EQ(told, (std::vector<std::string>{"held", "pressed", "let go", "released", "clicked"}));

    // Released outside: no click, but the bar still hears that it was let go. The right
    // button holds nothing.
    told.clear();
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-5, -5));
    QTest::mouseClick(button, Qt::RightButton);
    EXPECT_EQ(told, (std::vector<std::string>{"held", "pressed", "let go"}));
}

TEST_F(AlphaButtonTest, StateEventsChooseTheFrame) {
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QEvent leave(QEvent::Leave);
    QFocusEvent focusIn(QEvent::FocusIn), focusOut(QEvent::FocusOut);
    EXPECT_EQ(button->CurrentFrame(), 0);
    QApplication::sendEvent(button, &focusIn);
    EXPECT_EQ(button->CurrentFrame(), 4);
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(button->CurrentFrame(), 1);
    button->setDown(true);
    EXPECT_EQ(button->CurrentFrame(), 2);
    button->setEnabled(false);
    EXPECT_EQ(button->CurrentFrame(), 3);
    button->setEnabled(true);
    button->setDown(false);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(button->CurrentFrame(), 4);
    QApplication::sendEvent(button, &focusOut);
    EXPECT_EQ(button->CurrentFrame(), 0);
}

TEST_F(AlphaButtonTest, FrameIsBlendedOverWhatTheParentPaints) {
    const QRgb yellow = 0xffffff00, cyan = 0xff00ffff, white = 0xffffffff;
    ASSERT_TRUE(
        button->LoadStripFile(SaveStrip(dir, "main.png", {4, 2}, {kRed, yellow, cyan, white, white},
                                        {kRed, Argb(0, 255, 0, 0), Argb(255, 0, 0, 128), kRed})));
    ASSERT_TRUE(button->LoadToggleStripFile(
        SaveStrip(dir, "toggle.png", {4, 2}, {kGreen, kGreen, kGreen, kGreen, kGreen})));
    button->MoveTo(10, 10);
    Show();

    // The window's first paint, which takes the snapshot, and a later one from it.
    const QImage onScreen = parent.screen()->grabWindow(parent.winId(), 10, 10, 4, 2).toImage();
    for (const QImage& image : {onScreen, Painted()}) {
        ASSERT_EQ(image.size(), QSize(4, 2));
        EXPECT_EQ(image.pixel(0, 0), kRed);
        EXPECT_EQ(image.pixel(1, 0), kBlue);
        EXPECT_EQ(image.pixel(2, 0), Argb(128, 0, 127));
        EXPECT_EQ(image.pixel(3, 1), kRed);
    }

    button->SetToggle(1);
    EXPECT_EQ(button->GetToggle(), 1);
    EXPECT_EQ(Painted().pixel(1, 0), kGreen);
    button->SetToggle(0);
    EXPECT_EQ(Painted().pixel(1, 0), kBlue);
    button->setDown(true);
    EXPECT_EQ(Painted().pixel(1, 1), cyan);
}

TEST_F(AlphaButtonTest, SnapshotHoldsSiblingsUnderneathUntilReset) {
    ASSERT_NO_FATAL_FAILURE(ClearOverGreenSibling());
    button->MoveTo(10, 10);
    Show();

    const QImage image = Painted();
    EXPECT_EQ(image.pixel(1, 1), kGreen);
    EXPECT_EQ(image.pixel(2, 0), kBlue);

    SetColour(parent, Qt::red);
    EXPECT_EQ(Painted().pixel(3, 1), kBlue) << "the snapshot is kept";
    button->ResetBackground();
    EXPECT_EQ(Painted().pixel(3, 1), kRed);
}

TEST_F(AlphaButtonTest, AMovedButtonBlendsOverWhatLiesAtItsNewPlace) {
    ASSERT_NO_FATAL_FAILURE(ClearOverGreenSibling());
    Show();

    // The button is four pixels wide.
    const struct {
        QPoint at;
        QRgb left, right;
    } places[] = {{{2, 10}, kGreen, kGreen},
                  {{30, 10}, kBlue, kBlue},
                  {{10, 20}, kGreen, kBlue},
                  {{2, 25}, kGreen, kGreen}};
    for (const auto& p : places) {
        button->MoveTo(p.at.x(), p.at.y());
        const QImage image = Painted();
        EXPECT_EQ(image.pixel(0, 1), p.left) << p.at.x() << "," << p.at.y();
        EXPECT_EQ(image.pixel(3, 1), p.right) << p.at.x() << "," << p.at.y();
    }
}

TEST_F(AlphaButtonTest, TooltipShowsOnlyWhileActive) {
    ASSERT_TRUE(button->LoadStripFile(SaveImage(dir, "main.png", 20, 100)));
    button->SetTooltipText(QStringLiteral("Play"));
    button->SetTooltipText(QString());
    EXPECT_EQ(button->toolTip(), QStringLiteral("Play"));
    parent.setToolTip(QStringLiteral("bar"));
    Show();

    for (const bool active : {true, false, true}) {
        ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 20000));
        button->ActivateTooltip(active);
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(button, &help);
        EXPECT_EQ(QToolTip::isVisible(), active);
        if (active) {
            EXPECT_EQ(QToolTip::text(), QStringLiteral("Play"));
        }
        QToolTip::hideText();
    }
}

}  // namespace
