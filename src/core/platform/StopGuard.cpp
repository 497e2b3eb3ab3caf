#include "platform/StopGuard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "platform/TtyOutput.h"

namespace platform {
namespace {

// Messages from the player, one byte each; kHold carries the port's descriptor.
constexpr char kHold = 'H';
constexpr char kRelease = 'R';
constexpr char kGoodbye = 'B';
// The player has a fatal signal (a crash, an abort) and is about to end.
constexpr char kDying = 'D';
// The guard's answer to kRelease.
constexpr char kReleased = 'r';

// The guard's socket, moved below every other descriptor it keeps.
constexpr int kGuardSocket = 3;

constexpr uint8_t kStopPacket[3] = {0x01, 0x01, 0x00};
// As between any two packets: the player may have written one just before it died.
constexpr long kPacketSpacingNs = 100'000'000;
constexpr int kStopWriteTimeoutMs = 500;

StopGuard* installed = nullptr;

// One message and, with it, a descriptor if one came (-1 otherwise). 0 at the end of the
// player's socket.
char Receive(int socket, int& fd) {
    fd = -1;
    char message = 0;
    iovec data{&message, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = ::recvmsg(socket, &header, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
            std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
        }
    }
    return message;
}

void Drop(int& port) {
    if (port >= 0) ::close(port);
    port = -1;
}

// The stop packet, after the packets' spacing: the player may have written one just before.
bool SendStop(int port) {
    timespec spacing{0, kPacketSpacingNs};
    while (::nanosleep(&spacing, &spacing) != 0 && errno == EINTR) {
    }
    return WriteWithin(port, kStopPacket, sizeof kStopPacket, kStopWriteTimeoutMs) ==
           WriteResult::kWritten;
}

// The guard's life, in the forked child: system calls only, no allocation and nothing of the
// libraries' state it shares with the player, so that it works in whatever state the player's
// memory was copied.
[[noreturn]] void RunGuard(int socket) {
    ::prctl(PR_SET_NAME, "kestrune-guard");
    // The terminal's signals reach the whole process group; the player answers them and the
    // guard follows it. A port or a terminal gone away must not end it either.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (const int signo : {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE}) {
        ::sigaction(signo, &ignore, nullptr);
    }
    // Nothing of the player's is kept open (a pipe a reader waits on, say) but standard error.
    if (socket != kGuardSocket) {
        ::dup2(socket, kGuardSocket);
        ::close(socket);
    }
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
    }
    ::close_range(kGuardSocket + 1, ~0U, 0);

    int port = -1;
    for (;;) {
        int fd = -1;
        const char message = Receive(kGuardSocket, fd);
        if (message == 0) break;
        if (message == kHold && fd >= 0) {
            Drop(port);
            port = fd;
            continue;
        }
        if (fd >= 0) ::close(fd);
        if (message == kRelease) {
            Drop(port);
            [[maybe_unused]] const ssize_t n = ::send(kGuardSocket, &kReleased, 1, MSG_NOSIGNAL);
        } else if (message == kGoodbye) {
            Drop(port);
            ::_exit(0);
        } else if (message == kDying && port >= 0) {
            // Stopped now, while a crash report or a core dump holds up the end; again at the
            // end, for a thread of the player's that wrote on meanwhile.
            SendStop(port);
        }
    }
    // The player is gone without a goodbye.
    if (port >= 0) {
        const bool sent = SendStop(port);
        DrainAndClose(port, kDrainTimeoutMs);
        if (sent) {
            static constexpr char kSaid[] =
                "kestrune-guard: the player ended without stopping the device; the stop packet "
                "was sent\n";
            [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kSaid, sizeof kSaid - 1);
        }
    }
    ::_exit(0);
}

// The player's side of a fatal signal: the guard is told at once, then whatever handled the
// signal before (the default action, a sanitizer's report) takes over. System calls only.
int dyingSocket = -1;
struct sigaction previousActions[NSIG];

void OnFatalSignal(int signo) {
    const int savedErrno = errno;
    [[maybe_unused]] const ssize_t n = ::send(dyingSocket, &kDying, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    ::sigaction(signo, &previousActions[signo], nullptr);
    // Delivered when this handler returns; a fault also comes again as its instruction reruns.
    ::raise(signo);
    errno = savedErrno;
}

}  // namespace

std::unique_ptr<StopGuard> StopGuard::Start() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
    UniqueFd player(pair[0]);
    UniqueFd guard(pair[1]);
    const pid_t pid = ::fork();
    if (pid < 0) return nullptr;
    if (pid == 0) {
        player.Reset();
        RunGuard(guard.Release());
    }
    return std::unique_ptr<StopGuard>(new StopGuard(std::move(player), pid));
}

StopGuard::~StopGuard() {
    if (installed == this) installed = nullptr;
    Send(kGoodbye);
}

void StopGuard::Send(char message, int fd) {
    if (!socket_.Valid()) return;
    iovec data{&message, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    if (fd >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&header);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    ssize_t n;
    do {
        n = ::sendmsg(socket_.Get(), &header, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    // A guard that is gone guards nothing more: the player goes on without it.
    if (n < 0) socket_.Reset();
}

void StopGuard::Hold(int fd) { Send(kHold, fd); }

void StopGuard::Release() {
    // An answer to an earlier release that came after its wait ended is not this one's.
    char stale = 0;
    while (socket_.Valid() && ::recv(socket_.Get(), &stale, 1, MSG_DONTWAIT) > 0) {
    }
    Send(kRelease);
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    while (socket_.Valid()) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsed =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1'000'000;
        if (elapsed >= kReleaseWaitMs) return;
        pollfd answer{socket_.Get(), POLLIN, 0};
        const int ready = ::poll(&answer, 1, static_cast<int>(kReleaseWaitMs - elapsed));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        char reply = 0;
        const ssize_t n = ::recv(socket_.Get(), &reply, 1, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            socket_.Reset();
            return;
        }
        if (reply == kReleased) return;
    }
}

void StopGuard::WatchFatalSignals() {
    if (!socket_.Valid()) return;
    dyingSocket = socket_.Get();
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    for (const int signo : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP}) {
        ::sigaction(signo, &action, &previousActions[signo]);
    }
}

StopGuard* StopGuard::Installed() { return installed; }

void StopGuard::Install(StopGuard* guard) { installed = guard; }

}  // namespace platform
