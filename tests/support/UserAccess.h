#pragma once

// Runs a scope of the calling thread without the superuser's right to pass over file
// permissions (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH), so that a test run as root meets
// permissions as every user's program does. Other threads keep their rights.

#include <linux/capability.h>

namespace testing_support {

class ScopedUserFileAccess {
public:
    ScopedUserFileAccess();
    ~ScopedUserFileAccess();
    ScopedUserFileAccess(const ScopedUserFileAccess&) = delete;
    ScopedUserFileAccess& operator=(const ScopedUserFileAccess&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool active_ = false;
};

}  // namespace testing_support
