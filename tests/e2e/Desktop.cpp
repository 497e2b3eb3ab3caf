#include "e2e/Desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>

#include "support/Processes.h"

extern char** environ;

namespace e2e {

using namespace std::chrono_literals;

namespace {

// Quotes `text` for the shell.
std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

Desktop::Desktop() {
    if (server_.Name().empty()) return;
    display_ = server_.Name();
    // A desktop's window manager, then its compositor; a story starts once both run. The
    // compositor without shadows or fading (no configuration); xcompmgr now and then stopped
    // drawing the bar's windows in full screen, though they were mapped and on top.
    windowManager_ = Spawn({"openbox", "--sm-disable"});
    compositor_ = Spawn({"picom", "--config", "/dev/null", "--backend", "xrender"});
    if (windowManager_ < 0 || compositor_ < 0 || !WaitSelectionOwner("WM_S0") ||
        !WaitSelectionOwner("_NET_WM_CM_S0")) {
        display_.clear();
    }
}

Desktop::~Desktop() {
    // The server stops after them, with the member that runs it.
    for (const pid_t pid : {compositor_, windowManager_}) {
        if (pid <= 0) continue;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
}

pid_t Desktop::Spawn(const std::vector<std::string>& args) const {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("DISPLAY=", 0) != 0) env.emplace_back(*e);
    }
    env.push_back(DisplayEnv());
    std::vector<char*> argv;
    std::vector<char*> envp;
    auto arguments = args;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

bool Desktop::WaitSelectionOwner(const char* selection) const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return false;
    const Atom atom = XInternAtom(x, selection, False);
    const bool owned = testing_support::WaitFor([&] { return XGetSelectionOwner(x, atom) != None; },
                                                std::chrono::seconds(20));
    XCloseDisplay(x);
    return owned;
}

bool Desktop::Xdotool(const std::string& arguments, std::string* output) const {
    const std::string command = "DISPLAY=" + display_ + " xdotool " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
    const int status = ::pclose(pipe);
    if (output != nullptr) *output = text;
    return status == 0;
}

std::vector<unsigned long> Desktop::Windows(pid_t pid, const std::string& title) const {
    return testing_support::FindWindows(pid, title, display_);
}

unsigned long Desktop::WaitWindow(pid_t pid, const std::string& title,
                                  std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        if (const auto windows = Windows(pid, title); !windows.empty()) return windows.front();
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < end);
    return 0;
}

QRect Desktop::Geometry(unsigned long window) const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return {};
    QRect area;
    XWindowAttributes attributes{};
    int left = 0;
    int top = 0;
    Window child = 0;
    if (XGetWindowAttributes(x, window, &attributes) != 0 &&
        XTranslateCoordinates(x, window, DefaultRootWindow(x), 0, 0, &left, &top, &child) != 0) {
        area = QRect(left, top, attributes.width, attributes.height);
    }
    XCloseDisplay(x);
    return area;
}

QImage Desktop::Grab(const QRect& area) const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return {};
    QImage picture;
    if (XImage* image = XGetImage(x, DefaultRootWindow(x), area.x(), area.y(),
                                  static_cast<unsigned>(area.width()),
                                  static_cast<unsigned>(area.height()), AllPlanes, ZPixmap)) {
        picture = QImage(area.size(), QImage::Format_RGB32);
        for (int row = 0; row < area.height(); ++row) {
            for (int column = 0; column < area.width(); ++column) {
                const unsigned long pixel = XGetPixel(image, column, row);
                picture.setPixel(column, row, static_cast<QRgb>(0xFF000000 | (pixel & 0xFFFFFF)));
            }
        }
        XDestroyImage(image);
    }
    XCloseDisplay(x);
    return picture;
}

std::vector<unsigned long> Desktop::Stacking() const {
    std::vector<unsigned long> windows;
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return windows;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x, DefaultRootWindow(x),
                           XInternAtom(x, "_NET_CLIENT_LIST_STACKING", False), 0, 4096, False,
                           XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        const auto* ids = reinterpret_cast<const unsigned long*>(data);
        windows.assign(ids, ids + count);
    }
    if (data != nullptr) XFree(data);
    XCloseDisplay(x);
    return windows;
}

void Desktop::SendWindowManagerMessage(unsigned long window, const char* type, long data0,
                                       long data1, long data2) const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, type, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = data0;
    event.xclient.data.l[1] = data1;
    event.xclient.data.l[2] = data2;
    XSendEvent(x, DefaultRootWindow(x), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XCloseDisplay(x);
}

void Desktop::Minimise(unsigned long window) const {
    SendWindowManagerMessage(window, "WM_CHANGE_STATE", IconicState);
}

