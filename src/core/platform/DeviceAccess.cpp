#include "platform/DeviceAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

// Runs a reentrant group or user database lookup, growing its buffer as it asks; the name
// found, or empty.
template <typename Entry, typename Lookup>
std::string NameOf(int sizeHint, Lookup lookup, char* Entry::*name) {
    const long suggested = ::sysconf(sizeHint);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
    for (;;) {
        Entry entry{};
        Entry* found = nullptr;
        const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return error == 0 && found != nullptr ? std::string(found->*name) : std::string();
    }
}

std::string GroupName(gid_t gid) {
    return NameOf<group>(
        _SC_GETGR_R_SIZE_MAX,
        [gid](group* entry, char* buffer, size_t size, group** found) {
            return ::getgrgid_r(gid, entry, buffer, size, found);
        },
        &group::gr_name);
}

}  // namespace

DeviceNode LookUpDeviceNode(const std::string& path) {
    DeviceNode node{path, {}};
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) node.path = resolved;
    struct stat st {};
    if (::stat(node.path.c_str(), &st) == 0) node.group = GroupName(st.st_gid);
    return node;
}

std::string UserName() {
    const uid_t uid = ::getuid();
    return NameOf<passwd>(
        _SC_GETPW_R_SIZE_MAX,
        [uid](passwd* entry, char* buffer, size_t size, passwd** found) {
            return ::getpwuid_r(uid, entry, buffer, size, found);
        },
        &passwd::pw_name);
}

}  // namespace platform
