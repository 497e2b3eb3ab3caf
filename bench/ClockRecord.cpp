// What libvlc reports as the playback time, against the monotonic clock: plays a medium in a
// plain X window of its own (720x480) and samples the reported time and state every 2 ms,
// printing a line each time either changes:
//
//   MONOTONIC_MS REPORTED_MS STATE
//
// (STATE: libvlc's state number, 3 playing.) The first line is "# window ID", so that
// kestrune_picture_probe can read the picture of the same run; recordings of both are the
// clock estimators' test data.
//
//   kestrune_clock_record MEDIUM SECONDS      (MEDIUM: a file, or a location such as dvd:///dir)

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "platform/X11Threads.h"
#include "player/VlcPlayer.h"

namespace {

double MonotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: kestrune_clock_record MEDIUM SECONDS\n", stderr);
        return 2;
    }
    const std::string medium = argv[1];
    const double seconds = std::atof(argv[2]);
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
    std::fflush(stdout);
    player.Play();

    const double end = MonotonicMs() + seconds * 1000.0;
    int64_t lastTime = -2;
    PlayerState lastState = PlayerState::kError;
    while (MonotonicMs() < end) {
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
