#pragma once

#include "net/CurlTransfer.h"
#include "platform/UniqueFd.h"

#include <atomic>
#include <cstdint>
#include <utility>

namespace inkwarden {

class SegmentedDownloader;

// One range of a download, worked on by exactly one pool worker.
struct DownloadSegment {
    // The value of end that means: fetch the whole resource without a range.
    static constexpr int64_t NO_RANGE = -1;

    DownloadSegment(SegmentedDownloader& owner_engine, int segment_index, UniqueFd segment_file)
        : owner(owner_engine), index(segment_index), file(std::move(segment_file)) {}

    bool ranged() const { return end != NO_RANGE; }

    bool done = false;
    SegmentedDownloader& owner;
    int32_t index;
    UniqueFd file;
    int64_t start = 0;                // offset of the next byte to fetch
    int64_t end = NO_RANGE;           // last byte of the range, inclusive
    std::atomic<int64_t> received{0}; // read by every worker's progress report
    CurlEasyHandle transfer;

    // Per attempt: the status of the answer, read when its first body bytes arrive.
    long attempt_status = 0;
    int64_t attempt_start = 0;
};

} // namespace inkwarden
