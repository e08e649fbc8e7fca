#include "release/PackageDigest.h"

#include "platform/UniqueFd.h"
#include "release/Sha256.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace inkwarden {
namespace {

constexpr std::size_t READ_CHUNK = 1 << 16;

} // namespace

std::optional<PackageDigest> DigestOpenFile(int fd) {
    Sha256 digest;
    std::vector<char> buffer(READ_CHUNK);
    PackageDigest result;
    while (true) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        digest.update(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        result.size += got;
    }
    result.sha256 = digest.finishHex();
    if (result.sha256.empty()) {
        return std::nullopt;
    }
    return result;
}

std::optional<PackageDigest> DigestFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return DigestOpenFile(fd.get());
}

} // namespace inkwarden
