#pragma once

#include <cstdint>

namespace inkwarden {

// The latest transfer counters the library reported; -1 until it reports.
struct TransferProgress {
    std::int64_t received = 0;
    std::int64_t expected_received = 0;
    std::int64_t sent = 0;
    std::int64_t expected_sent = 0;
};

} // namespace inkwarden
