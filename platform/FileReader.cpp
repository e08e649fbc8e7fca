#include "platform/FileReader.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {

std::optional<std::string> ReadRegularFile(const std::string& path, std::uint64_t max_size) {
    // Non-blocking open, so that a FIFO at the path cannot hold the caller.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > max_size) {
        return std::nullopt;
    }
    std::string content;
    content.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(fd.get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break; // the file shrank meanwhile: keep what is there
        }
        done += static_cast<std::size_t>(n);
    }
    content.resize(done);
    return content;
}

} // namespace inkwarden
