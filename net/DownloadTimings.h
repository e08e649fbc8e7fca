#pragma once

#include <chrono>

namespace inkwarden {

// How long the download engine waits, and how often it tries again. The defaults are the
// installer's; tests shorten them. Library limits are in whole seconds, as libcurl takes them.
struct DownloadTimings {
    // The length probe. It has no time limit of its own: a server that accepts and never
    // answers would hold the install forever, so it ends by the low-speed rule instead.
    int probe_attempts = 10;
    std::chrono::milliseconds probe_pause{50}; // after a failed probe, not cancellable
    long probe_connect_timeout = 3;
    long probe_low_speed_time = 3;

    // Each range: attempts in all, the cancellable pause after a failed one, and the limits
    // of one attempt.
    int segment_attempts = 5;
    std::chrono::milliseconds segment_pause{500};
    long segment_connect_timeout = 60;
    long segment_low_speed_time = 1;
    long segment_timeout = 60000;

    // Below this many bytes per second over the low-speed time an attempt counts as stalled.
    long low_speed_limit = 1;

    // Waits poll: the idle wait every idle_poll (then every cancelled_poll once cancel is set,
    // while the cancelled download collects its segments), and a cancellable pause looks at
    // cancel every cancel_poll.
    std::chrono::milliseconds idle_poll{100};
    std::chrono::milliseconds cancelled_poll{5};
    std::chrono::milliseconds cancel_poll{20};
};

} // namespace inkwarden
