#pragma once

// A dongle for the device link's tests: a fresh pseudo-terminal, left at the kernel's
// defaults, whose slave is linked into a device folder; unplugged and plugged again at will.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/UniqueFd.h"
#include "support/FreshPty.h"
#include "support/TestSupport.h"

namespace testing_support {

// A dongle: a fresh pseudo-terminal whose slave is linked into the device folder.
class VirtualDongle {
public:
    explicit VirtualDongle(const std::string& link) : link_(link) { Plug(); }
    ~VirtualDongle() { Unplug(); }

    void Plug() {
        auto pty = testing_support::OpenFreshPty();
        ASSERT_FALSE(pty.path.empty());
        path_ = pty.path;
        master_ = std::move(pty.master);
        slave_ = std::move(pty.slave);
        std::filesystem::create_symlink(pty.path, link_);
    }

    void Unplug() {
        if (!master_.Valid()) return;
        std::filesystem::remove(link_);
        slave_.Reset();
        master_.Reset();
    }

    [[nodiscard]] const std::string& SlavePath() const { return path_; }

    // The packets written to the port since the last call.
    std::vector<std::string> TakePackets() {
        pending_ += testing_support::ReadAllWritten(master_.Get(), slave_.Get());
        std::vector<std::string> packets;
        for (; pending_.size() >= 3; pending_.erase(0, 3)) packets.push_back(pending_.substr(0, 3));
        return packets;
    }

private:
    std::string link_;
    std::string path_;
    platform::UniqueFd master_;
    platform::UniqueFd slave_;
    std::string pending_;
};

}  // namespace testing_support
