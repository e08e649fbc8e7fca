#include "tests/support/TmpfsMount.h"

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

namespace inkwarden::test {

TmpfsMount::TmpfsMount(const std::string& folder, std::size_t bytes, bool read_only)
    : folder_(folder), options_("size=" + std::to_string(bytes) + ",mode=0777") {
    const unsigned long flags = MS_NOSUID | MS_NODEV | (read_only ? MS_RDONLY : 0);
    if (::mount("inkwarden-test", folder_.c_str(), "tmpfs", flags, options_.c_str()) == 0) {
        mounted_ = true;
    } else {
        why_ = "cannot mount a tmpfs on " + folder_ + ": " + std::strerror(errno) +
               " (needs root or CAP_SYS_ADMIN)";
    }
}

TmpfsMount::~TmpfsMount() {
    if (mounted_) {
        // Lazily, so that a file a failed test left open cannot keep the mount.
        ::umount2(folder_.c_str(), MNT_DETACH);
    }
}

bool TmpfsMount::setReadOnly(bool read_only) {
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (read_only ? MS_RDONLY : 0);
    return mounted_ &&
           ::mount("inkwarden-test", folder_.c_str(), "tmpfs", flags, options_.c_str()) == 0;
}

} // namespace inkwarden::test
