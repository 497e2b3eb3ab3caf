#include "e2e/Desktop.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/UniqueFd.h"
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
    // The server writes its display number to the pipe once it accepts clients.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    platform::UniqueFd readEnd(fds[0]);
    platform::UniqueFd writeEnd(fds[1]);
    std::string fd = "3";
    std::vector<std::string> args = {"Xvfb",   "-displayfd", fd,          "-screen",
                                     "0",      "1280x1024x24", "-nolisten", "tcp",
                                     "-noreset"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 3);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int rc = ::posix_spawnp(&server_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Reset();
    if (rc != 0) {
        server_ = -1;
        return;
    }
    std::string number;
    pollfd p{readEnd.Get(), POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0) {
        char c = 0;
        if (::read(readEnd.Get(), &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    if (!number.empty()) display_ = ":" + number;
}

Desktop::~Desktop() {
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        ::waitpid(server_, nullptr, 0);
    }
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
    std::string text;
    if (!Xdotool("getwindowgeometry --shell " + std::to_string(window), &text)) return {};
    int x = 0, y = 0, width = 0, height = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::sscanf(line.c_str(), "X=%d", &x);
        std::sscanf(line.c_str(), "Y=%d", &y);
        std::sscanf(line.c_str(), "WIDTH=%d", &width);
        std::sscanf(line.c_str(), "HEIGHT=%d", &height);
    }
    return {x, y, width, height};
}

void Desktop::Click(QPoint at) const {
    Xdotool("mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
            " sleep 0.15 click 1");
}

void Desktop::Press(QPoint at) const {
    Xdotool("mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
            " sleep 0.15 mousedown 1");
}

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
