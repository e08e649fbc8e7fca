#include "app/TransferRate.h"

namespace inkwarden {

void TransferRate::Add(Clock::time_point now, std::int64_t done) {
    samples_.emplace_back(now, done);
    // The oldest sample that still spans the window stays.
    while (samples_.size() > 2 && now - samples_[1].first >= WINDOW) {
        samples_.pop_front();
    }
}

double TransferRate::BytesPerSecond() const {
    if (samples_.size() < 2) {
        return 0.0;
    }
    const auto& [first_time, first_bytes] = samples_.front();
    const auto& [last_time, last_bytes] = samples_.back();
    const double seconds = std::chrono::duration<double>(last_time - first_time).count();
    if (seconds <= 0.0 || last_bytes < first_bytes) {
        return 0.0;
    }
    return static_cast<double>(last_bytes - first_bytes) / seconds;
}

} // namespace inkwarden
