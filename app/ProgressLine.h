#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace inkwarden {

// The line under the installing page's bar while the package downloads:
// "42 % · 3.1 MB/s · 12 s left", in the user's language, at most four times a second.
class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    // A screen reader announces every change; four a second is as fast as anyone reads.
    static constexpr std::chrono::milliseconds MIN_INTERVAL{250};
    // The speed is the average over this much of the recent past, so that the bursts of
    // several connections do not make it jump.
    static constexpr std::chrono::milliseconds RATE_WINDOW{3000};

    // Forgets the last download.
    void Reset();
    // A report of the download: the line to show now, or nothing while the last one shown
    // is younger than MIN_INTERVAL (the report of the last byte always shows).
    std::optional<std::string> Update(std::int64_t done, std::int64_t total, int percent,
                                      Clock::time_point now);
    // Bytes a second over the rate window; 0 until two reports are apart in time.
    double BytesPerSecond() const;

    // The line itself; the speed and time left are left out while unknown (speed 0).
    static std::string Format(int percent, double bytes_per_second,
                              std::optional<std::int64_t> seconds_left);

private:
    std::deque<std::pair<Clock::time_point, std::int64_t>> samples_;
    std::optional<Clock::time_point> last_shown_;
};

} // namespace inkwarden
