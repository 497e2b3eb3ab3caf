#include "VirtualPort.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace devsim {
namespace {

[[noreturn]] void Fail(const std::string& what, int error) {
    throw std::runtime_error(what + ": " + std::strerror(error));
}

std::string ReadLink(const std::string& path) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

PortLink::PortLink(std::string link, std::string target)
    : link_(std::move(link)), target_(std::move(target)) {
    struct stat st {};
    if (::lstat(link_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        throw std::runtime_error(link_ + " exists and is not a symbolic link");
    }
    // Made under a temporary name and renamed, so the name never points nowhere.
    const auto slash = link_.rfind('/');
    const std::string temporary = link_.substr(0, slash + 1) + "." + link_.substr(slash + 1) + "." +
                                  std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target_.c_str(), temporary.c_str()) != 0) Fail("symlink " + temporary, errno);
    if (::rename(temporary.c_str(), link_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        Fail("rename to " + link_, error);
    }
}

PortLink::~PortLink() {
    if (ReadLink(link_) == target_) ::unlink(link_.c_str());
}

VirtualPort::VirtualPort(const std::string& folder, const std::string& name) {
    master_.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master_.Valid()) Fail("posix_openpt", errno);
    if (::grantpt(master_.Get()) != 0) Fail("grantpt", errno);
    if (::unlockpt(master_.Get()) != 0) Fail("unlockpt", errno);
    const char* slave = ::ptsname(master_.Get());
    if (slave == nullptr) Fail("ptsname", errno);
    slavePath_ = slave;

    const int flags = ::fcntl(master_.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(master_.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        Fail("fcntl on the master", errno);
    }
    slave_.Reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave_.Valid()) Fail("open " + slavePath_, errno);

    // Watched after our own open, so every open seen is someone else's.
    watch_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    int watchError = watch_.Valid() ? 0 : errno;
    if (watch_.Valid() && ::inotify_add_watch(watch_.Get(), slavePath_.c_str(), IN_OPEN) < 0) {
        watchError = errno;
        watch_.Reset();
    }
    if (watchError != 0) {
        std::fprintf(stderr,
                     "devsim: warning: cannot watch %s (%s): a player that closes the port "
                     "before writing to it may not be able to reopen it\n",
                     slavePath_.c_str(), std::strerror(watchError));
    }

    link_.emplace(folder + "/" + name, slavePath_);
}

ssize_t VirtualPort::Read(void* buffer, size_t size) { return ::read(master_.Get(), buffer, size); }

ssize_t VirtualPort::Write(const void* bytes, size_t size) {
    return ::write(master_.Get(), bytes, size);
}

bool VirtualPort::HandleWatchEvents() {
    alignas(inotify_event) char buffer[4096];
    bool opened = false;
    for (;;) {
        const ssize_t n = ::read(watch_.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return opened;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_OPEN) opened = true;
        }
    }
}

bool VirtualPort::DropExclusive() {
    int exclusive = 0;
    if (::ioctl(slave_.Get(), TIOCGEXCL, &exclusive) != 0 || exclusive == 0) return false;
    ::ioctl(slave_.Get(), TIOCNXCL);
    return true;
}

}  // namespace devsim
