#pragma once

// One plug-in of the virtual dongle: a pseudo-terminal whose slave side the player opens as
// the dongle's serial port, and a symbolic link to that slave under the dongle's name. Both
// go away with the object, which the player sees as the dongle being pulled out: its writes
// fail with EIO from then on.
//
// The slave is left with the kernel's terminal defaults, as a freshly plugged USB serial
// adapter comes: output processing (NL written as CR NL), echo of what the dongle sends, line
// editing, signals and XON/XOFF flow control. Setting the line up is the player's job. The
// master, the dongle's end, does nothing to the bytes in either direction of its own; its
// terminal settings are the slave's, so it is never set up either.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/UniqueFd.h"

namespace devsim {

// A symbolic link that is removed at destruction, unless it has since been replaced by a link
// to something else (another simulator taking over the name).
class PortLink {
public:
    // Creates `link` pointing to `target`, atomically replacing a previous link of that name.
    // Refuses to replace anything that is not a symbolic link. Throws std::runtime_error.
    PortLink(std::string link, std::string target);
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    [[nodiscard]] const std::string& Path() const { return link_; }

private:
    std::string link_;
    std::string target_;
};

class VirtualPort {
public:
    // Opens the pseudo-terminal and publishes it as `folder`/`name`. Throws
    // std::runtime_error.
    VirtualPort(const std::string& folder, const std::string& name);
    VirtualPort(const VirtualPort&) = delete;
    VirtualPort& operator=(const VirtualPort&) = delete;

    [[nodiscard]] const std::string& SlavePath() const { return slavePath_; }
    [[nodiscard]] const std::string& LinkPath() const { return link_->Path(); }

    // Non-blocking; what the player wrote. Returns read(2)'s result, errno set on -1.
    [[nodiscard]] int MasterFd() const { return master_.Get(); }
    ssize_t Read(void* buffer, size_t size);
    // Non-blocking; bytes for the player, which pass through the slave's input processing.
    // Returns write(2)'s result, errno set on -1.
    ssize_t Write(const void* bytes, size_t size);

    // The exclusive-use flag (TIOCEXCL) that the player sets on opening cannot be kept: a
    // pseudo-terminal keeps it until the master is closed, not until the player closes the
    // port as a real serial port does, so the player's close and immediate reopen would fail
    // with EBUSY. Nothing can clear it in time at the close, so the owner drops it soon after
    // it is set: polled for a short while after each open (the flag comes just after it) and
    // checked whenever bytes arrive. The cost: a second program opening the port is not
    // refused.

    // Descriptor to poll for opens of the slave device; -1 when not watched.
    [[nodiscard]] int WatchFd() const { return watch_.Get(); }
    // Takes the pending events; true when the slave was opened meanwhile.
    bool HandleWatchEvents();
    // Clears the exclusive-use flag; true when it was set.
    bool DropExclusive();

private:
    platform::UniqueFd master_;
    // Held so that the master never sees "no slave open": that makes master reads fail with
    // EIO and poll(2) report a hang-up without end. Also the only way to clear the
    // exclusive-use flag, as opening the slave again is refused while it is set.
    platform::UniqueFd slave_;
    platform::UniqueFd watch_;
    std::string slavePath_;
    std::optional<PortLink> link_;  // last member: unpublished before anything is closed
};

}  // namespace devsim
