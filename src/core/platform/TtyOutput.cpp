#include "platform/TtyOutput.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

constexpr int kDrainPollMs = 5;

int64_t NowMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

void SleepMs(int ms) {
    timespec pause{ms / 1000, (ms % 1000) * 1'000'000L};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

}  // namespace

WriteResult WriteWithin(int fd, const uint8_t* data, size_t size, int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return WriteResult::kFailed;
        const int64_t left = deadline - NowMs();
        if (left <= 0) return WriteResult::kTimedOut;
        pollfd waiting{fd, POLLOUT, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) return WriteResult::kFailed;
        if (ready > 0 && (waiting.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            return WriteResult::kFailed;
        }
    }
    return WriteResult::kWritten;
}

int QueuedOutput(int fd) {
    int queued = 0;
    return ::ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : 0;
}

void DrainAndClose(int fd, int timeoutMs, int (*queued)(int fd)) {
    const int64_t deadline = NowMs() + timeoutMs;
    while (queued(fd) > 0 && NowMs() < deadline) SleepMs(kDrainPollMs);
    // What the device did not take in time is dropped, so that the close does not wait for it.
    if (queued(fd) > 0) ::tcflush(fd, TCOFLUSH);
    ::close(fd);
}

}  // namespace platform
