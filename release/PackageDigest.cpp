#include "release/PackageDigest.h"

#include "platform/UniqueFd.h"
#include "release/Sha256.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace inkwarden {
namespace {

constexpr std::size_t READ_CHUNK = 1 << 16;

// The digests of consecutive pieces of one size, fed with the file's bytes in order.
class PieceDigests {
public:
    explicit PieceDigests(std::int64_t piece_size) : piece_size_(piece_size) {}

    bool update(std::string_view bytes) {
        while (piece_size_ > 0 && !bytes.empty()) {
            const auto room = static_cast<std::size_t>(piece_size_ - filled_);
            const std::string_view part = bytes.substr(0, room);
            piece_->update(part);
            filled_ += static_cast<std::int64_t>(part.size());
            bytes.remove_prefix(part.size());
            if (filled_ == piece_size_ && !finishPiece()) {
                return false;
            }
        }
        return true;
    }

    // The last piece holds what is left; false when the library failed.
    bool finish(std::vector<std::string>& digests) {
        if (filled_ > 0 && !finishPiece()) {
            return false;
        }
        digests = std::move(digests_);
        return true;
    }

private:
    bool finishPiece() {
        digests_.push_back(piece_->finishHex());
        piece_.emplace();
        filled_ = 0;
        return !digests_.back().empty();
    }

    std::int64_t piece_size_;
    std::int64_t filled_ = 0;
    std::optional<Sha256> piece_{std::in_place};
    std::vector<std::string> digests_;
};

} // namespace

std::optional<PackageDigest> DigestOpenFile(int fd, std::int64_t piece_size) {
    Sha256 digest;
    PieceDigests pieces(piece_size);
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
        const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
        digest.update(bytes);
        if (!pieces.update(bytes)) {
            return std::nullopt;
        }
        result.size += got;
    }
    result.sha256 = digest.finishHex();
    if (result.sha256.empty() || !pieces.finish(result.piece_sha256)) {
        return std::nullopt;
    }
    return result;
}

std::optional<PackageDigest> DigestFile(const std::string& path, std::int64_t piece_size) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return DigestOpenFile(fd.get(), piece_size);
}

} // namespace inkwarden
