// kestrune-devsim: a virtual USB radio dongle for running the player without the motion
// device. It offers a pseudo-terminal as the dongle's serial port, published as a symbolic
// link under the dongle's name, and prints every command packet the player sends. Used by
// the demo and the tests as well as by users without the device. The port comes as a real
// adapter does, at the kernel's terminal defaults, and the dongle may talk back, so that a
// player which does not set its port up properly shows it here.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Options.h"
#include "PacketStream.h"
#include "Talk.h"
#include "VirtualPort.h"
#include "platform/UniqueFd.h"

namespace {

using devsim::Options;
using devsim::UsageError;

constexpr int kMaxSpeed = 100;
// How long to leave the master alone after it reported that no slave is open.
constexpr double kHangUpPauseMs = 100.0;
// After the slave is opened, how long and how often to look for the exclusive-use flag.
constexpr double kExclusiveWatchMs = 200.0;
constexpr double kExclusivePollMs = 1.0;

constexpr const char* kUsage =
    R"(usage: kestrune-devsim [OPTIONS]

A virtual USB radio dongle: a pseudo-terminal that the player opens as the dongle's serial
port, published as a symbolic link. Prints every command packet (01 01 CMD) it receives.
The port is left at the kernel's terminal defaults, as a freshly plugged USB serial adapter
comes (NL sent as CR NL, echo, line editing, XON/XOFF flow control): the player must make it
raw itself, or its bytes arrive changed and show here as wrong packets and stray bytes.

Options:
  --dir DIR          folder of the link, created if missing (default
                     $XDG_RUNTIME_DIR/kestrune-devsim, or /tmp/kestrune-devsim-UID
                     without a usable XDG_RUNTIME_DIR)
  --name NAME        name of the link (default usb-Kestrune_Virtual_Dongle-if00)
  --record FILE      also write every packet to FILE as CSV
  --epoch-ms         arrival times in milliseconds of CLOCK_MONOTONIC itself instead of
                     milliseconds since the start (to compare with another process's clock)
  --unplug-after S   after S seconds remove the link and close the port
  --replug-after S   S seconds after the unplug, plug in a fresh port
  --duration S       exit after S seconds
  --talk MS:HEX[,MS:HEX...]
                     send bytes to the player MS milliseconds after the port is first
                     opened (by anyone but the simulator; counted afresh after a replug).
                     HEX is the bytes as pairs of hex digits: --talk 500:13,900:110d0a
                     sends XOFF at 0.5 s, then XON CR LF at 0.9 s. On a port the player
                     left at the kernel's defaults a 13 stops its output and every byte
                     is echoed back (and shows as stray bytes)
  --talk-every MS:HEX[,MS:HEX...]
                     send the bytes every MS milliseconds from that first open on
  -h, --help         show this text
Seconds may be fractional; --talk and --talk-every may be given more than once.

Output on stdout, one flushed line per event:
  devsim: port /dev/pts/N          the serial port (at the start and at each replug)
  devsim: link DIR/NAME            the link to it
  T_MS  01 01 cc  direction D speed S
                                   a packet. T_MS: arrival in milliseconds, three
                                   decimals; cc: command byte in hex; D: its bit 7;
                                   S: its bits 0-6
  devsim: speed S out of range     follows a packet whose speed is above 100
  devsim: stray byte xx            a byte outside any packet, dropped: the stream is out of
                                   frame (the packets around it may be wrong too)
  devsim: sent xx xx ...           bytes said to the player (--talk, --talk-every)
  devsim: could not send xx ...    the player's input is full; what did not fit is dropped
  devsim: unplugged
  devsim: replugged                after the port and link lines of the new port
  devsim: N stray bytes            at the end when there were any
  devsim: N packets                at the end (SIGTERM, SIGINT, SIGHUP or --duration)
The record has the header arrival_ms,byte0,byte1,byte2,direction,speed and one line per
packet, bytes in two-digit lower-case hex.

Exit status: 0 at a normal end (the link is removed), 1 on a failure, 2 on a bad command
line.
)";

double MonotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

[[gnu::format(printf, 1, 2)]] void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

bool IsUsableFolder(const char* path) {
    struct stat st {};
    return path != nullptr && path[0] == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path, W_OK | X_OK) == 0;
}

