#include "platform/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace platform {
namespace {

int writeEnd = -1;

void OnSignal(int signo) {
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(writeEnd, &byte, 1);
}

}  // namespace

int InstallTerminationSignals() {
    static int readEnd = -1;
    if (readEnd >= 0) return readEnd;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    readEnd = fds[0];
    writeEnd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signo : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signo, &action, nullptr);
    return readEnd;
}

}  // namespace platform
