#pragma once

#include "net/CurlTransfer.h"
#include "net/SegmentManager.h"

#include <chrono>

namespace inkwarden {

// How long the download engine waits, and how often it tries again. The defaults are the
// installer's; tests shorten them.
struct DownloadTimings {
    // The length probe, tried again after a pause that no cancel ends. It has no time limit
    // of its own: a server that accepts and never answers would hold the install forever, so
    // it ends by the low-speed rule instead.
    int probe_attempts = 10;
    std::chrono::milliseconds probe_pause{50};
    CurlLimits probe{.connect_timeout = 3, .low_speed_limit = 1, .low_speed_time = 3};

    // Each range: attempts in all, the cancellable pause after a failed one, and the limits
    // of one attempt.
    int segment_attempts = 5;
    std::chrono::milliseconds segment_pause{500};
    CurlLimits segment{
        .connect_timeout = 60, .low_speed_limit = 1, .low_speed_time = 1, .timeout = 60000};
    // A failed attempt that wrote bytes of its range is not counted against segment_attempts,
    // up to this many times per range: a server that sends a byte and drops the connection,
    // again and again, still ends.
    int progress_retries = 1000;
    // A piece that fails its digest this many times fails the download: the source keeps
    // serving wrong bytes for it.
    int piece_attempts = 3;

    // When an idle connection takes over the tail of a busy one, and how often an idle worker
    // looks again while ranges are still busy.
    StealRule steal;
    std::chrono::milliseconds steal_poll{50};
    // The control file of a resumable download is rewritten at most this often.
    std::chrono::milliseconds control_interval{1000};

    // Waits poll: the idle wait every idle_poll (then every cancelled_poll once cancel is set,
    // while the cancelled download collects its segments), and a cancellable pause looks at
    // cancel every cancel_poll.
    std::chrono::milliseconds idle_poll{100};
    std::chrono::milliseconds cancelled_poll{5};
    std::chrono::milliseconds cancel_poll{20};
};

} // namespace inkwarden
