// How long a window's user-interface thread keeps the user waiting, measured from outside the
// process: every 10 ms the window is sent the window manager's _NET_WM_PING, which Qt answers
// on its user-interface thread, and the time to the answer is taken. A thread busy with
// something else (a write waiting for the device, a sleep) answers late; one that is free
// answers in well under a millisecond.
//
//   kestrune_ui_ping WINDOW SECONDS     (WINDOW: an X window id, decimal or 0x hex)
//
// Prints the round trips' count, p50, p99 and max in ms, and how many went unanswered.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "Percentile.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kInterval = std::chrono::milliseconds(10);

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: kestrune_ui_ping WINDOW SECONDS\n", stderr);
        return 2;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const double seconds = std::atof(argv[2]);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || window == 0 || seconds <= 0) {
        std::fputs("kestrune_ui_ping: no display or no window\n", stderr);
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    // Qt sends its answer to the root window for those who select structure notifications
    // there (and the window manager, which redirects).
    XSelectInput(display, root, StructureNotifyMask);

    std::map<long, Clock::time_point> sent;  // by the ping's serial (its "timestamp")
    std::vector<double> trips;
    long serial = 1;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    auto next = Clock::now();
    while (Clock::now() < end) {
        if (Clock::now() >= next) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = static_cast<long>(ping);
            event.xclient.data.l[1] = serial;
            event.xclient.data.l[2] = static_cast<long>(window);
            XSendEvent(display, window, False, NoEventMask, &event);
            XFlush(display);
            sent[serial++] = Clock::now();
            next += kInterval;
        }
        while (XPending(display) > 0) {
            XEvent event{};
            XNextEvent(display, &event);
            if (event.type != ClientMessage || event.xclient.message_type != protocols ||
                static_cast<Atom>(event.xclient.data.l[0]) != ping) {
                continue;
            }
            const auto found = sent.find(event.xclient.data.l[1]);
            if (found == sent.end()) continue;
            trips.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - found->second).count());
            sent.erase(found);
        }
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        ::poll(&connection, 1, static_cast<int>(std::max<int64_t>(0, wait.count())));
    }
    // Pings still out at the end wait as long as the run is over: they count as unanswered.
    std::printf("pings %zu, answered %zu, p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                trips.size() + sent.size(), trips.size(), Percentile(trips, 0.5),
                Percentile(trips, 0.99), Percentile(trips, 1.0));
    XCloseDisplay(display);
    return trips.empty() ? 1 : 0;
}