// The default folders are made private to the user: in /tmp someone else could otherwise
// swap the link for one to their own terminal.
std::string PrepareDefaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = IsUsableFolder(runtime)
                                   ? std::string(runtime) + "/kestrune-devsim"
                                   : "/tmp/kestrune-devsim-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot create " + folder + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw std::runtime_error(folder + " is not a folder of this user's own");
    }
    return folder;
}

std::string PrepareFolder(const std::optional<std::string>& requested) {
    if (!requested) return PrepareDefaultFolder();
    std::error_code error;
    std::filesystem::create_directories(*requested, error);
    if (error) throw std::runtime_error("cannot create " + *requested + ": " + error.message());
    return *requested;
}

// SIGTERM, SIGINT and SIGHUP end the run through a pipe that the main loop polls.
volatile sig_atomic_t gSignalPipe = -1;

extern "C" void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (gSignalPipe >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(gSignalPipe, &byte, 1);
    }
    errno = saved;
}

class SignalPipe {
public:
    SignalPipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
        }
        read_.Reset(fds[0]);
        write_.Reset(fds[1]);
        gSignalPipe = fds[1];
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
        // stdout may be a pipe whose reader left: carry on and still clean up at the end.
        ::signal(SIGPIPE, SIG_IGN);
    }
    ~SignalPipe() { gSignalPipe = -1; }
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    [[nodiscard]] int ReadFd() const { return read_.Get(); }

private:
    platform::UniqueFd read_;
    platform::UniqueFd write_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

class Simulator {
public:
    Simulator(Options options, std::string folder, File record)
        : options_(std::move(options)),
          folder_(std::move(folder)),
          record_(std::move(record)),
          start_(MonotonicMs()),
          stream_([this](const devsim::Packet& p) { OnPacket(p); },
                  [this](uint8_t byte) {
                      ++strays_;
                      Say("devsim: stray byte %02x\n", byte);
                  }),
          talk_(options_.talk, options_.talkEvery) {
        if (record_) {
            std::fputs("arrival_ms,byte0,byte1,byte2,direction,speed\n", record_.get());
            std::fflush(record_.get());
        }
    }

    int Run(int signalFd);

private:
    void Plug() {
        port_ = std::make_unique<devsim::VirtualPort>(folder_, options_.name);
        Say("devsim: port %s\ndevsim: link %s\n", port_->SlavePath().c_str(),
            port_->LinkPath().c_str());
        // Without a watch on opens there is no open to count from: count from the plug-in.
        if (port_->WatchFd() < 0) talk_.Start(MonotonicMs());
    }

    void Unplug() {
        stream_.Discard();
        port_.reset();
        masterPausedUntil_.reset();
        exclusiveWatchUntil_.reset();
        talk_.Stop();
    }

    void OnOpened(double now) {
        exclusiveWatchUntil_ = now + kExclusiveWatchMs;
        if (!talk_.Started()) talk_.Start(now);
    }

