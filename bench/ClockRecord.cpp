// What libvlc reports as the playback time, against the monotonic clock: plays a medium in a
// plain X window of its own (720x480) and samples the reported time and state every 2 ms,
// printing a line each time either changes:
//
//   MONOTONIC_MS REPORTED_MS STATE
//
// (STATE: libvlc's state number, 3 playing.) The first line is "# window ID", so that
// kestrune_picture_probe can read the picture of the same run, the second "# scale RATE LEAD_MS"
// (how the medium's reports become media time, see StreamTiming.h); a seek or a chapter change
// adds a line "# seek MS at MONOTONIC_MS" or "# chapter N at MONOTONIC_MS" as it is asked for.
// Recordings of both are the clock estimators' test data.
//
//   kestrune_clock_record MEDIUM SECONDS [--seek AT_S:MS] [--chapter AT_S:N]...
//   (MEDIUM: a file, or a location such as dvd:///dir; AT_S: seconds from the start, in order)

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/X11Threads.h"
#include "player/StreamTiming.h"
#include "player/VlcPlayer.h"

namespace {

// A seek or a chapter change, `atMs` after the start.
struct Action {
    double atMs;
    bool chapter;
    int64_t value;
};

double MonotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3 || argc % 2 == 0) {
        std::fputs(
            "usage: kestrune_clock_record MEDIUM SECONDS [--seek AT_S:MS] "
            "[--chapter AT_S:N]...\n",
            stderr);
        return 2;
    }
    const std::string medium = argv[1];
    const double seconds = std::atof(argv[2]);
    std::vector<Action> actions;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        char* rest = nullptr;
        const double at = std::strtod(argv[i + 1], &rest);
        if ((option != "--seek" && option != "--chapter") || *rest != ':') {
            std::fprintf(stderr, "kestrune_clock_record: %s %s?\n", argv[i], argv[i + 1]);
            return 2;
        }
        actions.push_back({at * 1000.0, option == "--chapter", std::atoll(rest + 1)});
    }
    platform::InitX11Threads();
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || seconds <= 0) {
        std::fputs("kestrune_clock_record: no display\n", stderr);
        return 2;
    }
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 720, 480,
                                              0, BlackPixel(display, 0), BlackPixel(display, 0));
    XStoreName(display, window, "kestrune_clock_record");
    XMapWindow(display, window);
    XSync(display, False);

    VlcPlayer player;
    if (!player.IsAvailable()) {
        std::fputs("kestrune_clock_record: libvlc could not start\n", stderr);
        return 1;
    }
    player.SetHwnd(static_cast<uint32_t>(window));
    if (medium.find("://") != std::string::npos) {
        player.OpenLocation(medium);
    } else {
        player.OpenPath(medium);
    }
    std::printf("# window %lu\n", window);
    const ClockScale scale =
        medium.rfind("dvd://", 0) == 0 ? DvdClockScale(medium) : FileClockScale(medium);
    std::printf("# scale %.9f %lld\n", scale.rate, static_cast<long long>(scale.leadMs));
    std::fflush(stdout);
    player.Play();

    const double start = MonotonicMs();
    const double end = start + seconds * 1000.0;
    size_t next = 0;
    int64_t lastTime = -2;
    PlayerState lastState = PlayerState::kError;
    while (MonotonicMs() < end) {
        if (next < actions.size() && MonotonicMs() - start >= actions[next].atMs) {
            const Action& action = actions[next++];
            std::printf("# %s %lld at %.1f\n", action.chapter ? "chapter" : "seek",
                        static_cast<long long>(action.value), MonotonicMs());
            if (action.chapter) {
                player.SetChapter(static_cast<int>(action.value));
            } else {
                player.SetTime(action.value);
            }
        }
        const double at = MonotonicMs();
        const int64_t time = player.GetTime();
        const PlayerState state = player.GetState();
        if (time != lastTime || state != lastState) {
            std::printf("%.1f %lld %d\n", at, static_cast<long long>(time),
                        static_cast<int>(state));
            std::fflush(stdout);
            lastTime = time;
            lastState = state;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    player.Stop();
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
