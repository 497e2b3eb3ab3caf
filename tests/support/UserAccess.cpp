#include "support/UserAccess.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

namespace testing_support {

ScopedUserFileAccess::ScopedUserFileAccess() {
    if (::geteuid() != 0) return;
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct reduced[2];
    std::memcpy(reduced, saved_, sizeof reduced);
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        reduced[capability / 32].effective &= ~(1u << (capability % 32));
    }
    active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
}

ScopedUserFileAccess::~ScopedUserFileAccess() {
    if (active_) ::syscall(SYS_capset, &header_, saved_);
}

}  // namespace testing_support