    void Talk(double now) {
        for (const auto& bytes : talk_.TakeDue(now)) {
            std::string hex;
            for (const uint8_t b : bytes) {
                char text[4];
                std::snprintf(text, sizeof text, " %02x", b);
                hex += text;
            }
            size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t n = port_->Write(bytes.data() + done, bytes.size() - done);
                if (n > 0) {
                    done += static_cast<size_t>(n);
                } else if (n < 0 && errno == EINTR) {
                    continue;
                } else {
                    break;
                }
            }
            Say(done == bytes.size() ? "devsim: sent%s\n" : "devsim: could not send%s\n",
                hex.c_str());
        }
    }

    void WatchExclusive(double now) {
        if (!exclusiveWatchUntil_) return;
        if (now >= *exclusiveWatchUntil_ || port_->DropExclusive()) exclusiveWatchUntil_.reset();
    }

    void ReadMaster() {
        port_->DropExclusive();
        uint8_t buffer[4096];
        for (;;) {
            const ssize_t n = port_->Read(buffer, sizeof buffer);
            if (n > 0) {
                arrivalMs_ = MonotonicMs();
                stream_.Feed(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            // End of file or EIO: no slave is open anywhere. Wait rather than spin on it.
            masterPausedUntil_ = MonotonicMs() + kHangUpPauseMs;
            return;
        }
    }

    void OnPacket(const devsim::Packet& packet) {
        ++packets_;
        const double ms = options_.epochMs ? arrivalMs_ : arrivalMs_ - start_;
        const auto& b = packet.bytes;
        Say("%.3f  %02x %02x %02x  direction %d speed %d\n", ms, b[0], b[1], b[2],
            packet.Direction(), packet.Speed());
        if (packet.Speed() > kMaxSpeed) Say("devsim: speed %d out of range\n", packet.Speed());
        if (record_) {
            std::fprintf(record_.get(), "%.3f,%02x,%02x,%02x,%d,%d\n", ms, b[0], b[1], b[2],
                         packet.Direction(), packet.Speed());
            std::fflush(record_.get());
        }
    }

    Options options_;
    std::string folder_;
    File record_;
    double start_;
    double arrivalMs_ = 0;
    uint64_t packets_ = 0;
    uint64_t strays_ = 0;
    devsim::PacketStream stream_;
    devsim::TalkSchedule talk_;
    std::unique_ptr<devsim::VirtualPort> port_;
    std::optional<double> masterPausedUntil_;
    std::optional<double> exclusiveWatchUntil_;
};

int Simulator::Run(int signalFd) {
    Plug();
    const auto after = [this](std::optional<double> seconds, double from) {
        return seconds ? std::optional<double>(from + *seconds * 1e3) : std::nullopt;
    };
    const std::optional<double> endAt = after(options_.duration, start_);
    std::optional<double> unplugAt = after(options_.unplugAfter, start_);
    std::optional<double> replugAt;

    for (;;) {
        double now = MonotonicMs();
        if (endAt && now >= *endAt) break;
        if (unplugAt && now >= *unplugAt) {
            Unplug();
            Say("devsim: unplugged\n");
            unplugAt.reset();
            replugAt = after(options_.replugAfter, now);
        }
        if (replugAt && now >= *replugAt) {
            Plug();
            Say("devsim: replugged\n");
            replugAt.reset();
        }
        if (masterPausedUntil_ && now >= *masterPausedUntil_) masterPausedUntil_.reset();
        WatchExclusive(now);
        if (port_) Talk(now);

        std::optional<double> wakeAt;
        const std::optional<double> exclusivePollAt =
            exclusiveWatchUntil_ ? std::optional<double>(now + kExclusivePollMs) : std::nullopt;
        for (const auto& at :
             {endAt, unplugAt, replugAt, masterPausedUntil_, exclusivePollAt, talk_.NextAt()}) {
            if (at && (!wakeAt || *at < *wakeAt)) wakeAt = at;
        }
        int timeout = -1;
        if (wakeAt) {
            timeout = static_cast<int>(
                std::min<double>(std::ceil(*wakeAt - now), std::numeric_limits<int>::max()));
        }

        pollfd fds[3] = {{signalFd, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        if (port_) {
            if (!masterPausedUntil_) fds[1].fd = port_->MasterFd();
            fds[2].fd = port_->WatchFd();
        }
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        if (fds[2].revents != 0 && port_->HandleWatchEvents()) OnOpened(MonotonicMs());
        if (fds[1].revents != 0) ReadMaster();
        if (fds[0].revents != 0) break;
    }
    // What the player wrote before the end is still counted.
    if (port_ && !masterPausedUntil_) ReadMaster();
    Unplug();
    if (strays_ > 0) Say("devsim: %llu stray bytes\n", static_cast<unsigned long long>(strays_));
    Say("devsim: %llu packets\n", static_cast<unsigned long long>(packets_));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    Options options;
    try {
        bool help = false;
        options = devsim::ParseOptions(argc, argv, help);
        if (help) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kestrune-devsim: %s (see --help)\n", e.what());
        return 2;
    }
    try {
        const SignalPipe signals;
        File record;
        if (options.record) {
            record.reset(std::fopen(options.record->c_str(), "w"));
            if (!record) {
                throw std::runtime_error("cannot write " + *options.record + ": " +
                                         std::strerror(errno));
            }
        }
        std::string folder = PrepareFolder(options.folder);
        Simulator simulator(std::move(options), std::move(folder), std::move(record));
        return simulator.Run(signals.ReadFd());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "devsim: error: %s\n", e.what());
        return 1;
    }
}
