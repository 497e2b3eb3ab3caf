#pragma once

// The stop guard: a small process, forked from the player at start-up before any thread, that
// stops the motion device when the player ends without closing in order (killed, crashed,
// aborted: no stop packet of its own ever goes out then).
//
//   player                          guard
//   opens a port ---- hold + fd --> keeps a copy of the descriptor (the device is never
//                                   opened twice)
//   closes a port --- release ----> closes its copy
//                 <-- released ---- (the player closes its own only then: the port is
//                                   opened for exclusive use, and may be opened again at once)
//   ends in order --- goodbye ----> exits without writing
//   crashes --------- dying ------> (from the handler of a fatal signal, before a crash report
//                                   or a core dump, which may take seconds) waits the packets'
//                                   100 ms spacing and writes the stop packet to its port
//   dies ------------ (socket closes without a goodbye)
//                                   waits the spacing, writes the stop packet to the port it
//                                   holds, lets it drain (bounded), exits
//
// The guard never writes while the player lives and has no fatal signal. Owned by main();
// serial ports reach it through Installed(). Used from the user-interface thread only.

#include <sys/types.h>

#include <memory>

#include "platform/UniqueFd.h"

namespace platform {

class StopGuard {
public:
    // How long Release waits for the guard to let go of its copy.
    static constexpr int kReleaseWaitMs = 1000;

    // Forks the guard. Call before any thread is started. nullptr when it cannot be started:
    // the player then runs without it.
    [[nodiscard]] static std::unique_ptr<StopGuard> Start();
    // The goodbye: the guard lets go of what it holds without writing, and exits.
    ~StopGuard();
    StopGuard(const StopGuard&) = delete;
    StopGuard& operator=(const StopGuard&) = delete;

    // The guard holds a copy of the open port `fd`, in place of any it held.
    void Hold(int fd);
    // The guard closes its copy; returns once it has, or after kReleaseWaitMs.
    void Release();
    // From now on a crash or an abort (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS,
    // SIGTRAP) tells the guard at once; the signal then goes where it went before (the default
    // action, a sanitizer's handler). Call once, after whatever installs its own handlers.
    void WatchFatalSignals();

    [[nodiscard]] pid_t Pid() const { return pid_; }

    // The guard the process's ports report to; nullptr when none runs.
    [[nodiscard]] static StopGuard* Installed();
    static void Install(StopGuard* guard);

private:
    StopGuard(UniqueFd socket, pid_t pid) : socket_(std::move(socket)), pid_(pid) {}
    void Send(char message, int fd = -1);

    UniqueFd socket_;
    pid_t pid_;
};

}  // namespace platform
