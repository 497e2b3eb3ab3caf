#include "e2e/EndToEnd.h"

#include <QImage>
#include <QWidget>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>

#include "log/OutputLog.h"
#include "panels/BottomDlg.h"
#include "panels/PanelGeometry.h"
#include "platform/LocalClock.h"
#include "widgets/AlphaButton.h"

namespace e2e {
namespace {

// What the virtual dongle recorded: "arrival_ms,byte0,byte1,byte2,direction,speed".
std::vector<Packet> ReadRecord(const std::string& path) {
    std::vector<Packet> packets;
    std::istringstream lines(testing_support::ReadFile(path));
    std::string line;
    std::getline(lines, line);  // header
    while (std::getline(lines, line)) {
        Packet p;
        char b0[8], b1[8], b2[8];
        if (std::sscanf(line.c_str(), "%lf,%7[^,],%7[^,],%7[^,],%d,%d", &p.ms, b0, b1, b2,
                        &p.direction, &p.speed) == 6) {
            packets.push_back(p);
        }
    }
    return packets;
}

// Where the bar draws a control, relative to the bar, for a bar `width` pixels wide: the
// bar's own layout, run on a bar that is never shown. Kept per width and layout, as the
// stories click many times on the same bar.
QRect ControlRect(int id, int width, bool expanded) {
    static std::map<std::tuple<int, int, bool>, QRect> known;
    const auto key = std::make_tuple(id, width, expanded);
    if (const auto found = known.find(key); found != known.end()) return found->second;
    TempDir dir;
    testing_support::ScopedEnv data("XDG_DATA_HOME", dir / "share");
    testing_support::RecordingMessageBoxes boxes;
    platform::SystemLocalClock clock;
    OutputLog log(boxes, clock);
    QWidget mainStandIn;
    CBottomDlg host(&mainStandIn, log);
    if (!expanded) host.ToggleLayout();
    host.Bar()->ArrangeControls(width);
    return known[key] = host.Bar()->Control(id)->geometry();
}

}  // namespace

std::vector<ScriptLine> ReadScript(const std::string& path) {
    std::vector<ScriptLine> script;
    std::istringstream lines(testing_support::ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        long tenths = 0;
        ScriptLine s;
        if (std::sscanf(line.c_str(), "%ld,%d,%d", &tenths, &s.direction, &s.speed) == 3) {
            s.ms = tenths * 100;
            script.push_back(s);
        }
    }
    return script;
}

void EndToEnd::SetUp() {
    ASSERT_FALSE(desktop.Display().empty()) << "Xvfb did not start";
    devsim = std::make_unique<DevSimProcess>(std::vector<std::string>{
        "--dir", dir / "serial", "--record", dir / "packets.csv", "--epoch-ms"});
    ASSERT_TRUE(devsim->Started());
    ASSERT_FALSE(devsim->ExpectPlugged().link.empty());
}

void EndToEnd::TearDown() {
    if (HasFailure()) SaveScreen("");
}

void EndToEnd::SaveScreen(const std::string& suffix) const {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string folder = std::string(KESTRUNE_BINARY_DIR) + "/e2e-failures";
    std::filesystem::create_directories(folder);
    std::string name = test->name();
    std::replace(name.begin(), name.end(), '/', '_');  // parameterised stories
    desktop.Screenshot(folder + "/" + name + suffix + ".png");
}

void EndToEnd::StartPlayer(const std::vector<std::string>& arguments) {
    player = std::make_unique<PlayerProcess>(
        dir, "[USB_DONGLE]\nDEVICE_NAME=Kestrune_Virtual_Dongle\n", arguments,
        std::vector<std::string>{desktop.DisplayEnv(), "KESTRUNE_SERIAL_DIR=" + (dir / "serial")});
    ASSERT_GT(player->Pid(), 0);
    main = desktop.WaitWindow(player->Pid(), "QUAMBERPlayer", 60s);
    ASSERT_NE(main, 0u) << "the main window did not show";
    // The window has laid itself out and shown its panels once the bar is drawn.
    desktop.ParkPointer();
    ASSERT_TRUE(WaitFor([&] { return ButtonShowing(Bar::IDC_PLAY, 136) > 0.9; }, 30s))
        << "the bar did not show; stacking " << StackingText();
}

QRect EndToEnd::ControlOnScreen(int id) const {
    const QRect window = MainRect();
    const bool expanded = !FullScreen();
    const int height = expanded ? kBottomPanelExpandedHeight : kBottomPanelCompactHeight;
    return ControlRect(id, window.width(), expanded)
        .translated(window.x(), window.y() + window.height() - height);
}

QPoint EndToEnd::BarPoint(int id, double across) const {
    const QRect control = ControlOnScreen(id);
    return {control.x() + static_cast<int>(control.width() * across), control.center().y()};
}

double EndToEnd::ButtonShowing(int id, int strip) const {
    const QImage frames =
        QImage(StripResourcePath(strip, "png")).convertToFormat(QImage::Format_ARGB32);
    const int frameHeight = frames.height() / CAlphaButton::kFrameCount;
    const QRect area = ControlOnScreen(id);
    const QImage screen = desktop.Grab(QRect(area.topLeft(), QSize(frames.width(), frameHeight)));
    int opaque = 0;
    int shown = 0;
    for (int y = 0; y < frameHeight && y < screen.height(); ++y) {
        for (int x = 0; x < frames.width() && x < screen.width(); ++x) {
            const QRgb drawn = frames.pixel(x, y);
            if (qAlpha(drawn) != 255) continue;
            ++opaque;
            const QRgb seen = screen.pixel(x, y);
            shown += std::abs(qRed(seen) - qRed(drawn)) <= 8 &&
                     std::abs(qGreen(seen) - qGreen(drawn)) <= 8 &&
                     std::abs(qBlue(seen) - qBlue(drawn)) <= 8;
        }
    }
    return opaque == 0 ? 0 : static_cast<double>(shown) / opaque;
}

std::string EndToEnd::StackingText() const {
    std::ostringstream text;
    for (const unsigned long window : desktop.Stacking()) {
        const QRect at = desktop.Geometry(window);
        text << std::hex << window << (window == main ? "(main" : "(") << std::dec
             << (desktop.IsMinimised(window) ? ",hidden " : " ") << at.width() << "x" << at.height()
             << "+" << at.x() << "+" << at.y() << ") ";
    }
    return text.str();
}

void EndToEnd::ExpectBarShowing(const std::string& when) const {
    desktop.ParkPointer();
    const std::pair<int, int> buttons[] = {{Bar::IDC_REWIND, 141},
                                           {Bar::IDC_PLAY, 136},
                                           {Bar::IDC_PAUSE, 138},
                                           {Bar::IDC_FORWARD, 142}};
    for (const auto& [id, strip] : buttons) {
        const bool shown = WaitFor([&] { return ButtonShowing(id, strip) > 0.9; }, 30s);
        EXPECT_TRUE(shown) << "button " << id << " " << when << ": " << ButtonShowing(id, strip)
                           << " of its picture shows at " << ControlOnScreen(id).x() << ","
                           << ControlOnScreen(id).y() << "; stacking " << StackingText();
        if (!shown) {
            // The screen as it was when the bar was missing, beside the one taken at the end.
            SaveScreen(" (" + when + ")");
            return;
        }
    }
}

bool EndToEnd::ClickOpensAMenu(QPoint at) const {
    for (int attempt = 0; attempt < 3; ++attempt) {
        desktop.Click(at);
        if (WaitFor([&] { return desktop.MenuShown(); }, 10s)) return true;
    }
    return false;
}

void EndToEnd::AnswerFileDialog(const std::string& title, const std::string& path) {
    const unsigned long dialog = desktop.WaitWindow(Pid(), title, 30s);
    ASSERT_NE(dialog, 0u) << "no dialog " << title;
    desktop.ParkPointer();
    const auto closed = [&] { return desktop.Windows(Pid(), title).empty(); };
    for (int attempt = 0; attempt < 3 && !closed(); ++attempt) {
        if (attempt > 0) desktop.Keys(dialog, "ctrl+a");
        desktop.Type(dialog, path);
        desktop.Keys(dialog, "Return");
        if (WaitFor(closed, 10s)) break;
    }
    ASSERT_TRUE(WaitFor(closed, 30s)) << "the dialog " << title << " stayed open";
}

void EndToEnd::OpenVideo(const std::string& path) {
    Click(Bar::IDC_OPEN_VIDEO);
    AnswerFileDialog("動画を開く", path);
    const std::string name = std::filesystem::path(path).filename();
    ASSERT_TRUE(WaitFor([&] { return LogHas("動画ファイル選択：" + name); }, 30s));
}

void EndToEnd::OpenPlayFile(const std::string& path) {
    Click(Bar::IDC_OPEN_PLAYFILE);
    AnswerFileDialog("開く", path);
}

void EndToEnd::Play() {
    const size_t before = Count("USBドングルへ再生コマンド送信");
    Click(Bar::IDC_PLAY);
    ASSERT_TRUE(WaitFor([&] { return Count("USBドングルへ再生コマンド送信") > before; }, 30s))
        << Log();
}

void EndToEnd::PlayDemoWithSecondsPlayFile() {
    testing_support::WriteFile(dir / "seconds.csv", testing_support::LineEverySecond(61));
    StartPlayer();
    OpenVideo(kDemo);
    OpenPlayFile(dir / "seconds.csv");
    Play();
}

std::vector<Packet> EndToEnd::Packets() const { return ReadRecord(dir / "packets.csv"); }

std::vector<Packet> EndToEnd::FinalPackets() const {
    devsim->Signal(SIGTERM);
    EXPECT_EQ(devsim->WaitExit(), 0);
    return Packets();
}

int EndToEnd::WaitPacket(size_t from, const std::function<bool(const Packet&)>& condition,
                         std::chrono::milliseconds limit) const {
    int found = -1;
    WaitFor(
        [&] {
            const auto packets = Packets();
            for (size_t i = from; i < packets.size(); ++i) {
                if (condition(packets[i])) {
                    found = static_cast<int>(i);
                    return true;
                }
            }
            return false;
        },
        limit);
    return found;
}

std::vector<std::string> EndToEnd::LogMessages() const {
    std::vector<std::string> messages;
    const std::string text = Log();
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        size_t field = 0;
        for (int comma = 0; comma < 5 && field != std::string::npos; ++comma) {
            field = line.find(',', field);
            if (field != std::string::npos) ++field;
        }
        if (field != std::string::npos) messages.push_back(line.substr(field));
    }
    return messages;
}

