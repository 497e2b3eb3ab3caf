// The stop guard with real processes and a pseudo-terminal at the kernel's defaults. Each case
// forks a "player" that starts the guard as the program does, opens the port, moves the device
// and then ends one way or another; the test is the processes' subreaper, so it sees the guard
// end too, and reads what reached the device: the stop packet after a death, nothing added
// after an orderly end, and a guard that never outlives the player for long.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/PosixSerialPort.h"
#include "platform/StopGuard.h"
#include "platform/TtyOutput.h"
#include "support/FreshPty.h"
#include "support/Processes.h"

namespace {

using namespace std::chrono_literals;
using platform::PosixSerialPort;
using platform::StopGuard;

const std::string kMove = "\x01\x01\xB2";
const std::string kOtherMove = "\x01\x01\x05";
const std::string kStop{"\x01\x01\x00", 3};

bool IsSingleThreaded() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator{}) == 1;
}

// The exit status as Processes report it: the code, or 128 + the signal.
int WaitStatus(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits up to `limit` for `pid`; its status, or -1 when it is still running.
int WaitStatusWithin(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(5ms);
    }
    return -1;
}

class StopGuardTest : public ::testing::Test {
protected:
    StopGuardTest() {
        // Orphans (the guard, once its player has gone) come to this process.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }

    // Runs `player` in a child process with a guard of its own and the port open on the
    // pseudo-terminal; the child exits with 0 when `player` returns. Then waits for the child
    // and its guard. The child's status.
    // `meanwhile` runs in the test while the child lives (or until it has died).
    int RunPlayer(const std::function<void(PosixSerialPort&, StopGuard*&)>& player,
                  const std::function<void(pid_t child)>& meanwhile = nullptr) {
        EXPECT_TRUE(IsSingleThreaded()) << "the guard is forked from one thread only";
        int pipe[2];
        EXPECT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipe[0]);
            // A release build's crash ends the process; a sanitizer build's handler would
            // report first. Cases that want a handler of their own install it in `player`.
            for (const int signo : {SIGSEGV, SIGABRT}) ::signal(signo, SIG_DFL);
            auto guard = StopGuard::Start();
            pid_t guardPid = guard ? guard->Pid() : -1;
            [[maybe_unused]] ssize_t n = ::write(pipe[1], &guardPid, sizeof guardPid);
            StopGuard::Install(guard.get());
            if (guard) guard->WatchFatalSignals();
            StopGuard* owned = guard.release();
            {
                PosixSerialPort port;
                if (port.Open(pty.path) != 0 || port.Configure({}) != 0) ::_exit(3);
                player(port, owned);
                // An orderly end: the port released and closed, then the goodbye.
                port.Close();
            }
            delete owned;
            ::_exit(0);
        }
        ::close(pipe[1]);
        pid_t guardPid = -1;
        EXPECT_EQ(::read(pipe[0], &guardPid, sizeof guardPid),
                  static_cast<ssize_t>(sizeof guardPid));
        ::close(pipe[0]);
        EXPECT_GT(guardPid, 0);
        if (meanwhile) meanwhile(child);
        const int status = WaitStatus(child);
        // The guard does its work and leaves within a few seconds, whatever the device does.
        guardStatus = guardPid > 0 ? WaitStatusWithin(guardPid, 20s) : -1;
        EXPECT_EQ(guardStatus, 0) << "the guard did not end with its player";
        return status;
    }

    // All the device received.
    std::string Received() {
        return testing_support::ReadAllWritten(pty.master.Get(), pty.slave.Get());
    }

    testing_support::FreshPty pty = testing_support::OpenFreshPty();
    int guardStatus = -1;
};

void Send(PosixSerialPort& port, const std::string& packet) {
    ASSERT_EQ(port.Write(reinterpret_cast<const uint8_t*>(packet.data()), packet.size(), 500),
              platform::WriteResult::kWritten);
}

// The player dies with the device moving: killed, crashed or aborted.
class PlayerDeath : public StopGuardTest, public ::testing::WithParamInterface<int> {};

TEST_P(PlayerDeath, TheGuardSendsTheStopPacketToThePortLastOpened) {
    const int signo = GetParam();
    const int status = RunPlayer([&](PosixSerialPort& port, StopGuard*&) {
        Send(port, kOtherMove);
        // Closed and opened again: the guard let its copy go, so the exclusive port opens.
        port.Close();
        if (port.Open(pty.path) != 0 || port.Configure({}) != 0) ::_exit(4);
        Send(port, kMove);
        ::raise(signo);
    });
    EXPECT_EQ(status, 128 + signo);
    // A fatal signal is told at once, and the end stops the device again.
    EXPECT_EQ(Received(), kOtherMove + kMove + kStop + (signo == SIGKILL ? "" : kStop));
}

