#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <utility>

namespace inkwarden {

// A download's speed, averaged over the recent past so that the bursts of several
// connections do not make it jump.
class TransferRate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds WINDOW{3000};

    // Forgets the last download.
    void Reset() { samples_.clear(); }
    // Bytes done so far at now.
    void Add(Clock::time_point now, std::int64_t done);
    // Bytes a second over the window; 0 until two samples are apart in time.
    double BytesPerSecond() const;

private:
    std::deque<std::pair<Clock::time_point, std::int64_t>> samples_;
};

} // namespace inkwarden