std::optional<int64_t> EndToEnd::LogTimeMs(const std::string& message) const {
    const std::string text = Log();
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        std::tm t{};
        int ms = 0;
        if (!line.ends_with("," + message) ||
            std::sscanf(line.c_str(), "DEBUG,%d/%d/%d,%d:%d:%d.%d,", &t.tm_year, &t.tm_mon,
                        &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &ms) != 7) {
            continue;
        }
        t.tm_year -= 1900;
        t.tm_mon -= 1;
        t.tm_isdst = -1;
        return static_cast<int64_t>(std::mktime(&t)) * 1000 + ms;
    }
    return std::nullopt;
}

size_t EndToEnd::Count(const std::string& message) const {
    const auto messages = LogMessages();
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
}

void EndToEnd::ExpectLogInOrder(const std::vector<std::string>& expected) const {
    const auto messages = LogMessages();
    auto at = messages.begin();
    for (const auto& message : expected) {
        at = std::find(at, messages.end(), message);
        if (at == messages.end()) {
            ADD_FAILURE() << "the log lacks \"" << message << "\" (in this order):\n" << Log();
            return;
        }
        ++at;
    }
}

void EndToEnd::CloseWindow() {
    desktop.RequestClose(main);
    EXPECT_EQ(player->WaitExit(30s), 0);
}

}  // namespace e2e
