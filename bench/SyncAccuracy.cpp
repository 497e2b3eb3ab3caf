// End-to-end synchronisation accuracy: the demo video plays from the start in the real main
// window with a dense play file (a line every 200 ms) into a dongle on a pseudo-terminal.
// A packet's lateness is its arrival time minus (the first picture, taken when the player
// first has a video output, plus its line's time). Against the clock, it is the adjusted
// playback clock read as the packet arrives (the device thread writes it, the reader here
// takes it at once) minus the line's time.
//
// With --random-tenths the lines fall at random tenths of a second instead (a fixed seed, so
// runs compare), 200 or 300 ms apart: a line whose time is not a multiple of the 40 ms tick
// gets a step at its own time. Lines at least 200 ms apart keep the link's 100 ms packet
// spacing out of the figures.
//
// With --busy-ui MS the user-interface thread is kept busy for MS ms of every second (a
// window that repaints a lot, or a slow dialog): the device thread's packets must not mind.
//
// Run under a display:
//   build/sync_accuracy [--random-tenths] [--busy-ui MS] [VIDEO] [SECONDS]
//                       (default build/demo/demo.mp4, 30)

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Percentile.h"
#include "app/KestruneDlg.h"
#include "platform/UniqueFd.h"
#include "platform/X11Threads.h"
#include "widgets/QtMessageBoxes.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLineSpacingTenths = 2;
// The random lines: the seed and the gaps between lines, in tenths.
constexpr unsigned kRandomSeed = 20261207;
constexpr int kRandomGapMinTenths = 2;
constexpr int kRandomGapMaxTenths = 3;

// Line i's command byte (bit 7 direction, bits 0-6 speed 1 to 100): no two lines within 100
// of each other share one, so a packet tells which line it is.
uint8_t CommandOf(int i) { return static_cast<uint8_t>((i % 2) * 128 + 1 + i % 100); }

// The lines' times in tenths: every kLineSpacingTenths, or at random tenths.
std::vector<int> LineTimes(int seconds, bool random) {
    std::vector<int> times;
    if (!random) {
        for (int i = 0; i < seconds * 10 / kLineSpacingTenths; ++i) {
            times.push_back((i + 1) * kLineSpacingTenths);
        }
        return times;
    }
    std::mt19937 generator(kRandomSeed);
    std::uniform_int_distribution<int> gap(kRandomGapMinTenths, kRandomGapMaxTenths);
    for (int t = gap(generator); t <= seconds * 10; t += gap(generator)) times.push_back(t);
    return times;
}

struct Arrival {
    Clock::time_point at;
    uint8_t command;
    int64_t clockMs;  // the adjusted playback clock as it arrived
};

}  // namespace