INSTANTIATE_TEST_SUITE_P(Signals, PlayerDeath, ::testing::Values(SIGKILL, SIGSEGV, SIGABRT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// A crash whose handling takes its time (a crash report, a core dump written to a slow disk):
// the stop packet goes out while the player is still ending.
TEST_F(StopGuardTest, ACrashThatTakesItsTimeToEndIsStoppedAtOnce) {
    std::string early;
    const int status = RunPlayer(
        [&](PosixSerialPort& port, StopGuard*& guard) {
            // What handled the crash before the guard's watch: five seconds to end.
            struct sigaction slow {};
            slow.sa_handler = [](int signo) {
                ::sleep(5);
                ::signal(signo, SIG_DFL);
                ::raise(signo);
            };
            ::sigaction(SIGSEGV, &slow, nullptr);
            guard->WatchFatalSignals();
            Send(port, kMove);
            ::raise(SIGSEGV);
        },
        [&](pid_t child) {
            early = testing_support::ReadBytes(pty.master.Get(), kMove.size() + kStop.size());
            int status = 0;
            EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the stop came after the end";
        });
    EXPECT_EQ(status, 128 + SIGSEGV);
    EXPECT_EQ(early, kMove + kStop);
    EXPECT_EQ(Received(), kStop);
}

// An orderly end adds nothing to what the player sent, with the port closed before the goodbye
// as the program does, or still open.
TEST_F(StopGuardTest, AnOrderlyEndAddsNothing) {
    EXPECT_EQ(RunPlayer([&](PosixSerialPort& port, StopGuard*&) {
                  Send(port, kMove);
                  Send(port, kStop);
              }),
              0);
    EXPECT_EQ(Received(), kMove + kStop);

    EXPECT_EQ(RunPlayer([&](PosixSerialPort& port, StopGuard*& guard) {
                  Send(port, kMove);
                  delete guard;  // the goodbye, with the port still open
                  guard = nullptr;
              }),
              0);
    EXPECT_EQ(Received(), kMove);
}

// A port the player has closed is no longer the guard's: a death after it sends nothing.
TEST_F(StopGuardTest, APortClosedBeforeTheDeathIsLeftAlone) {
    EXPECT_EQ(RunPlayer([&](PosixSerialPort& port, StopGuard*&) {
                  Send(port, kMove);
                  Send(port, kStop);
                  port.Close();
                  ::raise(SIGKILL);
              }),
              128 + SIGKILL);
    EXPECT_EQ(Received(), kMove + kStop);
}

// The device stopped reading before the player died: the guard's write and drain are bounded,
// and it leaves (RunPlayer waits for it). Of its stop packet, what found room, if anything.
TEST_F(StopGuardTest, AGuardWhoseDeviceStoppedReadingStillLeaves) {
    size_t filled = 0;
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    EXPECT_EQ(RunPlayer([&](PosixSerialPort& port, StopGuard*&) {
                  while (port.Write(reinterpret_cast<const uint8_t*>(kMove.data()), 3, 100) ==
                         platform::WriteResult::kWritten) {
                      filled += 3;
                  }
                  [[maybe_unused]] ssize_t n = ::write(pipe[1], &filled, sizeof filled);
                  ::raise(SIGKILL);
              }),
              128 + SIGKILL);
    ASSERT_EQ(::read(pipe[0], &filled, sizeof filled), static_cast<ssize_t>(sizeof filled));
    ::close(pipe[0]);
    ::close(pipe[1]);
    const std::string received = Received();
    ASSERT_GE(received.size(), filled);
    EXPECT_EQ(kStop.substr(0, received.size() - filled), received.substr(filled));
}

// The bound on letting a port go: output the device never takes is dropped after the wait.
TEST(DrainAndClose, GivesUpOnOutputThatNeverDrains) {
    auto pty = testing_support::OpenFreshPty();
    const int fd = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    static int asked = 0;
    const auto start = std::chrono::steady_clock::now();
    platform::DrainAndClose(fd, 200, [](int) {
        ++asked;
        return 3;  // bytes that never go out
    });
    // The bound is kept on a clock of whole milliseconds: it may end up to 1 ms short.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 199ms);
    EXPECT_GT(asked, 1);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the port was not closed";
}

}  // namespace
