#pragma once

// Test doubles for the device link's platform: a journal of everything the link does, in
// order, a port, a device folder and a clock that write to it, and a logger that does too.

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "log/Logger.h"
#include "platform/DeviceFolder.h"
#include "platform/SerialPort.h"
#include "platform/Timing.h"

namespace testing_support {

// One journal of everything the link does, in order, so that tests can check sequences.
struct Journal {
    std::vector<std::string> events;
    void Add(std::string event) { events.push_back(std::move(event)); }
    [[nodiscard]] int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& e : events) n += e.rfind(prefix, 0) == 0;
        return n;
    }
};

class FakeTiming final : public platform::Timing {
public:
    explicit FakeTiming(Journal& journal) : journal_(journal) {}
    [[nodiscard]] uint32_t TickMs() const override { return now; }
    void Sleep(uint32_t ms) const override {
        journal_.Add("sleep " + std::to_string(ms));
        now += ms;
    }
    mutable uint32_t now = 5000;

private:
    Journal& journal_;
};

class FakePort final : public platform::SerialPort {
public:
    explicit FakePort(Journal& journal) : journal_(journal) {}
    [[nodiscard]] int Open(const std::string& path) override {
        journal_.Add("open " + path);
        if (openError == 0) open_ = true;
        return openError;
    }
    [[nodiscard]] int Configure(const platform::PortSettings& s) override {
        settings = s;
        journal_.Add("configure");
        return configureError;
    }
    [[nodiscard]] platform::WriteResult Write(const uint8_t* data, size_t size, int) override {
        char text[32];
        std::snprintf(text, sizeof text, "write %02x %02x %02x", data[0], data[1], data[2]);
        journal_.Add(size == 3 ? text : "write ?");
        return writeResult;
    }
    void Close() override {
        journal_.Add("close");
        open_ = false;
    }
    [[nodiscard]] bool IsOpen() const override { return open_; }

    int openError = 0;
    int configureError = 0;
    platform::WriteResult writeResult = platform::WriteResult::kWritten;
    platform::PortSettings settings;

private:
    Journal& journal_;
    bool open_ = false;
};

class FakeDevices final : public platform::DeviceFolder {
public:
    [[nodiscard]] int List(std::vector<platform::SerialDevice>& out) const override {
        out = present;
        return error;
    }
    std::vector<platform::SerialDevice> present;
    int error = 0;
};

class JournalLogger final : public Logger {
public:
    explicit JournalLogger(Journal& journal) : journal_(journal) {}
    void LogCommand(int64_t counter, const uint8_t* packet) override {
        char text[48];
        std::snprintf(text, sizeof text, "trace %lld %02x", static_cast<long long>(counter),
                      packet[2]);
        journal_.Add(text);
    }
    void LogMessage(const char* format, ...) override {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        journal_.Add(std::string("message ") + text);
    }

private:
    Journal& journal_;
};

}  // namespace testing_support
