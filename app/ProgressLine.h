#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace inkwarden {

// The line under the installing page's bar while the package downloads:
// "42 % · 3.1 MB/s · 12 s left", in the user's language, at most four times a second.
class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    // A screen reader announces every change; four a second is as fast as anyone reads.
    static constexpr std::chrono::milliseconds MIN_INTERVAL{250};
    // Forgets the last download.
    void Reset();
    // A report of the download at its speed: the line to show now, or nothing while the
    // last one shown is younger than MIN_INTERVAL (the report of the last byte always shows).
    std::optional<std::string> Update(std::int64_t done, std::int64_t total, int percent,
                                      double bytes_per_second, Clock::time_point now);

    // The line itself; the speed and time left are left out while unknown (speed 0).
    static std::string Format(int percent, double bytes_per_second,
                              std::optional<std::int64_t> seconds_left);

private:
    std::optional<Clock::time_point> last_shown_;
};

} // namespace inkwarden