int main(int argc, char* argv[]) {
    platform::InitX11Threads();
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "xcb", 0);
    QApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    bool random = false;
    int busyMs = 0;
    while (!args.empty() && args.front().rfind("--", 0) == 0) {
        if (args.front() == "--random-tenths") {
            random = true;
        } else if (args.front() == "--busy-ui" && args.size() > 1) {
            busyMs = std::atoi(args[1].c_str());
            args.erase(args.begin());
        } else {
            std::fprintf(stderr, "sync_accuracy: unknown option %s\n", args.front().c_str());
            return 2;
        }
        args.erase(args.begin());
    }
    const std::string video =
        std::filesystem::absolute(!args.empty() ? args[0] : "build/demo/demo.mp4").string();
    const int seconds = args.size() > 1 ? std::atoi(args[1].c_str()) : 30;
    const auto folder = std::filesystem::temp_directory_path() / "kestrune-sync-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "serial");

    // The dongle.
    int m = -1;
    int s = -1;
    char name[256] = {};
    if (::openpty(&m, &s, name, nullptr, nullptr) != 0) return 1;
    platform::UniqueFd master(m);
    platform::UniqueFd slave(s);
    termios raw{};
    ::tcgetattr(s, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(s, TCSANOW, &raw);
    std::filesystem::create_symlink(name, folder / "serial/usb-Kestrune_Virtual_Dongle-if00");
    std::mutex mutex;
    std::vector<Arrival> arrivals;
    std::atomic<bool> stop = false;
    std::atomic<MediaPlayer*> player = nullptr;
    std::thread reader([&] {
        std::string pending;
        while (!stop) {
            pollfd p{m, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            char buffer[64];
            const ssize_t n = ::read(m, buffer, sizeof buffer);
            if (n <= 0) continue;
            const auto now = Clock::now();
            MediaPlayer* clock = player;
            const int64_t clockMs = clock != nullptr ? clock->GetTime() : 0;
            pending.append(buffer, static_cast<size_t>(n));
            std::lock_guard lock(mutex);
            while (pending.size() >= 3) {
                arrivals.push_back({now, static_cast<uint8_t>(pending[2]), clockMs});
                pending.erase(0, 3);
            }
        }
    });

    // The play file, with a command that tells the lines apart.
    const std::vector<int> times = LineTimes(seconds, random);
    const int lines = static_cast<int>(times.size());
    {
        std::ofstream play(folder / "dense.csv");
        for (int i = 0; i < lines; ++i) {
            play << times[static_cast<size_t>(i)] << ',' << (i % 2) << ',' << (1 + i % 100) << '\n';
        }
    }
    {
        std::ofstream ini(folder / "Kestrune.ini");
        ini << "[USB_DONGLE]\nDEVICE_NAME=Kestrune_Virtual_Dongle\n";
    }
    setenv("KESTRUNE_SERIAL_DIR", (folder / "serial").c_str(), 1);
    setenv("XDG_DATA_HOME", (folder / "share").c_str(), 1);
    std::filesystem::current_path(folder);

    QtMessageBoxes boxes;
    CKestruneDlg dlg(boxes);
    player = &dlg.Session().Player();
    // The first picture: when the player first has a video output, and when the screen shows
    // it (the centre of the video host leaves black).
    std::optional<Clock::time_point> output;
    std::optional<Clock::time_point> visible;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (!output) {
            if (dlg.Session().Player().HasVideoOutput()) output = Clock::now();
            return;
        }
        if (visible) return;
        QWidget* host = dlg.VideoHost();
        const QPoint centre = host->mapToGlobal(host->rect().center());
        const QImage shot =
            dlg.screen()->grabWindow(0, centre.x() - 40, centre.y() - 40, 80, 80).toImage();
        for (int y = 0; y < shot.height(); y += 4) {
            for (int x = 0; x < shot.width(); x += 4) {
                if (qGray(shot.pixel(x, y)) > 40) {
                    visible = Clock::now();
                    return;
                }
            }
        }
    });
    look.start(1);
    // The busy user-interface thread: MS ms of work at the start of every second.
    QTimer busy;
    QObject::connect(&busy, &QTimer::timeout, [busyMs] {
        const auto until = Clock::now() + std::chrono::milliseconds(busyMs);
        while (Clock::now() < until) {
        }
    });
    if (busyMs > 0) busy.start(1000);
    dlg.show();
    dlg.OpenVideoFile(QString::fromStdString(video));
    dlg.OpenPlayFile(QString::fromStdString((folder / "dense.csv").string()));
    dlg.Session().Play();
    QTimer::singleShot((seconds + 2) * 1000, &dlg, [&] { dlg.close(); });
    dlg.exec();
    stop = true;
    reader.join();

    if (!output || !visible) {
        std::fprintf(stderr, "no picture appeared\n");
        return 1;
    }
    // Match each line's packet by its command byte, in order; stops (00) are left out.
    std::vector<double> lateness;
    std::vector<double> againstClock;
    int closer = 0;
    for (size_t i = 1; i < arrivals.size(); ++i) {
        closer += arrivals[i].at - arrivals[i - 1].at < std::chrono::milliseconds(99);
    }
    int next = 0;
    for (const auto& a : arrivals) {
        for (int i = next; i < lines; ++i) {
            if (CommandOf(i) != a.command) continue;
            const int64_t lineMs = int64_t{times[static_cast<size_t>(i)]} * 100;
            const auto due = *output + std::chrono::milliseconds(lineMs);
            lateness.push_back(std::chrono::duration<double, std::milli>(a.at - due).count());
            againstClock.push_back(static_cast<double>(a.clockMs - lineMs));
            next = i + 1;
            break;
        }
    }
    const int due = lines;
    if (random) {
        std::printf("sync accuracy: %s, %d s, lines at random tenths %d to %d ms apart (seed %u)",
                    video.c_str(), seconds, kRandomGapMinTenths * 100, kRandomGapMaxTenths * 100,
                    kRandomSeed);
    } else {
        std::printf("sync accuracy: %s, %d s, a line every %d ms", video.c_str(), seconds,
                    kLineSpacingTenths * 100);
    }
    if (busyMs > 0) {
        std::printf(", the user-interface thread busy %d ms of every second\n", busyMs);
    } else {
        std::printf("\n");
    }
    std::printf("lines due %d, sent %zu, packets in all %zu, closer than 100 ms %d\n", due,
                lateness.size(), arrivals.size(), closer);
    std::printf("lateness ms: p50 %.1f  p99 %.1f  max %.1f  min %.1f  spread %.1f\n",
                Percentile(lateness, 0.5), Percentile(lateness, 0.99), Percentile(lateness, 1.0),
                Percentile(lateness, 0.0), Percentile(lateness, 1.0) - Percentile(lateness, 0.0));
    std::printf(
        "the first picture showed %.1f ms after the video-output event; lateness from "
        "it: p50 %.1f  p99 %.1f\n",
        std::chrono::duration<double, std::milli>(*visible - *output).count(),
        Percentile(lateness, 0.5) -
            std::chrono::duration<double, std::milli>(*visible - *output).count(),
        Percentile(lateness, 0.99) -
            std::chrono::duration<double, std::milli>(*visible - *output).count());
    std::printf(
        "lateness against the clock ms (%zu packets): p50 %.1f  p99 %.1f  max %.1f  min %.1f\n",
        againstClock.size(), Percentile(againstClock, 0.5), Percentile(againstClock, 0.99),
        Percentile(againstClock, 1.0), Percentile(againstClock, 0.0));
    std::filesystem::remove_all(folder);
    return 0;
}
