#pragma once

// The fuzz input as a file for readers that take a path: an anonymous in-memory file,
// reached through /proc/self/fd, rewritten on every run and gone with the process.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

class ScratchFile {
public:
    explicit ScratchFile(const char* name) : fd(::memfd_create(name, MFD_CLOEXEC)) {
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() { ::close(fd); }

    // Replaces the content; returns the path to open.
    const std::string& Write(const uint8_t* data, size_t size) {
        if (::ftruncate(fd, 0) != 0) std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t wrote = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            if (wrote <= 0) std::abort();
            done += static_cast<size_t>(wrote);
        }
        return path;
    }

private:
    int fd;
    std::string path;
};
