#pragma once

#include "net/AnswerCheck.h"
#include "net/CurlTransfer.h"
#include "net/ResponseHeaders.h"
#include "platform/UniqueFd.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

namespace inkwarden {

class SegmentedDownloader;

// One range of a download while one pool worker fetches it. Where the range begins and ends
// is the engine's segment manager's to say (a thief may lower its end at any time); the
// record holds what one worker needs for its attempts.
struct DownloadSegment {
    DownloadSegment(SegmentedDownloader& owner_engine, int segment_index, UniqueFd segment_file,
                    bool has_range)
        : owner(owner_engine), index(segment_index), file(std::move(segment_file)),
          is_ranged(has_range) {}

    // false for a download without a length: every attempt fetches the whole resource.
    bool ranged() const { return is_ranged; }

    bool done = false;
    SegmentedDownloader& owner;
    int32_t index; // the range's slot in the segment manager
    int source = 0; // the download's source this record fetches from
    UniqueFd file;
    bool is_ranged;
    std::atomic<int64_t> received{0}; // bytes this record wrote
    CurlEasyHandle transfer;

    // Per attempt: the status of the answer, read when its first body bytes arrive; the first
    // and last byte it asked for; whether it stopped at an end that a thief lowered.
    long attempt_status = 0;
    int64_t attempt_start = 0;
    int64_t attempt_last = 0;
    bool cut_by_steal = false;
    // The answer's header lines, the request's own (If-Range), and what the check of the
    // answer found once its status was known.
    HeaderMap attempt_headers;
    CurlHeaderList request_headers;
    bool answer_checked = false;
    AnswerJudgement judgement;
    // Why the last attempt failed, for the download's failure reason, and a write's errno.
    std::string failure;
    int write_error = 0;
};

} // namespace inkwarden
