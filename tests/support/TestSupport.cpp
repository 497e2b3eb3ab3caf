#include "support/TestSupport.h"

#include <iconv.h>
#include <termios.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/FreshPty.h"

namespace testing_support {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/kestrune-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Make everything writable again so that tests that removed permissions clean up too.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (previous_) {
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

void RecordingMessageBoxes::Show(const std::string& text, const std::string& caption) {
    std::lock_guard lock(mutex_);
    shown_.emplace_back(text, caption);
}

void RecordingMessageBoxes::Post(const std::string& text, const std::string& caption) {
    std::lock_guard lock(mutex_);
    shown_.emplace_back(text, caption);
    posted_.emplace_back(text, caption);
}

std::vector<std::pair<std::string, std::string>> RecordingMessageBoxes::Shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

std::vector<std::pair<std::string, std::string>> RecordingMessageBoxes::Posted() const {
    std::lock_guard lock(mutex_);
    return posted_;
}

void RecordingLogger::LogMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    messages.push_back(FormatMessageV(format, args));
    va_end(args);
}

RawPty OpenRawPty() {
    FreshPty fresh = OpenFreshPty();
    RawPty pty{std::move(fresh.master), std::move(fresh.slave), std::move(fresh.path)};
    termios raw{};
    ::tcgetattr(pty.slave.Get(), &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(pty.slave.Get(), TCSANOW, &raw);
    return pty;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::string Cp932ToUtf8(const std::string& bytes) {
    iconv_t cd = ::iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out(bytes.size() * 3 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    ::iconv(cd, &in, &inLeft, &dst, &dstLeft);
    ::iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

double MonotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double SchedulerWaitMs(pid_t tid) {
    // /proc/.../schedstat: time on a processor, time waiting on a run queue (both in ns), and
    // the number of time slices.
    const std::string path =
        tid == 0 ? std::string("/proc/thread-self/schedstat")
                 : "/proc/" + std::to_string(tid) + "/task/" + std::to_string(tid) + "/schedstat";
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    if (std::sscanf(ReadFile(path).c_str(), "%llu %llu", &running, &waiting) != 2) return 0;
    return static_cast<double>(waiting) / 1e6;
}

double ProcessSchedulerWaitMs(pid_t pid) {
    double waited = 0;
    std::error_code ignored;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
        waited += SchedulerWaitMs(static_cast<pid_t>(std::stol(task.path().filename().string())));
    }
    return waited;
}

std::string LineEverySecond(int seconds) {
    std::string content;
    for (int s = 0; s < seconds; ++s) {
        content += std::to_string(s * 10) + ",1," + std::to_string(s + 1) + "\n";
    }
    return content;
}

}  // namespace testing_support