// Source 2: a pager or task bar, which window managers obey without focus-stealing rules.
void Desktop::Activate(unsigned long window) const {
    SendWindowManagerMessage(window, "_NET_ACTIVE_WINDOW", 2, CurrentTime);
}

void Desktop::Maximise(unsigned long window) const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return;
    const long horizontal =
        static_cast<long>(XInternAtom(x, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
    const long vertical = static_cast<long>(XInternAtom(x, "_NET_WM_STATE_MAXIMIZED_VERT", False));
    XCloseDisplay(x);
    constexpr long kAdd = 1;
    SendWindowManagerMessage(window, "_NET_WM_STATE", kAdd, horizontal, vertical);
}

bool Desktop::IsMinimised(unsigned long window) const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return false;
    XWindowAttributes attributes{};
    const bool unmapped =
        XGetWindowAttributes(x, window, &attributes) != 0 && attributes.map_state != IsViewable;
    XCloseDisplay(x);
    return unmapped;
}

unsigned long Desktop::ActiveWindow() const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return 0;
    unsigned long active = 0;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x, DefaultRootWindow(x), XInternAtom(x, "_NET_ACTIVE_WINDOW", False), 0,
                           1, False, XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && count == 1) {
        active = *reinterpret_cast<const unsigned long*>(data);
    }
    if (data != nullptr) XFree(data);
    XCloseDisplay(x);
    return active;
}

bool Desktop::MenuShown() const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return false;
    const Atom typeProperty = XInternAtom(x, "_NET_WM_WINDOW_TYPE", False);
    // A menu of the menu bar says it is one; a button's menu shows as a plain window (the
    // window manager's own helper windows have no type, tooltips theirs).
    const Atom menuTypes[] = {XInternAtom(x, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False),
                              XInternAtom(x, "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", False),
                              XInternAtom(x, "_NET_WM_WINDOW_TYPE_NORMAL", False)};
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    bool shown = false;
    // Menus bypass the window manager (override-redirect): they are children of the root
    // window themselves.
    if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && !shown; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(x, children[i], &attributes) == 0 ||
                attributes.map_state != IsViewable || attributes.override_redirect == 0) {
                continue;
            }
            Atom type = 0;
            int format = 0;
            unsigned long items = 0;
            unsigned long after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(x, children[i], typeProperty, 0, 16, False, XA_ATOM, &type,
                                   &format, &items, &after, &data) == Success &&
                data != nullptr) {
                const auto* types = reinterpret_cast<const Atom*>(data);
                for (unsigned long t = 0; t < items; ++t) {
                    shown = shown || std::find(std::begin(menuTypes), std::end(menuTypes),
                                               types[t]) != std::end(menuTypes);
                }
            }
            if (data != nullptr) XFree(data);
        }
    }
    if (children != nullptr) XFree(children);
    XCloseDisplay(x);
    return shown;
}

void Desktop::ParkPointer() const { Xdotool(MoveTo(QPoint(1278, 1023))); }

// The pointer comes from the next pixel: xdotool's --sync waits for the pointer to move, and
// one already on the spot does not (xdotool gives up after 15 s).
std::string Desktop::MoveTo(QPoint at) {
    return "mousemove " + std::to_string(at.x() + 1) + " " + std::to_string(at.y()) +
           " mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y());
}

void Desktop::Click(QPoint at) const { Xdotool(MoveTo(at) + " sleep 0.15 click 1"); }

void Desktop::Move(QPoint at) const { Xdotool(MoveTo(at)); }

void Desktop::Press(QPoint at) const { Xdotool(MoveTo(at) + " sleep 0.15 mousedown 1"); }

void Desktop::Release() const { Xdotool("mouseup 1"); }

void Desktop::Keys(unsigned long window, const std::string& keys) const {
    Xdotool("windowfocus --sync " + std::to_string(window) + " key --delay 80 " + keys);
}

void Desktop::MenuKeys(const std::string& keys) const { Xdotool("key --delay 80 " + keys); }

void Desktop::Type(unsigned long window, const std::string& text) const {
    Xdotool("windowfocus --sync " + std::to_string(window) + " type --delay 5 " + Quoted(text));
}

void Desktop::Screenshot(const std::string& path) const {
    const std::string command =
        "DISPLAY=" + display_ + " import -window root " + Quoted(path) + " 2>/dev/null";
    [[maybe_unused]] const int status = std::system(command.c_str());
}

void Desktop::RequestClose(unsigned long window) const {
    ::Display* x = XOpenDisplay(display_.c_str());
    if (x == nullptr) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, window, False, NoEventMask, &event);
    XCloseDisplay(x);
}

}  // namespace e2e
