#pragma once

#include "net/DownloadObserver.h"
#include "net/SegmentManager.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace inkwarden {

// The pieces of a download whose release names a digest for each: a fixed grid of piece_size
// bytes over the file (the last piece holds the rest), beside the segment manager. Writers tell
// it which bytes they committed; the writer that completes a piece reads it back from the file
// and checks its SHA-256 there and then, so a damaged piece costs only itself. A piece that
// fails counts as missing again and comes back to the caller, whose bytes are then fetched
// again. Safe from any thread.
class PieceChecker {
public:
    // The source of a piece that came from the partial file of an earlier run, or from more
    // than one source.
    static constexpr int NO_SOURCE = -1;

    struct Failure {
        int64_t piece = 0;
        ByteRange range;
        int source = NO_SOURCE;
        // Failures of this piece in this download so far, this one included.
        int failures = 0;
    };

    // Starts over with nothing in the file. No pieces (Active() false) when piece_size is 0 or
    // the digests do not fit total: one digest per piece, 64 lower-case hex digits each.
    void Reset(int64_t total, int64_t piece_size, const std::vector<std::string>& digests);
    bool Active() const { return piece_size_ > 0; }
    // 0 without pieces.
    int64_t PieceSize() const { return piece_size_; }
    ByteRange PieceRange(int64_t piece) const;

    // A resumed download: of the completed ranges in the file fd, the pieces that lie wholly
    // inside are read back and checked now; the ranges without the damaged ones come back, and
    // damaged lists those. The bytes of partly completed pieces count towards them.
    std::vector<ByteRange> Resume(int fd, const std::vector<ByteRange>& completed,
                                  std::vector<Failure>& damaged);
    // written bytes from offset on are in the file fd, served by source: each piece that they
    // complete is checked, and those that fail come back (missing again).
    std::vector<Failure> Commit(int fd, int64_t offset, int64_t written, int source);

    // Failures of any piece since Reset.
    int FailedCount() const;

    // The observer's event for a failed piece that source served (empty: the partial file).
    static AttemptEvent Event(const Failure& failure, const std::string& source);

private:
    using Digest = std::array<unsigned char, 32>;

    struct Piece {
        int64_t filled = 0;
        int source = NO_SOURCE;
        bool mixed = false;
        int failures = 0;
    };

    // Adds bytes to the pieces that [first, first + length) touches; the pieces that this
    // completes go to complete.
    void AddLocked(int64_t first, int64_t length, int source, std::vector<int64_t>& complete);
    bool Matches(int fd, int64_t piece) const;
    Failure FailLocked(int64_t piece);

    mutable std::mutex mutex_;
    int64_t total_ = 0;
    int64_t piece_size_ = 0;
    std::vector<Digest> digests_;
    std::vector<Piece> pieces_;
    int failed_ = 0;
};

} // namespace inkwarden
