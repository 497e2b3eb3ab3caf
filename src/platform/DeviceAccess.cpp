#include "platform/DeviceAccess.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

std::string GroupName(gid_t gid) {
    const long suggested = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
    for (;;) {
        group entry{};
        group* found = nullptr;
        const int error = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return error == 0 && found != nullptr ? std::string(found->gr_name) : std::string();
    }
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

}  // namespace platform
