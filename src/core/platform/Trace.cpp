#include "platform/Trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// Opening /proc/self/fd/2 gives a file description of our own, so O_NONBLOCK does not leak
// into the standard error shared with the parent process.
int OpenTraceFd() {
    const char* flag = std::getenv("KESTRUNE_TRACE");
    if (flag == nullptr || std::strcmp(flag, "1") != 0) return -1;
    const int fd = ::open("/proc/self/fd/2", O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -1;
}

int TraceFd() {
    static const int fd = OpenTraceFd();
    return fd;
}

}  // namespace

bool TraceEnabled() { return TraceFd() >= 0; }

void Trace(std::string_view text) {
    const int fd = TraceFd();
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t written = ::write(fd, text.data(), text.size());
}

}  // namespace platform
