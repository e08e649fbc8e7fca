#include "net/PieceChecker.h"

#include "net/DownloadCause.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>

namespace inkwarden {
namespace {

// A piece is read back in chunks of this size, so that no piece sits in memory whole.
constexpr size_t READ_CHUNK = 1 << 16;
constexpr size_t DIGEST_HEX_DIGITS = 64;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// 64 lower-case hex digits into 32 bytes; false for anything else.
template <typename Digest> bool ParseDigest(const std::string& text, Digest& digest) {
    if (text.size() != DIGEST_HEX_DIGITS) {
        return false;
    }
    for (size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

void PieceChecker::Reset(int64_t total, int64_t piece_size,
                         const std::vector<std::string>& digests) {
    std::lock_guard<std::mutex> lock(mutex_);
    total_ = total;
    piece_size_ = 0;
    failed_ = 0;
    digests_.clear();
    pieces_.clear();
    if (piece_size <= 0 || total <= 0 ||
        static_cast<int64_t>(digests.size()) != (total + piece_size - 1) / piece_size) {
        return;
    }
    digests_.resize(digests.size());
    for (size_t i = 0; i < digests.size(); ++i) {
        if (!ParseDigest(digests[i], digests_[i])) {
            digests_.clear();
            return;
        }
    }
    pieces_.resize(digests.size());
    piece_size_ = piece_size;
}

ByteRange PieceChecker::PieceRange(int64_t piece) const {
    const int64_t first = piece * piece_size_;
    return {first, std::min(first + piece_size_, total_) - 1};
}

AttemptEvent PieceChecker::Event(const Failure& failure, const std::string& source) {
    return {.kind = AttemptEventKind::PIECE_FAILED,
            .range = -1,
            .source = source,
            .cause = download_cause::PieceFailed(failure.piece, failure.range.first),
            .number = static_cast<long>(failure.piece),
            .bytes = failure.range.first};
}

int PieceChecker::FailedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

void PieceChecker::AddLocked(int64_t first, int64_t length, int source,
                             std::vector<int64_t>& complete) {
    const int64_t end = std::min(first + length, total_);
    for (int64_t at = first; at < end;) {
        const int64_t index = at / piece_size_;
        const ByteRange range = PieceRange(index);
        const int64_t part = std::min(end, range.last + 1) - at;
        Piece& piece = pieces_[static_cast<size_t>(index)];
        // A piece whose bytes came from several sources cannot blame one of them.
        piece.mixed = piece.mixed || (piece.filled > 0 && piece.source != source);
        piece.source = source;
        piece.filled += part;
        if (piece.filled == range.size()) {
            complete.push_back(index);
        }
        at += part;
    }
}

bool PieceChecker::Matches(int fd, int64_t piece) const {
    const ByteRange range = PieceRange(piece);
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return false;
    }
    std::vector<unsigned char> buffer(READ_CHUNK);
    for (int64_t at = range.first; at <= range.last;) {
        const size_t wanted =
            static_cast<size_t>(std::min<int64_t>(range.last + 1 - at, READ_CHUNK));
        const ssize_t got = ::pread(fd, buffer.data(), wanted, at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // A file that cannot be read back holds no piece worth trusting.
        if (got <= 0 ||
            EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(got)) != 1) {
            return false;
        }
        at += got;
    }
    Digest digest{};
    unsigned int length = 0;
    return EVP_DigestFinal_ex(context.get(), digest.data(), &length) == 1 &&
           length == digest.size() && digest == digests_[static_cast<size_t>(piece)];
}

PieceChecker::Failure PieceChecker::FailLocked(int64_t index) {
    Piece& piece = pieces_[static_cast<size_t>(index)];
    Failure failure{index, PieceRange(index), piece.mixed ? NO_SOURCE : piece.source,
                    ++piece.failures};
    piece.filled = 0;
    piece.source = NO_SOURCE;
    piece.mixed = false;
    ++failed_;
    return failure;
}

std::vector<PieceChecker::Failure> PieceChecker::Commit(int fd, int64_t offset, int64_t written,
                                                        int source) {
    // The grid changes only in Reset, before any writer runs: a download without pieces pays
    // no lock per write.
    if (piece_size_ == 0 || written <= 0) {
        return {};
    }
    std::vector<int64_t> complete;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        AddLocked(offset, written, source, complete);
    }
    // Only the writer that completed a piece reads it; every byte of it is in the file and no
    // other writer touches it until it is handed out again.
    std::vector<Failure> failures;
    for (const int64_t piece : complete) {
        if (!Matches(fd, piece)) {
            std::lock_guard<std::mutex> lock(mutex_);
            failures.push_back(FailLocked(piece));
        }
    }
    return failures;
}

std::vector<ByteRange> PieceChecker::Resume(int fd, const std::vector<ByteRange>& completed,
                                            std::vector<Failure>& damaged) {
    damaged.clear();
    std::vector<int64_t> complete;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (piece_size_ == 0) {
            return completed;
        }
        for (const ByteRange& range : completed) {
            AddLocked(range.first, range.size(), NO_SOURCE, complete);
        }
    }
    std::vector<ByteRange> holes;
    for (const int64_t piece : complete) {
        if (!Matches(fd, piece)) {
            std::lock_guard<std::mutex> lock(mutex_);
            damaged.push_back(FailLocked(piece));
            holes.push_back(damaged.back().range);
        }
    }
    return SegmentManager::Subtract(completed, holes);
}

} // namespace inkwarden
